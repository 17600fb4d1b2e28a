#pragma once
// Every clock of the process reads a time that moves only when told to,
// for as long as this object lives.
#include <cstdint>

#include "zqcclock.h"

namespace testsupport {

class ManualTime {
public:
    explicit ManualTime(uint32_t startMs) { ZQCClock::UseManualTime(true, startMs); }
    ~ManualTime() { ZQCClock::UseManualTime(false); }
    ManualTime(const ManualTime&) = delete;
    ManualTime& operator=(const ManualTime&) = delete;
};

}  // namespace testsupport
