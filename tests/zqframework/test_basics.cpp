// Identities, DebugLog and XML nodes: the basics every module leans on.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "framework_fixtures.h"
#include "zqfid.h"
#include "zqfxml.h"

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

TEST(DebugLogSink, CapturesPathLineLevelAndBoundedText)
{
    std::vector<std::tuple<std::string, int, int, std::string>> lines;
    zqf::SetDebugLogSink([&](const char* path, int line, int level, const char* text) {
        lines.emplace_back(path, line, level, text);
    });
    DebugLog("inputrtpstack\\zqminputrtpstack", 42, ZQF_LOG_WARNING, "<--RTPStack-->[%d] %s", 8000, "x");
    const std::string huge(10000, 'a');
    DebugLog("p", 1, ZQF_LOG_INFO, "%s", huge.c_str());
    zqf::SetDebugLogSink({});
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], std::make_tuple(std::string("inputrtpstack\\zqminputrtpstack"), 42, int{ZQF_LOG_WARNING},
                                        std::string("<--RTPStack-->[8000] x")));
    const std::string& cut = std::get<3>(lines[1]);
    EXPECT_LT(cut.size(), huge.size());
    EXPECT_EQ(cut, huge.substr(0, cut.size()));
}

TEST(XMLNode, ChildrenIterateInOrderAndAttributesAreFound)
{
    CXMLNode root("module");
    auto* first = new CXMLNode(&root, 3, 0);
    EXPECT_EQ(root.GetChildCount(), 0u);  // built for the parent, not yet attached
    first->AddAttrib("value", 8000);
    root.AddChild(first);
    root.AddChild(new CXMLNode("second"));
    EXPECT_STREQ(first->GetAttribute("value"), "8000");
    EXPECT_EQ(first->GetAttribute("missing"), nullptr);
    EXPECT_EQ(root.GetFirstChild(), first);
    EXPECT_STREQ(root.GetNextChild()->GetName(), "second");
    EXPECT_EQ(root.GetNextChild(), nullptr);
    EXPECT_EQ(root.GetFirstChild(), first);  // starts over
}

}  // namespace
