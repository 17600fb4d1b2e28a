#pragma once
#include <netinet/in.h>

#include <cstdint>

#include "zqcexport.h"
#include "zqcresolve.h"
#include "zqcsocketaddress.h"

class ZQCWakeEvent;

// A UDP socket of the core library, IPv4 or IPv6 after the address it is
// created for. Results follow the core's convention: below 0 on failure.
// RecvFrom and SendTo may be called from several threads at once on the
// same socket.
class ZQ_API ZQCSocket {
public:
    enum { kDatagram = 1 };
    // SendTo's answers below 0: a failed send (errno says why), and a
    // datagram that went out while an ICMP error (port, host or network
    // unreachable) said the peer did not take an earlier one.
    static constexpr int kSendFailed = -1;
    static constexpr int kPeerUnreachable = -2;

    ZQCSocket();
    virtual ~ZQCSocket();
    ZQCSocket(const ZQCSocket&) = delete;
    ZQCSocket& operator=(const ZQCSocket&) = delete;

    // type 1 is a UDP datagram socket, of the family of `address`; an empty
    // address gives an IPv4 socket.
    int CreateSocket(int type, const char* address);
    // Binds to `address` (empty: any address of the socket's family) and the
    // decimal `port` text ("0": any port). An address of the other family
    // than the socket's fails.
    int Bind(int type, const char* address, const char* port);
    int SetNonBlocking(bool on);

    // Byte count; 0 or less when nothing came (the socket is non-blocking).
    // ICMP errors that earlier sends drew are read and dropped: a receiver
    // never hears of them.
    int RecvFrom(void* buffer, int size, ZQCSocketAddress& from);
    // The same, with the time the kernel received the datagram (wall clock,
    // microseconds) once EnableReceiveTimestamps is on; 0 without one.
    int RecvFrom(void* buffer, int size, ZQCSocketAddress& from, uint64_t* arrivalMicroseconds);
    // Has the kernel stamp each received datagram (SO_TIMESTAMPNS): arrival
    // times that do not depend on when the reading thread got to run.
    int EnableReceiveTimestamps();
    // Byte count, kPeerUnreachable or kSendFailed. A pending ICMP error about
    // an earlier datagram fails the next send in the kernel without sending
    // it: that datagram is sent once more, and kPeerUnreachable tells that
    // the error was about `to` (a connected socket's errors always are).
    // A destination of the other family than the socket's is kSendFailed.
    int SendTo(const void* buffer, int size, const ZQCSocketAddress& to);

    // Fixes the socket's peer: the kernel keeps the route, and SendTo to that
    // address skips the route lookup and address copy of every datagram.
    // Datagrams from anywhere else are no longer received, so only a socket
    // that no one reads from may be connected. Call it before other threads
    // use the socket. Below 0 on failure (the socket then stays unconnected
    // and SendTo works as before).
    int Connect(const ZQCSocketAddress& peer);

    // Waits until a datagram can be read, at most `timeoutMs` (-1: no limit),
    // cut short when `cancel` is signalled. Answers 1 readable, 0 time-out,
    // -1 cancelled, -2 error. ICMP errors pending on the socket are dropped
    // and the wait goes on: they make nothing readable.
    int WaitReadable(int timeoutMs, const ZQCWakeEvent* cancel) const;

    int SetRecvBufferSize(int bytes);
    int SetSendBufferSize(int bytes);
    // IP_TOS on IPv4, the traffic class on IPv6.
    int SetIPTOS(int tos);
    // The multicast TTL on IPv4, the multicast hop limit on IPv6.
    int SetMulticastTileToLive(int ttl);
    void CancelReadOrSend();

    // Below 0 for an address text that is not a usable IPv4 or IPv6 address
    // or host name.
    virtual int CheckAddress(const char* address);
    // Writes the host's own address: the one its name resolves to.
    virtual int GetLocalIpAddress(char* buffer, int size);

    int GetDescriptor() const { return m_fd; }
    // AF_INET or AF_INET6 once created; AF_UNSPEC before.
    int GetFamily() const { return m_fd >= 0 ? m_family : AF_UNSPEC; }
    // The port actually bound (useful after binding port "0"); 0 when unbound.
    int GetBoundPort() const;

private:
    bool IsConnectedPeer(const ZQCSocketAddress& to) const;
    // One send(to) or sendto(); errno on failure.
    long SendOnce(const void* buffer, int size, const ZQCSocketAddress& to) const;
    int SendAgainAfterPeerError(const void* buffer, int size, const ZQCSocketAddress& to) const;

    int m_fd = -1;
    int m_family = AF_INET;
    bool m_connected = false;
    ZQCInetAddress m_peer{};
};
