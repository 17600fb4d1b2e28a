#include "freeports.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <stdexcept>

#include "endpointoptions.h"
#include "zqcresolve.h"

namespace {

constexpr int kAttempts = 64;

// A bound UDP socket, closed when it goes.
class BoundSocket {
public:
    // `address` is a numeric address of either family.
    BoundSocket(const std::string& address, uint16_t port)
    {
        ZQCInetAddress sa{};
        if (!ZQCParseNumericAddress(address.c_str(), &sa)) {
            m_error = EINVAL;
            return;
        }
        m_fd = socket(sa.any.sa_family, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        if (m_fd < 0) {
            m_error = errno;
            return;
        }
        ZQCSetInetAddressPort(&sa, port);
        if (bind(m_fd, &sa.any, ZQCInetAddressLength(sa)) != 0) {
            m_error = errno;
        }
    }
    ~BoundSocket()
    {
        if (m_fd >= 0) {
            close(m_fd);
        }
    }
    BoundSocket(const BoundSocket&) = delete;
    BoundSocket& operator=(const BoundSocket&) = delete;

    bool Bound() const { return m_fd >= 0 && m_error == 0; }
    int Error() const { return m_error; }
    uint16_t Port() const
    {
        ZQCInetAddress sa{};
        socklen_t length = sizeof sa;
        if (!Bound() || getsockname(m_fd, &sa.any, &length) != 0) {
            return 0;
        }
        return ZQCInetAddressPort(sa);
    }

private:
    int m_fd = -1;
    int m_error = 0;
};

bool PairIsFree(const std::vector<std::string>& addresses, uint16_t port)
{
    // All held at once: the pair must be free on every address together.
    std::vector<std::unique_ptr<BoundSocket>> held;
    for (const std::string& address : addresses) {
        for (const uint16_t p : {port, static_cast<uint16_t>(port + 1)}) {
            held.push_back(std::make_unique<BoundSocket>(address, p));
            if (!held.back()->Bound()) {
                return false;
            }
        }
    }
    return true;
}

}  // namespace

uint16_t FindFreePortPair(const std::vector<std::string>& addresses, uint16_t taken)
{
    if (addresses.empty()) {
        return 0;
    }
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        // The system's next ephemeral port is a good guess for one that is
        // free; the even one below it starts the pair.
        const uint16_t guess = BoundSocket(addresses.front(), 0).Port() & 0xFFFE;
        const bool clear = taken == 0 || (guess != (taken & 0xFFFE));
        if (guess >= 1024 && guess < 65534 && clear && PairIsFree(addresses, guess)) {
            return guess;
        }
    }
    return 0;
}

std::string PortProblem(const std::string& address, uint16_t port)
{
    const BoundSocket probe(address, port);
    return probe.Bound() ? std::string() : std::strerror(probe.Error());
}

void RequireFreePorts(const std::string& option, const std::string& address, const std::vector<uint16_t>& ports)
{
    for (const uint16_t port : ports) {
        const std::string problem = PortProblem(address, port);
        if (!problem.empty()) {
            throw std::runtime_error("option " + option + ": cannot use " + EndpointText(address, port) +
                                     " (" + problem + ")");
        }
    }
}
