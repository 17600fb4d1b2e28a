#include "zqcresolve.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <sys/socket.h>

#include <cctype>
#include <cstdlib>
#include <cstring>

namespace {

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

}  // namespace

bool ZQCResolveIPv4(const char* text, in_addr* out)
{
    if (text == nullptr || *text == '\0') {
        return false;
    }
    if (inet_pton(AF_INET, text, out) == 1) {
        return true;
    }
    if (!LooksLikeHostName(text)) {
        return false;
    }
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* result = nullptr;
    if (getaddrinfo(text, nullptr, &hints, &result) != 0 || result == nullptr) {
        return false;
    }
    *out = reinterpret_cast<const sockaddr_in*>(result->ai_addr)->sin_addr;
    freeaddrinfo(result);
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
