#pragma once
// Lip synchronisation of two streams of one participant (same CNAME), from
// the last sender report of each.
#include <cstdint>

namespace zqm {

// What a source's last sender report and its clock tell about it now.
struct LipSyncTiming {
    uint64_t srWallClockMs = 0;  // wall-clock time the report carried (ms)
    uint32_t srMediaTimeMs = 0;  // the report's RTP timestamp in ms
    uint32_t mediaNowMs = 0;     // the source clock now: the media time arriving
};

// How many milliseconds of wall-clock time the media of `self` now arriving
// is ahead of that of `other`; 32-bit signed arithmetic on the low 32 bits
// of the wall clocks, and never below 0.
int32_t LipSyncDelayMs(const LipSyncTiming& self, const LipSyncTiming& other);

}  // namespace zqm
