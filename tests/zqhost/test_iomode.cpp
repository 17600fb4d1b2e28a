// The I/O mode as zqhost hands it to the stack modules: each stack told the
// mode the graph gives it (its own before the graph's; nothing said leaves it
// as it is), and --io replacing what a graph file said, for every stack.
// (The option's refusals are rows of cli_table.py.)
#include <gtest/gtest.h>

#include <memory>

#include "iomode.h"
#include "stackidentities.h"
#include "zqfgraph.h"
#include "zqfmodule.h"
#include "zqfplugin.h"

namespace {

using Mode = ZQFIOMode;

class IOModes : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string error;
        m_plugin.reset(ZQFPlugin::Load(ZQ_PLUGIN_PATH, &error));
        ASSERT_NE(m_plugin, nullptr) << error;
        m_graph = std::make_unique<ZQFGraph>();
        m_in = Add(kRTPInModuleId);
        m_out = Add(kRTPOutModuleId);
        m_dispatcher = Add(kDispatcherModuleId);
        ASSERT_NE(m_in, nullptr);
        ASSERT_NE(m_out, nullptr);
        ASSERT_NE(m_dispatcher, nullptr);
    }
    void TearDown() override
    {
        m_graph.reset();  // the modules before their plug-in
        m_plugin.reset();
    }

    ZQFModule* Add(const ZQFID& id)
    {
        std::string error;
        ZQIModule* module = m_plugin->CreateModule(m_plugin->FindDescriptor(id), &error);
        EXPECT_NE(module, nullptr) << error;
        return module ? m_graph->AddModule(module) : nullptr;
    }

    // "in out" as the stacks answer GetSharedIO.
    std::string StacksSay() const
    {
        return std::to_string(RTPStackOf(m_in)->GetSharedIO()) + " " + std::to_string(RTPStackOf(m_out)->GetSharedIO());
    }

    std::unique_ptr<ZQFPlugin> m_plugin;
    std::unique_ptr<ZQFGraph> m_graph;
    ZQFModule* m_in = nullptr;
    ZQFModule* m_out = nullptr;
    ZQFModule* m_dispatcher = nullptr;
};

TEST_F(IOModes, EachStackGetsItsOwnModeElseTheGraphsAndUnsaidLeavesItAsItIs)
{
    const struct {
        Mode graph, in, out;
        uint32_t before;  // both stacks' setting before
        std::string after;
    } cases[] = {
        {Mode::Unsaid, Mode::Unsaid, Mode::Unsaid, 0, "0 0"},
        {Mode::Unsaid, Mode::Unsaid, Mode::Unsaid, 1, "1 1"},
        {Mode::Shared, Mode::Unsaid, Mode::Unsaid, 0, "1 1"},
        {Mode::Own, Mode::Unsaid, Mode::Unsaid, 1, "0 0"},
        {Mode::Shared, Mode::Own, Mode::Unsaid, 0, "0 1"},
        {Mode::Unsaid, Mode::Unsaid, Mode::Shared, 0, "0 1"},
        {Mode::Own, Mode::Shared, Mode::Unsaid, 1, "1 0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "graph " << static_cast<int>(c.graph) << ", in "
                                        << static_cast<int>(c.in) << ", out " << static_cast<int>(c.out));
        RTPStackOf(m_in)->SetSharedIO(c.before);
        RTPStackOf(m_out)->SetSharedIO(c.before);
        m_graph->SetIOMode(c.graph);
        m_graph->SetModuleIOMode(m_in, c.in);
        m_graph->SetModuleIOMode(m_out, c.out);
        m_graph->SetModuleIOMode(m_dispatcher, Mode::Shared);  // no stack: nothing to tell
        ApplyIOModes(*m_graph);
        EXPECT_EQ(StacksSay(), c.after);
        EXPECT_EQ(UsesSharedIO(m_in), c.after[0] == '1');
        EXPECT_FALSE(UsesSharedIO(m_dispatcher));
    }
}

TEST_F(IOModes, TheOptionReplacesWhatTheGraphSaidForEveryStack)
{
    m_graph->SetIOMode(Mode::Shared);
    m_graph->SetModuleIOMode(m_out, Mode::Own);
    ApplyIOModes(*m_graph);
    ASSERT_EQ(StacksSay(), "1 0");

    UseIOMode(*m_graph, std::nullopt);  // no option: the graph's modes stand
    EXPECT_EQ(StacksSay(), "1 0");
    UseIOMode(*m_graph, Mode::Shared);
    EXPECT_EQ(StacksSay(), "1 1");
    EXPECT_EQ(m_graph->GetModuleIOMode(m_out), Mode::Unsaid);
    UseIOMode(*m_graph, Mode::Own);
    EXPECT_EQ(StacksSay(), "0 0");
    EXPECT_EQ(m_graph->GetIOMode(), Mode::Own);
}

}  // namespace
