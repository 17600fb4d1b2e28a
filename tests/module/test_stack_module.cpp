// The stack module: what each identity builds, its interfaces, its pins.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "module/zqmrtpstackids.h"
#include "module/zqmrtpstackmodule.h"
#include "module/zqmrtpstackoutputpin.h"
#include "zqfconfigpanel.h"
#include "zqfformat.h"
#include "zqfpin.h"
#include "zqirtpstack.h"
#include "zqirtpstackstatistics.h"
#include "zqmrtpsource.h"
#include "zqmrtpstack.h"
#include "zqwin32.h"

namespace {

class DebugStrings {
public:
    DebugStrings()
    {
        zqwin32::SetOutputDebugStringSink([this](const char* text) {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_lines.emplace_back(text);
        });
    }
    ~DebugStrings() { zqwin32::SetOutputDebugStringSink({}); }
    std::vector<std::string> Lines()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_lines;
    }

private:
    std::mutex m_mutex;
    std::vector<std::string> m_lines;
};

TEST(StackModule, RtpInBuildsAReceivingStackWithOneOutputPin)
{
    DebugStrings debug;
    ZQMRTPStackModule module(ZQMID_RTPIn, "Input RTP stack");
    EXPECT_EQ(module.GetCategory(), 13);
    EXPECT_STREQ(module.GetName(), "Input RTP stack");
    EXPECT_EQ(module.GetInputPinCount(), 0);
    ASSERT_EQ(module.GetOutputPinCount(), 1);
    EXPECT_STREQ(module.GetOutputPin(0)->GetName(), "outputRTPPin");
    EXPECT_EQ(module.GetStackDirection(), 0);
    EXPECT_TRUE(debug.Lines().empty());
}

TEST(StackModule, AnyOtherIdentityBuildsASendingStackAndSaysSo)
{
    for (const ZQFID* id : {&ZQMID_RTPOut, &ZQMID_RTPDispatcher}) {
        DebugStrings debug;
        ZQMRTPStackModule module(*id, "Output RTP stack");
        EXPECT_EQ(module.GetCategory(), 14);
        ASSERT_EQ(module.GetInputPinCount(), 1);
        EXPECT_EQ(module.GetOutputPinCount(), 0);
        EXPECT_STREQ(module.GetInputPin(0)->GetName(), "inputRTPPin");
        EXPECT_EQ(module.GetStackDirection(), 1);
        char expected[256];
        std::snprintf(expected, sizeof expected,
                      "ZQMRTPStackModule::ZQMRTPStackModule: create pin[0x%p] %s sucess\n",
                      static_cast<void*>(&module), "Output RTP stack");
        EXPECT_EQ(debug.Lines(), std::vector<std::string>{expected});
    }
}

TEST(StackModule, BothStacksStartWithTheDefaultNetworkParameters)
{
    for (const ZQFID* id : {&ZQMID_RTPIn, &ZQMID_RTPOut}) {
        ZQMRTPStackModule module(*id, "stack");
        EXPECT_STREQ(module.GetLocalRTPPort(), "8000");
        EXPECT_STREQ(module.GetLocalRTCPPort(), "8001");
        EXPECT_STREQ(module.GetRemoteRTPPort(), "8000");
        EXPECT_STREQ(module.GetRemoteRTCPPort(), "8001");
        EXPECT_STRNE(module.GetLocalIPAddress(), "");
        EXPECT_STREQ(module.GetRemoteRTPAddress(), module.GetLocalIPAddress());
        EXPECT_STREQ(module.GetRemoteRTCPAddress(), module.GetLocalIPAddress());
        EXPECT_EQ(module.GetRTCPEnabled(), 1u);
        EXPECT_TRUE(module.GetAutoSequenceNumbers());
        EXPECT_EQ(module.GetRTPwindow(), 0);
    }
}

TEST(StackModule, QueryInterfaceAnswersItsThreeIdentities)
{
    ZQMRTPStackModule module(ZQMID_RTPOut, "Output RTP stack");
    void* out = nullptr;
    ASSERT_TRUE(module.QueryInterface(IID_ZQIConfigPanel, &out));
    EXPECT_EQ(out, static_cast<ZQIConfigPanel*>(&module));
    ASSERT_TRUE(module.QueryInterface(IID_ZQIRTPStack, &out));
    EXPECT_EQ(out, static_cast<ZQIRTPStack*>(&module));
    ASSERT_TRUE(module.QueryInterface(IID_ZQIRTPStackStatistics, &out));
    EXPECT_EQ(out, static_cast<ZQIRTPStackStatistics*>(&module));
    out = &module;
    EXPECT_FALSE(module.QueryInterface(ZQMID_RTPIn, &out));
}

// Every setter and getter of the control interface reaches the stack: set
// through the interface, read back from the stack itself.
TEST(StackModule, ControlInterfaceForwardsToTheStack)
{
    ZQMRTPStackModule module(ZQMID_RTPOut, "Output RTP stack");
    void* out = nullptr;
    ASSERT_TRUE(module.QueryInterface(IID_ZQIRTPStack, &out));
    ZQIRTPStack* control = static_cast<ZQIRTPStack*>(out);
    ZQMRTPStack* stack = module.GetStack();

    struct TextCase {
        const char* name;
        std::function<void(const char*)> set;
        std::function<const char*()> readStack;
        std::function<const char*()> readInterface;
    };
    const std::vector<TextCase> texts = {
        {"remote RTP address", [&](const char* v) { control->SetRemoteRTPAddress(v); },
         [&] { return stack->GetRemoteRTPAddress(); }, [&] { return control->GetRemoteRTPAddress(); }},
        {"remote RTCP address", [&](const char* v) { control->SetRemoteRTCPAddress(v); },
         [&] { return stack->GetRemoteRTCPAddress(); }, [&] { return control->GetRemoteRTCPAddress(); }},
        {"local IP address", [&](const char* v) { control->SetLocalIPAddress(v); },
         [&] { return stack->GetLocalIPAddress(); }, [&] { return control->GetLocalIPAddress(); }},
        {"local RTP port", [&](const char* v) { control->SetLocalRTPPort(v); },
         [&] { return stack->GetLocalRTPPort(); }, [&] { return control->GetLocalRTPPort(); }},
        {"local RTCP port", [&](const char* v) { control->SetLocalRTCPPort(v); },
         [&] { return stack->GetLocalRTCPPort(); }, [&] { return control->GetLocalRTCPPort(); }},
        {"remote RTP port", [&](const char* v) { control->SetRemoteRTPPort(v); },
         [&] { return stack->GetRemoteRTPPort(); }, [&] { return control->GetRemoteRTPPort(); }},
        {"remote RTCP port", [&](const char* v) { control->SetRemoteRTCPPort(v); },
         [&] { return stack->GetRemoteRTCPPort(); }, [&] { return control->GetRemoteRTCPPort(); }},
    };
    for (const TextCase& c : texts) {
        const std::string value = std::string("v-") + c.name;
        c.set(value.c_str());
        EXPECT_EQ(c.readStack(), value) << c.name;
        EXPECT_EQ(c.readInterface(), value) << c.name;
    }
    // Texts too long for their 256-byte fields are cut, never overrun.
    const std::string tooLong(1000, 'a');
    control->SetRemoteRTPPort(tooLong.c_str());
    EXPECT_EQ(std::strlen(stack->GetRemoteRTPPort()), 255u);

    control->SetMulticastTTL(7);
    control->SetIPTOS(0xB8);
    control->SetSocketBufferSize(4 << 20);
    EXPECT_EQ(stack->GetSocketBufferSize(), 4u << 20);
    control->SetDataDisabled(1);
    EXPECT_EQ(control->GetDataDisabled(), 1u);
    EXPECT_EQ(stack->GetDataDisabled(), 1u);
    control->SetBindRTCPToLocalPort(1);
    EXPECT_EQ(control->GetBindRTCPToLocalPort(), 1u);
    control->SetAutoSequenceNumbers(false);
    EXPECT_FALSE(stack->GetAutoSequenceNumbers());
    EXPECT_FALSE(control->GetAutoSequenceNumbers());

    EXPECT_TRUE(control->EnableMediaType(0x40001));
    EXPECT_TRUE(stack->IsMediaTypeEnabled(0x40001));
    EXPECT_TRUE(control->IsMediaTypeEnabled(0x40001));
    EXPECT_TRUE(control->AddMediaType(0x40002, 99));
    EXPECT_EQ(stack->GetPayloadType(0x40002), 99);
    EXPECT_TRUE(control->RemoveMediaType(0x40002));
    control->RemoveAllMediaTypes();
    EXPECT_EQ(stack->GetMediaTypeCount(), 0u);

    // The module keeps the direction and the RTCP switch itself.
    EXPECT_EQ(control->GetStackDirection(), 1);
    control->SetRTCPEnabled(0);
    EXPECT_EQ(control->GetRTCPEnabled(), 0u);

    const uint32_t ssrc = stack->GetLocalSource()->m_ssrc;
    uint32_t identified = 0;
    ASSERT_TRUE(control->GetSourceIdentifier(0, identified));
    EXPECT_EQ(identified, ssrc);
    EXPECT_FALSE(control->GetSourceIdentifier(1, identified));
    EXPECT_EQ(identified, 0u);
    control->SetCNAME("carol");
    EXPECT_STREQ(control->GetSourceCNAME(ssrc, true), "carol");
}

TEST(StackModule, StatisticsInterfaceForwardsToTheStack)
{
    ZQMRTPStackModule module(ZQMID_RTPOut, "Output RTP stack");
    void* out = nullptr;
    ASSERT_TRUE(module.QueryInterface(IID_ZQIRTPStackStatistics, &out));
    ZQIRTPStackStatistics* statistics = static_cast<ZQIRTPStackStatistics*>(out);
    const uint32_t ssrc = module.GetStack()->GetLocalSource()->m_ssrc;

    uint32_t viaStatistics = 0;
    uint32_t viaControl = 0;
    ASSERT_TRUE(statistics->GetSourceIdentifier(0, viaStatistics));
    ASSERT_TRUE(static_cast<ZQIRTPStack&>(module).GetSourceIdentifier(0, viaControl));
    EXPECT_EQ(viaStatistics, viaControl);
    EXPECT_TRUE(statistics->IsLocalSource(ssrc));

    EXPECT_TRUE(statistics->SetSimulatePacketLoss(ssrc, true, true));
    EXPECT_TRUE(statistics->GetSimulatePacketLoss(ssrc, true));
    EXPECT_FALSE(statistics->SetPacketLossPercent(ssrc, true, 101));
    EXPECT_TRUE(statistics->SetPacketLossPercent(ssrc, true, 100));
    EXPECT_EQ(statistics->GetPacketLossPercent(ssrc, true), 100u);
    EXPECT_TRUE(statistics->SetGenerateJitter(ssrc, true, true));
    EXPECT_TRUE(statistics->GetGenerateJitter(ssrc, true));
    EXPECT_TRUE(statistics->SetMaxJitter(ssrc, true, 75));
    EXPECT_EQ(statistics->GetMaxJitter(ssrc, true), 75u);
    EXPECT_FALSE(statistics->SetPacketLossPercent(ssrc, false, 10));  // not a remote source

    uint32_t packets = 99;
    uint32_t octets = 99;
    float jitter = -1;
    EXPECT_TRUE(statistics->GetStatistics(ssrc, true, nullptr, nullptr, &packets, &octets, nullptr, nullptr,
                                          &jitter, nullptr, nullptr));
    EXPECT_EQ(packets, 0u);
    EXPECT_EQ(octets, 0u);
    EXPECT_EQ(jitter, 0.0f);
}

TEST(StackModule, OutputPinSizesItsPoolFromTheWindow)
{
    struct Case {
        uint32_t window;
        int proposedCount;
        int expectedCount;
    };
    for (const Case& c : {Case{0, 2, 15}, Case{16, 2, 19}, Case{16, 40, 19}}) {
        ZQMRTPStackModule module(ZQMID_RTPIn, "Input RTP stack");
        module.SetRTPwindow(c.window);
        ZQFAllocatorConfig config;
        config.count = c.proposedCount;
        config.size = 100;
        ASSERT_TRUE(module.GetOutputPin(0)->OnDecideBufferSize(&config));
        EXPECT_EQ(config.count, c.expectedCount);
        EXPECT_EQ(config.size, 32768);
        EXPECT_EQ(module.GetSocketBufferSize(), static_cast<uint32_t>(c.expectedCount) * 32768u);

        // A size set before is left alone.
        module.SetSocketBufferSize(4 << 20);
        ASSERT_TRUE(module.GetOutputPin(0)->OnDecideBufferSize(&config));
        EXPECT_EQ(module.GetSocketBufferSize(), 4u << 20);
    }
}

TEST(StackModule, OutputPinFlushNeedsAPoolAndGivesThePacketFormat)
{
    ZQMRTPStackModule module(ZQMID_RTPIn, "Input RTP stack");
    ZQFPinOut* pin = module.GetOutputPin(0);
    EXPECT_FALSE(pin->OnPinFlush());
    ZQFFormatBuffer* format = nullptr;
    ASSERT_TRUE(pin->GetOutputFormat(&format));
    ASSERT_NE(format, nullptr);
    EXPECT_EQ(format->GetKind(), NKRMultiplexedPacketFormat::kKind);
    delete format;
}

TEST(StackModule, PinsOfferTheEnabledMediaTypes)
{
    ZQMRTPStackModule module(ZQMID_RTPOut, "Output RTP stack");
    ASSERT_TRUE(module.EnableMediaType(0x40001));
    ASSERT_TRUE(module.EnableMediaType(0x10004));
    ZQFMediaType type;
    ZQFFormatBuffer* format = reinterpret_cast<ZQFFormatBuffer*>(0x1);
    ASSERT_TRUE(module.GetInputPin(0)->GetMediaTypeAt(0, &type, &format));
    EXPECT_EQ(format, nullptr);
    EXPECT_EQ(type.GetSubType(), 0x10004);
    EXPECT_EQ(type.GetMainType(), 2);
    ASSERT_TRUE(module.GetInputPin(0)->GetMediaTypeAt(1, &type, &format));
    EXPECT_EQ(type.GetSubType(), 0x40001);
    EXPECT_FALSE(module.GetInputPin(0)->GetMediaTypeAt(2, &type, &format));
    EXPECT_EQ(module.GetMediaTypeCount(), 2u);
}

}  // namespace
