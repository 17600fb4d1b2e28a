#include "zqmrtpmediatypes.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace zqm {

namespace {

using C = RtpClockClass;
using J = JitterScale;
constexpr uint8_t kNone = kNoPayloadType;

// One row per media type. Several types share a default payload type (106,
// for example); the stack's reverse table keeps the first one entered.
constexpr MediaTypeInfo kMediaTypes[] = {
    // id        xml key           main pkt  PT     clock          jitter
    {0x10001, "videoH261",       2, 2, 31, C::Video, J::Video},
    {0x10002, "videoH263",       2, 2, 34, C::Video, J::Video},
    {0x10003, "videoH263+",      2, 2, 97, C::Video, J::Video},
    {0x10004, "videoH264",       2, 2, 96, C::Video, J::Video},
    {0x10005, "videoMPEG4",      2, 2, 98, C::Video, J::Video},
    {0x40001, "audioG711A",      1, 1, 8, C::Audio8kHz, J::Eighth},
    {0x40002, "audioG711MU",     1, 1, 0, C::Audio8kHz, J::Eighth},
    {0x40003, "audioG722",       1, 1, 9, C::Audio8kHz, J::Eighth},
    {0x40004, "audioG7231",      1, 1, 4, C::Audio8kHz, J::Eighth},
    {0x40005, "audioG729",       1, 1, 18, C::Audio8kHz, J::Eighth},
    {0x40006, "audioG729A",      1, 1, 18, C::Audio8kHz, J::Eighth},
    {0x40007, "audioTDAC24",     1, 1, 104, C::Audio16kHz, J::Sixteenth},
    {0x40008, "audioTDAC32",     1, 1, 102, C::Audio16kHz, J::Sixteenth},
    {0x40009, "audioTDAC32_2",   1, 1, 107, C::Audio16kHz, J::Sixteenth},
    {0x4000A, "audioTDAC32_4",   1, 1, 108, C::Audio16kHz, J::Sixteenth},
    {0x4000B, "audioTDAC48",     1, 1, 106, C::Audio32kHz, J::ThirtySecond},
    {0x4000C, "audioTDAC48_2",   1, 1, 111, C::Audio32kHz, J::ThirtySecond},
    {0x4000D, "audioTDAC48_4",   1, 1, 112, C::Audio32kHz, J::ThirtySecond},
    {0x4000E, "audioTDAC64",     1, 1, 103, C::Audio32kHz, J::ThirtySecond},
    {0x4000F, "audioTDAC64_2",   1, 1, 106, C::Audio32kHz, J::ThirtySecond},
    {0x40010, "audioTDAC64_4",   1, 1, 107, C::Audio32kHz, J::ThirtySecond},
    {0x40011, "audioGSM610",     1, 1, 113, C::Audio8kHz, J::Eighth},
    {0x40012, "audioHIERAR",     1, 1, 108, C::Audio16kHz, J::Sixteenth},
    {0x40013, "audioNBAMR",      1, 1, 109, C::Audio8kHz, J::Eighth},
    {0x40014, "audioMPEG4",      1, 1, kNone, C::Other, J::ThirtySecond},
    {0x40017, "audioSCA729",     1, 1, 120, C::Audio16kHz, J::Sixteenth},
    {0x40018, "audioWBAMR",      1, 1, 119, C::Audio16kHz, J::Sixteenth},
    {0x40019, "audioRFC2833",    1, 1, 116, C::Other, J::Unchanged},
    {0x4001A, "audioEVRC0",      1, 1, 121, C::Audio8kHz, J::Eighth},
    {0x4001B, "audioEVRC",       1, 1, 122, C::Audio8kHz, J::Eighth},
    {0x4001C, "audioCODECX",     1, 4, 123, C::Audio16kHz, J::ThirtySecond},
    {0x4001E, "audioG7221_24",   1, 4, 110, C::Audio16kHz, J::Sixteenth},
    {0x4001F, "audioG7221_32",   1, 4, 111, C::Audio16kHz, J::Sixteenth},
    {0x40020, "audioG7221C_24",  1, 4, 112, C::Audio32kHz, J::ThirtySecond},
    {0x40021, "audioG7221C_32",  1, 4, 113, C::Audio32kHz, J::ThirtySecond},
    {0x40022, "audioG7221C_48",  1, 4, 114, C::Audio32kHz, J::ThirtySecond},
    {0x40023, "audioG7291",      1, 1, 120, C::Audio16kHz, J::Sixteenth},
    {0x40024, "audioG7291_2",    1, 1, 123, C::Audio16kHz, J::Sixteenth},
    {0x4002A, "audioG722_2",     1, 1, 123, C::Audio16kHz, J::Sixteenth},
    {0x4002C, "audioG726_16",    1, 1, 106, C::Audio8kHz, J::Eighth},
    {0x4002D, "audioG726_24",    1, 1, 107, C::Audio8kHz, J::Eighth},
    {0x4002E, "audioG726_32",    1, 1, 108, C::Audio8kHz, J::Eighth},
    {0x4002F, "audioG726_40",    1, 1, 104, C::Audio8kHz, J::Eighth},
    {0x100001, nullptr,          3, 3, 117, C::Other, J::Unchanged},
    {0x100003, "dataT140",       3, 3, 98, C::Other, J::Unchanged},
    // Has no key of its own: the settings enable it together with dataT140.
    {0x100004, nullptr,          3, 3, 99, C::Other, J::Unchanged},
    {0x200001, "dataATOR",       5, 5, 115, C::Other, J::Unchanged},
    {0x800001, nullptr,          7, 7, 118, C::Other, J::Unchanged},
    {0x800002, nullptr,          7, 7, 126, C::Other, J::Unchanged},
    {0x800003, nullptr,          7, 7, 125, C::Other, J::Unchanged},
    {0x800004, nullptr,          7, 7, 124, C::Other, J::Unchanged},
    {0x800005, nullptr,          7, 7, 127, C::Other, J::Unchanged},
};

constexpr bool IdLess(const MediaTypeInfo& a, const MediaTypeInfo& b) { return a.id < b.id; }
static_assert(std::is_sorted(std::begin(kMediaTypes), std::end(kMediaTypes), IdLess),
              "lookups binary-search the table by identifier");
static_assert(std::adjacent_find(std::begin(kMediaTypes), std::end(kMediaTypes),
                                 [](const MediaTypeInfo& a, const MediaTypeInfo& b) {
                                     return a.id == b.id;
                                 }) == std::end(kMediaTypes),
              "one row per identifier");

struct IdRange {
    int32_t first;
    int32_t last;
};

// The lip-sync audio set is defined by ranges of identifiers, which cover
// 0x4001D although no media type has that identifier.
constexpr IdRange kLipSyncAudio[] = {
    {0x40001, 0x40014},
    {0x40017, 0x40024},
    {0x4002A, 0x4002A},
    {0x4002C, 0x4002F},
};

constexpr int32_t kFirstVideo = 0x10001;
constexpr int32_t kLastVideo = 0x10005;
// The "any media type" entry a stack may carry: main type 4, sub type 0.
constexpr int32_t kAnyMediaType = 0;
constexpr int kOtherMainType = 4;

}  // namespace

std::span<const MediaTypeInfo> AllMediaTypes() { return kMediaTypes; }

const MediaTypeInfo* FindMediaType(int32_t id)
{
    const MediaTypeInfo* end = std::end(kMediaTypes);
    const MediaTypeInfo* row = std::lower_bound(std::begin(kMediaTypes), end, id,
                                                [](const MediaTypeInfo& r, int32_t v) { return r.id < v; });
    return (row != end && row->id == id) ? row : nullptr;
}

const MediaTypeInfo* FindMediaTypeByXmlKey(const char* key)
{
    if (key == nullptr) {
        return nullptr;
    }
    for (const MediaTypeInfo& row : kMediaTypes) {
        if (row.xmlKey != nullptr && std::strcmp(row.xmlKey, key) == 0) {
            return &row;
        }
    }
    return nullptr;
}

uint8_t DefaultPayloadType(int32_t id)
{
    const MediaTypeInfo* row = FindMediaType(id);
    return row ? row->defaultPayloadType : kNoPayloadType;
}

RtpClockClass ClockClassOf(int32_t id)
{
    const MediaTypeInfo* row = FindMediaType(id);
    return row ? row->clockClass : RtpClockClass::Other;
}

uint32_t RtpUnitsPerMs(RtpClockClass clockClass)
{
    switch (clockClass) {
    case RtpClockClass::Video:
        return 90;
    case RtpClockClass::Audio8kHz:
        return 8;
    case RtpClockClass::Audio16kHz:
        return 16;
    case RtpClockClass::Audio32kHz:
        return 32;
    case RtpClockClass::Other:
        break;
    }
    return 1;
}

uint32_t RtpClockRateHz(int32_t id)
{
    constexpr int32_t kTelephoneEvent = 0x40019;
    constexpr uint32_t kTelephoneEventHz = 8000;
    if (id == kTelephoneEvent) {
        return kTelephoneEventHz;
    }
    return RtpUnitsPerMs(ClockClassOf(id)) * 1000u;
}

float JitterToMs(float jitterUnits, int32_t id)
{
    const MediaTypeInfo* row = FindMediaType(id);
    switch (row ? row->jitterScale : JitterScale::Unchanged) {
    case JitterScale::Video:
        // One video frame of 3003 units lasts 33.36 ms.
        return static_cast<float>(jitterUnits * 33.36) / 3003;
    case JitterScale::Eighth:
        return jitterUnits * 0.125f;
    case JitterScale::Sixteenth:
        return jitterUnits * 0.0625f;
    case JitterScale::ThirtySecond:
        return jitterUnits * 0.03125f;
    case JitterScale::Unchanged:
        break;
    }
    return jitterUnits;
}

bool StackMainType(int32_t id, int* mainType)
{
    int found = 0;
    if (id == kAnyMediaType) {
        found = kOtherMainType;
    } else if (const MediaTypeInfo* row = FindMediaType(id)) {
        found = row->mainType;
    } else {
        return false;
    }
    if (mainType != nullptr) {
        *mainType = found;
    }
    return true;
}

int PacketMainType(int32_t id)
{
    const MediaTypeInfo* row = FindMediaType(id);
    return row ? row->packetMainType : kOtherMainType;
}

int DispatcherOutputMainType(int32_t id)
{
    const MediaTypeInfo* row = FindMediaType(id);
    return row ? row->mainType : 0;
}

bool IsLipSyncAudio(int32_t id)
{
    return std::any_of(std::begin(kLipSyncAudio), std::end(kLipSyncAudio),
                       [id](const IdRange& r) { return id >= r.first && id <= r.last; });
}

bool IsVideoMediaType(int32_t id) { return id >= kFirstVideo && id <= kLastVideo; }

}  // namespace zqm
