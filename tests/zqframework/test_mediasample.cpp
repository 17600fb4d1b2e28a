#include <gtest/gtest.h>

#include <climits>
#include <thread>
#include <vector>

#include "framework_fixtures.h"
#include "sample_references.h"
#include "zqfallocator.h"
#include "zqfmediasample.h"

namespace {

// An allocator is freed through Release only.
struct Pool {
    explicit Pool(int count, int size = 64) : allocator(new ZQFAllocator({count, size})) {}
    ~Pool() { allocator->Release(); }
    ZQFAllocator* allocator;
};

TEST(MediaSample, PayloadViewIsClampedToTheBuffer)
{
    Pool pool(1, 100);
    ZQFMediaSample* sample = pool.allocator->GetNewSample(0);
    struct Case {
        int write, read, payload, header;
        int offset, size;  // of the view; offset -1: null
    };
    const Case cases[] = {
        {0, 0, 0, 12, 0, 12},    // read offset 0: the 12 header bytes
        {0, 12, 30, 12, 12, 30}, {8, 12, 30, 12, 12, 38},  // packet ends at 8 + 12 + 30
        {8, 12, INT_MAX, 12, 12, 88},                      // no overflow, clamped at the buffer's end
        {8, 500, 30, 12, -1, 0}, {0, -5, 0, 12, 0, 12},
        {0, 0, 30, 0, 0, 30},  // a writer without a header in front says so
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.read);
        sample->SetDataWriteOffset(c.write);
        sample->SetDataReadOffset(c.read);
        sample->m_PayloadLength = c.payload;
        sample->SetPacketHeaderBytes(c.header);
        int size = -1;
        EXPECT_EQ(sample->GetPayload(&size), c.offset < 0 ? nullptr : sample->GetDataBuffer() + c.offset);
        EXPECT_EQ(size, c.size);
    }
    sample->Recycle();
    EXPECT_EQ(pool.allocator->GetNewSample(0)->GetPacketHeaderBytes(), 12);  // recycling restores 12
    sample->Recycle();
}

TEST(MediaSample, ExtraRecycleIsLoggedCountedAndNeverReturnsTheSampleTwice)
{
    testsupport::ExpectSampleReferenceFaults(3);  // the test main holds the count
    LogCapture log;
    Pool pool(2);
    ZQFMediaSample* sample = pool.allocator->GetNewSample(0);
    sample->AddRef();
    sample->Recycle();
    EXPECT_EQ(pool.allocator->GetFreeCount(), 1);
    sample->Recycle();
    sample->Recycle();
    sample->AddRef();
    EXPECT_EQ(pool.allocator->GetFreeCount(), 2);
    EXPECT_EQ(sample->GetRefCount(), 0);
    EXPECT_EQ(fwtest::CountLines(log, ZQF_LOG_ERROR, "Recycle"), 1);
    EXPECT_EQ(fwtest::CountLines(log, ZQF_LOG_ERROR, "AddRef"), 1);
    pool.allocator->ReturnSample(sample);  // already home
    EXPECT_EQ(pool.allocator->GetFreeCount(), 2);
    EXPECT_EQ(fwtest::CountLines(log, ZQF_LOG_ERROR, "already in pool"), 1);
    ZQFMediaSample* a = pool.allocator->GetNewSample(0);
    ZQFMediaSample* b = pool.allocator->GetNewSample(0);
    EXPECT_NE(a, b);  // on the free list once
    a->Recycle();
    b->Recycle();
}

TEST(MediaSample, ConcurrentReferencesReturnTheSampleExactlyOnce)
{
    Pool pool(1);
    ZQFMediaSample* sample = pool.allocator->GetNewSample(0);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([sample] {
            for (int i = 0; i < 10000; ++i) {
                sample->AddRef();
                sample->Recycle();
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(sample->GetRefCount(), 1);
    EXPECT_EQ(pool.allocator->GetFreeCount(), 0);
    sample->Recycle();
    EXPECT_TRUE(pool.allocator->IsFull());
}

}  // namespace
