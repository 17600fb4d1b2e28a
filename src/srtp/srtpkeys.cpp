#include "srtp/srtpkeys.h"

#include <array>

namespace zqm::srtp {

namespace {

// RFC 4568 gives SRTCP the 80-bit tag under the short-tag suite too.
constexpr Suite kSuites[] = {
    {"AES_CM_128_HMAC_SHA1_80", 16, 14, 10, 14},
    {"AES_CM_128_HMAC_SHA1_32", 16, 14, 4, 14},
    {"AEAD_AES_128_GCM", 16, 12, 16, 20},
};

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr int kNotInAlphabet = -1;

constexpr std::array<int, 256> MakeValues()
{
    std::array<int, 256> values{};
    for (int& value : values) {
        value = kNotInAlphabet;
    }
    for (int i = 0; i < 64; ++i) {
        values[static_cast<unsigned char>(kAlphabet[i])] = i;
    }
    return values;
}

constexpr std::array<int, 256> kValues = MakeValues();

}  // namespace

std::span<const Suite> AllSuites() { return kSuites; }

const Suite& DefaultSuite() { return kSuites[0]; }

const Suite* FindSuite(std::string_view name)
{
    for (const Suite& suite : kSuites) {
        if (name == suite.name) {
            return &suite;
        }
    }
    return nullptr;
}

std::string EncodeBase64(std::span<const uint8_t> bytes)
{
    std::string text;
    text.reserve((bytes.size() + 2) / 3 * 4);
    for (size_t at = 0; at < bytes.size(); at += 3) {
        const size_t left = bytes.size() - at;
        const uint32_t group = (uint32_t{bytes[at]} << 16) | (left > 1 ? uint32_t{bytes[at + 1]} << 8 : 0) |
                               (left > 2 ? uint32_t{bytes[at + 2]} : 0);
        text += kAlphabet[(group >> 18) & 0x3F];
        text += kAlphabet[(group >> 12) & 0x3F];
        text += left > 1 ? kAlphabet[(group >> 6) & 0x3F] : '=';
        text += left > 2 ? kAlphabet[group & 0x3F] : '=';
    }
    return text;
}

std::optional<std::vector<uint8_t>> DecodeBase64(std::string_view text)
{
    if (text.size() % 4 != 0) {
        return std::nullopt;
    }
    const size_t padding = text.ends_with("==") ? 2 : text.ends_with("=") ? 1 : 0;
    std::vector<uint8_t> bytes;
    bytes.reserve(text.size() / 4 * 3);
    for (size_t at = 0; at < text.size(); at += 4) {
        const bool last = at + 4 == text.size();
        uint32_t group = 0;
        for (size_t i = 0; i < 4; ++i) {
            const bool padded = last && i >= 4 - padding;
            const int value = padded ? 0 : kValues[static_cast<unsigned char>(text[at + i])];
            if (value == kNotInAlphabet) {
                return std::nullopt;  // '=' in the middle lands here too
            }
            group = (group << 6) | static_cast<uint32_t>(value);
        }
        const size_t kept = last ? 3 - padding : 3;
        // The bits the padding covers must be zero: one text per value.
        if (kept < 3 && (group & ((1u << (8 * (3 - kept))) - 1)) != 0) {
            return std::nullopt;
        }
        for (size_t i = 0; i < kept; ++i) {
            bytes.push_back(static_cast<uint8_t>(group >> (16 - 8 * i)));
        }
    }
    return bytes;
}

std::string MasterKeyLengthProblem(const Suite& suite, size_t bytes)
{
    return "the master key has " + std::to_string(bytes) + " bytes, " + suite.name + " takes " +
           std::to_string(suite.MasterBytes());
}

std::optional<std::vector<uint8_t>> ParseMasterKey(const Suite& suite, std::string_view base64, std::string* why)
{
    std::optional<std::vector<uint8_t>> bytes = DecodeBase64(base64);
    if (!bytes) {
        if (why != nullptr) {
            *why = "not base64";
        }
        return std::nullopt;
    }
    if (bytes->size() != suite.MasterBytes()) {
        if (why != nullptr) {
            *why = MasterKeyLengthProblem(suite, bytes->size());
        }
        return std::nullopt;
    }
    return bytes;
}

}  // namespace zqm::srtp
