#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <vector>

#include "framework_fixtures.h"
#include "zqfallocator.h"
#include "zqfmediasample.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

class AllocatorTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        for (ZQFMediaSample* sample : taken) sample->Recycle();
        pool->Release();
    }
    void TakeAll()
    {
        while (ZQFMediaSample* sample = pool->GetNewSample(0)) taken.push_back(sample);
    }
    // A thread blocked in GetNewSample(-1); answers what it got.
    std::future<ZQFMediaSample*> BlockedWaiter()
    {
        const int before = pool->GetWaiterCount();
        auto waiter = std::async(std::launch::async, [this] { return pool->GetNewSample(-1); });
        EXPECT_TRUE(fwtest::Eventually([&] { return pool->GetWaiterCount() == before + 1; }));
        return waiter;
    }

    ZQFAllocator* pool = new ZQFAllocator({3, 256});
    std::vector<ZQFMediaSample*> taken;
};

TEST_F(AllocatorTest, HandsOutEachBufferOnceThenTimesOut)
{
    TakeAll();
    ASSERT_EQ(taken.size(), 3u);
    EXPECT_NE(taken[0]->GetDataBuffer(), taken[1]->GetDataBuffer());
    EXPECT_EQ(taken[0]->GetBufferSize(), 256);
    EXPECT_EQ(taken[0]->GetRefCount(), 1);
    const auto start = Clock::now();
    EXPECT_EQ(pool->GetNewSample(60), nullptr);
    EXPECT_GE(Clock::now() - start, 55ms);
}

TEST_F(AllocatorTest, BeginFlushWakesEveryCurrentWaiterWithNull)
{
    TakeAll();
    auto first = BlockedWaiter();
    auto second = BlockedWaiter();
    pool->BeginFlush(false);
    ASSERT_EQ(first.wait_for(5s), std::future_status::ready);
    ASSERT_EQ(second.wait_for(5s), std::future_status::ready);
    EXPECT_EQ(first.get(), nullptr);
    EXPECT_EQ(second.get(), nullptr);
}

TEST_F(AllocatorTest, ManyThreadsLeaveThePoolFull)
{
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([this] {
            for (int i = 0; i < 2000; ++i) {
                if (ZQFMediaSample* sample = pool->GetNewSample(-1)) {
                    sample->GetDataBuffer()[0] = static_cast<uint8_t>(i);
                    sample->Recycle();
                }
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_TRUE(pool->IsFull());
}

// The owner may let go while samples are downstream; the pool lives on until
// the last one comes back (ASan reports a use after free or a leak here).
TEST(AllocatorRelease, PoolOutlivesItsOwnerUntilTheLastSampleReturns)
{
    auto* pool = new ZQFAllocator({4, 1500});
    ZQFMediaSample* a = pool->GetNewSample(0);
    ZQFMediaSample* b = pool->GetNewSample(0);
    auto waiter = std::async(std::launch::async, [pool] {
        std::vector<ZQFMediaSample*> rest{pool->GetNewSample(0), pool->GetNewSample(0)};
        ZQFMediaSample* blocked = pool->GetNewSample(-1);  // the release wakes it
        for (ZQFMediaSample* s : rest) s->Recycle();
        return blocked;
    });
    ASSERT_TRUE(fwtest::Eventually([&] { return pool->GetWaiterCount() == 1; }));
    pool->Release();
    ASSERT_EQ(waiter.wait_for(5s), std::future_status::ready);
    EXPECT_EQ(waiter.get(), nullptr);
    a->GetDataBuffer()[1499] = 1;
    a->Recycle();
    b->GetDataBuffer()[0] = 1;
    b->Recycle();  // frees the pool
}

}  // namespace
