// Sources and the process-wide lists: membership, collisions, statistics.
// Our own traffic heard back is no collision: the identity fault and
// end-to-end tests run a sender and a receiver of one process on one path.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "log_capture.h"
#include "zqcclock.h"
#include "zqmrtpsource.h"

namespace {

const char* const kPath = "zqmrtpsource";
const std::string kCollision = "Collision detected : same ssrc.";

std::unique_ptr<ZQMRTPSource> Make(uint32_t ssrc, bool local)
{
    return std::make_unique<ZQMRTPSource>(nullptr, ssrc, 0, local);
}

ZQMRTPSource* Listed(uint32_t ssrc, bool local)
{
    zqm::SourceListsLock lock;
    return zqm::FindListedSource(ssrc, local);
}

class RTPSourceTest : public ::testing::Test {
protected:
    void SetUp() override { ZQCClock::UseManualTime(true, 5000); }
    void TearDown() override
    {
        ZQCClock::UseManualTime(false);
        EXPECT_FALSE(ZQMRTPSource::GetSourceAt(0, nullptr, nullptr)) << "a source outlived its test";
    }

    LogCapture m_log;
};

}  // namespace

// Within a list the earlier source keeps the entry; across the lists the
// local source is asked, once, to change.
TEST_F(RTPSourceTest, CollisionsKeepTheEarlierSourceOrAskTheLocalOneToChange)
{
    struct Case {
        bool firstLocal;
        bool secondLocal;
        int level;
        const char* line;
    };
    const Case cases[] = {
        {true, true, 2, "New local source is using a ssrc already assigned to a another local source."},
        {false, false, 1, "New remote source is using a ssrc already used by a remote source."},
        {true, false, 1, "New remote source is using a ssrc already used by a local source."},
        {false, true, 1, "New local source is using a ssrc already used by a remote source."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        m_log.Clear();
        auto first = Make(4711, c.firstLocal);
        auto second = Make(4711, c.secondLocal);
        const std::vector<LogLine> expected = {{kPath, 0, kCollision}, {kPath, c.level, c.line}};
        EXPECT_EQ(m_log.Lines(kPath), expected);
        const bool sameKind = c.firstLocal == c.secondLocal;
        EXPECT_EQ(Listed(4711, c.secondLocal), sameKind ? first.get() : second.get());
        ZQMRTPSource* local = c.firstLocal ? first.get() : second.get();
        ZQMRTPSource* remote = c.firstLocal ? second.get() : first.get();
        EXPECT_FALSE(remote->IsSSRCChangeRequested());
        EXPECT_EQ(local->TakeSSRCChangeRequest(), !sameKind);
        EXPECT_FALSE(local->TakeSSRCChangeRequest()) << "taken once";

        // Deleting the unlisted one leaves the earlier source's entry alone.
        second.reset();
        const std::string list = c.firstLocal ? "local" : "remote";
        EXPECT_EQ(m_log.Count(kPath, 0, "Cannot delete source from static " + list + " source list."), sameKind ? 1 : 0);
        EXPECT_EQ(Listed(4711, c.firstLocal), first.get());
        first.reset();
        EXPECT_EQ(Listed(4711, c.firstLocal), nullptr);
    }
}

TEST_F(RTPSourceTest, GetSourceAtWalksLocalThenRemoteInSSRCOrder)
{
    std::vector<std::unique_ptr<ZQMRTPSource>> sources;
    for (auto [ssrc, local] : {std::pair{30u, true}, {10u, true}, {25u, false}, {20u, true}, {5u, false}}) {
        sources.push_back(Make(ssrc, local));
    }
    std::vector<std::pair<uint32_t, bool>> walked;
    uint32_t ssrc = 0;
    bool local = false;
    for (int i = 0; ZQMRTPSource::GetSourceAt(i, &ssrc, &local); ++i) {
        walked.emplace_back(ssrc, local);
    }
    const std::vector<std::pair<uint32_t, bool>> expected = {{10, true}, {20, true}, {30, true}, {5, false}, {25, false}};
    EXPECT_EQ(walked, expected);
    EXPECT_FALSE(ZQMRTPSource::GetSourceAt(-1, &ssrc, &local));

    sources[0]->StoreCNAME(std::string(300, 'c').c_str());
    EXPECT_EQ(std::string(ZQMRTPSource::GetSourceCNAME(30, true)), std::string(255, 'c'));
    EXPECT_STREQ(ZQMRTPSource::GetSourceCNAME(30, false), "");
}

TEST_F(RTPSourceTest, StatisticsRates)
{
    auto source = Make(40, false);
    uint32_t payload = 0, wire = 0, packets = 0;
    float jitterMs = 0;
    auto read = [&] {
        return ZQMRTPSource::GetStatistics(40, false, &payload, &wire, &packets, nullptr, nullptr, nullptr,
                                           &jitterMs, nullptr, nullptr);
    };
    source->m_octets = 1250;
    source->m_wireBytes = 1500;
    source->m_packetCount = 7;
    ZQCClock::AdvanceManualTime(1000);
    ASSERT_TRUE(read());
    EXPECT_EQ(payload, 10000u);
    EXPECT_EQ(wire, 12000u);
    EXPECT_EQ(packets, 7u);
    source->m_octets += 5000;  // asked again within the second: same rates
    ZQCClock::AdvanceManualTime(500);
    ASSERT_TRUE(read());
    EXPECT_EQ(payload, 10000u);
    ZQCClock::AdvanceManualTime(1000);
    ASSERT_TRUE(read());
    EXPECT_EQ(payload, 26666u);  // 5000 octets over 1500 ms
    // The quotient is rounded to single precision first: 5 octets in a
    // second are 39 bit/s, not 40.
    source->m_octets += 5;
    ZQCClock::AdvanceManualTime(1000);
    ASSERT_TRUE(read());
    EXPECT_EQ(payload, 39u);
    EXPECT_FALSE(ZQMRTPSource::GetStatistics(40, true, &payload, &wire, &packets, nullptr, nullptr, nullptr,
                                             &jitterMs, nullptr, nullptr));
}
