#pragma once
// Runs every measurement several times, each run in a fresh process, and
// prints one table: figure, our value, baseline value, ratio, target, and
// whether the target is met (medians, with min and max).
#include <string>

namespace bench {

struct DriverOptions {
    int runs = 5;
    double scaleSeconds = 10;
    const char* self = "/proc/self/exe";
    // Measurements to run, by name ("srtp-send,allocs"; "check" is the
    // instruction count); empty: all. The table then leaves out the rows
    // that got no figure.
    std::string only;
};

int RunDriver(const DriverOptions& options);

}  // namespace bench
