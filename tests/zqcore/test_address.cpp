// Address checks and the host's own address; address texts of both
// families, good and bad.
#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "zqcresolve.h"
#include "zqcsocket.h"
#include "zqcsocketaddress.h"

namespace {

TEST(GetLocalIpAddress, GivesAnAddressThatCanBeBound)
{
    ZQCSocket socket;
    char small[4] = {'x', 'x', 'x', 'x'};
    EXPECT_LT(socket.GetLocalIpAddress(small, sizeof small), 0);
    EXPECT_EQ(small[0], '\0');

    char text[256] = {};
    ASSERT_GE(socket.GetLocalIpAddress(text, sizeof text), 0);
    in_addr ip{};
    ASSERT_EQ(inet_pton(AF_INET, text, &ip), 1) << "not a dotted address: " << text;
    ZQCSocket bound;
    ASSERT_GE(bound.CreateSocket(ZQCSocket::kDatagram, text), 0);
    EXPECT_GE(bound.Bind(ZQCSocket::kDatagram, text, "0"), 0) << text;
}

// A receiving loop sets sender after sender on one address object: the texts
// follow every change of address or port, and survive a repeat of the same.
TEST(ZQCSocketAddress, TextsFollowEachNewSenderAndSurviveRepeats)
{
    auto sender = [](const char* ip, uint16_t port) {
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_port = htons(port);
        inet_pton(AF_INET, ip, &sa.sin_addr);
        return sa;
    };
    ZQCSocketAddress from;
    for (const auto& [ip, port, text] : {std::tuple{"127.0.0.1", 5004, "5004"}, {"127.0.0.1", 5004, "5004"},
                                         {"127.0.0.2", 5004, "5004"}, {"127.0.0.2", 6000, "6000"}}) {
        from.SetSockAddr(sender(ip, static_cast<uint16_t>(port)));
        EXPECT_STREQ(from.GetAddress(), ip);
        EXPECT_STREQ(from.GetPort(), text);
    }
    from.Clear();
    from.SetSockAddr(sender("127.0.0.2", 6000));
    EXPECT_STREQ(from.GetAddress(), "127.0.0.2") << "a cleared address formats again";
}

// Texts as the settings give them: what the address holds and how it reads
// back. IPv4 texts read back as they always did.
TEST(ZQCSocketAddress, TextsOfBothFamiliesReadBackWithoutBracketsAndWithTheirZone)
{
    struct Case {
        const char* text;
        int family;
        const char* readBack;
    };
    const Case cases[] = {
        {"127.0.0.1", AF_INET, "127.0.0.1"},
        {"localhost", AF_INET, "127.0.0.1"},  // a name with both families keeps its IPv4 address
        {"::1", AF_INET6, "::1"},
        {"[::1]", AF_INET6, "::1"},
        {"0:0:0:0:0:0:0:1", AF_INET6, "::1"},
        {"::ffff:127.0.0.1", AF_INET6, "::ffff:127.0.0.1"},
        {"fe80::1%lo", AF_INET6, "fe80::1%lo"},
        {"fe80::1%1", AF_INET6, "fe80::1%lo"},  // an index reads back as the interface's name
        {"[fe80::1%lo]", AF_INET6, "fe80::1%lo"},
    };
    for (const Case& c : cases) {
        const ZQCSocketAddress address(ZQCSocket::kDatagram, c.text, "5004");
        ASSERT_FALSE(address.IsEmpty()) << c.text;
        EXPECT_EQ(address.GetFamily(), c.family) << c.text;
        EXPECT_STREQ(address.GetAddress(), c.readBack) << c.text;
        EXPECT_STREQ(address.GetPort(), "5004") << c.text;
        EXPECT_EQ(address.GetPortNumber(), 5004) << c.text;
        EXPECT_EQ(address.GetSockAddrLength(), c.family == AF_INET6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in));
    }
}

// Bad texts hold no address, and say why; none of them reaches the resolver
// (a literal's fault is the literal's).
TEST(ZQCResolveAddress, MalformedTextsAndUnknownZonesAreRefusedWithTheirReason)
{
    const std::tuple<const char*, std::string> cases[] = {
        {"", "no address given"},
        {"::1::2", "not a valid IPv6 address"},
        {"[::1", "not a valid IPv6 address"},
        {"[::1]x", "not a valid IPv6 address"},
        {"[127.0.0.1]", "not a valid IPv6 address"},
        {"fe80::1%", "its zone names no network interface"},
        {"fe80::1%no-such-if", "its zone names no network interface"},
        {"fe80::1%a-zone-name-far-too-long", "its zone names no network interface"},
        {"127.0.0.1%lo", "neither an IP address nor a host name"},
        {"999.1.1.1", "neither an IP address nor a host name"},
    };
    for (const auto& [text, reason] : cases) {
        ZQCInetAddress address{};
        const char* problem = nullptr;
        EXPECT_FALSE(ZQCResolveAddress(text, &address, &problem)) << text;
        EXPECT_EQ(problem != nullptr ? std::string(problem) : "", reason) << text;
        const ZQCSocketAddress unresolved(ZQCSocket::kDatagram, text, "5004");
        EXPECT_TRUE(unresolved.IsEmpty()) << text;
        EXPECT_STREQ(unresolved.GetAddress(), "") << text;
        EXPECT_LT(ZQCSocket().CheckAddress(text), 0) << text;
    }
    ZQCInetAddress address{};
    EXPECT_FALSE(ZQCResolveAddress(nullptr, &address));
    EXPECT_FALSE(ZQCParseNumericAddress("localhost", &address)) << "a name is no literal";
}

// An IPv6 sender as the system gives it reads back with its zone; a short
// or foreign address empties the object.
TEST(ZQCSocketAddress, IPv6SendersAndWhatIsNoSender)
{
    sockaddr_in6 sender{};
    sender.sin6_family = AF_INET6;
    sender.sin6_port = htons(6000);
    inet_pton(AF_INET6, "fe80::2", &sender.sin6_addr);
    sender.sin6_scope_id = 1;
    ZQCSocketAddress from;
    from.SetSockAddr(reinterpret_cast<const sockaddr*>(&sender), sizeof sender);
    EXPECT_STREQ(from.GetAddress(), "fe80::2%lo");
    EXPECT_STREQ(from.GetPort(), "6000");
    sender.sin6_scope_id = 0;
    from.SetSockAddr(reinterpret_cast<const sockaddr*>(&sender), sizeof sender);
    EXPECT_STREQ(from.GetAddress(), "fe80::2") << "another zone is another sender";
    from.SetSockAddr(reinterpret_cast<const sockaddr*>(&sender), sizeof(sockaddr_in));
    EXPECT_TRUE(from.IsEmpty()) << "too short for its family";
    sockaddr foreign{};
    foreign.sa_family = AF_UNIX;
    from.SetSockAddr(&foreign, sizeof foreign);
    EXPECT_TRUE(from.IsEmpty());
    EXPECT_STREQ(from.GetAddress(), "");
}

}  // namespace
