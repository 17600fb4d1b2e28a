#pragma once
// The relay's UDP sockets, of either family: bound, non-blocking, closed
// when they go. Addresses are numeric texts ("127.0.0.1", "::1").
#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "zqcresolve.h"

// Throws std::runtime_error when `numericAddress` is not an IP address.
ZQCInetAddress MakeAddress(const std::string& numericAddress, uint16_t port);

// The local address the system sends from to reach `numericAddress`.
// Throws std::runtime_error when there is no route.
std::string LocalAddressToward(const std::string& numericAddress, uint16_t port);

class UdpSocket {
public:
    UdpSocket() = default;
    ~UdpSocket();
    UdpSocket(UdpSocket&& other) noexcept;
    UdpSocket& operator=(UdpSocket&& other) noexcept;
    UdpSocket(const UdpSocket&) = delete;
    UdpSocket& operator=(const UdpSocket&) = delete;

    // Throws std::runtime_error naming `what` when it cannot be bound.
    static UdpSocket Bind(const std::string& numericAddress, uint16_t port, const std::string& what);

    bool IsOpen() const { return m_fd >= 0; }
    int Descriptor() const { return m_fd; }
    // One waiting datagram into `buffer`: its whole length (more than
    // `capacity` when it did not fit), or -1 when none waits.
    ssize_t Receive(uint8_t* buffer, size_t capacity, ZQCInetAddress& from) const;
    // False for a destination of the other family than the socket's.
    bool SendTo(const uint8_t* data, size_t length, const ZQCInetAddress& to) const;

private:
    explicit UdpSocket(int fd) : m_fd(fd) {}

    int m_fd = -1;
};
