#include "endpointoptions.h"

#include <algorithm>
#include <cctype>

#include "arguments.h"

namespace {

bool IsIPv6Text(const std::string& host) { return host.find(':') != std::string::npos; }

std::string NotHostPort(const std::string& option, const std::string& text)
{
    return "option " + option + ": '" + text + "' is not HOST:PORT";
}

// "[host]" or "[host]:port"; `port` is empty when none follows.
bool SplitBracketed(const std::string& text, std::string& host, std::string& port, bool& hasPort)
{
    const size_t close = text.find(']');
    if (text.empty() || text[0] != '[' || close == std::string::npos || close == 1) {
        return false;
    }
    host = text.substr(1, close - 1);
    hasPort = close + 1 < text.size();
    if (hasPort && text[close + 1] != ':') {
        return false;
    }
    port = hasPort ? text.substr(close + 2) : std::string();
    return true;
}

}  // namespace

uint16_t ParsePort(const std::string& option, const std::string& text)
{
    const bool digits = !text.empty() && text.size() <= 5 && std::all_of(text.begin(), text.end(), [](char c) {
        return std::isdigit(static_cast<unsigned char>(c));
    });
    const long port = digits ? std::stol(text) : 0;
    if (port < 1 || port > 65535) {
        throw CommandError("option " + option + ": '" + text + "' is not a port from 1 to 65535");
    }
    return static_cast<uint16_t>(port);
}

Endpoint ParseEndpoint(const std::string& option, const std::string& text)
{
    const Endpoint endpoint = ParseHostWithOptionalPort(option, text);
    if (endpoint.port == 0 && IsIPv6Text(endpoint.host) && text[0] != '[') {
        throw CommandError(NotHostPort(option, text) + " (an IPv6 address goes in brackets: [::1]:5004)");
    }
    if (endpoint.port == 0) {
        throw CommandError(NotHostPort(option, text));
    }
    return endpoint;
}

Endpoint ParseHostWithOptionalPort(const std::string& option, const std::string& text)
{
    if (!text.empty() && text[0] == '[') {
        std::string host, port;
        bool hasPort = false;
        if (!SplitBracketed(text, host, port, hasPort)) {
            throw CommandError("option " + option + ": '" + text + "' is not [IPV6]:PORT");
        }
        return Endpoint{host, hasPort ? ParsePort(option, port) : uint16_t{0}};
    }
    const size_t colon = text.find(':');
    if (colon == std::string::npos) {
        return Endpoint{text, 0};
    }
    // Two colons or more: an IPv6 address, whose port needs the brackets.
    if (text.find(':', colon + 1) != std::string::npos) {
        return Endpoint{text, 0};
    }
    if (colon == 0) {
        throw CommandError(NotHostPort(option, text));
    }
    return Endpoint{text.substr(0, colon), ParsePort(option, text.substr(colon + 1))};
}

std::string EndpointText(const std::string& host, uint16_t port)
{
    const std::string address = IsIPv6Text(host) ? "[" + host + "]" : host;
    return address + ":" + std::to_string(port);
}

void RequireSameFamily(const std::string& option, const std::string& address, const std::string& otherOption,
                       const std::string& other)
{
    if (IsIPv6Text(address) == IsIPv6Text(other)) {
        return;
    }
    const auto family = [](const std::string& text) { return IsIPv6Text(text) ? "IPv6" : "IPv4"; };
    throw CommandError("option " + option + ": '" + address + "' is an " + family(address) + " address but " +
                       otherOption + " gives an " + family(other) + " one ('" + other +
                       "'): both must be of one family");
}

std::string LoopbackLike(const std::string& host) { return IsIPv6Text(host) ? "::1" : "127.0.0.1"; }

std::string DefaultSendingAddress(const std::string& remoteHost)
{
    return IsIPv6Text(remoteHost) ? "::" : "127.0.0.1";
}
