// Each stack's own source: its SSRC from the process counter, its CNAME.
#include <gtest/gtest.h>

#include <string>

#include "module/zqmrtpstackids.h"
#include "module/zqmrtpstackmodule.h"
#include "log_capture.h"
#include "zqmrtpsource.h"
#include "zqmrtpstack.h"

namespace {

TEST(LocalSource, FirstStackDrawsARandomSsrcAndTheNextOneTakesTheFollowingInteger)
{
    zqm::SetSSRCCounter(0);
    ZQMRTPStackModule first(ZQMID_RTPOut, "Output RTP stack");
    ZQMRTPStackModule second(ZQMID_RTPIn, "Input RTP stack");
    const uint32_t ssrc = first.GetStack()->GetLocalSource()->m_ssrc;
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

TEST(LocalSource, IsLocalSourceKnowsOnlyItsOwnSsrc)
{
    LogCapture logs;
    ZQMRTPStackModule module(ZQMID_RTPOut, "Output RTP stack");
    const uint32_t ssrc = module.GetStack()->GetLocalSource()->m_ssrc;
    EXPECT_TRUE(module.IsLocalSource(ssrc));
    EXPECT_FALSE(module.IsLocalSource(ssrc + 1000));
    EXPECT_EQ(logs.Count("zqmrtpstack", 1, "<--RTPStack-->IsLocalSource with invalid ssrc."), 1);
}

TEST(LocalSource, SetCNAMEReplacesTheNameTheListsShow)
{
    ZQMRTPStackModule module(ZQMID_RTPOut, "Output RTP stack");
    const uint32_t ssrc = module.GetStack()->GetLocalSource()->m_ssrc;
    module.SetCNAME("alice@example");
    EXPECT_STREQ(module.GetSourceCNAME(ssrc, true), "alice@example");
    const std::string tooLong(400, 'n');
    module.SetCNAME(tooLong.c_str());
    EXPECT_EQ(std::string(module.GetSourceCNAME(ssrc, true)).size(), 255u);
}

TEST(LocalSource, LeavesTheListWithItsStack)
{
    uint32_t ssrc = 0;
    {
        ZQMRTPStackModule module(ZQMID_RTPOut, "Output RTP stack");
        ssrc = module.GetStack()->GetLocalSource()->m_ssrc;
        zqm::SourceListsLock lock;
        EXPECT_NE(zqm::FindListedSource(ssrc, true), nullptr);
    }
    zqm::SourceListsLock lock;
    EXPECT_EQ(zqm::FindListedSource(ssrc, true), nullptr);
}

}  // namespace
