#pragma once
// UDP sockets of the library. A socket bound to a non-zero local port is
// shared by every stack of the process that asks for that port in the same
// address family (IPv4 or IPv6), through a process-wide map and a reference
// count; a socket on port 0 has one owner.
#include <atomic>
#include <cstddef>
#include <cstdint>

#include "zqcsocket.h"

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

// The socket of the process for that local port in the address's family
// (an empty address is IPv4), shared by reference count; port 0 ("0" or a
// text atoi reads as 0) gives a socket of its own. Null on failure. Within a
// family the address is not compared when the port is already held.
RTPSocket* AcquireRTPSocket(const char* address, const char* portText);

// Gives back a socket obtained with AcquireRTPSocket and clears the holder.
// A socket that is not in the map is logged and left with its holder.
void ReleaseRTPSocket(RTPSocket** holder);

// Whether the core socket layer accepts the address text.
bool IsValidAddress(const char* address);

namespace zqm {

// Whether two address texts name one address: the same text, or two
// literals of one address ("::ffff:127.0.0.1" is "127.0.0.1", "::1" is
// "0:0::1"). Host names are not looked up: only the same name matches.
bool IsSameAddress(const char* a, const char* b);

// Whether a stack on `local` (empty: IPv4) can send to its remote RTP and
// RTCP addresses: each empty or of the local address's family. Otherwise
// logs which setting is of the other family and answers false. Texts that
// do not resolve pass: the address checks report them.
bool CheckAddressFamilies(const char* local, const char* remoteRTP, const char* remoteRTCP);

// The shared socket held for a port, or null (reads the map under its lock);
// the IPv4 one when both families hold the port.
RTPSocket* FindSharedRTPSocket(int32_t port);
RTPSocket* FindSharedRTPSocket(int family, int32_t port);
// Number of ports in the map.
std::size_t SharedRTPSocketCount();

}  // namespace zqm
