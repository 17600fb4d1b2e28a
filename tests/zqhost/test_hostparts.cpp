// zqhost's JSON lines: texts from the network stay valid JSON.
#include <gtest/gtest.h>

#include "jsonline.h"

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

}  // namespace
