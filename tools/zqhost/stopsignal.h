#pragma once
// SIGINT, SIGTERM, SIGHUP and SIGPIPE as a flag that a waiting loop sees at
// once. The handler only sets the flag (and, for SIGPIPE, points standard
// output at standard error) and writes one byte to a pipe that the loop
// waits on, which is all a signal handler may safely do.
#include <chrono>

class StopSignal {
public:
    // Installs the handlers; the destructor puts the previous ones back.
    StopSignal();
    ~StopSignal();
    StopSignal(const StopSignal&) = delete;
    StopSignal& operator=(const StopSignal&) = delete;

    bool Raised() const;
    // Waits until a signal arrives or `deadline` passes; true when raised.
    bool WaitUntil(std::chrono::steady_clock::time_point deadline) const;
};
