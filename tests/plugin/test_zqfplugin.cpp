// The host's plug-in loader: the real plug-in, a misbehaving one, and
// libraries that are no plug-in at all.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "pluginlibrary.h"
#include "zqfgraph.h"
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
    const std::pair<const char*, std::vector<std::string>> refused[] = {
        {"/nonexistent/zqmrtpstack.so", {"/nonexistent/zqmrtpstack.so", "No such file"}},
        {ZQ_NOT_A_PLUGIN_PATH, {ZQ_NOT_A_PLUGIN_PATH, "lacks GetModuleCount"}},
        {nullptr, {}}};
    for (const auto& [path, fragments] : refused) {
        std::string error;
        EXPECT_EQ(Load(path, &error), nullptr);
        EXPECT_FALSE(error.empty());
        for (const std::string& fragment : fragments) {
            EXPECT_NE(error.find(fragment), std::string::npos) << error;
        }
    }
    EXPECT_EQ(Load("", nullptr), nullptr) << "the error text is optional";
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

TEST_F(RealPluginTest, ReadsTheDescriptorsWithinBoundsAndFindsThemByIdentity)
{
    EXPECT_EQ(plugin->GetPath(), ZQ_PLUGIN_PATH);
    ASSERT_EQ(plugin->GetModuleCount(), 3);
    EXPECT_EQ(ZQFUtf16ToUtf8(plugin->GetDescriptor(2)->name), "dispatcher");
    EXPECT_EQ(plugin->GetDescriptor(-1), nullptr);
    EXPECT_EQ(plugin->GetDescriptor(3), nullptr);
    EXPECT_EQ(plugin->CreateModule(3, &error), nullptr);
    EXPECT_NE(error.find("no module 3"), std::string::npos) << error;

    ModuleVersionInfo version{};
    ASSERT_TRUE(plugin->GetVersion(&version));
    EXPECT_STREQ(version.text, "5.3.01.trel.00001 ");
    EXPECT_FALSE(plugin->GetVersion(nullptr));

    EXPECT_EQ(plugin->FindDescriptor(Id("6f47cebe-ee66-46c5-ac3d-3f9ff18c2c9b")), 0);
    EXPECT_EQ(plugin->FindDescriptor(Id("{E6097550-C441-4044-B9C8-E32949C1DF10}")), 2);
    EXPECT_EQ(plugin->FindDescriptor(Id("4892c26c-58a0-441a-9388-3cbdb0c6df8e")), -1);
}

TEST_F(RealPluginTest, UnloadingGivesTheLibraryBack)
{
    plugin.reset();
    EXPECT_FALSE(IsResident(ZQ_PLUGIN_PATH));
}

// The modules created through the loaded plug-in, as a host does (their
// shapes are the module's own tests), and destroyed again, stopped or still
// marked running.
TEST_F(RealPluginTest, ModulesAreOfTheirDescriptorsKindAndAreDestroyedWithTheGraph)
{
    for (int index = 0; index < plugin->GetModuleCount(); ++index) {
        std::unique_ptr<ZQIModule> module(plugin->CreateModule(index, &error));
        ASSERT_NE(module, nullptr) << error;
        EXPECT_EQ(module->GetCategory(), plugin->GetDescriptor(index)->categoryNumber) << index;
        EXPECT_TRUE(EqualZQFID(module->GetGUID(), *plugin->GetDescriptor(index)->id)) << index;
    }
    {
        ZQFGraph graph;
        ZQFModule* in = graph.AddModule(plugin->CreateModule(0));
        ZQFModule* dispatcher = graph.AddModule(plugin->CreateModule(2));
        ASSERT_NE(in, nullptr);
        ASSERT_NE(dispatcher, nullptr);
        EXPECT_TRUE(graph.Connect(in, 0, dispatcher, 0, &error)) << error;
    }
    // A module still marked running is stopped by its destructor.
    ZQIModule* out = plugin->CreateModule(1);
    ASSERT_NE(out, nullptr);
    out->GetFrameworkModule()->SetRunning(true);
    delete out;
}

class FakePluginTest : public RealPluginTest {
protected:
    void SetUp() override
    {
        plugin = Load(ZQ_FAKE_PLUGIN_PATH, &error);
        ASSERT_NE(plugin, nullptr) << error;
        ASSERT_EQ(plugin->GetModuleCount(), 4);
    }
    std::string CreateError(int index)
    {
        std::string why;
        EXPECT_EQ(plugin->CreateModule(index, &why), nullptr);
        return why;
    }
};

TEST_F(FakePluginTest, ConstructorFailureNullResultAndMissingFactoryReachTheCaller)
{
    const std::string thrown = CreateError(0);
    EXPECT_NE(thrown.find("\"throws\""), std::string::npos) << thrown;
    EXPECT_NE(thrown.find("constructor failed: no socket"), std::string::npos) << thrown;
    EXPECT_EQ(plugin->CreateModule(0), nullptr) << "no error text wanted: still no crash";
    EXPECT_NE(CreateError(1).find("unknown exception"), std::string::npos);
    EXPECT_NE(CreateError(2).find("created no module"), std::string::npos);
    EXPECT_NE(CreateError(3).find("\"no factory \xF0\x9F\x98\x80\" has no factory"), std::string::npos);
    ModuleVersionInfo version{};
    EXPECT_FALSE(plugin->GetVersion(&version)) << "a refused version is reported as missing";
}

TEST(ZQFUtf16ToUtf8, EncodesEveryPlane)
{
    EXPECT_EQ(ZQFUtf16ToUtf8(u"RTP stack"), "RTP stack");
    EXPECT_EQ(ZQFUtf16ToUtf8(u"d\u00e9bit \u20ac"), "d\xC3\xA9" "bit \xE2\x82\xAC");
    EXPECT_EQ(ZQFUtf16ToUtf8(u"\U0001F600!"), "\xF0\x9F\x98\x80!");
    EXPECT_EQ(ZQFUtf16ToUtf8(u""), "");
    EXPECT_EQ(ZQFUtf16ToUtf8(nullptr), "");
    // Lone surrogates become replacement characters.
    const char16_t loneHigh[] = {0xD83D, u'a', 0};
    const char16_t loneLowFirst[] = {0xDE00, 0xD83D, 0};
    EXPECT_EQ(ZQFUtf16ToUtf8(loneHigh), "\xEF\xBF\xBD" "a");
    EXPECT_EQ(ZQFUtf16ToUtf8(loneLowFirst), "\xEF\xBF\xBD\xEF\xBF\xBD");
}

}  // namespace
