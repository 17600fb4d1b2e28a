// zqhost's own helpers: JSON lines and free ports.
#include <gtest/gtest.h>

#include "freeports.h"
#include "jsonline.h"
#include "udp_peer.h"

namespace {

TEST(JsonLine, TextsFromTheNetworkStayValidJson)
{
    EXPECT_EQ(JsonText("plain-1.2"), "\"plain-1.2\"");
    EXPECT_EQ(JsonText(std::string("q\"b\\s\n\x01\x7f\xc3\xa9", 10)),
              "\"q\\\"b\\\\s\\u000a\\u0001\\u007f\\u00c3\\u00a9\"");
    JsonObject object;
    object.AddText("cname", "a").AddInteger("lost", -1).AddDecimal("jitter", 1.0 / 3, 2).AddBool("ok", false);
    object.AddJson("list", JsonArray({"1", "{}"}));
    EXPECT_EQ(object.Text(), "{\"cname\":\"a\",\"lost\":-1,\"jitter\":0.33,\"ok\":false,\"list\":[1,{}]}");
}

bool Binds(const char* address, uint16_t port) { return testsupport::UdpPeer(address, port).IsBound(); }

TEST(FreePorts, PairIsEvenFreeOnEveryAddressAndAvoidsTheTakenOne)
{
    const uint16_t first = FindFreePortPair({"127.0.0.1", "127.0.0.2"});
    ASSERT_NE(first, 0);
    EXPECT_EQ(first % 2, 0);
    for (const char* address : {"127.0.0.1", "127.0.0.2"}) {
        EXPECT_TRUE(Binds(address, first));
        EXPECT_TRUE(Binds(address, static_cast<uint16_t>(first + 1)));
    }
    const uint16_t second = FindFreePortPair({"127.0.0.1"}, first);
    EXPECT_NE(second, 0);
    EXPECT_NE(second, first);
    EXPECT_EQ(PortProblem("127.0.0.1", second), "");
    EXPECT_NE(PortProblem("192.0.2.1", second), "");  // not an address of this host
}

}  // namespace
