// The host's plug-in loader: the real plug-in, a misbehaving one, and
// libraries that are no plug-in at all.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "pluginlibrary.h"
#include "zqfmodule.h"
#include "zqfplugin.h"

namespace {

std::unique_ptr<ZQFPlugin> Load(const char* path, std::string* error)
{
    return std::unique_ptr<ZQFPlugin>(ZQFPlugin::Load(path, error));
}

ZQFID Id(const char* text)
{
    ZQFID id{};
    EXPECT_TRUE(String2ZQFID(text, &id)) << text;
    return id;
}

TEST(ZQFPluginLoad, MissingFileNamesThePathAndTheReason)
{
    std::string error;
    EXPECT_EQ(Load("/nonexistent/zqmrtpstack.so", &error), nullptr);
    EXPECT_NE(error.find("/nonexistent/zqmrtpstack.so"), std::string::npos) << error;
    EXPECT_NE(error.find("No such file"), std::string::npos) << error;
}

TEST(ZQFPluginLoad, LibraryWithoutEntryPointsIsRefused)
{
    std::string error;
    EXPECT_EQ(Load(ZQ_NOT_A_PLUGIN_PATH, &error), nullptr);
    EXPECT_NE(error.find("lacks GetModuleCount"), std::string::npos) << error;
    EXPECT_NE(error.find(ZQ_NOT_A_PLUGIN_PATH), std::string::npos) << error;
}

TEST(ZQFPluginLoad, NoPathIsRefusedAndErrorIsOptional)
{
    std::string error;
    EXPECT_EQ(Load(nullptr, &error), nullptr);
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(Load("", nullptr), nullptr);
    EXPECT_EQ(Load("/nonexistent.so", nullptr), nullptr);
}

class RealPluginTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        plugin = Load(ZQ_PLUGIN_PATH, &error);
        ASSERT_NE(plugin, nullptr) << error;
    }
    std::string error;
    std::unique_ptr<ZQFPlugin> plugin;
};

TEST_F(RealPluginTest, ReadsTheDescriptorsWithinBounds)
{
    EXPECT_EQ(plugin->GetPath(), ZQ_PLUGIN_PATH);
    ASSERT_EQ(plugin->GetModuleCount(), 3);
    EXPECT_EQ(ZQFUtf16ToUtf8(plugin->GetDescriptor(0)->name), "RTP in");
    EXPECT_EQ(ZQFUtf16ToUtf8(plugin->GetDescriptor(2)->name), "dispatcher");
    EXPECT_EQ(plugin->GetDescriptor(-1), nullptr);
    EXPECT_EQ(plugin->GetDescriptor(3), nullptr);
}

TEST_F(RealPluginTest, FindsModulesByIdentity)
{
    EXPECT_EQ(plugin->FindDescriptor(Id("6f47cebe-ee66-46c5-ac3d-3f9ff18c2c9b")), 0);
    EXPECT_EQ(plugin->FindDescriptor(Id("64140b77-fb89-4170-bde2-cafc58bf7527")), 1);
    EXPECT_EQ(plugin->FindDescriptor(Id("{E6097550-C441-4044-B9C8-E32949C1DF10}")), 2);
    EXPECT_EQ(plugin->FindDescriptor(Id("4892c26c-58a0-441a-9388-3cbdb0c6df8e")), -1);
}

TEST_F(RealPluginTest, ReadsTheVersion)
{
    ModuleVersionInfo version{};
    ASSERT_TRUE(plugin->GetVersion(&version));
    EXPECT_EQ(version.numbers[1], 8);
    EXPECT_STREQ(version.text, "5.3.01.trel.00001 ");
    EXPECT_FALSE(plugin->GetVersion(nullptr));
}

TEST_F(RealPluginTest, CreateModuleAnswersAModuleOrSaysWhyNot)
{
    EXPECT_EQ(plugin->CreateModule(3, &error), nullptr);
    EXPECT_NE(error.find("no module 3"), std::string::npos) << error;
    for (int i = 0; i < 3; ++i) {
        error.clear();
        ZQIModule* module = plugin->CreateModule(i, &error);
        if (module == nullptr) {
            EXPECT_FALSE(error.empty()) << i;
        }
        delete module;
    }
}

TEST_F(RealPluginTest, UnloadingGivesTheLibraryBack)
{
    plugin.reset();
    EXPECT_FALSE(IsResident(ZQ_PLUGIN_PATH));
}

class FakePluginTest : public RealPluginTest {
protected:
    void SetUp() override
    {
        plugin = Load(ZQ_FAKE_PLUGIN_PATH, &error);
        ASSERT_NE(plugin, nullptr) << error;
        ASSERT_EQ(plugin->GetModuleCount(), 4);
    }
};

TEST_F(FakePluginTest, ConstructorFailureReachesTheCaller)
{
    EXPECT_EQ(plugin->CreateModule(0, &error), nullptr);
    EXPECT_NE(error.find("\"throws\""), std::string::npos) << error;
    EXPECT_NE(error.find("constructor failed: no socket"), std::string::npos) << error;
    EXPECT_EQ(plugin->CreateModule(0), nullptr) << "no error text wanted: still no crash";
}

TEST_F(FakePluginTest, ForeignExceptionIsCaughtToo)
{
    EXPECT_EQ(plugin->CreateModule(1, &error), nullptr);
    EXPECT_NE(error.find("unknown exception"), std::string::npos) << error;
}

TEST_F(FakePluginTest, NullFactoryResultAndMissingFactoryAreReported)
{
    EXPECT_EQ(plugin->CreateModule(2, &error), nullptr);
    EXPECT_NE(error.find("created no module"), std::string::npos) << error;
    EXPECT_EQ(plugin->CreateModule(3, &error), nullptr);
    EXPECT_NE(error.find("\"no factory \xF0\x9F\x98\x80\" has no factory"), std::string::npos) << error;
}

TEST_F(FakePluginTest, RefusedVersionIsReportedAsMissing)
{
    ModuleVersionInfo version{};
    EXPECT_FALSE(plugin->GetVersion(&version));
}

TEST(ZQFUtf16ToUtf8, EncodesEveryPlane)
{
    EXPECT_EQ(ZQFUtf16ToUtf8(u"RTP stack"), "RTP stack");
    EXPECT_EQ(ZQFUtf16ToUtf8(u"d\u00e9bit \u20ac"), "d\xC3\xA9" "bit \xE2\x82\xAC");
    EXPECT_EQ(ZQFUtf16ToUtf8(u"\U0001F600!"), "\xF0\x9F\x98\x80!");
    EXPECT_EQ(ZQFUtf16ToUtf8(u""), "");
    EXPECT_EQ(ZQFUtf16ToUtf8(nullptr), "");
}

TEST(ZQFUtf16ToUtf8, LoneSurrogatesBecomeReplacementCharacters)
{
    const char16_t loneHigh[] = {0xD83D, u'a', 0};
    const char16_t loneLowFirst[] = {0xDE00, 0xD83D, 0};
    EXPECT_EQ(ZQFUtf16ToUtf8(loneHigh), "\xEF\xBF\xBD" "a");
    EXPECT_EQ(ZQFUtf16ToUtf8(loneLowFirst), "\xEF\xBF\xBD\xEF\xBF\xBD");
}

}  // namespace
