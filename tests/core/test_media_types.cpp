// The media-type table against the identifier ranges its users are written
// for: the table stores rows, the users think in ranges; they must agree on
// every identifier, gaps included.
#include <gtest/gtest.h>

#include <initializer_list>
#include <set>
#include <utility>

#include "zqmrtpmediatypes.h"

using namespace zqm;

namespace {

using Ranges = std::initializer_list<std::pair<int32_t, int32_t>>;

bool In(int32_t id, Ranges ranges)
{
    for (const auto& [first, last] : ranges) {
        if (id >= first && id <= last) {
            return true;
        }
    }
    return false;
}

// Every row, its neighbours and the gaps between families.
std::set<int32_t> ProbeIds()
{
    std::set<int32_t> ids = {-1, 0, 0x4001D, 0x40029, 0x100002, 0x7FFFFFFF};
    for (const MediaTypeInfo& row : AllMediaTypes()) {
        ids.insert({row.id - 1, row.id, row.id + 1});
    }
    return ids;
}

constexpr Ranges kVideo = {{0x10001, 0x10005}};
constexpr Ranges kAudio = {{0x40001, 0x40014}, {0x40017, 0x4001C}, {0x4001E, 0x40024}, {0x4002A, 0x4002A},
                           {0x4002C, 0x4002F}};
constexpr Ranges kWideband = {{0x4001C, 0x40022}};
constexpr Ranges kText = {{0x100001, 0x100001}, {0x100003, 0x100004}};
constexpr Ranges kFec = {{0x800001, 0x800005}};

int MainTypeByRange(int32_t id)
{
    return In(id, kVideo) ? 2 : In(id, kAudio) ? 1 : In(id, kText) ? 3 : id == 0x200001 ? 5 : In(id, kFec) ? 7 : 0;
}

}  // namespace

TEST(MediaTypes, TableAndLookups)
{
    ASSERT_EQ(AllMediaTypes().size(), 52u);
    for (int32_t id : ProbeIds()) {
        EXPECT_EQ(FindMediaType(id) != nullptr, MainTypeByRange(id) != 0) << std::hex << id;
    }
    EXPECT_EQ(DefaultPayloadType(0x40001), 8);
    EXPECT_EQ(DefaultPayloadType(0x40002), 0);
    EXPECT_EQ(DefaultPayloadType(0x4002C), 106);
    EXPECT_EQ(DefaultPayloadType(0x800005), 127);
    EXPECT_EQ(DefaultPayloadType(0x40014), kNoPayloadType);
    EXPECT_EQ(DefaultPayloadType(0x4001D), kNoPayloadType);
    // 0x40014's jitter factor is not its timestamp rate (0x4001C's: the
    // source statistics).
    EXPECT_NEAR(JitterToMs(3003.0f, 0x10004), 33.36f, 1e-4);
    EXPECT_FLOAT_EQ(JitterToMs(80.0f, 0x40014), 2.5f);
    EXPECT_FLOAT_EQ(JitterToMs(80.0f, -1), 80.0f);
}

TEST(MediaTypes, MainTypesOfEachUser)
{
    const Ranges lipSync = {{0x40001, 0x40014}, {0x40017, 0x40024}, {0x4002A, 0x4002A}, {0x4002C, 0x4002F}};
    for (int32_t id : ProbeIds()) {
        const int byRange = MainTypeByRange(id);
        int stack = -99;
        EXPECT_EQ(StackMainType(id, &stack), byRange != 0 || id == 0) << std::hex << id;
        EXPECT_EQ(stack, id == 0 ? 4 : byRange != 0 ? byRange : -99) << std::hex << id;
        const int packet = (byRange == 0 || In(id, kWideband)) ? 4 : byRange;
        EXPECT_EQ(PacketMainType(id), packet) << std::hex << id;
        EXPECT_EQ(DispatcherOutputMainType(id), byRange) << std::hex << id;
        // By range: 0x4001D has no row but is in the lip-sync audio set.
        EXPECT_EQ(IsLipSyncAudio(id), In(id, lipSync)) << std::hex << id;
        EXPECT_EQ(IsVideoMediaType(id), In(id, kVideo)) << std::hex << id;
    }
}
