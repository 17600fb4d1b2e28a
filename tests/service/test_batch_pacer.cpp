// When a service thread batches: only once datagrams come faster than one
// a period, at instants a period apart, and never past a look that finds
// nothing.
#include <gtest/gtest.h>

#include "service/batchpacer.h"

namespace {

using zqm::BatchPacer;
using Wait = BatchPacer::Wait;
constexpr uint64_t kPeriod = BatchPacer::kBatchPeriodNs;

TEST(BatchPacer, SlowDatagramsAreEachServedAtOnce)
{
    BatchPacer pacer;
    EXPECT_EQ(pacer.Next(), Wait::Block);
    for (uint64_t k = 1; k <= 5; ++k) {
        pacer.Record(k * 20 * kPeriod, 1);  // a stream at 50 packets/s
        EXPECT_EQ(pacer.Next(), Wait::Block) << k;
    }
}

TEST(BatchPacer, FastDatagramsAreServedAtInstantsAPeriodApart)
{
    BatchPacer pacer;
    const uint64_t t0 = 100 * kPeriod;
    pacer.Record(t0, 1);
    pacer.Record(t0 + kPeriod / 4, 1);
    ASSERT_EQ(pacer.Next(), Wait::SleepThenLook);
    EXPECT_EQ(pacer.WakeAt(), t0 + kPeriod / 4 + kPeriod);

    // Woken a little late: the next instant keeps the rhythm.
    pacer.Record(pacer.WakeAt() + 30000, 3);
    EXPECT_EQ(pacer.Next(), Wait::SleepThenLook);
    EXPECT_EQ(pacer.WakeAt(), t0 + kPeriod / 4 + 2 * kPeriod);

    // Far behind (the thread was not scheduled): start anew from now.
    const uint64_t late = pacer.WakeAt() + 5 * kPeriod;
    pacer.Record(late, 2);
    EXPECT_EQ(pacer.WakeAt(), late + kPeriod);
}

TEST(BatchPacer, ALookThatFindsNothingEndsBatching)
{
    BatchPacer pacer;
    pacer.Record(kPeriod, 1);
    pacer.Record(kPeriod + 1000, 1);
    ASSERT_EQ(pacer.Next(), Wait::SleepThenLook);
    pacer.Record(2 * kPeriod, 0);
    EXPECT_EQ(pacer.Next(), Wait::Block);
    // A datagram after the quiet look does not batch again by itself.
    pacer.Record(40 * kPeriod, 1);
    EXPECT_EQ(pacer.Next(), Wait::Block);
}

}  // namespace
