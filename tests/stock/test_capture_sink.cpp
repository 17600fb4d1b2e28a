// The capture sink, fed straight through its input pin. The packet fields it
// keeps are checked against the stock source's frames (test_stock_source), and
// its waits by every test that feeds it from another thread.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include <unistd.h>

#include "zqcapturesink.h"
#include "zqfallocator.h"
#include "zqfformat.h"
#include "zqfmediasample.h"
#include "zqfpin.h"

namespace {

class CaptureSinkTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        EXPECT_TRUE(pool->IsFull());
        pool->Release();
    }

    // A sample as a receiving stack would hand it on: header, payload behind.
    ZQFMediaSample* Sample(std::vector<uint8_t> payload, uint16_t sequence = 0)
    {
        ZQFMediaSample* sample = pool->GetNewSample(0);
        EXPECT_NE(sample, nullptr);
        std::copy(payload.begin(), payload.end(), sample->GetDataBuffer() + ZQFMediaSample::kPacketHeaderBytes);
        sample->m_PayloadLength = static_cast<int>(payload.size());
        sample->SetDataReadOffset(ZQFMediaSample::kPacketHeaderBytes);
        NKRMultiplexedPacketFormat format;
        format.sequenceNumber = sequence;
        sample->AllocFormatBuffer(format, false);
        return sample;
    }
    bool Deliver(ZQFMediaSample* sample) { return sink.GetInputPin(0)->Receive(sample); }

    ZQFAllocator* pool = new ZQFAllocator(ZQFAllocatorConfig{4, 256});
    ZQCaptureSink sink;
};

TEST_F(CaptureSinkTest, SampleWithoutHeaderRoomOrFormat)
{
    ZQFMediaSample* sample = pool->GetNewSample(0);
    sample->GetDataBuffer()[0] = 0x55;
    sample->m_PayloadLength = 1;
    sample->SetPacketHeaderBytes(0);
    ASSERT_TRUE(Deliver(sample));
    const ZQCapturedPacket packet = sink.GetPackets().at(0);
    // No header in front: the payload is the one byte, not 12 more.
    EXPECT_EQ(packet.payload, (std::vector<uint8_t>{0x55}));
    EXPECT_FALSE(packet.hasFormat);
}

TEST_F(CaptureSinkTest, KeepLimitBoundsOnlyWhatIsStored)
{
    sink.SetKeepLimit(3);
    for (uint16_t i = 0; i < 10; ++i) {
        ASSERT_TRUE(Deliver(Sample({1, 2}, i)));
    }
    const std::vector<ZQCapturedPacket> packets = sink.GetPackets();
    ASSERT_EQ(packets.size(), 3u);
    EXPECT_EQ(packets[2].sequenceNumber, 2);
    EXPECT_EQ(sink.GetPacketCount(), 10u);
    EXPECT_EQ(sink.GetOctetCount(), 20u);
    sink.SetKeepLimit(0);
    EXPECT_TRUE(sink.GetPackets().empty());
}

TEST_F(CaptureSinkTest, AppendsPayloadsToTheOutputFile)
{
    const std::filesystem::path path =
        std::filesystem::temp_directory_path() / ("zqstock-capture-" + std::to_string(::getpid()));
    EXPECT_FALSE(sink.OpenOutputFile("/nonexistent-dir/capture.bin"));
    ASSERT_TRUE(sink.OpenOutputFile(path.c_str()));
    ASSERT_TRUE(Deliver(Sample({1, 2, 3})));
    ASSERT_TRUE(Deliver(Sample({4, 5})));
    sink.CloseOutputFile();
    ASSERT_TRUE(Deliver(Sample({6})));  // no file any more

    std::ifstream file(path, std::ios::binary);
    const std::vector<uint8_t> written{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    EXPECT_EQ(written, (std::vector<uint8_t>{1, 2, 3, 4, 5}));
    std::filesystem::remove(path);
}

}  // namespace
