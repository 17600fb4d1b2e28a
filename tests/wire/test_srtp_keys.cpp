// SRTP master keys in base64, as SDP security descriptions carry them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "srtp/srtpkeys.h"

namespace {

using zqm::srtp::DecodeBase64;
using zqm::srtp::EncodeBase64;

std::vector<uint8_t> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

// RFC 4648, section 10, both ways.
TEST(SrtpKeys, Base64OfTheRfcVectors)
{
    const std::pair<std::string, const char*> vectors[] = {
        {"", ""},
        {"f", "Zg=="},
        {"fo", "Zm8="},
        {"foo", "Zm9v"},
        {"foob", "Zm9vYg=="},
        {"fooba", "Zm9vYmE="},
        {"foobar", "Zm9vYmFy"},
        {std::string("\xff\xfe\x00", 3), "//4A"},  // the last two letters, and a zero byte
    };
    for (const auto& [plain, encoded] : vectors) {
        const std::vector<uint8_t> bytes = Bytes(plain);
        EXPECT_EQ(EncodeBase64(bytes), encoded);
        EXPECT_EQ(DecodeBase64(encoded), bytes) << encoded;
    }
}

TEST(SrtpKeys, Base64ThatIsNotExactlySoIsRefused)
{
    for (const char* text : {"Zg=", "Zg", "Zm9v!A==", "Zg==Zg==", "=Zg=", "Zh==", "Zm9=", "Zm 9v", "Zm9v\n"}) {
        EXPECT_FALSE(DecodeBase64(text)) << text;  // "Zh==" and "Zm9=" leave bits in the padding
    }
}

TEST(SrtpKeys, MasterKeyLengthFollowsTheSuite)
{
    ASSERT_NE(zqm::srtp::FindSuite("AEAD_AES_128_GCM"), nullptr);
    EXPECT_EQ(zqm::srtp::FindSuite("aes_cm_128_hmac_sha1_80"), nullptr);
    EXPECT_STREQ(zqm::srtp::DefaultSuite().name, "AES_CM_128_HMAC_SHA1_80");
    struct Case {
        const char* suite;
        size_t bytes;
        const char* why;  // empty: taken
    };
    const Case cases[] = {
        {"AES_CM_128_HMAC_SHA1_80", 30, ""},
        {"AES_CM_128_HMAC_SHA1_32", 30, ""},
        {"AEAD_AES_128_GCM", 28, ""},
        {"AES_CM_128_HMAC_SHA1_80", 28, "the master key has 28 bytes, AES_CM_128_HMAC_SHA1_80 takes 30"},
        {"AEAD_AES_128_GCM", 30, "the master key has 30 bytes, AEAD_AES_128_GCM takes 28"},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> key(c.bytes);
        for (size_t i = 0; i < key.size(); ++i) {
            key[i] = static_cast<uint8_t>(i * 37 + 1);
        }
        std::string why;
        const auto parsed = zqm::srtp::ParseMasterKey(*zqm::srtp::FindSuite(c.suite), EncodeBase64(key), &why);
        EXPECT_EQ(why, c.why) << c.suite << " " << c.bytes;
        EXPECT_EQ(parsed.has_value(), why.empty());
        if (parsed) {
            EXPECT_EQ(*parsed, key);
        }
    }
    std::string why;
    EXPECT_FALSE(zqm::srtp::ParseMasterKey(zqm::srtp::DefaultSuite(), "not base64!", &why));
    EXPECT_EQ(why, "not base64");
}

}  // namespace
