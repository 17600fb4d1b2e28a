#pragma once
// Runs every measurement several times, each run in a fresh process, and
// prints one table: figure, our value, baseline value, ratio, target, and
// whether the target is met (medians, with min and max).
namespace bench {

struct DriverOptions {
    int runs = 5;
    double scaleSeconds = 10;
    const char* self = "/proc/self/exe";
};

int RunDriver(const DriverOptions& options);

}  // namespace bench
