#pragma once
// UDP sockets of the library. A socket bound to a non-zero local port is
// shared by every stack of the process that asks for that port, through a
// process-wide map and a reference count; a socket on port 0 has one owner.
#include <atomic>
#include <cstddef>
#include <cstdint>

#include <netinet/in.h>

#include "zqcsocket.h"

namespace zqm {

// An IPv4 endpoint as one number: address << 16 | port (0: none). Cheap to
// compare and to keep in an atomic.
inline uint64_t PackEndpoint(const sockaddr_in& address)
{
    return (static_cast<uint64_t>(ntohl(address.sin_addr.s_addr)) << 16) | ntohs(address.sin_port);
}

inline sockaddr_in UnpackEndpoint(uint64_t endpoint)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(static_cast<uint32_t>(endpoint >> 16));
    address.sin_port = htons(static_cast<uint16_t>(endpoint & 0xFFFFu));
    return address;
}

}  // namespace zqm

class RTPSocket : public ZQCSocket {
public:
    RTPSocket();
    ~RTPSocket() override;

    // A datagram socket; negative on failure.
    int Create(const char* address);
    // Remembers atoi(portText) as the port, then binds; negative on failure.
    int Bind(const char* address, const char* portText);
    int32_t GetPort() const { return m_port; }
    // Port 0 sockets are never in the process-wide map: one holder only.
    bool IsShared() const { return m_port != 0; }

    uint32_t AddRef();
    // Deletes the socket when the count reaches 0 (and answers 0).
    uint32_t Release();
    uint32_t GetRefCount() const { return m_refCount.load(std::memory_order_relaxed); }

    // The core socket's calls; a null address answers -1.
    int RecvFrom(void* buffer, int size, ZQCSocketAddress* from);
    // The same with the kernel's receive time (EnableReceiveTimestamps).
    int RecvFrom(void* buffer, int size, ZQCSocketAddress* from, uint64_t* arrivalMicroseconds);
    int SendTo(const void* buffer, int size, ZQCSocketAddress* to);
    using ZQCSocket::RecvFrom;
    using ZQCSocket::SendTo;

private:
    std::atomic<uint32_t> m_refCount{0};
    int32_t m_port = 0;
};

// A new socket of its own (never shared), bound to address:port, with one
// reference; null on failure (logged).
RTPSocket* CreateRTPSocket(const char* address, const char* portText);

// The socket of the process for that local port, shared by reference count;
// port 0 ("0" or a text atoi reads as 0) gives a socket of its own. Null on
// failure. The address is not compared when the port is already held.
RTPSocket* AcquireRTPSocket(const char* address, const char* portText);

// Gives back a socket obtained with AcquireRTPSocket and clears the holder.
// A socket that is not in the map is logged and left with its holder.
void ReleaseRTPSocket(RTPSocket** holder);

// Whether the core socket layer accepts the address text.
bool IsValidAddress(const char* address);

namespace zqm {

// The shared socket held for a port, or null (reads the map under its lock).
RTPSocket* FindSharedRTPSocket(int32_t port);
// Number of ports in the map.
std::size_t SharedRTPSocketCount();

}  // namespace zqm
