#include "g711.h"

namespace g711 {

namespace {

constexpr int32_t kALawMediaType = 0x40001;
constexpr int32_t kMuLawMediaType = 0x40002;

// Upper ends of the eight segments in the law's own magnitude scale
// (13 bits for A-law, 14 bits biased for µ-law).
constexpr int kALawSegmentEnds[8] = {0x1F, 0x3F, 0x7F, 0xFF, 0x1FF, 0x3FF, 0x7FF, 0xFFF};
constexpr int kMuLawSegmentEnds[8] = {0x3F, 0x7F, 0xFF, 0x1FF, 0x3FF, 0x7FF, 0xFFF, 0x1FFF};
constexpr int kMuLawBias = 0x84 >> 2;  // in the 14-bit scale
constexpr int kMuLawClip = 8159;

// Index of the first segment that holds `magnitude`; 8 past the last one.
int SegmentOf(int magnitude, const int (&ends)[8])
{
    for (int segment = 0; segment < 8; ++segment) {
        if (magnitude <= ends[segment]) {
            return segment;
        }
    }
    return 8;
}

}  // namespace

uint8_t EncodeALaw(int16_t linear)
{
    int magnitude = linear >> 3;  // 13-bit scale
    // Even bits are inverted on the line; the sign bit is 1 for positive values.
    uint8_t mask = 0xD5;
    if (magnitude < 0) {
        mask = 0x55;
        magnitude = -magnitude - 1;
    }
    const int segment = SegmentOf(magnitude, kALawSegmentEnds);
    if (segment >= 8) {
        return static_cast<uint8_t>(0x7F ^ mask);
    }
    int code = segment << 4;
    code |= segment < 2 ? (magnitude >> 1) & 0x0F : (magnitude >> segment) & 0x0F;
    return static_cast<uint8_t>(code ^ mask);
}

uint8_t EncodeMuLaw(int16_t linear)
{
    int magnitude = linear >> 2;  // 14-bit scale
    uint8_t mask = 0xFF;          // every bit is inverted on the line
    if (magnitude < 0) {
        magnitude = -magnitude;
        mask = 0x7F;
    }
    if (magnitude > kMuLawClip) {
        magnitude = kMuLawClip;
    }
    magnitude += kMuLawBias;
    const int segment = SegmentOf(magnitude, kMuLawSegmentEnds);
    if (segment >= 8) {
        return static_cast<uint8_t>(0x7F ^ mask);
    }
    const int code = (segment << 4) | ((magnitude >> (segment + 1)) & 0x0F);
    return static_cast<uint8_t>(code ^ mask);
}

int16_t DecodeALaw(uint8_t code)
{
    const int value = code ^ 0x55;
    const int segment = (value & 0x70) >> 4;
    int magnitude = (value & 0x0F) << 4;
    if (segment == 0) {
        magnitude += 8;
    } else {
        magnitude += 0x108;
        magnitude <<= segment - 1;
    }
    return static_cast<int16_t>((value & 0x80) ? magnitude : -magnitude);
}

int16_t DecodeMuLaw(uint8_t code)
{
    const int value = ~code & 0xFF;
    const int segment = (value & 0x70) >> 4;
    const int magnitude = ((((value & 0x0F) << 3) + 0x84) << segment) - 0x84;
    return static_cast<int16_t>((value & 0x80) ? -magnitude : magnitude);
}

uint8_t EncodeForMediaType(int16_t linear, int32_t mediaType)
{
    switch (mediaType) {
    case kALawMediaType:
        return EncodeALaw(linear);
    case kMuLawMediaType:
        return EncodeMuLaw(linear);
    default:
        return static_cast<uint8_t>(linear & 0xFF);
    }
}

}  // namespace g711
