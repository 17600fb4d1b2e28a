#pragma once
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdint>

#include "zqcexport.h"

// A socket address of either family, as the system calls take it. The
// largest member comes first: `ZQCInetAddress{}` zeroes all of it.
union ZQCInetAddress {
    sockaddr_in6 v6;
    sockaddr_in v4;
    sockaddr any;
};

// The length the system calls take for the address's family (0 for none).
ZQ_API socklen_t ZQCInetAddressLength(const ZQCInetAddress& address);
// The port of either family, in host order (0 for none).
ZQ_API uint16_t ZQCInetAddressPort(const ZQCInetAddress& address);
ZQ_API void ZQCSetInetAddressPort(ZQCInetAddress* address, uint16_t port);
// Same family, address, zone and port.
ZQ_API bool ZQCSameInetAddress(const ZQCInetAddress& a, const ZQCInetAddress& b);

// Reads an address literal: IPv4 dotted ("127.0.0.1") or IPv6 ("::1"),
// the latter also in brackets ("[::1]") and with a zone ("fe80::1%eth0" or
// "fe80::1%2") naming an interface that exists. Never asks the resolver.
// The port is 0. On failure answers false and, when `problem` is given,
// points it at a short reason ("not a valid IPv6 address", ...).
ZQ_API bool ZQCParseNumericAddress(const char* text, ZQCInetAddress* out, const char** problem = nullptr);

// A literal as ZQCParseNumericAddress reads it, or a host name: IPv4 first,
// so that names behave as they always did, IPv6 when the name has no IPv4
// address. Texts that cannot be a host name are refused without asking the
// resolver. The port is 0; false (and the reason) on failure.
ZQ_API bool ZQCResolveAddress(const char* text, ZQCInetAddress* out, const char** problem = nullptr);

// Resolves an IPv4 dotted literal or a host name to its IPv4 address only.
ZQ_API bool ZQCResolveIPv4(const char* text, in_addr* out);
// Reads a decimal port text as atoi does; answers false when it is out of range.
ZQ_API bool ZQCParsePort(const char* text, uint16_t* out);
