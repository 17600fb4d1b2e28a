#include "zqcsocketaddress.h"

#include <arpa/inet.h>

#include <cstdio>

#include "zqcresolve.h"

ZQCSocketAddress::ZQCSocketAddress() { Clear(); }

ZQCSocketAddress::ZQCSocketAddress(int /*type*/, const char* address, const char* port)
{
    Clear();
    in_addr ip{};
    uint16_t portNumber = 0;
    if (!ZQCResolveIPv4(address, &ip) || !ZQCParsePort(port, &portNumber)) {
        return;
    }
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr = ip;
    sa.sin_port = htons(portNumber);
    SetSockAddr(sa);
}

void ZQCSocketAddress::SetSockAddr(const sockaddr_in& sa)
{
    // A receiving loop sets the same sender again and again: its texts are
    // already there, and formatting them for every datagram costs.
    if (m_valid && m_sockaddr.sin_family == sa.sin_family && m_sockaddr.sin_port == sa.sin_port &&
        m_sockaddr.sin_addr.s_addr == sa.sin_addr.s_addr) {
        return;
    }
    m_sockaddr = sa;
    m_valid = true;
    inet_ntop(AF_INET, &sa.sin_addr, m_addressText, sizeof m_addressText);
    std::snprintf(m_portText, sizeof m_portText, "%u", static_cast<unsigned>(ntohs(sa.sin_port)));
}

void ZQCSocketAddress::Clear()
{
    m_sockaddr = sockaddr_in{};
    m_valid = false;
    m_addressText[0] = '\0';
    m_portText[0] = '\0';
}
