// Identities as text, the way graph files and the host name them.
#include <gtest/gtest.h>

#include "zqfid.h"

namespace {

TEST(ZQFIDText, RoundTripsAndRefusesGarbageLeavingTheIdAlone)
{
    const char text[] = "4892c26c-58a0-441a-9388-3cbdb0c6df8e";
    ZQFID id{};
    ASSERT_TRUE(String2ZQFID(text, &id));
    EXPECT_EQ(id.data1, 0x4892c26cu);
    EXPECT_EQ(id.data2, 0x58a0);
    EXPECT_EQ(id.data4[7], 0x8e);
    char buffer[37];
    ASSERT_TRUE(ZQFID2String(id, buffer, sizeof buffer));
    EXPECT_STREQ(buffer, text);
    EXPECT_FALSE(ZQFID2String(id, buffer, 36));
    ZQFID braced{};
    ASSERT_TRUE(String2ZQFID("{4892C26C-58A0-441A-9388-3CBDB0C6DF8E}", &braced));
    EXPECT_TRUE(EqualZQFID(id, braced));

    for (const char* bad : {"", "4892c26c", "{4892c26c-58a0-441a-9388-3cbdb0c6df8e", "4892c26c-58a0-441a-9388-3cbdb0c6df8g",
                            "4892c26c-58a0-441a-93883-cbdb0c6df8e", "4892c26c-58a0-441a-9388-3cbdb0c6df8e0"}) {
        ZQFID kept = braced;
        EXPECT_FALSE(String2ZQFID(bad, &kept)) << bad;
        EXPECT_TRUE(EqualZQFID(kept, braced)) << bad;
    }
    EXPECT_FALSE(String2ZQFID(nullptr, nullptr));
}

}  // namespace
