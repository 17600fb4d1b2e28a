// Received RTCP compounds applied to the process's sources.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "log_capture.h"
#include "manual_time.h"
#include "rtp_datagram.h"
#include "rtcp/rtcpfir.h"
#include "rtcp/rtcpsdes.h"
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

using testsupport::Words;

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
        zqm::PacketFaultThrottle::Reset();  // each test sees the first line of a fault
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

    // An RR of the remote source with one block about our local source,
    // written out word by word.
    std::vector<uint8_t> ReceiverReportAboutLocal(uint8_t fraction, uint32_t lsr, uint32_t dlsr = 0,
                                                  int32_t cumulativeLost = 12)
    {
        return Words({0x81C90007, kRemoteSsrc, LocalSsrc(),
                      (uint32_t{fraction} << 24) | (static_cast<uint32_t>(cumulativeLost) & 0xFFFFFF), 0x00010005,
                      80, lsr, dlsr});
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

// The RR echoes the middle 32 bits of our NTP sender report: NTP seconds
// modulo 65536, then 1/65536 s. 2026-03-15 09:30:00 UTC is NTP second
// 0xED60FA98; 09:53:03 is 0xED61FFFF, the last before the 16-bit wrap. The
// loss figures of each report are kept too: the fraction in percent, the
// cumulative loss sign-extended from 24 bits.
TEST_F(RtcpProcessingTest, ReceiverReportAboutUsGivesRoundTripFromNtpTimesAndItsLoss)
{
    struct Step {
        const char* what;
        SYSTEMTIME reportBack;
        uint32_t lsr;
        uint32_t dlsr;  // 1/65536 s
        uint32_t roundTripMs;
        uint32_t refused;
    };
    const SYSTEMTIME at093001 = {2026, 3, 0, 15, 9, 30, 1, 0};
    const SYSTEMTIME at095304 = {2026, 3, 0, 15, 9, 53, 4, 250};
    const Step steps[] = {
        {"SR of 09:30:00.250, held 0.5 s", at093001, 0xFA984000, 0x8000, 250, 0},
        {"SR of 09:53:03.500 answered after the wrap", at095304, 0xFFFF8000, 0x4000, 500, 0},
        {"LSR later than now", at093001, 0xFA994000, 0, 500, 1},
        {"held longer than the report exists", at093001, 0xFA984000, 0x10000, 500, 2},
        {"no sender report heard yet", at093001, 0, 0, 0, 2},
        {"held exactly as long: no time on the way", at093001, 0xFA984000, 0xC000, 0, 2},
    };
    ZQMRTPSource& local = *stack->GetLocalSource();
    for (const Step& step : steps) {
        zqwin32::SetSystemTimeOverride(&step.reportBack);
        ASSERT_TRUE(Process(ReceiverReportAboutLocal(0x40, step.lsr, step.dlsr, -1))) << step.what;
        EXPECT_EQ(local.m_roundTripTime.load(), step.roundTripMs) << step.what;
        EXPECT_EQ(local.m_refusedRoundTrips.load(), step.refused) << step.what;
        EXPECT_EQ(local.m_lsr.load(), step.lsr) << step.what;
        EXPECT_EQ(local.m_dlsr.load(), step.dlsr) << step.what;
    }
    zqwin32::SetSystemTimeOverride(nullptr);
    EXPECT_EQ(local.m_rrCount.load(), 6u) << "refused round trips are still receiver reports";
    uint32_t fraction = 0, cumulative = 0;
    ASSERT_TRUE(ZQMRTPSource::GetStatistics(LocalSsrc(), true, nullptr, nullptr, nullptr, nullptr, &fraction,
                                            &cumulative, nullptr, nullptr, nullptr));
    EXPECT_EQ(fraction, 25u) << "64/256";
    EXPECT_EQ(static_cast<int32_t>(cumulative), -1);
    ASSERT_EQ(upstream.reverse.size(), 6u);
    EXPECT_EQ(upstream.reverse.back().param, 25) << "the fraction lost goes upstream in percent";
}

// A sender report from the remote source: its counts, and its LSR (the
// middle 32 bits of its NTP time) kept with when it came for the next RR's
// DLSR.
TEST_F(RtcpProcessingTest, SenderReportStoresItsCountsAndLsrWithItsArrival)
{
    testsupport::ManualTime time(5000);
    ASSERT_TRUE(Process(Words({0x80C80006, kRemoteSsrc, 0xED60FA98, 0x12345678, 0x00001F40, 1111, 176584})));
    EXPECT_EQ(remote->m_packetCount.load(), 1111u);
    EXPECT_EQ(remote->m_octetCount.load(), 176584u);
    EXPECT_EQ(remote->m_octets.load(), 24u) << "the datagram less its first header word";
    const zqm::SenderReportReception reception =
        zqm::UnpackSenderReportReception(remote->m_lastSenderReport.load());
    EXPECT_EQ(reception.lsr, 0xFA981234u);
    EXPECT_EQ(reception.arrivalUnits, 5u * 65536u);
    ZQCClock::AdvanceManualTime(1500);
    EXPECT_EQ(zqm::DelaySinceLastSenderReport(reception, zqm::MonotonicReportUnits()), 0x18000u);
    ASSERT_EQ(stack->lipSyncSources.size(), 1u);
    EXPECT_EQ(stack->lipSyncSources[0], remote.get());
}

}  // namespace
