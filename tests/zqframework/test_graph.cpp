// The graph's lifecycle: start downstream first, stop upstream first.
#include <gtest/gtest.h>

#include "framework_fixtures.h"
#include "zqfgraph.h"

namespace {

using fwtest::Journal;
using fwtest::TestModule;
using fwtest::Entries;

// source -> middle -> sink, added in reverse so order comes from the pins.
class GraphTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        sink = Add("sink", 1, 0);
        middle = Add("middle", 1, 1);
        source = Add("source", 0, 1);
        ASSERT_TRUE(graph.Connect(source, 0, middle, 0));
        ASSERT_TRUE(graph.Connect(middle, 0, sink, 0));
        journal.Take();
    }
    TestModule* Add(const char* name, int inputs, int outputs)
    {
        return static_cast<TestModule*>(graph.AddModule(new TestModule(name, inputs, outputs, &journal)));
    }

    Journal journal;
    ZQFGraph graph;
    TestModule* sink = nullptr;
    TestModule* middle = nullptr;
    TestModule* source = nullptr;
};

TEST_F(GraphTest, StartsDownstreamFirstAndStopsUpstreamFirst)
{
    EXPECT_EQ(graph.UpstreamFirstOrder(), (std::vector<ZQFModule*>{source, middle, sink}));
    ASSERT_TRUE(graph.Start());
    EXPECT_TRUE(graph.IsStarted());
    EXPECT_EQ(journal.Take(), (Entries{"source.OnEndFlush", "middle.OnEndFlush", "sink.OnEndFlush",
                                         "sink.OnStart running", "middle.OnStart running", "source.OnStart running"}));
    graph.Stop();
    graph.Stop();
    EXPECT_FALSE(graph.IsStarted());
    EXPECT_FALSE(source->IsRunning());
    EXPECT_EQ(journal.Take(),
              (Entries{"source.OnPinFlush", "source.OnBeginFlush stopped", "source.OnStop", "middle.OnPinFlush",
                       "middle.OnBeginFlush stopped", "middle.OnStop", "sink.OnBeginFlush stopped", "sink.OnStop"}));
}

TEST_F(GraphTest, FailedStartStopsWhatWasStarted)
{
    LogCapture log;
    middle->onStart = [] { return false; };
    std::string error;
    EXPECT_FALSE(graph.Start(&error));
    EXPECT_NE(error.find("'middle'"), std::string::npos);
    EXPECT_FALSE(graph.IsStarted());
    EXPECT_FALSE(middle->IsRunning());
    EXPECT_FALSE(sink->IsRunning());
    const Entries entries = journal.Take();
    EXPECT_EQ(Entries(entries.begin() + 3, entries.end()), (Entries{"sink.OnStart running", "middle.OnStart running",
                                             "sink.OnBeginFlush stopped", "sink.OnStop"}));
}

// Missing pins and loops are refused through Connect by the graph-file
// faults test.
TEST_F(GraphTest, ConnectRefusesConnectedPinsAndStrangers)
{
    std::string error;
    EXPECT_FALSE(graph.Connect(middle, 0, sink, 0, &error));
    EXPECT_NE(error.find("already connected"), std::string::npos);

    ZQFDisconnectPins(middle->Out(0));
    TestModule stranger("stranger", 1, 0);
    EXPECT_FALSE(graph.Connect(middle, 0, &stranger, 0, &error));
    ASSERT_EQ(graph.GetConnections().size(), 1u);  // the pins' state, not the history of Connect
    EXPECT_EQ(graph.GetConnections()[0].to, middle);
}

TEST_F(GraphTest, DestructorStopsDisconnectsAndDeletesTheModules)
{
    {
        ZQFGraph owner;
        auto* a = static_cast<TestModule*>(owner.AddModule(new TestModule("a", 0, 1, &journal)));
        auto* b = static_cast<TestModule*>(owner.AddModule(new TestModule("b", 1, 0, &journal)));
        ASSERT_TRUE(owner.Connect(a, 0, b, 0));
        ASSERT_TRUE(owner.Start());
    }
    const Entries entries = journal.Take();
    const Entries tail(entries.end() - 7, entries.end());
    EXPECT_EQ(tail, (Entries{"a.OnStop", "b.OnBeginFlush stopped", "b.OnStop", "a.OnDisconnect out 0",
                             "b.OnDisconnect in 0", "b.destroyed", "a.destroyed"}));
}

}  // namespace
