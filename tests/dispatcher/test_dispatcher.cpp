// The dispatcher behind an "RTP in" module: one output pin per offered
// media type, samples sent to the pin of their type, pins following the
// upstream module's media types.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "dispatcher/zqmrtpdispatchermodule.h"
#include "module/zqmrtpstackids.h"
#include "module/zqmrtpstackmodule.h"
#include "recording_sink.h"
#include "zqfformat.h"
#include "zqfmediasample.h"
#include "zqfmediatype.h"
#include "zqfpin.h"

namespace {

constexpr int32_t kG711A = 0x40001;
constexpr int32_t kTelephoneEvent = 0x40019;

class DispatcherTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        upstream = std::make_unique<ZQMRTPStackModule>(ZQMID_RTPIn, "Input RTP stack");
        dispatcher = std::make_unique<ZQMRTPDispatcherModule>();
    }
    void TearDown() override
    {
        dispatcher.reset();
        upstream.reset();
        sinks.clear();
    }

    void Connect() { ASSERT_TRUE(ZQFConnectPins(upstream->GetOutputPin(0), dispatcher->GetInputPin(0))); }

    testsupport::RecordingSink* AttachSink(int outputIndex, size_t keep = 0)
    {
        sinks.push_back(std::make_unique<testsupport::RecordingSink>(keep));
        EXPECT_TRUE(ZQFConnectPins(dispatcher->GetOutputPin(outputIndex), sinks.back()->GetInputPin(0)));
        return sinks.back().get();
    }

    // A sample of the upstream pool labelled with a media type, delivered
    // to the dispatcher as the receiving stack would.
    bool Send(int32_t subType, uint8_t marker)
    {
        ZQFPinOut* out = upstream->GetOutputPin(0);
        ZQFMediaSample* sample = out->GetNewSample(100);
        EXPECT_NE(sample, nullptr);
        if (sample == nullptr) {
            return false;
        }
        sample->GetDataBuffer()[12] = marker;
        sample->m_PayloadLength = 1;
        sample->SetDataReadOffset(12);
        sample->GetMediaType()->SetSubType(subType);
        const bool delivered = out->Deliver(sample);
        if (!delivered) {
            sample->Recycle();
        }
        return delivered;
    }

    int32_t MediaTypeOfPin(int index)
    {
        ZQFMediaType type;
        ZQFFormatBuffer* format = nullptr;
        EXPECT_TRUE(dispatcher->GetOutputPin(index)->GetMediaTypeAt(0, &type, &format));
        return type.GetSubType();
    }

    bool PoolFull() { return upstream->GetOutputPin(0)->GetAllocator()->IsFull(); }

    std::unique_ptr<ZQMRTPStackModule> upstream;
    std::unique_ptr<ZQMRTPDispatcherModule> dispatcher;
    std::vector<std::unique_ptr<testsupport::RecordingSink>> sinks;
};

TEST_F(DispatcherTest, TwoOfferedMediaTypesGiveTwoPinsAndSamplesLeaveOnTheirOwn)
{
    ASSERT_TRUE(upstream->EnableMediaType(kG711A));
    ASSERT_TRUE(upstream->EnableMediaType(kTelephoneEvent));
    ASSERT_TRUE(upstream->EnableMediaType(0x800001));  // forward error correction gets no pin
    Connect();
    ASSERT_EQ(dispatcher->GetOutputPinCount(), 2);
    EXPECT_FALSE(dispatcher->HasOutputPin(0x800001));
    EXPECT_EQ(MediaTypeOfPin(0), kG711A);
    EXPECT_EQ(MediaTypeOfPin(1), kTelephoneEvent);
    // The audio sink keeps what it gets, as a queueing module would.
    testsupport::RecordingSink* audio = AttachSink(0, 2);
    testsupport::RecordingSink* events = AttachSink(1);

    EXPECT_TRUE(Send(kG711A, 'a'));
    EXPECT_TRUE(Send(kTelephoneEvent, 'e'));
    EXPECT_TRUE(Send(kG711A, 'b'));
    EXPECT_FALSE(Send(0x40002, 'u'));  // no pin for G.711 mu-law
    EXPECT_FALSE(Send(0x800001, 'f'));
    EXPECT_EQ(audio->Payloads(), (std::vector<std::vector<uint8_t>>{{'a'}, {'b'}}));
    EXPECT_EQ(events->Payloads(), (std::vector<std::vector<uint8_t>>{{'e'}}));
    EXPECT_FALSE(PoolFull()) << "the audio sink holds two samples";
    audio->ReleaseKept();
    EXPECT_EQ(audio->Corrupted(), 0);
    EXPECT_TRUE(PoolFull());
}

TEST_F(DispatcherTest, DisablingAMediaTypeUpstreamRemovesExactlyItsPin)
{
    ASSERT_TRUE(upstream->EnableMediaType(kG711A));
    ASSERT_TRUE(upstream->EnableMediaType(kTelephoneEvent));
    Connect();
    testsupport::RecordingSink* audio = AttachSink(0);
    ASSERT_TRUE(upstream->RemoveMediaType(kTelephoneEvent));  // notifies downstream
    ASSERT_EQ(dispatcher->GetOutputPinCount(), 1);
    EXPECT_EQ(MediaTypeOfPin(0), kG711A);
    EXPECT_TRUE(dispatcher->GetOutputPin(0)->IsConnected());
    EXPECT_FALSE(dispatcher->HasOutputPin(kTelephoneEvent));
    EXPECT_TRUE(Send(kG711A, 'a'));
    EXPECT_FALSE(Send(kTelephoneEvent, 'e'));
    EXPECT_EQ(audio->Payloads().size(), 1u);

    ASSERT_TRUE(upstream->EnableMediaType(kTelephoneEvent));
    EXPECT_EQ(dispatcher->GetOutputPinCount(), 2);
    EXPECT_TRUE(PoolFull());
}

TEST_F(DispatcherTest, RefusalDownstreamGivesTheDispatchersReferenceBack)
{
    ASSERT_TRUE(upstream->EnableMediaType(kG711A));
    Connect();
    testsupport::RecordingSink* audio = AttachSink(0);
    audio->refuse = true;
    EXPECT_FALSE(Send(kG711A, 'a'));
    EXPECT_TRUE(PoolFull());
    // An output pin with nothing connected refuses too.
    ZQFDisconnectPins(dispatcher->GetOutputPin(0));
    EXPECT_FALSE(Send(kG711A, 'a'));
    EXPECT_TRUE(PoolFull());
}

// Samples flow from one thread while another takes a media type away from
// the upstream module and gives it back: a sample never reaches a pin being
// destroyed, and every sample comes home.
TEST_F(DispatcherTest, MediaTypesChangeWhileSamplesFlow)
{
    ASSERT_TRUE(upstream->EnableMediaType(kG711A));
    ASSERT_TRUE(upstream->EnableMediaType(kTelephoneEvent));
    Connect();
    testsupport::RecordingSink* audio = AttachSink(0, 4);
    std::atomic<bool> changing{true};
    std::atomic<int> sent{0};
    std::thread sender([&] {
        for (int i = 0; changing.load(); ++i, ++sent) {
            Send(i % 2 == 0 ? kG711A : kTelephoneEvent, static_cast<uint8_t>(i));
        }
    });
    for (int round = 0; round < 300 || sent.load() < 1000; ++round) {
        EXPECT_TRUE(upstream->RemoveMediaType(kTelephoneEvent));
        EXPECT_TRUE(upstream->EnableMediaType(kTelephoneEvent));
    }
    changing = false;
    sender.join();
    EXPECT_EQ(dispatcher->GetOutputPinCount(), 2);
    EXPECT_FALSE(audio->Payloads().empty());
    audio->ReleaseKept();
    EXPECT_EQ(audio->Corrupted(), 0);
    EXPECT_TRUE(PoolFull());
}

TEST_F(DispatcherTest, TextFormsShareOnePinDestroyedWithTheLastKey)
{
    EXPECT_TRUE(dispatcher->AddOutputPin(0x100003));
    EXPECT_TRUE(dispatcher->AddOutputPin(0x100004));
    EXPECT_EQ(dispatcher->GetOutputPinCount(), 1);
    EXPECT_FALSE(dispatcher->AddOutputPin(0x100003));
    EXPECT_TRUE(dispatcher->RemoveOutputPin(0x100003));
    EXPECT_EQ(dispatcher->GetOutputPinCount(), 1);
    EXPECT_EQ(MediaTypeOfPin(0), 0x100004);
    EXPECT_TRUE(dispatcher->RemoveOutputPin(0x100004));
    EXPECT_EQ(dispatcher->GetOutputPinCount(), 0);
    EXPECT_FALSE(dispatcher->RemoveOutputPin(0x100004));
}

}  // namespace
