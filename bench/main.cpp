// zqbench: the whole-process benchmarks and their driver.
//   zqbench [--runs N] [--scale-seconds S] [--only NAME,...]   every measurement (or those named)
//                                                              N times, then the table
//   zqbench NAME ARGS   one run of one: send, receive, latency, idle, scale, memory,
//                       srtp-send, srtp-receive, allocs, checkloop, scale-shared,
//                       idle-shared, memory-shared
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>

#include <unistd.h>

#include "driver.h"
#include "measurements.h"
#include "zqfdebuglog.h"
#include "zqwin32.h"

namespace {

double Arg(int argc, char** argv, int at, double fallback) { return at < argc ? std::atof(argv[at]) : fallback; }

int RunOne(int argc, char** argv)
{
    const std::string what = argv[1];
    if (what == "send") {
        bench::MeasureSend(static_cast<uint64_t>(Arg(argc, argv, 2, 200000)));
    } else if (what == "receive") {
        bench::MeasureReceive(static_cast<uint64_t>(Arg(argc, argv, 2, 200000)), static_cast<int>(Arg(argc, argv, 3, 0)));
    } else if (what == "latency") {
        bench::MeasureLatency(static_cast<int>(Arg(argc, argv, 2, 250)), static_cast<int>(Arg(argc, argv, 3, 50)));
    } else if (what == "idle") {
        bench::MeasureIdle(static_cast<int>(Arg(argc, argv, 2, 100)), Arg(argc, argv, 3, 3));
    } else if (what == "scale") {
        bench::MeasureScale(static_cast<int>(Arg(argc, argv, 2, 200)), static_cast<int>(Arg(argc, argv, 3, 50)),
                            Arg(argc, argv, 4, 10));
    } else if (what == "memory") {
        bench::MeasureMemory(static_cast<int>(Arg(argc, argv, 2, 100)));
    } else if (what == "srtp-send") {
        bench::MeasureSrtpSend(static_cast<uint64_t>(Arg(argc, argv, 2, 10000)));
    } else if (what == "srtp-receive") {
        bench::MeasureSrtpReceive(static_cast<uint64_t>(Arg(argc, argv, 2, 5000)));
    } else if (what == "allocs") {
        bench::MeasureAllocations(static_cast<int>(Arg(argc, argv, 2, 2000)));
    } else if (what == "scale-shared") {
        bench::MeasureSharedScale(static_cast<int>(Arg(argc, argv, 2, 200)), static_cast<int>(Arg(argc, argv, 3, 50)),
                                  Arg(argc, argv, 4, 10));
    } else if (what == "idle-shared") {
        bench::MeasureSharedIdle(static_cast<int>(Arg(argc, argv, 2, 1000)), Arg(argc, argv, 3, 3));
    } else if (what == "memory-shared") {
        const bool shared = argc <= 3 || std::strcmp(argv[3], "own") != 0;
        bench::MeasureMemoryIO(static_cast<int>(Arg(argc, argv, 2, 1000)), shared);
    } else if (what == "checkloop") {
        bench::RunCheckLoop(static_cast<int>(Arg(argc, argv, 2, 2000)));
    } else {
        std::fprintf(stderr, "zqbench: unknown measurement '%s'\n", what.c_str());
        return 2;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    // The stack's log lines are not part of what is measured, nor the debug
    // strings its modules print when they are made (thousands of them here).
    zqf::SetDebugLogSink([](const char*, int, int, const char*) {});
    zqwin32::SetOutputDebugStringSink([](const char*) {});
    try {
        if (argc > 1 && argv[1][0] != '-') {
            return RunOne(argc, argv);
        }
        bench::DriverOptions options;
        // The children are started through the shell: name this program by its path.
        char self[4096] = {};
        if (readlink("/proc/self/exe", self, sizeof self - 1) > 0) {
            options.self = self;
        }
        for (int i = 1; i + 1 < argc; i += 2) {
            if (std::strcmp(argv[i], "--runs") == 0) {
                options.runs = std::max(1, std::atoi(argv[i + 1]));
            } else if (std::strcmp(argv[i], "--scale-seconds") == 0) {
                options.scaleSeconds = std::atof(argv[i + 1]);
            } else if (std::strcmp(argv[i], "--only") == 0) {
                options.only = argv[i + 1];
            }
        }
        return bench::RunDriver(options);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "zqbench: %s\n", e.what());
        return 1;
    }
}
