// Critical sections and mutexes with time-outs, and the scoped lock.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

#include "zqccriticalsection.h"
#include "zqclockmng.h"
#include "zqcmutex.h"

namespace {

using Clock = std::chrono::steady_clock;

// Asks for the lock from another thread; answers what Lock said and how long it took.
template <class Lockable>
std::pair<int, Clock::duration> LockFromOtherThread(Lockable& lock, int timeoutMs)
{
    return std::async(std::launch::async, [&] {
               const auto start = Clock::now();
               const int result = lock.Lock(timeoutMs);
               const auto waited = Clock::now() - start;
               if (result == 0) {
                   lock.Unlock();
               }
               return std::make_pair(result, waited);
           })
        .get();
}

template <class Lockable>
class TimedLockTest : public ::testing::Test {
protected:
    Lockable lock;
};

using TimedLocks = ::testing::Types<ZQCCriticalSection, ZQCMutex>;
TYPED_TEST_SUITE(TimedLockTest, TimedLocks);

TYPED_TEST(TimedLockTest, OtherThreadGivesUpAfterItsTimeOut)
{
    ASSERT_EQ(this->lock.Lock(-1), 0);
    const auto [result, waited] = LockFromOtherThread(this->lock, 60);
    EXPECT_NE(result, 0);
    EXPECT_GE(waited, std::chrono::milliseconds(55));
    this->lock.Unlock();
    EXPECT_EQ(LockFromOtherThread(this->lock, 0).first, 0);
}

TYPED_TEST(TimedLockTest, HolderTakesItAgainAndMustReleaseAsOften)
{
    ASSERT_EQ(this->lock.Lock(-1), 0);
    ASSERT_EQ(this->lock.Lock(0), 0);
    this->lock.Unlock();
    EXPECT_NE(LockFromOtherThread(this->lock, 10).first, 0) << "one Unlock left to go";
    this->lock.Unlock();
    EXPECT_EQ(LockFromOtherThread(this->lock, 0).first, 0);
}

// A scope that got the lock gives it back with every user of the stack; one
// that did not must leave the owner's lock alone.
TEST(ZQCLockMng, FailedScopeDoesNotReleaseTheOwnersLock)
{
    ZQCCriticalSection section;
    std::promise<void> held;
    std::promise<void> release;
    auto owner = std::async(std::launch::async, [&] {
        section.Lock(-1);
        held.set_value();
        release.get_future().wait();
        section.Unlock();
    });
    held.get_future().wait();
    {
        ZQCLockMng<ZQCCriticalSection> scoped(section, 10);
        EXPECT_FALSE(scoped.IsLocked());
    }
    EXPECT_NE(section.Lock(0), 0) << "the owner must still hold it";
    release.set_value();
    owner.get();
    EXPECT_EQ(section.Lock(0), 0);
    section.Unlock();
}

}  // namespace
