// The host's plug-in loader: the real plug-in and a misbehaving one.
#include <gtest/gtest.h>

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

// The modules created through the loaded plug-in, as a host does (their
// shapes are the module's own tests, in a graph the graph-file tests), and
// destroyed again, stopped or still marked running; then the library goes.
TEST_F(RealPluginTest, ModulesAreOfTheirDescriptorsKindAndUnloadingGivesTheLibraryBack)
{
    for (int index = 0; index < plugin->GetModuleCount(); ++index) {
        std::unique_ptr<ZQIModule> module(plugin->CreateModule(index, &error));
        ASSERT_NE(module, nullptr) << error;
        EXPECT_EQ(module->GetCategory(), plugin->GetDescriptor(index)->categoryNumber) << index;
        EXPECT_TRUE(EqualZQFID(module->GetGUID(), *plugin->GetDescriptor(index)->id)) << index;
    }
    // A module still marked running is stopped by its destructor.
    ZQIModule* out = plugin->CreateModule(1);
    ASSERT_NE(out, nullptr);
    out->GetFrameworkModule()->SetRunning(true);
    delete out;

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

}  // namespace
