#include "zqcsocketaddress.h"

#include <arpa/inet.h>
#include <net/if.h>

#include <cstdio>
#include <cstring>

ZQCSocketAddress::ZQCSocketAddress() { Clear(); }

ZQCSocketAddress::ZQCSocketAddress(int /*type*/, const char* address, const char* port)
{
    Clear();
    ZQCInetAddress resolved{};
    uint16_t portNumber = 0;
    if (!ZQCResolveAddress(address, &resolved) || !ZQCParsePort(port, &portNumber)) {
        return;
    }
    ZQCSetInetAddressPort(&resolved, portNumber);
    SetSockAddr(&resolved.any, ZQCInetAddressLength(resolved));
}

void ZQCSocketAddress::SetSockAddr(const sockaddr_in& address)
{
    SetSockAddr(reinterpret_cast<const sockaddr*>(&address), sizeof address);
}

void ZQCSocketAddress::SetSockAddr(const sockaddr* address, socklen_t length)
{
    ZQCInetAddress given{};
    const bool known = address != nullptr && length >= sizeof(sa_family_t) &&
                       (address->sa_family == AF_INET || address->sa_family == AF_INET6);
    if (!known) {
        Clear();
        return;
    }
    std::memcpy(&given, address, length < sizeof given ? length : sizeof given);
    if (length < ZQCInetAddressLength(given)) {
        Clear();
        return;
    }
    // A receiving loop sets the same sender again and again: its texts are
    // already there, and formatting them for every datagram costs.
    if (m_valid && ZQCSameInetAddress(m_sockaddr, given)) {
        return;
    }
    m_sockaddr = given;
    m_valid = true;
    FormatTexts();
}

void ZQCSocketAddress::FormatTexts()
{
    std::snprintf(m_portText, sizeof m_portText, "%u", static_cast<unsigned>(GetPortNumber()));
    if (m_sockaddr.any.sa_family == AF_INET) {
        inet_ntop(AF_INET, &m_sockaddr.v4.sin_addr, m_addressText, sizeof m_addressText);
        return;
    }
    char address[INET6_ADDRSTRLEN] = {};
    inet_ntop(AF_INET6, &m_sockaddr.v6.sin6_addr, address, sizeof address);
    const uint32_t scope = m_sockaddr.v6.sin6_scope_id;
    if (scope == 0) {
        std::snprintf(m_addressText, sizeof m_addressText, "%s", address);
        return;
    }
    char zone[IF_NAMESIZE] = {};
    if (if_indextoname(scope, zone) != nullptr) {
        std::snprintf(m_addressText, sizeof m_addressText, "%s%%%s", address, zone);
    } else {
        std::snprintf(m_addressText, sizeof m_addressText, "%s%%%u", address, static_cast<unsigned>(scope));
    }
}

void ZQCSocketAddress::Clear()
{
    m_sockaddr = ZQCInetAddress{};
    m_valid = false;
    m_addressText[0] = '\0';
    m_portText[0] = '\0';
}
