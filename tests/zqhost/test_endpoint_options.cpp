// Endpoints on zqhost's command line in either family, the addresses they
// resolve to, free ports on ::1, and the relay's sockets over ::1.
#include <gtest/gtest.h>
#include <poll.h>

#include <string>

#include "arguments.h"
#include "datagramlog.h"
#include "endpointoptions.h"
#include "freeports.h"
#include "udpsocket.h"
#include "valueoptions.h"

namespace {

// The message of the CommandError `call` throws; empty when none.
template <class Call>
std::string Refusal(Call call)
{
    try {
        call();
    } catch (const CommandError& error) {
        return error.what();
    }
    return "";
}

TEST(EndpointOptions, HostPortTextsOfBothFamilies)
{
    struct Case {
        const char* text;
        const char* host;
        uint16_t port;
    };
    for (const Case& c : {Case{"127.0.0.2:5004", "127.0.0.2", 5004}, Case{"[::1]:5004", "::1", 5004},
                          Case{"[fe80::1%lo]:6000", "fe80::1%lo", 6000}, Case{"name:1", "name", 1}}) {
        const Endpoint endpoint = ParseEndpoint("--to", c.text);
        EXPECT_EQ(endpoint.host, c.host) << c.text;
        EXPECT_EQ(endpoint.port, c.port) << c.text;
        EXPECT_EQ(EndpointText(endpoint.host, endpoint.port), c.text) << "written back as given";
    }
    // The port is optional where a host alone will do (--peer).
    for (const Case& c : {Case{"127.0.0.1", "127.0.0.1", 0}, Case{"::1", "::1", 0}, Case{"[::1]", "::1", 0},
                          Case{"[::1]:7000", "::1", 7000}, Case{"host:7000", "host", 7000}}) {
        const Endpoint endpoint = ParseHostWithOptionalPort("--peer", c.text);
        EXPECT_EQ(endpoint.host, c.host) << c.text;
        EXPECT_EQ(endpoint.port, c.port) << c.text;
    }
    EXPECT_EQ(LoopbackLike("::1"), "::1");
    EXPECT_EQ(LoopbackLike("127.0.0.2"), "127.0.0.1");
    EXPECT_EQ(DefaultSendingAddress("::1"), "::");
    EXPECT_EQ(DefaultSendingAddress("127.0.0.2"), "127.0.0.1");
}

TEST(EndpointOptions, MalformedEndpointsAreRefusedNamingTheOption)
{
    const auto parse = [](const char* text) { return Refusal([&] { ParseEndpoint("--to", text); }); };
    EXPECT_EQ(parse("::1:5004"),
              "option --to: '::1:5004' is not HOST:PORT (an IPv6 address goes in brackets: [::1]:5004)");
    EXPECT_EQ(parse("[::1]"), "option --to: '[::1]' is not HOST:PORT");
    EXPECT_EQ(parse("[::1"), "option --to: '[::1' is not [IPV6]:PORT");
    EXPECT_EQ(parse("[::1]5004"), "option --to: '[::1]5004' is not [IPV6]:PORT");
    EXPECT_EQ(parse("[]:5004"), "option --to: '[]:5004' is not [IPV6]:PORT");
    EXPECT_EQ(parse("[::1]:70000"), "option --to: '70000' is not a port from 1 to 65535");
    EXPECT_EQ(parse("host"), "option --to: 'host' is not HOST:PORT");
}

// Which texts resolve, and to what, is the core's (ZQCResolveAddress); here
// the numeric text comes back and a refusal names the option and the reason.
TEST(EndpointOptions, AddressesResolveToNumericTextsOrSayWhyNot)
{
    EXPECT_EQ(ResolveAddress("--to", "[fe80::1%1]"), "fe80::1%lo");
    EXPECT_EQ(Refusal([] { ResolveAddress("--bind", "::1::2"); }),
              "option --bind: '::1::2' does not resolve: not a valid IPv6 address");
    EXPECT_EQ(Refusal([] { RequireSameFamily("--bind", "127.0.0.1", "--to", "::1"); }),
              "option --bind: '127.0.0.1' is an IPv4 address but --to gives an IPv6 one ('::1'): both must be of "
              "one family");
    EXPECT_EQ(Refusal([] { RequireSameFamily("--peer", "::1", "--on", "::ffff:127.0.0.1"); }), "");
}

TEST(EndpointOptions, FreePortsAndRelaySocketsOnIPv6Loopback)
{
    const uint16_t port = FindFreePortPair({"::1"});
    ASSERT_NE(port, 0);
    EXPECT_EQ(PortProblem("::1", port), "");
    UdpSocket held = UdpSocket::Bind("::1", port, "test");
    EXPECT_NE(PortProblem("::1", port), "") << "taken now";

    UdpSocket sender = UdpSocket::Bind("::1", static_cast<uint16_t>(port + 1), "test");
    const uint8_t datagram[] = {0x80, 0x08, 0x00, 0x01};
    ASSERT_TRUE(sender.SendTo(datagram, sizeof datagram, MakeAddress("::1", port)));
    EXPECT_FALSE(sender.SendTo(datagram, sizeof datagram, MakeAddress("127.0.0.1", port))) << "the other family";
    uint8_t buffer[16] = {};
    ZQCInetAddress from{};
    pollfd ready{held.Descriptor(), POLLIN, 0};
    ASSERT_EQ(poll(&ready, 1, 10000), 1);
    ASSERT_EQ(held.Receive(buffer, sizeof buffer, from), static_cast<ssize_t>(sizeof datagram));
    DatagramEvent event;
    event.from = from;
    event.data = buffer;
    event.length = sizeof datagram;
    EXPECT_NE(DatagramLogLine(event).find("\"from\":\"[::1]:" + std::to_string(port + 1) + "\""), std::string::npos)
        << DatagramLogLine(event);
    EXPECT_EQ(LocalAddressToward("::1", port), "::1");
}

}  // namespace
