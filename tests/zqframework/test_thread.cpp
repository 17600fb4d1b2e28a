#include <gtest/gtest.h>

#include <future>
#include <stdexcept>

#include "framework_fixtures.h"

namespace {

using fwtest::FunctionThread;
using namespace std::chrono_literals;

TEST(Thread, StopsInTimeAndCanStartAgain)
{
    std::promise<bool> entered;  // renewed for each run
    FunctionThread thread([&](FunctionThread& self) {
        entered.set_value(!self.MustQuit() && !self.GetStopEvent().IsSignaled());
        self.WaitForStop();
        return 7;
    });
    for (int round = 1; round <= 2; ++round) {
        entered = std::promise<bool>();
        ASSERT_TRUE(thread.StartThread(nullptr));
        EXPECT_TRUE(thread.IsThreadRunning());
        EXPECT_FALSE(thread.StartThread(nullptr));  // already running
        EXPECT_TRUE(entered.get_future().get()) << "quit flag or stop event left over, round " << round;
        EXPECT_TRUE(thread.StopThread(5000, 1));
        EXPECT_FALSE(thread.IsThreadRunning());
        EXPECT_TRUE(thread.MustQuit());
        EXPECT_EQ(thread.GetExitCode(), 7);
    }
}

TEST(Thread, ThreadThatDoesNotStopInTimeIsLeftRunningNeverKilled)
{
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::atomic<bool> finished{false};
    FunctionThread thread([&](FunctionThread&) {
        released.wait();  // deaf to the quit flag
        finished = true;
        return 3;
    });
    ASSERT_TRUE(thread.StartThread(nullptr));
    EXPECT_FALSE(thread.StopThread(50, 1));
    EXPECT_TRUE(thread.IsThreadRunning());
    EXPECT_TRUE(thread.MustQuit());
    EXPECT_FALSE(thread.StartThread(nullptr));
    release.set_value();
    EXPECT_TRUE(thread.StopThread(5000, 1));
    EXPECT_TRUE(finished);
    EXPECT_EQ(thread.GetExitCode(), 3);
}

// The base destructor joins as the last guard: it blocks until the thread
// has returned and never frees an object whose thread still runs.
TEST(Thread, DestructorWaitsForTheThread)
{
    // Everything the body touches comes through the parameter, so the body
    // may outlive the derived part of the object.
    struct Gate {
        std::promise<void> entered;
        std::shared_future<void> open;
        std::atomic<bool> finished{false};
    };
    class Plain : public ZQFThread {
    protected:
        int ThreadFunc(void* param) override
        {
            auto* gate = static_cast<Gate*>(param);
            gate->entered.set_value();
            gate->open.wait();
            gate->finished = true;
            return 0;
        }
    };
    std::promise<void> open;
    Gate gate;
    gate.open = open.get_future().share();
    auto* thread = new Plain;
    ASSERT_TRUE(thread->StartThread(&gate));
    // Inside ThreadFunc before the object starts dying: the call is dispatched.
    gate.entered.get_future().wait();
    std::thread opener([&] {
        // Opens only once the destructor has raised the quit flag.
        fwtest::Eventually([&] { return thread->MustQuit(); });
        open.set_value();
    });
    delete thread;
    EXPECT_TRUE(gate.finished);
    opener.join();
}

TEST(Thread, ExceptionEndsTheThreadWithMinusOne)
{
    LogCapture log;
    FunctionThread thread([](FunctionThread&) -> int { throw std::runtime_error("boom"); }, "thrower");
    ASSERT_TRUE(thread.StartThread(nullptr));
    EXPECT_TRUE(thread.StopThread(5000, 1));
    EXPECT_EQ(thread.GetExitCode(), -1);
    EXPECT_EQ(fwtest::CountLines(log, ZQF_LOG_ERROR, "thrower"), 1);
}

TEST(Thread, ThreadOutlivingItsModuleDoesNotTouchIt)
{
    FunctionThread thread([](FunctionThread&) { return 0; });
    {
        ZQFModule module(fwtest::kTestId, "short-lived");
        module.RegisterThread(&thread);
    }
    ASSERT_TRUE(thread.StartThread(nullptr));
    EXPECT_TRUE(thread.StopThread(5000, 1));
}  // the thread's destructor must not reach the dead module (ASan)

}  // namespace
