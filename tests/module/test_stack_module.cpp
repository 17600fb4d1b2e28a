// The stack module: what each identity builds, its pins and their pool.
#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "module/zqmrtpstackids.h"
#include "module/zqmrtpstackmodule.h"
#include "module/zqmrtpstackoutputpin.h"
#include "zqfpin.h"
#include "zqmrtpsource.h"
#include "zqmrtpstack.h"
#include "zqwin32.h"

namespace {

// The debug strings written while it lives.
struct DebugStrings {
    DebugStrings()
    {
        zqwin32::SetOutputDebugStringSink([this](const char* text) { lines.emplace_back(text); });
    }
    ~DebugStrings() { zqwin32::SetOutputDebugStringSink({}); }
    std::vector<std::string> lines;
};

// "RTP in" builds a receiving stack with an output pin; any other identity
// a sending stack with an input pin, and says so.
TEST(StackModule, EachIdentityBuildsItsStackAndItsPin)
{
    for (const ZQFID* id : {&ZQMID_RTPIn, &ZQMID_RTPOut, &ZQMID_RTPDispatcher}) {
        const bool receiving = id == &ZQMID_RTPIn;
        SCOPED_TRACE(receiving ? "receiving" : "sending");
        DebugStrings debug;
        ZQMRTPStackModule module(*id, "Output RTP stack");
        EXPECT_EQ(module.GetCategory(), receiving ? 13 : 14);
        EXPECT_STREQ(module.GetName(), "Output RTP stack");
        EXPECT_EQ(module.GetStackDirection(), receiving ? 0 : 1);
        ASSERT_EQ(module.GetInputPinCount(), receiving ? 0 : 1);
        ASSERT_EQ(module.GetOutputPinCount(), receiving ? 1 : 0);
        const ZQFPin* pin = receiving ? static_cast<const ZQFPin*>(module.GetOutputPin(0)) : module.GetInputPin(0);
        EXPECT_STREQ(pin->GetName(), receiving ? "outputRTPPin" : "inputRTPPin");
        char expected[256];
        std::snprintf(expected, sizeof expected,
                      "ZQMRTPStackModule::ZQMRTPStackModule: create pin[0x%" PRIxPTR "] %s sucess\n",
                      reinterpret_cast<uintptr_t>(&module), "Output RTP stack");
        EXPECT_EQ(std::string(expected).find("0x0x"), std::string::npos);
        EXPECT_EQ(debug.lines, receiving ? std::vector<std::string>{} : std::vector<std::string>{expected});
    }
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

}  // namespace
