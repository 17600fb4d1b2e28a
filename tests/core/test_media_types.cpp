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

    EXPECT_EQ(FindMediaTypeByXmlKey("audioTDAC48_4")->id, 0x4000D);
    EXPECT_EQ(FindMediaTypeByXmlKey("videoH263+")->id, 0x10003);
    EXPECT_EQ(FindMediaTypeByXmlKey("dataT140")->id, 0x100003);
    for (const char* near : {"VideoH261", "videoH26", "videoH2611", "", static_cast<const char*>(nullptr)}) {
        EXPECT_EQ(FindMediaTypeByXmlKey(near), nullptr);
    }
    int keys = 0;
    for (const MediaTypeInfo& row : AllMediaTypes()) {
        keys += row.xmlKey ? 1 : 0;
        EXPECT_TRUE(!row.xmlKey || FindMediaTypeByXmlKey(row.xmlKey) == &row);
    }
    EXPECT_EQ(keys, 45);
}

TEST(MediaTypes, ClockClassesAndJitterFactors)
{
    const Ranges k8kHz = {{0x40001, 0x40006}, {0x40011, 0x40011}, {0x40013, 0x40013}, {0x4001A, 0x4001B},
                              {0x4002C, 0x4002F}};
    const Ranges k16kHz = {{0x40007, 0x4000A}, {0x40012, 0x40012}, {0x40017, 0x40018}, {0x4001C, 0x4001C},
                               {0x4001E, 0x4001F}, {0x40023, 0x40024}, {0x4002A, 0x4002A}};
    const Ranges k32kHz = {{0x4000B, 0x40010}, {0x40020, 0x40022}};
    for (int32_t id : ProbeIds()) {
        const uint32_t units = In(id, kVideo) ? 90 : In(id, k8kHz) ? 8 : In(id, k16kHz) ? 16 : In(id, k32kHz) ? 32 : 1;
        EXPECT_EQ(RtpUnitsPerMs(ClockClassOf(id)), units) << std::hex << id;
    }
    EXPECT_NEAR(JitterToMs(3003.0f, 0x10004), 33.36f, 1e-4);
    EXPECT_FLOAT_EQ(JitterToMs(80.0f, 0x40001), 10.0f);
    EXPECT_FLOAT_EQ(JitterToMs(80.0f, 0x40007), 5.0f);
    EXPECT_FLOAT_EQ(JitterToMs(80.0f, 0x4000B), 2.5f);
    EXPECT_FLOAT_EQ(JitterToMs(80.0f, 0x40019), 80.0f);
    EXPECT_FLOAT_EQ(JitterToMs(80.0f, -1), 80.0f);
    // The two rows whose jitter factor is not their timestamp rate.
    EXPECT_FLOAT_EQ(JitterToMs(80.0f, 0x4001C), 2.5f);
    EXPECT_FLOAT_EQ(JitterToMs(80.0f, 0x40014), 2.5f);
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
