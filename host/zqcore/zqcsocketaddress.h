#pragma once
#include <netinet/in.h>

#include "zqcexport.h"

// An IPv4 UDP endpoint given as texts. A host name is resolved once, when
// the address is built; an address that does not resolve holds none
// (GetAddress() and GetPort() are then empty texts).
class ZQ_API ZQCSocketAddress {
public:
    ZQCSocketAddress();
    ZQCSocketAddress(int type, const char* address, const char* port);

    const char* GetAddress() const { return m_addressText; }
    const char* GetPort() const { return m_portText; }
    bool IsEmpty() const { return !m_valid; }

    // Raw access for the socket layer.
    const sockaddr_in& GetSockAddr() const { return m_sockaddr; }
    void SetSockAddr(const sockaddr_in& sa);
    void Clear();

private:
    sockaddr_in m_sockaddr{};
    bool m_valid = false;
    char m_addressText[64] = {};
    char m_portText[8] = {};
};
