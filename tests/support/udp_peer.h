#pragma once
// A raw UDP socket of the test on a loopback address: the far end the
// stacks send to, or a sender of crafted datagrams.
#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

using Bytes = std::vector<uint8_t>;
constexpr int kWaitMs = 10000;  // generous: only a fault makes a test wait this long

class UdpPeer {
public:
    // Port 0: one the system picks.
    explicit UdpPeer(const char* address = "127.0.0.1", int port = 0)
    {
        m_fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in sa = Address(address, port);
        m_bound = bind(m_fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0;
        socklen_t length = sizeof sa;
        getsockname(m_fd, reinterpret_cast<sockaddr*>(&sa), &length);
        m_port = ntohs(sa.sin_port);
    }
    ~UdpPeer() { close(m_fd); }
    UdpPeer(const UdpPeer&) = delete;
    UdpPeer& operator=(const UdpPeer&) = delete;

    bool IsBound() const { return m_bound; }
    int Descriptor() const { return m_fd; }
    int Port() const { return m_port; }
    std::string PortText() const { return std::to_string(m_port); }

    bool SendTo(const char* address, int port, const Bytes& bytes)
    {
        const sockaddr_in sa = Address(address, port);
        return sendto(m_fd, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) ==
               static_cast<ssize_t>(bytes.size());
    }
    bool SendTo(const char* address, const std::string& port, const Bytes& bytes)
    {
        return SendTo(address, std::stoi(port), bytes);
    }

    // The next datagram; empty when none came within `timeoutMs`.
    Bytes Receive(int timeoutMs = kWaitMs)
    {
        pollfd ready{m_fd, POLLIN, 0};
        Bytes bytes(65536);
        const ssize_t n = poll(&ready, 1, timeoutMs) > 0 ? recv(m_fd, bytes.data(), bytes.size(), MSG_DONTWAIT) : -1;
        bytes.resize(n > 0 ? static_cast<size_t>(n) : 0);
        return bytes;
    }

private:
    static sockaddr_in Address(const char* address, int port)
    {
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_port = htons(static_cast<uint16_t>(port));
        inet_pton(AF_INET, address, &sa.sin_addr);
        return sa;
    }

    int m_fd = -1;
    int m_port = 0;
    bool m_bound = false;
};

// A port nobody held a moment ago (bound, read, let go).
inline std::string FreePort(const char* address) { return UdpPeer(address).PortText(); }

}  // namespace testsupport
