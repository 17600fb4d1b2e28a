// Received RTCP compounds applied to the process's sources.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "log_capture.h"
#include "manual_time.h"
#include "rtcp/rtcpfir.h"
#include "rtcp/rtcpreceiverreport.h"
#include "rtcp/rtcpsdes.h"
#include "rtcp/rtcpsenderreport.h"
#include "zqfmodule.h"
#include "zqfnotify.h"
#include "zqfpin.h"
#include "zqmpacketfaultthrottle.h"
#include "zqmrtpreporttime.h"
#include "zqmrtpsource.h"
#include "zqmrtpstack.h"
#include "zqwin32.h"

namespace {

constexpr const char* kPath = "zqmrtpstack";
constexpr ZQFID kUpstreamId{0x0badcafe, 1, 2, {3, 4, 5, 6, 7, 8, 9, 10}};
constexpr uint32_t kRemoteSsrc = 0x7000AAAA;

// A stack with no direction of its own: records the call-backs that RTCP
// processing makes.
class TestStack : public ZQMRTPStack {
public:
    using ZQMRTPStack::ZQMRTPStack;
    bool OnProcessMediaSample(ZQFMediaSample*, int) override { return false; }
    bool OnStart() override { return false; }
    bool GetSourceIdentifier(int, uint32_t& ssrc) override
    {
        ssrc = 0;
        return false;
    }
    bool RemoveSource(uint32_t ssrc) override
    {
        removed.push_back(ssrc);
        return true;
    }
    void ComputeLipSync(ZQMRTPSource* source) override { lipSyncSources.push_back(source); }

    std::vector<uint32_t> removed;
    std::vector<ZQMRTPSource*> lipSyncSources;
};

// Sits upstream of the module that owns the processing stack and records
// the reverse notifications that reach it.
class Upstream : public ZQFModule {
public:
    Upstream() : ZQFModule(kUpstreamId, "upstream") { AddPin(new ZQFPinOutAuto(this, "out", 0)); }
    bool OnReverseNotify(ZQFNotifyInfo* info) override
    {
        reverse.push_back(*info);
        return true;
    }
    std::vector<ZQFNotifyInfo> reverse;
};

class Owner : public ZQFModule {
public:
    Owner() : ZQFModule(kUpstreamId, "owner") { AddPin(new ZQFPinIn(this, "in")); }
};

class RtcpProcessingTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(ZQFConnectPins(upstream.GetOutputPin(0), owner.GetInputPin(0)));
        stack = std::make_unique<TestStack>(&owner);
        remote = std::make_unique<ZQMRTPSource>(stack.get(), kRemoteSsrc, 100, false);
        remote->m_mediaType = 0x40001;
        logs.Clear();
    }
    void TearDown() override
    {
        remote.reset();
        stack.reset();
        ZQFDisconnectPins(upstream.GetOutputPin(0));
    }

    uint32_t LocalSsrc() const { return stack->GetLocalSource()->m_ssrc; }

    bool Process(const std::vector<uint8_t>& bytes)
    {
        return stack->ProcessRTCPDatagram(bytes.data(), static_cast<int>(bytes.size()), "ZQMOutputRTPStack");
    }

    static void Append(std::vector<uint8_t>& bytes, const auto& packet)
    {
        const size_t at = bytes.size();
        bytes.resize(at + packet.BlockLength());
        ASSERT_EQ(packet.Create(bytes.data() + at, packet.BlockLength()), packet.BlockLength());
    }

    std::vector<uint8_t> ReceiverReportAboutLocal(uint8_t fraction, uint32_t lsr, uint32_t dlsr = 0,
                                                  int32_t cumulativeLost = 12)
    {
        rtcp::ReceiverReport rr;
        rr.senderSsrc = kRemoteSsrc;
        rr.block.sourceSsrc = LocalSsrc();
        rr.block.fractionLost = fraction;
        rr.block.cumulativeLost = cumulativeLost;
        rr.block.extendedHighestSequence = 0x10005;
        rr.block.jitter = 80;
        rr.block.lastSenderReport = lsr;
        rr.block.delaySinceLastSenderReport = dlsr;
        std::vector<uint8_t> bytes;
        Append(bytes, rr);
        return bytes;
    }

    LogCapture logs;
    Upstream upstream;
    Owner owner;
    std::unique_ptr<TestStack> stack;
    std::unique_ptr<ZQMRTPSource> remote;
};

// Each compound is refused with its lines, or taken without an effect.
TEST_F(RtcpProcessingTest, MalformedOrForeignCompoundsApplyNothing)
{
    std::vector<uint8_t> shortOne = ReceiverReportAboutLocal(0x40, 0);
    shortOne.pop_back();
    std::vector<uint8_t> version1 = ReceiverReportAboutLocal(0x40, 0);
    version1[0] = 0x41;
    rtcp::Sdes sdes;  // a compound must start with a report
    sdes.ssrc = kRemoteSsrc;
    sdes.text = "changed";
    std::vector<uint8_t> sdesFirst;
    Append(sdesFirst, sdes);
    std::vector<uint8_t> stranger = ReceiverReportAboutLocal(0x40, 0);
    stranger[8] ^= 0xFF;  // about another SSRC
    // SDES of one word after its header whose item claims 200 bytes: skipped.
    std::vector<uint8_t> overrun = ReceiverReportAboutLocal(0, 0);
    overrun.insert(overrun.end(), {0x81, 202, 0x00, 0x02, 0x70, 0x00, 0xAA, 0xAA, 0x01, 200, 'x', 0});
    std::vector<uint8_t> sr31 = {0x9F, 200, 0, 6, 1, 2, 3, 4};  // of a stranger
    sr31.resize(28, 0x11);
    struct Case {
        std::vector<uint8_t> bytes;
        bool taken;
        std::vector<std::string> lines;
    };
    const std::vector<Case> cases = {
        {shortOne, false, {"<--ZQMRTPStack-->[ZQMOutputRTPStack] Wrong rtcp packet length."}},
        {version1, false,
         {"<--ZQMRTCPStack--> Invalid RTCP verion: recv[1] waiting[2]",
          "<--ZQMRTPStack-->[ZQMOutputRTPStack] Invalid RTCP verion.."}},
        {sdesFirst, false,
         {"<--ZQMRTCPStack--> not supprted RTCP type: recv[202] ",
          "<--ZQMRTPStack-->[ZQMOutputRTPStack] Wrong rtcp packet type int compound packet."}},
        {{0x80, 201, 0x00, 0x01, 0x70, 0x00, 0xAA, 0xAA}, true, {}},  // RR without a block
        {stranger, true, {}},
        // An SR whose length covers its header only, then zero-length packets.
        {{0x80, 200, 0, 0, 0x81, 202, 0, 0, 0x81, 203, 0, 0, 0x84, 206, 0, 0}, true, {}},
        // 31 report blocks announced, none there.
        {{0x9F, 201, 0, 1, 0x70, 0x00, 0xAA, 0xAA}, true, {}},
        {sr31, true, {}},
    };
    for (const Case& c : cases) {
        logs.Clear();
        EXPECT_EQ(Process(c.bytes), c.taken) << "case " << (&c - cases.data());
        for (const std::string& line : c.lines) {
            EXPECT_EQ(logs.Count(kPath, 2, line), 1) << line;
        }
    }
    EXPECT_TRUE(Process(overrun));
    EXPECT_STREQ(remote->m_cname, "");
    EXPECT_EQ(stack->GetLocalSource()->m_rrCount.load(), 1u) << "the overrun's report only";
    ASSERT_EQ(upstream.reverse.size(), 1u);
    EXPECT_EQ(upstream.reverse[0].code, NOTIFY_FRACTION_LOST);
    EXPECT_EQ(upstream.reverse[0].sender, &owner);
    EXPECT_TRUE(stack->removed.empty());
    EXPECT_TRUE(stack->lipSyncSources.empty());
}

TEST_F(RtcpProcessingTest, FullIntraRequestCallsTheCallbackOnce)
{
    int calls = 0;
    ZQMFIRCallback callback;
    callback.callback = [](void* context) { ++*static_cast<int*>(context); };
    callback.context = &calls;
    stack->SetFIRCallback(&callback);

    std::vector<uint8_t> bytes = ReceiverReportAboutLocal(0, 0);
    rtcp::Fir fir;
    fir.senderSsrc = kRemoteSsrc;
    Append(bytes, fir);
    ASSERT_TRUE(Process(bytes));
    EXPECT_EQ(calls, 1);

    bytes[32] = 0x81;  // format 1: a generic NACK, not a FIR
    ASSERT_TRUE(Process(bytes));
    EXPECT_EQ(calls, 1);
}

// The RR echoes the middle 32 bits of our NTP sender report. Our clock reads
// 09:30:01.000 when the RR comes; it echoes the SR of 09:30:00.250.
TEST_F(RtcpProcessingTest, RoundTripFromNtpTimesAndRefusedReportsCounted)
{
    const SYSTEMTIME reportSent = {2026, 3, 0, 15, 9, 30, 0, 250};
    zqwin32::SetSystemTimeOverride(&reportSent);
    const uint32_t lsr = ZQMRTPClock::GetCompactWallClock();
    const SYSTEMTIME reportBack = {2026, 3, 0, 15, 9, 30, 1, 0};
    zqwin32::SetSystemTimeOverride(&reportBack);

    struct Step {
        const char* what;
        uint32_t lsr;
        uint32_t dlsr;  // 1/65536 s
        uint32_t roundTripMs;
        uint32_t refused;
    };
    const Step steps[] = {
        {"held 0.5 s of the 0.75 s", lsr, 0x8000, 250, 0},
        {"held 0.7 s", lsr, 45875, 50, 0},  // 0.69999 s: 50.002 ms
        {"LSR later than now", lsr + 0x10000, 0, 50, 1},
        {"held longer than the report exists", lsr, 0x10000, 50, 2},
        {"no sender report heard yet", 0, 0, 0, 2},
        {"held exactly as long: no time on the way", lsr, 0xC000, 0, 2},
    };
    ZQMRTPSource& local = *stack->GetLocalSource();
    for (const Step& step : steps) {
        ASSERT_TRUE(Process(ReceiverReportAboutLocal(0, step.lsr, step.dlsr))) << step.what;
        EXPECT_EQ(local.m_roundTripTime.load(), step.roundTripMs) << step.what;
        EXPECT_EQ(local.m_refusedRoundTrips.load(), step.refused) << step.what;
    }
    EXPECT_EQ(local.m_rrCount.load(), 6u) << "refused round trips are still receiver reports";
    zqwin32::SetSystemTimeOverride(nullptr);
}

TEST_F(RtcpProcessingTest, NegativeCumulativeLossIsKeptSigned)
{
    ASSERT_TRUE(Process(ReceiverReportAboutLocal(0, 0, 0, -1)));
    EXPECT_EQ(stack->GetLocalSource()->m_cumulativeLost.load(), -1);
    uint32_t cumulative = 0;
    ASSERT_TRUE(ZQMRTPSource::GetStatistics(LocalSsrc(), true, nullptr, nullptr, nullptr, nullptr, nullptr,
                                            &cumulative, nullptr, nullptr, nullptr));
    EXPECT_EQ(static_cast<int32_t>(cumulative), -1);
}

// A sender report from the remote source: its LSR (the middle 32 bits of
// its NTP time) and when it came, kept together for the next RR's DLSR.
TEST_F(RtcpProcessingTest, SenderReportKeepsItsLsrWithItsArrival)
{
    testsupport::ManualTime time(5000);
    rtcp::SenderReport sr;
    sr.senderSsrc = kRemoteSsrc;
    sr.timestampHigh = 0xED60FA98;
    sr.timestampLow = 0x40000000;
    std::vector<uint8_t> bytes;
    Append(bytes, sr);
    ASSERT_TRUE(Process(bytes));
    const zqm::SenderReportReception reception =
        zqm::UnpackSenderReportReception(remote->m_lastSenderReport.load());
    EXPECT_EQ(reception.lsr, 0xFA984000u);
    EXPECT_EQ(reception.arrivalUnits, 5u * 65536u);
    ZQCClock::AdvanceManualTime(1500);
    EXPECT_EQ(zqm::DelaySinceLastSenderReport(reception, zqm::MonotonicReportUnits()), 0x18000u);
}

}  // namespace
