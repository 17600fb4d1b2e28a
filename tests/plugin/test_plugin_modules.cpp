// The three modules created through the loaded plug-in, as a host does, and
// destroyed again, stopped or still marked running.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "zqfgraph.h"
#include "zqfmodule.h"
#include "zqfpin.h"
#include "zqfplugin.h"

namespace {

// 4892c26c-58a0-441a-9388-3cbdb0c6df8e
constexpr ZQFID kControlInterface = {0x4892c26c, 0x58a0, 0x441a, {0x93, 0x88, 0x3c, 0xbd, 0xb0, 0xc6, 0xdf, 0x8e}};

std::unique_ptr<ZQFPlugin> LoadPlugin()
{
    std::string error;
    std::unique_ptr<ZQFPlugin> plugin(ZQFPlugin::Load(ZQ_PLUGIN_PATH, &error));
    EXPECT_NE(plugin, nullptr) << error;
    return plugin;
}

TEST(PluginModules, EachDescriptorCreatesItsKindOfModule)
{
    auto plugin = LoadPlugin();
    ASSERT_NE(plugin, nullptr);
    struct Expected {
        const char* name;
        int category;
        int inputs;
        int outputs;
        bool hasControl;
    };
    const Expected expected[] = {{"Input RTP stack", 13, 0, 1, true},
                                 {"Output RTP stack", 14, 1, 0, true},
                                 {"ZQMRTPDispatcherModule", 13, 1, 0, false}};
    for (int index = 0; index < plugin->GetModuleCount(); ++index) {
        std::string error;
        ZQIModule* module = plugin->CreateModule(index, &error);
        ASSERT_NE(module, nullptr) << error;
        EXPECT_STREQ(module->GetModuleName(), expected[index].name);
        EXPECT_EQ(module->GetCategory(), expected[index].category);
        EXPECT_EQ(module->GetInputPinCount(), expected[index].inputs);
        EXPECT_EQ(module->GetOutputPinCount(), expected[index].outputs);
        EXPECT_TRUE(EqualZQFID(module->GetGUID(), *plugin->GetDescriptor(index)->id));
        void* control = nullptr;
        EXPECT_EQ(module->QueryInterface(kControlInterface, &control), expected[index].hasControl);
        delete module;
    }
}

TEST(PluginModules, ModulesConnectInAGraphAndAreDestroyedWithIt)
{
    auto plugin = LoadPlugin();
    ASSERT_NE(plugin, nullptr);
    {
        ZQFGraph graph;
        ZQFModule* in = graph.AddModule(plugin->CreateModule(0));
        ZQFModule* dispatcher = graph.AddModule(plugin->CreateModule(2));
        ASSERT_NE(in, nullptr);
        ASSERT_NE(dispatcher, nullptr);
        std::string error;
        EXPECT_TRUE(graph.Connect(in, 0, dispatcher, 0, &error)) << error;
    }
    // A module still marked running is stopped by its destructor.
    ZQIModule* out = plugin->CreateModule(1);
    ASSERT_NE(out, nullptr);
    out->GetFrameworkModule()->SetRunning(true);
    delete out;
}

}  // namespace
