#include "zqmrtpclock.h"

#include "zqcexception.h"
#include "zqclockmng.h"
#include "zqfdebuglog.h"
#include "zqmrtpmediatypes.h"
#include "zqwin32.h"

namespace {

const char* const kLogPath = "zqmrtpclock";

// Seconds from 1601-01-01 (FILETIME's epoch) to 1900-01-01 (NTP's): 299
// years, 72 of them leap years.
constexpr uint64_t kNtpEpochInFileTimeSeconds = 9435484800ULL;
constexpr uint64_t k100nsPerSecond = 10000000ULL;

}  // namespace

ZQMRTPClock::ZQMRTPClock(int lockTimeoutMs) : m_lockTimeoutMs(lockTimeoutMs)
{
    m_realTimeClock.Install();
}

ZQMRTPClock::~ZQMRTPClock()
{
    // Wait for a reader or a re-anchoring still inside the lock.
    try {
        if (m_lock.Lock(m_lockTimeoutMs) != 0) {
            throw ZQCException(kLogPath, __LINE__, 0, "<--RTPStack-->Destructor failure cannot get mutex.", "");
        }
        m_lock.Unlock();
    } catch (...) {
        DebugLog(kLogPath, __LINE__, ZQF_LOG_ERROR, "<--RTPStack-->Error throwed while destroying RTPSatckClock.");
    }
}

uint32_t ZQMRTPClock::GetElapsed()
{
    ZQCLockMng<ZQCMutex> lock(m_lock, m_lockTimeoutMs);
    if (!lock.IsLocked()) {
        return 0;
    }
    return m_realTimeClock.GetTime() - m_origin;
}

uint32_t ZQMRTPClock::GetRTPTimestamp(int32_t mediaType)
{
    return GetElapsed() * zqm::RtpUnitsPerMs(zqm::ClockClassOf(mediaType));
}

uint32_t ZQMRTPClock::ToMilliseconds(uint32_t rtpTimestamp, int32_t mediaType)
{
    const zqm::RtpClockClass clockClass = zqm::ClockClassOf(mediaType);
    if (clockClass == zqm::RtpClockClass::Other) {
        return 0;
    }
    return rtpTimestamp / zqm::RtpUnitsPerMs(clockClass);
}

uint32_t ZQMRTPClock::MediaTimeAfter(uint32_t rtpTimestamp, uint64_t elapsedMicroseconds, int32_t mediaType)
{
    // Hz x µs / 10^6: exact in 64 bits for over 6 years at 90 kHz.
    const uint64_t units = elapsedMicroseconds * zqm::RtpClockRateHz(mediaType) / 1000000u;
    return rtpTimestamp + static_cast<uint32_t>(units);
}

bool ZQMRTPClock::Resynchronise(uint32_t ms)
{
    ZQCLockMng<ZQCMutex> lock(m_lock, m_lockTimeoutMs);
    if (!lock.IsLocked()) {
        return false;
    }
    m_origin = m_realTimeClock.GetTime() - ms;
    return true;
}

ZQMWallClock ZQMRTPClock::GetWallClock()
{
    SYSTEMTIME now{};
    GetSystemTime(&now);
    FILETIME fileTime{};
    SystemTimeToFileTime(&now, &fileTime);
    const uint64_t units = (static_cast<uint64_t>(fileTime.dwHighDateTime) << 32) | fileTime.dwLowDateTime;
    const uint64_t subSecondUnits = units % k100nsPerSecond;
    // 10^7 < 2^24: the shifted value fits in 64 bits. Rounded down (500 ms
    // is exactly 2^31).
    return {static_cast<uint32_t>(units / k100nsPerSecond - kNtpEpochInFileTimeSeconds),
            static_cast<uint32_t>((subSecondUnits << 32) / k100nsPerSecond)};
}

uint32_t ZQMRTPClock::CompactWallClock(const ZQMWallClock& wallClock)
{
    return (wallClock.ntpSeconds << 16) | (wallClock.fraction >> 16);
}
