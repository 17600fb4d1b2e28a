// Address checks and the host's own address.
#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <tuple>

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

}  // namespace
