#pragma once
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdint>

#include "zqcexport.h"
#include "zqcresolve.h"

// A UDP endpoint of either family given as texts: "127.0.0.1", a host name
// (IPv4 first), "::1" or "[::1]", "fe80::1%eth0". A host name is resolved
// once, when the address is built; an address that does not resolve holds
// none (GetAddress() and GetPort() are then empty texts). GetAddress gives
// the address without brackets, an IPv6 zone by its interface name.
class ZQ_API ZQCSocketAddress {
public:
    ZQCSocketAddress();
    ZQCSocketAddress(int type, const char* address, const char* port);

    const char* GetAddress() const { return m_addressText; }
    const char* GetPort() const { return m_portText; }
    bool IsEmpty() const { return !m_valid; }

    // The socket layer's view: AF_INET or AF_INET6 (AF_UNSPEC when empty),
    // the system's socket address and its length (0 when empty).
    int GetFamily() const { return m_valid ? m_sockaddr.any.sa_family : AF_UNSPEC; }
    const sockaddr* GetSockAddrPointer() const { return &m_sockaddr.any; }
    socklen_t GetSockAddrLength() const { return m_valid ? ZQCInetAddressLength(m_sockaddr) : 0; }
    const ZQCInetAddress& GetInetAddress() const { return m_sockaddr; }
    uint16_t GetPortNumber() const { return ZQCInetAddressPort(m_sockaddr); }

    // A sender as the system gave it. Another family than IPv4 or IPv6, or
    // a length too short for its family, leaves the address empty.
    void SetSockAddr(const sockaddr* address, socklen_t length);
    void SetSockAddr(const sockaddr_in& address);
    void Clear();

private:
    void FormatTexts();

    ZQCInetAddress m_sockaddr{};
    bool m_valid = false;
    // An IPv6 address, '%' and an interface name fit.
    char m_addressText[64] = {};
    char m_portText[8] = {};
};
