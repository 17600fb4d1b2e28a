#pragma once
// SRTP master keys as SDP security descriptions carry them (RFC 4568): a
// crypto suite by name, and the suite's master key followed by its master
// salt, in base64. Shared by the settings, which store keys as given, and
// the hosts that take them on a command line.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace zqm::srtp {

struct Suite {
    const char* name;  // as SDP writes it
    size_t keyBytes;
    size_t saltBytes;
    int rtpTrailerBytes;   // the SRTP authentication tag
    int rtcpTrailerBytes;  // the E flag and SRTCP index, and the tag
    size_t MasterBytes() const { return keyBytes + saltBytes; }
};

// AES_CM_128_HMAC_SHA1_80 (the default), AES_CM_128_HMAC_SHA1_32 and
// AEAD_AES_128_GCM, in that order.
std::span<const Suite> AllSuites();
const Suite& DefaultSuite();
// The suite of that exact name, or null.
const Suite* FindSuite(std::string_view name);

// Standard base64 with padding (RFC 4648, section 4).
std::string EncodeBase64(std::span<const uint8_t> bytes);
// Empty when `text` is not exactly that: a wrong length, a character outside
// the alphabet, padding anywhere but at the end, or bits left in the padding.
std::optional<std::vector<uint8_t>> DecodeBase64(std::string_view text);

// "the master key has 29 bytes, AES_CM_128_HMAC_SHA1_80 takes 30".
std::string MasterKeyLengthProblem(const Suite& suite, size_t bytes);

// The master key and salt of `suite` from `base64`; empty, with the reason in
// `why`, when it does not decode or has another length.
std::optional<std::vector<uint8_t>> ParseMasterKey(const Suite& suite, std::string_view base64, std::string* why);

}  // namespace zqm::srtp
