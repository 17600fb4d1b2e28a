#include "codecs.h"

#include <algorithm>
#include <cctype>

#include "arguments.h"

namespace {

// The media types with a settings key, in the order the settings list them.
constexpr Codec kCodecs[] = {
    {"videoH261", 0x10001, 2, 90000, 31},
    {"videoH263", 0x10002, 2, 90000, 34},
    {"videoH263+", 0x10003, 2, 90000, 97},
    {"videoH264", 0x10004, 2, 90000, 96},
    {"videoMPEG4", 0x10005, 2, 90000, 98},
    {"audioG711A", 0x40001, 1, 8000, 8},
    {"audioG711MU", 0x40002, 1, 8000, 0},
    {"audioG722", 0x40003, 1, 8000, 9},
    {"audioG722_2", 0x4002a, 1, 16000, 123},
    {"audioG7231", 0x40004, 1, 8000, 4},
    {"audioG729", 0x40005, 1, 8000, 18},
    {"audioG729A", 0x40006, 1, 8000, 18},
    {"audioTDAC24", 0x40007, 1, 16000, 104},
    {"audioTDAC32", 0x40008, 1, 16000, 102},
    {"audioTDAC32_2", 0x40009, 1, 16000, 107},
    {"audioTDAC32_4", 0x4000a, 1, 16000, 108},
    {"audioTDAC48", 0x4000b, 1, 32000, 106},
    {"audioTDAC48_2", 0x4000c, 1, 32000, 111},
    {"audioTDAC48_4", 0x4000d, 1, 32000, 112},
    {"audioTDAC64", 0x4000e, 1, 32000, 103},
    {"audioTDAC64_2", 0x4000f, 1, 32000, 106},
    {"audioTDAC64_4", 0x40010, 1, 32000, 107},
    {"audioGSM610", 0x40011, 1, 8000, 113},
    {"audioHIERAR", 0x40012, 1, 16000, 108},
    {"audioSCA729", 0x40017, 1, 16000, 120},
    {"audioEVRC0", 0x4001a, 1, 8000, 121},
    {"audioEVRC", 0x4001b, 1, 8000, 122},
    {"audioNBAMR", 0x40013, 1, 8000, 109},
    {"audioWBAMR", 0x40018, 1, 16000, 119},
    {"audioMPEG4", 0x40014, 1, 1000, -1},
    {"audioCODECX", 0x4001c, 1, 16000, 123},
    {"audioG7221_24", 0x4001e, 1, 16000, 110},
    {"audioG7221_32", 0x4001f, 1, 16000, 111},
    {"audioG7221C_24", 0x40020, 1, 32000, 112},
    {"audioG7221C_32", 0x40021, 1, 32000, 113},
    {"audioG7221C_48", 0x40022, 1, 32000, 114},
    {"audioG7291", 0x40023, 1, 16000, 120},
    {"audioG7291_2", 0x40024, 1, 16000, 123},
    {"audioG726_16", 0x4002c, 1, 8000, 106},
    {"audioG726_24", 0x4002d, 1, 8000, 107},
    {"audioG726_32", 0x4002e, 1, 8000, 108},
    {"audioG726_40", 0x4002f, 1, 8000, 104},
    {"audioRFC2833", 0x40019, 1, 1000, 116},
    {"dataATOR", 0x200001, 5, 1000, 115},
    {"dataT140", 0x100003, 3, 1000, 98},
};

struct Alias {
    const char* alias;
    const char* key;
};

constexpr Alias kAliases[] = {
    {"PCMA", "audioG711A"},
    {"PCMU", "audioG711MU"},
    {"telephone-event", "audioRFC2833"},
};

bool SameIgnoringCase(const std::string& a, const char* b)
{
    const std::string other(b);
    return a.size() == other.size() && std::equal(a.begin(), a.end(), other.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

const Codec* FindByKey(const std::string& key)
{
    for (const Codec& codec : kCodecs) {
        if (SameIgnoringCase(key, codec.key)) {
            return &codec;
        }
    }
    return nullptr;
}

}  // namespace

std::span<const Codec> AllCodecs() { return kCodecs; }

const Codec& FindCodec(const std::string& name)
{
    std::string key = name;
    for (const Alias& alias : kAliases) {
        if (SameIgnoringCase(name, alias.alias)) {
            key = alias.key;
        }
    }
    if (const Codec* codec = FindByKey(key)) {
        return *codec;
    }
    throw CommandError("unknown codec '" + name +
                       "' (a settings key such as audioG711A, or PCMA, PCMU, telephone-event)");
}

std::vector<std::string> AliasesOf(const Codec& codec)
{
    std::vector<std::string> aliases;
    for (const Alias& alias : kAliases) {
        if (SameIgnoringCase(codec.key, alias.key)) {
            aliases.emplace_back(alias.alias);
        }
    }
    return aliases;
}

const char* MainTypeName(int mainType)
{
    switch (mainType) {
    case 1:
        return "audio";
    case 2:
        return "video";
    case 3:
        return "text";
    default:
        return "data";
    }
}
