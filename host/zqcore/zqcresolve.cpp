#include "zqcresolve.h"

#include <arpa/inet.h>
#include <net/if.h>
#include <netdb.h>

#include <cctype>
#include <cstdlib>
#include <cstring>

namespace {

constexpr const char* kEmpty = "no address given";
constexpr const char* kNotAnAddress = "neither an IP address nor a host name";
constexpr const char* kBadIPv6 = "not a valid IPv6 address";
constexpr const char* kNoSuchZone = "its zone names no network interface";
constexpr const char* kUnresolved = "the host name has no address";

bool Fail(const char** problem, const char* reason)
{
    if (problem != nullptr) {
        *problem = reason;
    }
    return false;
}

bool LooksLikeHostName(const char* text)
{
    const size_t length = std::strlen(text);
    if (length == 0 || length > 253) {
        return false;
    }
    bool allNumeric = true;
    for (const char* p = text; *p; ++p) {
        const unsigned char c = static_cast<unsigned char>(*p);
        if (!(std::isalnum(c) || c == '-' || c == '.' || c == '_')) {
            return false;
        }
        if (!(std::isdigit(c) || c == '.')) {
            allNumeric = false;
        }
    }
    // "999.1.1.1" is a broken literal, not a name to look up.
    return !allNumeric;
}

// The interface a zone names: its name ("eth0") or its index ("2"). 0 when
// there is no such interface.
uint32_t ZoneIndex(const char* zone, size_t length)
{
    if (length == 0 || length >= IF_NAMESIZE) {
        return 0;
    }
    char name[IF_NAMESIZE] = {};
    std::memcpy(name, zone, length);
    if (std::strspn(name, "0123456789") == length) {
        const unsigned long index = std::strtoul(name, nullptr, 10);
        char known[IF_NAMESIZE] = {};
        return index <= UINT32_MAX && if_indextoname(static_cast<unsigned>(index), known) != nullptr
                   ? static_cast<uint32_t>(index)
                   : 0;
    }
    return if_nametoindex(name);
}

// "addr" or "addr%zone", already out of its brackets.
bool ParseIPv6(const char* text, size_t length, ZQCInetAddress* out, const char** problem)
{
    const char* percent = static_cast<const char*>(std::memchr(text, '%', length));
    const size_t addressLength = percent != nullptr ? static_cast<size_t>(percent - text) : length;
    char address[INET6_ADDRSTRLEN] = {};
    if (addressLength == 0 || addressLength >= sizeof address) {
        return Fail(problem, kBadIPv6);
    }
    std::memcpy(address, text, addressLength);
    in6_addr ip{};
    if (inet_pton(AF_INET6, address, &ip) != 1) {
        return Fail(problem, kBadIPv6);
    }
    uint32_t scope = 0;
    if (percent != nullptr) {
        scope = ZoneIndex(percent + 1, length - addressLength - 1);
        if (scope == 0) {
            return Fail(problem, kNoSuchZone);
        }
    }
    *out = ZQCInetAddress{};
    out->v6.sin6_family = AF_INET6;
    out->v6.sin6_addr = ip;
    out->v6.sin6_scope_id = scope;
    return true;
}

bool IsBracketed(const char* text) { return text[0] == '['; }

bool LookUpName(const char* text, int family, ZQCInetAddress* out)
{
    addrinfo hints{};
    hints.ai_family = family;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* result = nullptr;
    if (getaddrinfo(text, nullptr, &hints, &result) != 0 || result == nullptr) {
        return false;
    }
    // IPv4 first: a name that has both keeps the address it always gave.
    const addrinfo* chosen = nullptr;
    for (const addrinfo* entry = result; entry != nullptr && chosen == nullptr; entry = entry->ai_next) {
        chosen = entry->ai_family == AF_INET ? entry : nullptr;
    }
    for (const addrinfo* entry = result; entry != nullptr && chosen == nullptr; entry = entry->ai_next) {
        chosen = entry->ai_family == AF_INET6 ? entry : nullptr;
    }
    if (chosen != nullptr && chosen->ai_addrlen <= sizeof(ZQCInetAddress)) {
        *out = ZQCInetAddress{};
        std::memcpy(out, chosen->ai_addr, chosen->ai_addrlen);
        ZQCSetInetAddressPort(out, 0);
    }
    freeaddrinfo(result);
    return chosen != nullptr;
}

}  // namespace

socklen_t ZQCInetAddressLength(const ZQCInetAddress& address)
{
    switch (address.any.sa_family) {
    case AF_INET: return sizeof address.v4;
    case AF_INET6: return sizeof address.v6;
    default: return 0;
    }
}

uint16_t ZQCInetAddressPort(const ZQCInetAddress& address)
{
    switch (address.any.sa_family) {
    case AF_INET: return ntohs(address.v4.sin_port);
    case AF_INET6: return ntohs(address.v6.sin6_port);
    default: return 0;
    }
}

void ZQCSetInetAddressPort(ZQCInetAddress* address, uint16_t port)
{
    if (address->any.sa_family == AF_INET) {
        address->v4.sin_port = htons(port);
    } else if (address->any.sa_family == AF_INET6) {
        address->v6.sin6_port = htons(port);
    }
}

bool ZQCSameInetAddress(const ZQCInetAddress& a, const ZQCInetAddress& b)
{
    if (a.any.sa_family != b.any.sa_family) {
        return false;
    }
    if (a.any.sa_family == AF_INET) {
        return a.v4.sin_port == b.v4.sin_port && a.v4.sin_addr.s_addr == b.v4.sin_addr.s_addr;
    }
    if (a.any.sa_family == AF_INET6) {
        return a.v6.sin6_port == b.v6.sin6_port && a.v6.sin6_scope_id == b.v6.sin6_scope_id &&
               std::memcmp(&a.v6.sin6_addr, &b.v6.sin6_addr, sizeof a.v6.sin6_addr) == 0;
    }
    return true;
}

bool ZQCParseNumericAddress(const char* text, ZQCInetAddress* out, const char** problem)
{
    if (text == nullptr || *text == '\0') {
        return Fail(problem, kEmpty);
    }
    in_addr ip{};
    if (inet_pton(AF_INET, text, &ip) == 1) {
        *out = ZQCInetAddress{};
        out->v4.sin_family = AF_INET;
        out->v4.sin_addr = ip;
        return true;
    }
    const size_t length = std::strlen(text);
    if (IsBracketed(text)) {
        // Only an IPv6 address goes in brackets, and the brackets close.
        if (length < 3 || text[length - 1] != ']') {
            return Fail(problem, kBadIPv6);
        }
        return ParseIPv6(text + 1, length - 2, out, problem);
    }
    if (std::strchr(text, ':') == nullptr) {
        return Fail(problem, kNotAnAddress);
    }
    return ParseIPv6(text, length, out, problem);
}

bool ZQCResolveAddress(const char* text, ZQCInetAddress* out, const char** problem)
{
    const char* literalProblem = kNotAnAddress;
    if (ZQCParseNumericAddress(text, out, &literalProblem)) {
        return true;
    }
    // A text meant as a literal (brackets, colons, a zone) never reaches the
    // resolver: its fault is the literal's.
    if (text == nullptr || *text == '\0' || IsBracketed(text) || std::strpbrk(text, ":%") != nullptr) {
        return Fail(problem, literalProblem);
    }
    if (!LooksLikeHostName(text)) {
        return Fail(problem, kNotAnAddress);
    }
    return LookUpName(text, AF_UNSPEC, out) || Fail(problem, kUnresolved);
}

bool ZQCResolveIPv4(const char* text, in_addr* out)
{
    if (text == nullptr || *text == '\0') {
        return false;
    }
    if (inet_pton(AF_INET, text, out) == 1) {
        return true;
    }
    ZQCInetAddress found{};
    if (!LooksLikeHostName(text) || !LookUpName(text, AF_INET, &found)) {
        return false;
    }
    *out = found.v4.sin_addr;
    return true;
}

bool ZQCParsePort(const char* text, uint16_t* out)
{
    const long value = text ? std::atol(text) : 0;
    if (value < 0 || value > 65535) {
        return false;
    }
    *out = static_cast<uint16_t>(value);
    return true;
}
