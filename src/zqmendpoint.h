#pragma once
// A UDP endpoint as a small value: cheap to copy and to compare on the
// receiving path, and to keep where several threads read it
// (zqmatomicendpoint.h). The address is held in IPv6 form, an IPv4 address
// as its IPv4-mapped IPv6 address (::ffff:a.b.c.d): an IPv4 peer and the
// same peer heard through an IPv6 socket are one endpoint.
#include <netinet/in.h>

#include <array>
#include <cstdint>
#include <cstring>

#include "zqcresolve.h"
#include "zqcsocketaddress.h"

namespace zqm {

struct Endpoint {
    std::array<uint8_t, 16> address{};
    uint32_t scopeId = 0;  // an IPv6 zone (interface index) where the address needs one; else 0
    uint16_t port = 0;
    // The family the endpoint came in (AF_INET, AF_INET6): the one to send
    // to it with. 0: no endpoint. Not part of the comparison.
    uint16_t family = 0;

    static Endpoint Of(const ZQCInetAddress& socketAddress)
    {
        Endpoint endpoint;
        if (socketAddress.any.sa_family == AF_INET) {
            endpoint.address[10] = 0xFF;
            endpoint.address[11] = 0xFF;
            std::memcpy(endpoint.address.data() + 12, &socketAddress.v4.sin_addr, 4);
        } else if (socketAddress.any.sa_family == AF_INET6) {
            std::memcpy(endpoint.address.data(), &socketAddress.v6.sin6_addr, 16);
            // The system heeds a zone only where the address needs one:
            // "::1%lo" is "::1".
            endpoint.scopeId = endpoint.NeedsZone() ? socketAddress.v6.sin6_scope_id : 0;
        } else {
            return endpoint;
        }
        endpoint.port = ZQCInetAddressPort(socketAddress);
        endpoint.family = socketAddress.any.sa_family;
        return endpoint;
    }

    // None for an empty address.
    static Endpoint Of(const ZQCSocketAddress& socketAddress)
    {
        return socketAddress.IsEmpty() ? Endpoint() : Of(socketAddress.GetInetAddress());
    }

    bool IsNone() const { return family == 0; }

    // Link-local unicast (fe80::/10) and interface- or link-local multicast:
    // the same address on two interfaces is two endpoints.
    bool NeedsZone() const
    {
        const bool linkLocal = address[0] == 0xFE && (address[1] & 0xC0) == 0x80;
        const bool localMulticast = address[0] == 0xFF && ((address[1] & 0x0F) == 1 || (address[1] & 0x0F) == 2);
        return linkLocal || localMulticast;
    }

    // 0.0.0.0 or ::, what a socket bound to any address shows.
    bool IsAnyAddress() const
    {
        static constexpr std::array<uint8_t, 16> kAnyV6{};
        static constexpr std::array<uint8_t, 16> kAnyV4{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0, 0, 0, 0};
        return address == kAnyV6 || address == kAnyV4;
    }

    bool SameAddress(const Endpoint& other) const { return address == other.address && scopeId == other.scopeId; }

    bool operator==(const Endpoint& other) const
    {
        return IsNone() == other.IsNone() && SameAddress(other) && port == other.port;
    }
    bool operator!=(const Endpoint& other) const { return !(*this == other); }

    Endpoint WithPort(uint16_t otherPort) const
    {
        Endpoint moved = *this;
        moved.port = otherPort;
        return moved;
    }

    // The socket address of the endpoint's own family; empty for none.
    void ToSocketAddress(ZQCSocketAddress* out) const
    {
        ZQCInetAddress socketAddress{};
        if (family == AF_INET) {
            socketAddress.v4.sin_family = AF_INET;
            std::memcpy(&socketAddress.v4.sin_addr, address.data() + 12, 4);
        } else if (family == AF_INET6) {
            socketAddress.v6.sin6_family = AF_INET6;
            std::memcpy(&socketAddress.v6.sin6_addr, address.data(), 16);
            socketAddress.v6.sin6_scope_id = scopeId;
        } else {
            out->Clear();
            return;
        }
        ZQCSetInetAddressPort(&socketAddress, port);
        out->SetSockAddr(&socketAddress.any, ZQCInetAddressLength(socketAddress));
    }
};

}  // namespace zqm
