#include "inputrtpstack/lipsyncdelay.h"

namespace zqm {

int32_t LipSyncDelayMs(const LipSyncTiming& self, const LipSyncTiming& other)
{
    // Media played since each report, and the wall-clock gap between the
    // two reports; all modulo 2^32 like the clocks they come from.
    const uint32_t selfSinceReport = self.mediaNowMs - self.srMediaTimeMs;
    const uint32_t otherSinceReport = other.mediaNowMs - other.srMediaTimeMs;
    const uint32_t reportGap = static_cast<uint32_t>(self.srWallClockMs) - static_cast<uint32_t>(other.srWallClockMs);
    const int32_t delay = static_cast<int32_t>(reportGap - otherSinceReport + selfSinceReport);
    return delay < 0 ? 0 : delay;
}

}  // namespace zqm
