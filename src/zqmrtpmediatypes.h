#pragma once
// Every media type identifier the library knows, in one table, and the ways
// the library classifies an identifier. The identifier is the framework's
// sub type: 0x1xxxx video, 0x4xxxx audio, 0x1000xx and 0x2000xx data,
// 0x8000xx forward-error-correction streams.
#include <cstdint>
#include <span>

namespace zqm {

// Payload type that stands for "none": the default of a media type without
// one, and the "use the default" value of AddMediaType.
inline constexpr uint8_t kNoPayloadType = 255;

// How fast the RTP timestamps of a media type run.
enum class RtpClockClass : uint8_t {
    Video,       // 90 units per ms
    Audio8kHz,   // 8 units per ms
    Audio16kHz,  // 16 units per ms
    Audio32kHz,  // 32 units per ms
    Other,       // 1 unit per ms; no conversion back to ms
};

// How an interarrival jitter in RTP units becomes milliseconds. This is not
// always the clock class: audioCODECX and audioMPEG4 differ.
enum class JitterScale : uint8_t {
    Video,         // x 33.36 (rounded to float), then / 3003
    Eighth,        // x 0.125
    Sixteenth,     // x 0.0625
    ThirtySecond,  // x 0.03125
    Unchanged,
};

struct MediaTypeInfo {
    int32_t id;
    const char* xmlKey;          // settings key; null when the type has none of its own
    int mainType;                // framework main type: 1 audio, 2 video, 3 text, 5 data, 7 FEC
    int packetMainType;          // main type a received packet is labelled with
    uint8_t defaultPayloadType;  // kNoPayloadType when the type has no default
    RtpClockClass clockClass;
    JitterScale jitterScale;
};

// All rows, in ascending identifier order.
std::span<const MediaTypeInfo> AllMediaTypes();

// The row of an identifier, or null for an identifier the library does not know.
const MediaTypeInfo* FindMediaType(int32_t id);

// The row whose settings key equals `key` exactly (case and length), or null.
const MediaTypeInfo* FindMediaTypeByXmlKey(const char* key);

// Default payload type of a media type; kNoPayloadType when it has none.
uint8_t DefaultPayloadType(int32_t id);

// Timestamp rate class; unknown identifiers are Other.
RtpClockClass ClockClassOf(int32_t id);

// RTP timestamp units per millisecond of a class (Other: 1).
uint32_t RtpUnitsPerMs(RtpClockClass clockClass);

// The RTP clock rate of a payload, in Hz: what a timestamp difference of one
// means in real time, for arithmetic between arrival times and timestamps
// (interarrival jitter, sender-report extrapolation). Telephone events run
// at the rate of the 8 kHz audio they go with; the other class at 1 kHz.
uint32_t RtpClockRateHz(int32_t id);

// Jitter in RTP units of the media type, converted to milliseconds.
// Unknown identifiers are left unchanged.
float JitterToMs(float jitterUnits, int32_t id);

// Main type the stack offers for a media type it carries (pin enumeration):
// the row's main type, 4 for identifier 0, and false for anything else.
bool StackMainType(int32_t id, int* mainType);

// Main type the packet check labels a received packet with: the row's packet
// main type; 4 for every identifier the library does not know (-1 included).
// The wideband audio types 0x4001C-0x40022 are 4 here, not audio.
int PacketMainType(int32_t id);

// Main type of a dispatcher output pin carrying the media type: the row's
// main type, 0 for anything else (identifier 0 included).
int DispatcherOutputMainType(int32_t id);

// Membership of the audio set of lip synchronisation: 0x40001-0x40014,
// 0x40017-0x40024, 0x4002A, 0x4002C-0x4002F. These are ranges, not rows:
// 0x4001D, which has no row, is a member.
bool IsLipSyncAudio(int32_t id);

// A video identifier (0x10001-0x10005).
bool IsVideoMediaType(int32_t id);

}  // namespace zqm
