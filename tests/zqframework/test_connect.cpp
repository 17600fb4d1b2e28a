// Connecting pins: media types, and removing a connected output pin.
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
              (fwtest::Entries{"up.OnConnect out 1", "down.OnConnect in 0", "up.OnDisconnect out 1",
                               "down.OnDisconnect in 0"}));
    EXPECT_EQ(removed->GetPinIndex(), -1);
    EXPECT_EQ(removed->GetModule(), nullptr);
    EXPECT_EQ(last->GetPinIndex(), 1);
    EXPECT_EQ(up.GetOutputPinCount(), 2);
    EXPECT_EQ(up.RemoveOutputPin(5), nullptr);
    delete removed;
    outstanding->Recycle();  // its pool was released with the pin
}

}  // namespace
