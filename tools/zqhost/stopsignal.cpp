#include "stopsignal.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <stdexcept>

namespace {

// Each asks the command to stop: Ctrl-C, kill, a closed terminal, and a
// reader of standard output that went away (`zqhost recv ... | head`).
constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};
constexpr size_t kSignalCount = sizeof kStopSignals / sizeof kStopSignals[0];

volatile std::sig_atomic_t g_raised = 0;
int g_pipe[2] = {-1, -1};
struct sigaction g_previous[kSignalCount] = {};

extern "C" void OnStopSignal(int signal)
{
    const int savedErrno = errno;
    g_raised = 1;
    if (signal == SIGPIPE) {
        // Standard output is gone: what is still to be said (the last
        // statistics, the summary) goes to standard error instead.
        dup2(STDERR_FILENO, STDOUT_FILENO);
    }
    const char byte = 1;
    // A full pipe already wakes the loop; nothing to do when this fails.
    [[maybe_unused]] const ssize_t written = write(g_pipe[1], &byte, 1);
    errno = savedErrno;
}

}  // namespace

StopSignal::StopSignal()
{
    if (pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        throw std::runtime_error("cannot create the signal pipe");
    }
    g_raised = 0;
    struct sigaction action {};
    action.sa_handler = &OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (size_t i = 0; i < kSignalCount; ++i) {
        sigaction(kStopSignals[i], &action, &g_previous[i]);
    }
}

StopSignal::~StopSignal()
{
    for (size_t i = 0; i < kSignalCount; ++i) {
        sigaction(kStopSignals[i], &g_previous[i], nullptr);
    }
    close(g_pipe[0]);
    close(g_pipe[1]);
    g_pipe[0] = g_pipe[1] = -1;
}

bool StopSignal::Raised() const { return g_raised != 0; }

bool StopSignal::WaitUntil(std::chrono::steady_clock::time_point deadline) const
{
    while (!Raised()) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            return false;
        }
        pollfd wake{g_pipe[0], POLLIN, 0};
        // EINTR and a wake-up both lead back to the flag.
        poll(&wake, 1, static_cast<int>(std::min<long long>(left.count(), 60'000)));
    }
    return true;
}
