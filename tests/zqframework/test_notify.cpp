// Notifications travel until a module consumes them: forward through output
// pins, reverse through input pins.
#include <gtest/gtest.h>

#include "framework_fixtures.h"

namespace {

using fwtest::Journal;
using fwtest::TestModule;

// source -> relay -> {left, right}
class NotifyTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(ZQFConnectPins(source.Out(0), relay.In(0)));
        ASSERT_TRUE(ZQFConnectPins(relay.Out(0), left.In(0)));
        ASSERT_TRUE(ZQFConnectPins(relay.Out(1), right.In(0)));
        journal.Take();
    }
    static auto Consume(bool answer)
    {
        return [answer](ZQFNotifyInfo*) { return answer; };
    }

    Journal journal;
    TestModule source{"source", 0, 1, &journal};
    TestModule relay{"relay", 1, 2, &journal};
    TestModule left{"left", 1, 0, &journal};
    TestModule right{"right", 1, 0, &journal};
    ZQFNotifyInfo info{NOTIFY_SUPPORT_PAYLOAD, 1, nullptr};
};

TEST_F(NotifyTest, ForwardPassesOnUntilConsumedAndReachesEveryBranch)
{
    EXPECT_FALSE(source.Out(0)->PassForwardNotify(&info)) << "nobody consumes";
    const fwtest::Entries everyBranch{"relay.OnNotify 5", "left.OnNotify 5", "right.OnNotify 5"};
    EXPECT_EQ(journal.Take(), everyBranch);
    right.onNotify = Consume(true);
    EXPECT_TRUE(source.Out(0)->PassForwardNotify(&info));
    EXPECT_EQ(journal.Take(), everyBranch);
    relay.onNotify = Consume(true);
    EXPECT_TRUE(source.Out(0)->PassForwardNotify(&info));
    EXPECT_EQ(journal.Take(), (fwtest::Entries{"relay.OnNotify 5"}));
}

// Pins wired into a loop by hand: the depth guard ends the walk.
TEST(NotifyLoop, DepthGuardStopsACircularWalk)
{
    LogCapture log;
    TestModule a("a", 1, 1);
    TestModule b("b", 1, 1);
    ASSERT_TRUE(ZQFConnectPins(a.Out(0), b.In(0)));
    ASSERT_TRUE(ZQFConnectPins(b.Out(0), a.In(0)));
    ZQFNotifyInfo info{NOTIFY_MEDIATYPES_CHANGED, 0, nullptr};
    EXPECT_FALSE(a.Out(0)->PassForwardNotify(&info));
    EXPECT_FALSE(a.In(0)->PassReverseNotify(&info));
    EXPECT_EQ(fwtest::CountLines(log, ZQF_LOG_ERROR, "notify dropped"), 2);
}

}  // namespace
