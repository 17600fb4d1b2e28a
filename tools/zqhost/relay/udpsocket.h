#pragma once
// The relay's UDP sockets: bound, non-blocking, closed when they go.
#include <netinet/in.h>
#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <string>

sockaddr_in MakeAddress(const std::string& dottedAddress, uint16_t port);

// The local address the system sends from to reach `dottedAddress`.
// Throws std::runtime_error when there is no route.
std::string LocalAddressToward(const std::string& dottedAddress, uint16_t port);

class UdpSocket {
public:
    UdpSocket() = default;
    ~UdpSocket();
    UdpSocket(UdpSocket&& other) noexcept;
    UdpSocket& operator=(UdpSocket&& other) noexcept;
    UdpSocket(const UdpSocket&) = delete;
    UdpSocket& operator=(const UdpSocket&) = delete;

    // Throws std::runtime_error naming `what` when it cannot be bound.
    static UdpSocket Bind(const std::string& dottedAddress, uint16_t port, const std::string& what);

    bool IsOpen() const { return m_fd >= 0; }
    int Descriptor() const { return m_fd; }
    // One waiting datagram into `buffer`: its whole length (more than
    // `capacity` when it did not fit), or -1 when none waits.
    ssize_t Receive(uint8_t* buffer, size_t capacity, sockaddr_in& from) const;
    bool SendTo(const uint8_t* data, size_t length, const sockaddr_in& to) const;

private:
    explicit UdpSocket(int fd) : m_fd(fd) {}

    int m_fd = -1;
};
