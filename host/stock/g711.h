#pragma once
// G.711 segment encoding of 16-bit linear PCM, and the way back (for tests
// and tools that check what a source produced).
#include <cstdint>

namespace g711 {

uint8_t EncodeALaw(int16_t linear);
uint8_t EncodeMuLaw(int16_t linear);
int16_t DecodeALaw(uint8_t code);
int16_t DecodeMuLaw(uint8_t code);

// One payload byte for a 16-bit sample of a stream of framework sub type
// `mediaType`: A-law for 0x40001, µ-law for 0x40002, the low byte otherwise.
uint8_t EncodeForMediaType(int16_t linear, int32_t mediaType);

}  // namespace g711
