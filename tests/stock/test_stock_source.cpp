// The stock source in a graph, feeding a capture sink.
#include <gtest/gtest.h>

#include <chrono>
#include <mutex>

#include "log_capture.h"
#include "zqcapturesink.h"
#include "zqfallocator.h"
#include "zqfgraph.h"
#include "zqfmediasample.h"
#include "zqfpin.h"
#include "zqstocksource.h"

namespace {

using Clock = std::chrono::steady_clock;
using Content = ZQStockSourceConfig::Content;

constexpr int kWaitMs = 5000;

ZQStockSourceConfig Unpaced(Content content, int64_t frames)
{
    ZQStockSourceConfig config;
    config.content = content;
    config.paced = false;
    config.maxFrames = frames;
    return config;
}

// A capture sink that keeps every sample it gets until told to let go.
class HoldingSink : public ZQCaptureSink {
public:
    bool OnProcessMediaSample(ZQFMediaSample* sample, int value) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        sample->AddRef();  // ours beyond the hook
        m_held.push_back(sample);
        return ZQCaptureSink::OnProcessMediaSample(sample, value);
    }
    void ReleaseAll()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (ZQFMediaSample* sample : m_held) {
            sample->Recycle();
        }
        m_held.clear();
    }

private:
    std::mutex m_mutex;
    std::vector<ZQFMediaSample*> m_held;
};

class StockSourceTest : public ::testing::Test {
protected:
    void Build(const ZQStockSourceConfig& config, ZQCaptureSink* captureSink = nullptr)
    {
        source = static_cast<ZQStockSource*>(graph.AddModule(new ZQStockSource(config)));
        sink = static_cast<ZQCaptureSink*>(graph.AddModule(captureSink ? captureSink : new ZQCaptureSink()));
        ASSERT_TRUE(graph.Connect(source, 0, sink, 0));
    }
    ZQFAllocator* Pool() const { return source->GetOutputPin(0)->GetAllocator(); }
    bool Notify(int code, int param)
    {
        ZQFNotifyInfo info{code, param, sink};
        return sink->GetInputPin(0)->PassReverseNotify(&info);
    }

    ZQFGraph graph;
    ZQStockSource* source = nullptr;
    ZQCaptureSink* sink = nullptr;
};

TEST_F(StockSourceTest, MissingFileFailsTheStart)
{
    LogCapture log;
    const std::string path = "/nonexistent-dir/zqstock-input.raw";
    ZQStockSourceConfig config = Unpaced(Content::File, -1);
    config.filePath = path;
    Build(config);
    EXPECT_FALSE(graph.Start());
    EXPECT_FALSE(source->IsRunning());
    EXPECT_EQ(log.Count("stock\\zqstocksource", 2, "ZQStockSource::OnStart stock source: cannot read file " + path),
              1);
    EXPECT_EQ(sink->GetPacketCount(), 0u);
}

TEST_F(StockSourceTest, PacedFramesKeepThePacketTime)
{
    ZQStockSourceConfig config;
    config.maxFrames = 5;
    Build(config);
    const Clock::time_point start = Clock::now();
    ASSERT_TRUE(graph.Start());
    ASSERT_TRUE(source->WaitFinished(kWaitMs));
    const auto elapsed = Clock::now() - start;

    // Frames leave at 0, 20, ..., 80 ms: never earlier, however loaded the machine.
    EXPECT_GE(elapsed, std::chrono::milliseconds(80));
    const std::vector<ZQCapturedPacket> packets = sink->GetPackets();
    ASSERT_EQ(packets.size(), 5u);
    // The first frame may reach the sink a little after its start time.
    EXPECT_GE(packets[4].arrivalNs - packets[0].arrivalNs, 75'000'000u);
}

TEST_F(StockSourceTest, RefusedFramesAreCountedAndRecycled)
{
    Build(Unpaced(Content::Tone, 20));
    sink->SetRefuse(true);
    ASSERT_TRUE(graph.Start());
    ASSERT_TRUE(source->WaitFinished(kWaitMs));
    EXPECT_EQ(source->GetFramesRefused(), 20u);
    EXPECT_EQ(source->GetFramesDelivered(), 0u);
    graph.Stop();
    EXPECT_TRUE(Pool()->IsFull());
}

TEST_F(StockSourceTest, StopWhileDownstreamHoldsThePoolLosesNoSample)
{
    auto* holder = new HoldingSink();
    ZQStockSourceConfig config = Unpaced(Content::Tone, -1);
    config.poolCount = 4;
    Build(config, holder);
    ASSERT_TRUE(graph.Start());
    ASSERT_TRUE(holder->WaitForPackets(4, kWaitMs));
    graph.Stop();
    EXPECT_EQ(holder->GetPacketCount(), 4u);
    EXPECT_EQ(Pool()->GetFreeCount(), 0);
    holder->ReleaseAll();
    EXPECT_TRUE(Pool()->IsFull());
}

}  // namespace
