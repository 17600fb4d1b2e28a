// Each stack's own source: its SSRC from the process counter, its CNAME.
#include <gtest/gtest.h>

#include <string>

#include "module/zqmrtpstackids.h"
#include "module/zqmrtpstackmodule.h"
#include "zqmrtpsource.h"
#include "zqmrtpstack.h"

namespace {

bool Listed(uint32_t ssrc)
{
    zqm::SourceListsLock lock;
    return zqm::FindListedSource(ssrc, true) != nullptr;
}

TEST(LocalSource, FirstStackDrawsARandomSsrcAndTheNextOneTakesTheFollowingInteger)
{
    zqm::SetSSRCCounter(0);
    uint32_t ssrc = 0;
    {
        ZQMRTPStackModule first(ZQMID_RTPOut, "Output RTP stack");
        ZQMRTPStackModule second(ZQMID_RTPIn, "Input RTP stack");
        ssrc = first.GetStack()->GetLocalSource()->m_ssrc;
        EXPECT_LE(ssrc, 32767u);
        EXPECT_EQ(second.GetStack()->GetLocalSource()->m_ssrc, ssrc + 1);

        const std::string expected = std::string(first.GetLocalIPAddress()) + "-" + std::to_string(ssrc);
        EXPECT_STREQ(first.GetSourceCNAME(ssrc, true), expected.c_str());
        uint32_t listed = 0;
        bool local = false;
        ASSERT_TRUE(first.GetSourceAt(0, &listed, &local));
        EXPECT_TRUE(local);
        EXPECT_EQ(listed, ssrc);
    }
    EXPECT_FALSE(Listed(ssrc)) << "a source leaves the list with its stack";
    EXPECT_FALSE(Listed(ssrc + 1));
}

}  // namespace
