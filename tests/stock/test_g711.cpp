// G.711 encoding against reference values of the ITU-T segment laws.
#include <gtest/gtest.h>

#include "g711.h"

namespace {

struct KnownCode {
    int16_t linear;
    uint8_t aLaw;
    uint8_t muLaw;
};

// Silence, both signs near zero, segment edges and full scale.
constexpr KnownCode kKnownCodes[] = {
    {0, 0xD5, 0xFF},        {-1, 0x55, 0x7E},       {7, 0xD5, 0xFE},        {100, 0xD3, 0xF2},
    {-100, 0x53, 0x72},     {1000, 0xFA, 0xCE},     {-1000, 0x7A, 0x4E},    {4095, 0x9A, 0xAF},
    {-4096, 0x1A, 0x2F},    {12345, 0xBD, 0x97},    {-12345, 0x3D, 0x17},   {16383, 0xBA, 0x8F},
    {32767, 0xAA, 0x80},    {-32768, 0x2A, 0x00},
};

TEST(G711, EncodesKnownValues)
{
    for (const KnownCode& known : kKnownCodes) {
        SCOPED_TRACE(known.linear);
        EXPECT_EQ(g711::EncodeALaw(known.linear), known.aLaw);
        EXPECT_EQ(g711::EncodeMuLaw(known.linear), known.muLaw);
    }
}

TEST(G711, EveryCodeSurvivesDecodeAndEncode)
{
    for (int code = 0; code < 256; ++code) {
        SCOPED_TRACE(code);
        const auto byte = static_cast<uint8_t>(code);
        EXPECT_EQ(g711::EncodeALaw(g711::DecodeALaw(byte)), byte);
        // µ-law has two zeros; both decode to 0, which encodes as 0xFF.
        const uint8_t expected = byte == 0x7F ? 0xFF : byte;
        EXPECT_EQ(g711::EncodeMuLaw(g711::DecodeMuLaw(byte)), expected);
    }
}

}  // namespace
