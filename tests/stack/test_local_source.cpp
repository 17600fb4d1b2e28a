// Each stack's own source: a random SSRC no other source of the process
// uses, and the process's CNAME.
#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

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

TEST(LocalSource, StacksDrawDistinctRandomSsrcsAndShareTheProcessCname)
{
    std::vector<std::unique_ptr<ZQMRTPStackModule>> modules;
    std::set<uint32_t> ssrcs;
    for (int i = 0; i < 64; ++i) {
        modules.push_back(std::make_unique<ZQMRTPStackModule>(i % 2 ? ZQMID_RTPIn : ZQMID_RTPOut, "stack"));
        ssrcs.insert(modules.back()->GetStack()->GetLocalSource()->m_ssrc);
    }
    EXPECT_EQ(ssrcs.size(), modules.size());
    // Not a counter: 64 consecutive values would span 63.
    EXPECT_GT(*ssrcs.rbegin() - *ssrcs.begin(), 1000u);

    ZQMRTPStackModule& first = *modules.front();
    const uint32_t ssrc = first.GetStack()->GetLocalSource()->m_ssrc;
    const std::string cname = first.GetSourceCNAME(ssrc, true);
    EXPECT_EQ(cname.rfind(std::string(first.GetLocalIPAddress()) + "-", 0), 0u) << cname;
    EXPECT_STREQ(modules.back()->GetSourceCNAME(*ssrcs.rbegin(), true), cname.c_str());

    modules.clear();
    for (const uint32_t gone : ssrcs) {
        EXPECT_FALSE(Listed(gone)) << "a source leaves the list with its stack";
    }
}

}  // namespace
