// The stock source in a graph, feeding a capture sink.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <set>

#include <unistd.h>

#include "g711.h"
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
using Frames = std::vector<std::vector<uint8_t>>;

constexpr int kWaitMs = 5000;

ZQStockSourceConfig Unpaced(Content content, int64_t frames)
{
    ZQStockSourceConfig config;
    config.content = content;
    config.paced = false;
    config.maxFrames = frames;
    return config;
}

// A capture sink that also notes where the payload sat in each sample and,
// when told to, keeps every sample it gets until told to let go.
class InspectingSink : public ZQCaptureSink {
public:
    explicit InspectingSink(bool hold = false) : m_hold(hold) {}
    bool OnProcessMediaSample(ZQFMediaSample* sample, int value) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_offsets.insert(sample->GetDataReadOffset() - sample->GetDataWriteOffset());
        if (m_hold) {
            sample->AddRef();  // ours beyond the hook
            m_held.push_back(sample);
        }
        return ZQCaptureSink::OnProcessMediaSample(sample, value);
    }
    std::set<int> Offsets() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_offsets;
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
    const bool m_hold;
    mutable std::mutex m_mutex;
    std::set<int> m_offsets;
    std::vector<ZQFMediaSample*> m_held;
};

class StockSourceTest : public ::testing::Test {
protected:
    void Build(const ZQStockSourceConfig& config, ZQCaptureSink* captureSink = nullptr)
    {
        source = static_cast<ZQStockSource*>(graph.AddModule(new ZQStockSource(config)));
        sink = static_cast<ZQCaptureSink*>(graph.AddModule(captureSink ? captureSink : new ZQCaptureSink()));
        source->SetKeepFrames(true);
        ASSERT_TRUE(graph.Connect(source, 0, sink, 0));
    }
    ZQFAllocator* Pool() const { return source->GetOutputPin(0)->GetAllocator(); }
    Frames Payloads() const
    {
        Frames payloads;
        for (const ZQCapturedPacket& packet : sink->GetPackets()) {
            payloads.push_back(packet.payload);
        }
        return payloads;
    }
    bool Notify(int code, int param)
    {
        ZQFNotifyInfo info{code, param, sink};
        return sink->GetInputPin(0)->PassReverseNotify(&info);
    }

    ZQFGraph graph;
    ZQStockSource* source = nullptr;
    ZQCaptureSink* sink = nullptr;
};

// Frames in order with their numbers and contents reach a sending stack in
// the output stack's tests; here the numbering wraps and events come between.
TEST_F(StockSourceTest, InterleavedTelephoneEventsShareTheNumbering)
{
    ZQStockSourceConfig config = Unpaced(Content::Tone, 10);
    config.eventMediaType = 0x40019;
    config.eventEveryFrames = 4;
    config.firstSequenceNumber = 65530;  // both numbers wrap during the run
    config.firstTimestamp = 0xFFFFFF00;
    Build(config);
    ZQFMediaType offered;
    ZQFFormatBuffer* format = nullptr;
    ASSERT_TRUE(source->GetOutputPin(0)->GetMediaTypeAt(1, &offered, &format));
    EXPECT_EQ(offered, ZQFMediaType(1, 0x40019));
    EXPECT_FALSE(source->GetOutputPin(0)->GetMediaTypeAt(2, &offered, &format));

    ASSERT_TRUE(graph.Start());
    ASSERT_TRUE(source->WaitFinished(kWaitMs));
    const std::vector<ZQCapturedPacket> packets = sink->GetPackets();
    ASSERT_EQ(packets.size(), 10u);
    // Event 1, end bit and volume 10, lasting one frame (160 ticks).
    const std::vector<uint8_t> event{0x01, 0x8A, 0x00, 0xA0};
    for (size_t i = 0; i < packets.size(); ++i) {
        SCOPED_TRACE(i);
        const bool isEvent = i == 3 || i == 7;
        EXPECT_EQ(packets[i].subType, isEvent ? 0x40019 : 0x40001);
        EXPECT_EQ(packets[i].payload.size(), isEvent ? 4u : 160u);
        if (isEvent) {
            EXPECT_EQ(packets[i].payload, event);
        }
        EXPECT_TRUE(packets[i].hasFormat);
        EXPECT_EQ(packets[i].marker, i == 0);
        EXPECT_EQ(packets[i].sequenceNumber, static_cast<uint16_t>(65530 + i));
        EXPECT_EQ(packets[i].timestamp, static_cast<uint32_t>(0xFFFFFF00 + 160 * i));
    }
    EXPECT_EQ(source->GetProducedFrames(), Payloads());
    EXPECT_EQ(source->GetFramesDelivered(), 10u);
    graph.Stop();
    EXPECT_TRUE(Pool()->IsFull());
}

// A sending stack asks for header room in front of each payload: the payload
// moves, what the sink sees does not.
TEST_F(StockSourceTest, TakesTheNotificationsOfASendingStackAndLeavesTheHeaderRoom)
{
    auto* offsetSink = new InspectingSink();
    Build(Unpaced(Content::Chirp, 10), offsetSink);
    EXPECT_TRUE(Notify(NOTIFY_INSERT_HEADER, -5));  // nonsense room: none
    EXPECT_EQ(source->GetHeaderRoom(), 0);
    EXPECT_TRUE(Notify(NOTIFY_SUPPORT_PAYLOAD, 1));
    EXPECT_TRUE(Notify(NOTIFY_FRACTION_LOST, 7));
    EXPECT_FALSE(Notify(NOTIFY_MEDIATYPES_CHANGED, 0));
    EXPECT_EQ(source->GetLastFractionLost(), 7);
    ASSERT_TRUE(Notify(NOTIFY_INSERT_HEADER, 12));
    EXPECT_EQ(source->GetHeaderRoom(), 12);

    ASSERT_TRUE(graph.Start());
    ASSERT_TRUE(source->WaitFinished(kWaitMs));
    EXPECT_EQ(offsetSink->Offsets(), std::set<int>{12});
    EXPECT_EQ(Payloads(), source->GetProducedFrames());
    EXPECT_EQ(Payloads().size(), 10u);
}

// A reset phase or a wrong frequency at a frame boundary shows as an error far
// beyond one quantisation step.
class StockToneTest : public StockSourceTest, public ::testing::WithParamInterface<int32_t> {};

TEST_P(StockToneTest, FollowsTheSineAcrossFrames)
{
    ZQStockSourceConfig config = Unpaced(Content::Tone, 10);
    config.mediaType = GetParam();
    Build(config);
    ASSERT_TRUE(graph.Start());
    ASSERT_TRUE(source->WaitFinished(kWaitMs));

    const auto decode = GetParam() == 0x40001 ? g711::DecodeALaw : g711::DecodeMuLaw;
    int n = 0;
    for (const std::vector<uint8_t>& frame : Payloads()) {
        ASSERT_EQ(frame.size(), 160u);
        for (uint8_t code : frame) {
            const double expected = 16383.0 * std::sin(2.0 * std::numbers::pi * 440.0 * n / 8000.0);
            ASSERT_NEAR(decode(code), expected, 600.0) << "sample " << n;
            ++n;
        }
    }
    EXPECT_EQ(n, 1600);
}

INSTANTIATE_TEST_SUITE_P(G711Laws, StockToneTest, ::testing::Values(0x40001, 0x40002));

class StockFileTest : public StockSourceTest {
protected:
    void SetUp() override
    {
        path = std::filesystem::temp_directory_path() /
               ("zqstock-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
    }
    void TearDown() override { std::filesystem::remove(path); }

    std::filesystem::path path;
};

TEST_F(StockFileTest, SendsTheFileInFrames)
{
    std::vector<uint8_t> bytes(1000);
    for (size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<uint8_t>(i * 7 % 251);
    }
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), 1000);

    ZQStockSourceConfig config = Unpaced(Content::File, -1);
    config.filePath = path.string();
    Build(config);
    ASSERT_TRUE(graph.Start());
    ASSERT_TRUE(source->WaitFinished(kWaitMs));

    const std::vector<ZQCapturedPacket> packets = sink->GetPackets();
    ASSERT_EQ(packets.size(), 7u);
    EXPECT_EQ(packets.back().payload.size(), 40u);
    std::vector<uint8_t> joined;
    for (const ZQCapturedPacket& packet : packets) {
        joined.insert(joined.end(), packet.payload.begin(), packet.payload.end());
        EXPECT_EQ(packet.marker, &packet == &packets.front());
    }
    EXPECT_EQ(joined, bytes);
}

TEST_F(StockFileTest, MissingFileFailsTheStart)
{
    LogCapture log;
    ZQStockSourceConfig config = Unpaced(Content::File, -1);
    config.filePath = path.string();
    Build(config);
    EXPECT_FALSE(graph.Start());
    EXPECT_FALSE(source->IsRunning());
    EXPECT_EQ(log.Count("stock\\zqstocksource", 2, "ZQStockSource::OnStart stock source: cannot read file " +
                                                        path.string()),
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

TEST_F(StockSourceTest, StopInTheMiddleOfAPacketTimeEndsAtOnce)
{
    ZQStockSourceConfig config;
    config.packetTimeMs = 60000;  // a late stop would show as a minute-long test
    Build(config);
    ASSERT_TRUE(graph.Start());
    ASSERT_TRUE(sink->WaitForPackets(1, kWaitMs));
    const Clock::time_point stop = Clock::now();
    graph.Stop();
    EXPECT_LT(Clock::now() - stop, std::chrono::seconds(30));
    EXPECT_EQ(source->GetFramesDelivered(), 1u);
    EXPECT_FALSE(source->WaitFinished(0));
    EXPECT_TRUE(Pool()->IsFull());
}

TEST_F(StockSourceTest, StopWhileDownstreamHoldsThePoolLosesNoSample)
{
    auto* holder = new InspectingSink(true);
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

TEST_F(StockSourceTest, PushedFramesGoOutOnTheCallersThread)
{
    ZQStockSourceConfig config;
    config.content = Content::Pushed;
    config.poolCount = 1;
    config.sampleBytes = 64;
    config.firstSequenceNumber = 100;
    Build(config);
    ASSERT_TRUE(Notify(NOTIFY_INSERT_HEADER, 12));
    ASSERT_TRUE(graph.Start());

    const uint8_t payload[3] = {1, 2, 3};
    EXPECT_TRUE(source->PushFrame(payload, 3, true));
    EXPECT_TRUE(source->PushFrame(payload, 2));
    const uint8_t tooLarge[64] = {};
    EXPECT_FALSE(source->PushFrame(tooLarge, 64 - 12 + 1));  // behind the header room it does not fit
    EXPECT_FALSE(source->PushFrame(nullptr, 5));
    EXPECT_EQ(source->GetFramesTooLarge(), 1u);
    EXPECT_TRUE(Pool()->IsFull());

    const std::vector<ZQCapturedPacket> packets = sink->GetPackets();
    ASSERT_EQ(packets.size(), 2u);
    EXPECT_EQ(packets[0].payload, (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_TRUE(packets[0].marker);
    EXPECT_EQ(packets[1].payload, (std::vector<uint8_t>{1, 2}));
    EXPECT_FALSE(packets[1].marker);
    // Frames that never left do not use up sequence numbers.
    EXPECT_EQ(packets[1].sequenceNumber, 101);
    EXPECT_EQ(packets[1].timestamp, 160u);
}

}  // namespace
