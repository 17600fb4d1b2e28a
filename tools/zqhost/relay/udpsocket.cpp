#include "udpsocket.h"

#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <utility>

namespace {

// A delayed stream arrives in bursts after a pause of the sender; the
// system's default buffer is small enough to lose some of them.
constexpr int kReceiveBufferBytes = 4 * 1024 * 1024;

}  // namespace

sockaddr_in MakeAddress(const std::string& dottedAddress, uint16_t port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    if (inet_pton(AF_INET, dottedAddress.c_str(), &address.sin_addr) != 1) {
        throw std::runtime_error("'" + dottedAddress + "' is not an IPv4 address");
    }
    return address;
}

std::string LocalAddressToward(const std::string& dottedAddress, uint16_t port)
{
    // Connecting a UDP socket sends nothing; it only picks the route.
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        throw std::runtime_error(std::string("cannot create a socket: ") + std::strerror(errno));
    }
    const sockaddr_in remote = MakeAddress(dottedAddress, port);
    sockaddr_in local{};
    socklen_t length = sizeof local;
    const bool found = connect(fd, reinterpret_cast<const sockaddr*>(&remote), sizeof remote) == 0 &&
                       getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length) == 0;
    const int error = errno;
    close(fd);
    if (!found) {
        throw std::runtime_error("no route to " + dottedAddress + ": " + std::strerror(error));
    }
    char dotted[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &local.sin_addr, dotted, sizeof dotted);
    return dotted;
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

UdpSocket UdpSocket::Bind(const std::string& dottedAddress, uint16_t port, const std::string& what)
{
    UdpSocket bound(socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!bound.IsOpen()) {
        throw std::runtime_error(what + ": cannot create a socket: " + std::strerror(errno));
    }
    const sockaddr_in address = MakeAddress(dottedAddress, port);
    if (bind(bound.m_fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        throw std::runtime_error(what + ": cannot use " + dottedAddress + ":" + std::to_string(port) + " (" +
                                 std::strerror(errno) + ")");
    }
    // Best effort: a smaller buffer still works.
    setsockopt(bound.m_fd, SOL_SOCKET, SO_RCVBUF, &kReceiveBufferBytes, sizeof kReceiveBufferBytes);
    return bound;
}

ssize_t UdpSocket::Receive(uint8_t* buffer, size_t capacity, sockaddr_in& from) const
{
    socklen_t length = sizeof from;
    for (;;) {
        const ssize_t received =
            recvfrom(m_fd, buffer, capacity, MSG_TRUNC, reinterpret_cast<sockaddr*>(&from), &length);
        if (received >= 0 || errno != EINTR) {
            return received;
        }
    }
}

bool UdpSocket::SendTo(const uint8_t* data, size_t length, const sockaddr_in& to) const
{
    for (;;) {
        const ssize_t sent = sendto(m_fd, data, length, 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
        if (sent >= 0 || errno != EINTR) {
            return sent == static_cast<ssize_t>(length);
        }
    }
}
