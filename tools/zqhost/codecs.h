#pragma once
// The codecs a zqhost command can be asked for with --codec: every media
// type that has a settings key, by that key or by a common alias (PCMA,
// PCMU, telephone-event), in any case. This is the one table of names the
// commands share.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

struct Codec {
    const char* key;         // the settings key, e.g. "audioG711A"
    int32_t mediaType;       // the framework sub type
    int mainType;            // the framework main type: 1 audio, 2 video, 3 text, 5 data
    uint32_t clockRateHz;    // RTP timestamp rate
    int defaultPayloadType;  // what the stack sends it as by default; -1: none (give one)
};

std::span<const Codec> AllCodecs();

// The codec `name` stands for. Throws CommandError naming it when none does.
const Codec& FindCodec(const std::string& name);

// The other names of a codec (PCMA for audioG711A, ...), possibly none.
std::vector<std::string> AliasesOf(const Codec& codec);

// "audio", "video", "text" or "data".
const char* MainTypeName(int mainType);

