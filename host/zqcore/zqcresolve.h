#pragma once
#include <netinet/in.h>

#include <cstdint>

// Resolves an IPv4 dotted literal or a host name. Texts that cannot be a host
// name are refused without asking the resolver. Answers false on failure.
bool ZQCResolveIPv4(const char* text, in_addr* out);
// Reads a decimal port text as atoi does; answers false when it is out of range.
bool ZQCParsePort(const char* text, uint16_t* out);
