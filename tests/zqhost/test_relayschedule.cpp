// zqhost relay's impairment schedule and the queue that releases datagrams
// in due order, on simulated arrivals: seeded draws, shares, order, delays.
#include <gtest/gtest.h>

#include <vector>

#include "duequeue.h"
#include "impairmentschedule.h"

namespace {

constexpr int kArrivals = 20000;
constexpr int64_t kPacketSpacingUs = 20000;  // 20 ms audio frames
constexpr int64_t kDelayUs = 20000;

struct Arrival {
    int index;
    ForwardDecision decision;
};

std::vector<Arrival> Decide(const Impairments& impairments, int arrivals = kArrivals)
{
    ImpairmentSchedule schedule(impairments);
    std::vector<Arrival> decided;
    for (int index = 0; index < arrivals; ++index) {
        decided.push_back({index, schedule.ForwardRtp(index * kPacketSpacingUs)});
    }
    return decided;
}

// Pairs of neighbours (among datagrams that are sent) where the later one
// leaves first.
int Overtakes(const std::vector<Arrival>& decided)
{
    int overtakes = 0;
    int64_t lastDueUs = INT64_MIN;
    for (const Arrival& arrival : decided) {
        if (arrival.decision.dropped) {
            continue;
        }
        overtakes += arrival.decision.dueUs < lastDueUs ? 1 : 0;
        lastDueUs = arrival.decision.dueUs;
    }
    return overtakes;
}

TEST(RelaySchedule, JitterKeepsOrderUnlessReorderingIsAsked)
{
    Impairments impairments;
    impairments.delayUs = kDelayUs;
    impairments.jitterUs = 30000;  // more than the spacing: unordered draws would overtake
    EXPECT_EQ(Overtakes(Decide(impairments)), 0);
    impairments.reorderPercent = 30.0;
    EXPECT_GT(Overtakes(Decide(impairments)), kArrivals / 100);
}

TEST(RelaySchedule, EveryDatagramWaitsTheDelayAndAtMostTheJitterMore)
{
    for (const double reorderPercent : {0.0, 50.0}) {
        Impairments impairments;
        impairments.delayUs = kDelayUs;
        impairments.jitterUs = 30000;
        impairments.reorderPercent = reorderPercent;
        int64_t longestUs = 0;
        for (const Arrival& arrival : Decide(impairments)) {
            const int64_t waitUs = arrival.decision.dueUs - arrival.index * kPacketSpacingUs;
            ASSERT_GE(waitUs, kDelayUs) << "arrival " << arrival.index;
            ASSERT_LE(waitUs, kDelayUs + impairments.jitterUs) << "arrival " << arrival.index;
            longestUs = std::max(longestUs, waitUs);
        }
        // The draws reach the top of the range.
        EXPECT_GT(longestUs, kDelayUs + 29000) << "reorder " << reorderPercent;
    }
    ImpairmentSchedule fixed(Impairments{.delayUs = kDelayUs});
    EXPECT_EQ(fixed.ForwardRtp(1000).dueUs, 1000 + kDelayUs);
    EXPECT_EQ(fixed.Delayed(5000), 5000 + kDelayUs);
}

TEST(RelayDueQueue, DatagramsLeaveInDueOrderAndACopyRightAfterItsOriginal)
{
    // What the relay queues for three arrivals due at once, the second
    // duplicated, and one due earlier that was queued last.
    DueQueue<int> queue(8);
    ASSERT_TRUE(queue.Push(500, 1));
    ASSERT_TRUE(queue.Push(500, 2));
    ASSERT_TRUE(queue.Push(500, 2));  // the copy
    ASSERT_TRUE(queue.Push(500, 3));
    ASSERT_TRUE(queue.Push(100, 0));
    std::vector<int> left;
    while (!queue.Empty()) {
        left.push_back(queue.Pop());
    }
    EXPECT_EQ(left, (std::vector<int>{0, 1, 2, 2, 3}));
}

}  // namespace
