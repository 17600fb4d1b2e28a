// Connecting pins: media types, the pool decision, the modules' hooks, and
// removing a connected output pin.
#include <gtest/gtest.h>

#include "framework_fixtures.h"
#include "zqfmediasample.h"

namespace {

using fwtest::Journal;
using fwtest::TestModule;

const ZQFMediaType kAudio(1, 0x40001);
const ZQFMediaType kVideo(2, 0x10001);

TEST(ConnectPins, RefusedWhenBothSidesStateTypesAndNoneMatch)
{
    Journal journal;
    TestModule up("up", 0, 1, &journal);
    TestModule down("down", 1, 0, &journal);
    up.Out(0)->types = {kAudio};
    down.In(0)->types = {kVideo, ZQFMediaType(1, 0x40002)};
    EXPECT_FALSE(ZQFConnectPins(up.Out(0), down.In(0)));
    EXPECT_FALSE(up.Out(0)->IsConnected());
    EXPECT_EQ(up.Out(0)->GetAllocator(), nullptr);
    EXPECT_TRUE(journal.Take().empty());

    down.In(0)->types.push_back(kAudio);
    EXPECT_TRUE(ZQFConnectPins(up.Out(0), down.In(0)));
    EXPECT_FALSE(ZQFConnectPins(up.Out(0), down.In(0)));  // already connected

    // A side that states no type takes any.
    TestModule any("any", 0, 1);
    TestModule video("video", 1, 0);
    video.In(0)->types = {kVideo};
    EXPECT_TRUE(ZQFConnectPins(any.Out(0), video.In(0)));
}

TEST(ConnectPins, DownstreamWishesAndUpstreamDecidesThePool)
{
    TestModule up("up", 0, 1);
    TestModule down("down", 1, 0);
    down.In(0)->decide = [](ZQFAllocatorConfig* c) { *c = {10, 0}; };
    up.Out(0)->decide = [](ZQFAllocatorConfig* c) { *c = {c->count + 13, 32768}; };
    ASSERT_TRUE(ZQFConnectPins(up.Out(0), down.In(0)));
    EXPECT_EQ(up.Out(0)->proposalSeen.count, 10);
    ZQFAllocator* pool = up.Out(0)->GetAllocator();
    ASSERT_NE(pool, nullptr);
    EXPECT_EQ(pool->GetCount(), 23);
    EXPECT_EQ(pool->GetSampleSize(), 32768);
}

TEST(ConnectPins, DefaultProposalHooksWithPinIndexesAndNoPoolForCountZero)
{
    Journal journal;
    TestModule up("up", 0, 3, &journal);
    TestModule down("down", 2, 0, &journal);
    ASSERT_TRUE(ZQFConnectPins(up.Out(2), down.In(1)));
    EXPECT_EQ(down.In(1)->GetPeerPin(), up.Out(2));
    EXPECT_EQ(up.Out(2)->GetAllocator()->GetCount(), 4);
    EXPECT_EQ(up.Out(2)->GetAllocator()->GetSampleSize(), 2048);
    ZQFDisconnectPins(up.Out(2));
    EXPECT_FALSE(down.In(1)->IsConnected());
    EXPECT_EQ(up.Out(2)->GetAllocator(), nullptr);
    EXPECT_EQ(journal.Take(), (fwtest::Entries{"up.OnConnect 2", "down.OnConnect 1", "up.OnDisconnect 2",
                                               "down.OnDisconnect 1"}));

    up.Out(2)->decide = [](ZQFAllocatorConfig* c) { c->count = 0; };
    ASSERT_TRUE(ZQFConnectPins(up.Out(2), down.In(1)));
    EXPECT_EQ(up.Out(2)->GetAllocator(), nullptr);
    EXPECT_EQ(up.Out(2)->GetNewSample(0), nullptr);
    EXPECT_FALSE(up.Out(2)->OnPinFlush());
}

TEST(ModulePins, RemoveOutputPinDisconnectsItAndRenumbersTheRest)
{
    Journal journal;
    TestModule up("up", 0, 3, &journal);
    TestModule down("down", 1, 0, &journal);
    ZQFPinOut* removed = up.Out(1);
    ZQFPinOut* last = up.Out(2);
    ASSERT_TRUE(ZQFConnectPins(removed, down.In(0)));
    ZQFMediaSample* outstanding = removed->GetNewSample(0);

    ASSERT_EQ(up.RemoveOutputPin(1), removed);
    EXPECT_FALSE(down.In(0)->IsConnected());
    EXPECT_EQ(journal.Take(),
              (fwtest::Entries{"up.OnConnect 1", "down.OnConnect 0", "up.OnDisconnect 1", "down.OnDisconnect 0"}));
    EXPECT_EQ(removed->GetPinIndex(), -1);
    EXPECT_EQ(removed->GetModule(), nullptr);
    EXPECT_EQ(last->GetPinIndex(), 1);
    EXPECT_EQ(up.GetOutputPinCount(), 2);
    EXPECT_EQ(up.RemoveOutputPin(5), nullptr);
    delete removed;
    outstanding->Recycle();  // its pool was released with the pin
}

TEST(ModulePins, CountsIndexesAndRefusals)
{
    TestModule module("m", 2, 1);
    TestModule other("other", 0, 0);
    EXPECT_EQ(module.In(1)->GetPinIndex(), 1);
    EXPECT_EQ(module.Out(0)->GetPinIndex(), 0);
    EXPECT_EQ(module.GetOutputPin(-1), nullptr);
    LogCapture log;
    EXPECT_EQ(module.AddPin(module.In(0)), -1);  // already there
    ZQFPinIn foreign(&other, "foreign");
    EXPECT_EQ(module.AddPin(&foreign), -1);  // a pin asks its own module for its index
    void* out = &other;
    EXPECT_FALSE(module.QueryInterface(fwtest::kTestId, &out));
    EXPECT_EQ(out, nullptr);
}

}  // namespace
