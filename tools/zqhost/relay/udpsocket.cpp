#include "udpsocket.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <utility>

#include "endpointoptions.h"
#include "zqcsocketaddress.h"

namespace {

// A delayed stream arrives in bursts after a pause of the sender; the
// system's default buffer is small enough to lose some of them.
constexpr int kReceiveBufferBytes = 4 * 1024 * 1024;

}  // namespace

ZQCInetAddress MakeAddress(const std::string& numericAddress, uint16_t port)
{
    ZQCInetAddress address{};
    if (!ZQCParseNumericAddress(numericAddress.c_str(), &address)) {
        throw std::runtime_error("'" + numericAddress + "' is not an IP address");
    }
    ZQCSetInetAddressPort(&address, port);
    return address;
}

std::string LocalAddressToward(const std::string& numericAddress, uint16_t port)
{
    const ZQCInetAddress remote = MakeAddress(numericAddress, port);
    // Connecting a UDP socket sends nothing; it only picks the route.
    const int fd = socket(remote.any.sa_family, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        throw std::runtime_error(std::string("cannot create a socket: ") + std::strerror(errno));
    }
    ZQCInetAddress local{};
    socklen_t length = sizeof local;
    const bool found = connect(fd, &remote.any, ZQCInetAddressLength(remote)) == 0 &&
                       getsockname(fd, &local.any, &length) == 0;
    const int error = errno;
    close(fd);
    if (!found) {
        throw std::runtime_error("no route to " + numericAddress + ": " + std::strerror(error));
    }
    ZQCSocketAddress text;
    text.SetSockAddr(&local.any, length);
    return text.GetAddress();
}

UdpSocket::~UdpSocket()
{
    if (m_fd >= 0) {
        close(m_fd);
    }
}

UdpSocket::UdpSocket(UdpSocket&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}

UdpSocket& UdpSocket::operator=(UdpSocket&& other) noexcept
{
    if (this != &other) {
        if (m_fd >= 0) {
            close(m_fd);
        }
        m_fd = std::exchange(other.m_fd, -1);
    }
    return *this;
}

UdpSocket UdpSocket::Bind(const std::string& numericAddress, uint16_t port, const std::string& what)
{
    const ZQCInetAddress address = MakeAddress(numericAddress, port);
    UdpSocket bound(socket(address.any.sa_family, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!bound.IsOpen()) {
        throw std::runtime_error(what + ": cannot create a socket: " + std::strerror(errno));
    }
    if (bind(bound.m_fd, &address.any, ZQCInetAddressLength(address)) != 0) {
        throw std::runtime_error(what + ": cannot use " + EndpointText(numericAddress, port) + " (" +
                                 std::strerror(errno) + ")");
    }
    // Best effort: a smaller buffer still works.
    setsockopt(bound.m_fd, SOL_SOCKET, SO_RCVBUF, &kReceiveBufferBytes, sizeof kReceiveBufferBytes);
    return bound;
}

ssize_t UdpSocket::Receive(uint8_t* buffer, size_t capacity, ZQCInetAddress& from) const
{
    socklen_t length = sizeof from;
    for (;;) {
        const ssize_t received = recvfrom(m_fd, buffer, capacity, MSG_TRUNC, &from.any, &length);
        if (received >= 0 || errno != EINTR) {
            return received;
        }
    }
}

bool UdpSocket::SendTo(const uint8_t* data, size_t length, const ZQCInetAddress& to) const
{
    for (;;) {
        const ssize_t sent = sendto(m_fd, data, length, 0, &to.any, ZQCInetAddressLength(to));
        if (sent >= 0 || errno != EINTR) {
            return sent == static_cast<ssize_t>(length);
        }
    }
}
