#include "zqcwakeevent.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

ZQCWakeEvent::ZQCWakeEvent() : m_fd(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

ZQCWakeEvent::~ZQCWakeEvent()
{
    if (m_fd >= 0) {
        close(m_fd);
    }
}

void ZQCWakeEvent::Signal()
{
    const uint64_t one = 1;
    // A full counter still reads as signalled; nothing to do on failure.
    [[maybe_unused]] ssize_t n = write(m_fd, &one, sizeof one);
}

void ZQCWakeEvent::Reset()
{
    uint64_t value;
    while (read(m_fd, &value, sizeof value) > 0) {
    }
}

bool ZQCWakeEvent::IsSignaled() const { return Wait(0); }

bool ZQCWakeEvent::Wait(int timeoutMs) const
{
    pollfd p{m_fd, POLLIN, 0};
    int ready;
    do {
        ready = poll(&p, 1, timeoutMs);
    } while (ready < 0 && errno == EINTR);
    return ready > 0 && (p.revents & POLLIN);
}
