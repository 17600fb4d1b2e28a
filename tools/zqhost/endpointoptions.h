#pragma once
// Endpoints on the command line: "HOST:PORT", an IPv6 address in brackets
// ("[::1]:5004"), and the way zqhost writes them back in its messages.
#include <cstdint>
#include <string>

struct Endpoint {
    std::string host;  // as given, without brackets
    uint16_t port = 0;
};

// A port from 1 to 65535. Throws CommandError naming `option`.
uint16_t ParsePort(const std::string& option, const std::string& text);
// "HOST:PORT" or "[IPV6]:PORT" (the port from 1 to 65535). Throws
// CommandError naming `option`.
Endpoint ParseEndpoint(const std::string& option, const std::string& text);
// "HOST", "HOST:PORT", "[IPV6]", "[IPV6]:PORT" or a bare IPv6 address;
// the port is 0 when none is given.
Endpoint ParseHostWithOptionalPort(const std::string& option, const std::string& text);

// "host:port", or "[host]:port" for an IPv6 address.
std::string EndpointText(const std::string& host, uint16_t port);
// Throws CommandError naming `option` when the numeric addresses `address`
// and `other` (given by `otherOption`) are not of one family: a stack sends
// from an address of its remote's family only.
void RequireSameFamily(const std::string& option, const std::string& address, const std::string& otherOption,
                       const std::string& other);
// The loopback address of the host's family: "::1" for an IPv6 address,
// "127.0.0.1" otherwise.
std::string LoopbackLike(const std::string& host);
// Where a sender binds when told nothing: "127.0.0.1" for an IPv4 remote,
// the any address "::" for an IPv6 one. A stack sends no RTCP when its
// remote address is its own, and ::1 is the only IPv6 loopback address: bound
// to [::], the stack sends from ::1 to ::1 and reports still flow.
std::string DefaultSendingAddress(const std::string& remoteHost);
