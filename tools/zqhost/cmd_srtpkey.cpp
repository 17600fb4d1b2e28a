// zqhost srtp-key: a fresh SRTP master key and salt, in base64, for --srtp-key
// or an SDP a=crypto line.
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "command.h"
#include "srtp/srtpkeys.h"
#include "srtpoptions.h"
#include "zqcrandom.h"

namespace {

int RunSrtpKey(Arguments& arguments)
{
    const auto name = arguments.TakeValue("--suite");
    arguments.ExpectNoMore();
    const zqm::srtp::Suite* suite = name ? zqm::srtp::FindSuite(*name) : &zqm::srtp::DefaultSuite();
    if (suite == nullptr) {
        throw CommandError("option --suite: '" + *name + "' is not one of " + SRTPSuiteNames());
    }
    std::vector<uint8_t> key(suite->MasterBytes());
    if (!ZQCRandom::FillSecret(key.data(), key.size())) {
        throw std::runtime_error("the kernel's random source gave no key material");
    }
    std::printf("%s\n", zqm::srtp::EncodeBase64(key).c_str());
    return 0;
}

}  // namespace

extern const Command kSrtpKeyCommand = {
    "srtp-key",
    "print a fresh SRTP master key and salt in base64",
    "usage: zqhost srtp-key [--suite NAME]\n\n"
    "Prints a master key and salt for the suite, drawn from the kernel's random\n"
    "source, in base64 as SDP security descriptions (RFC 4568) write it: 30\n"
    "bytes for the AES_CM suites, 28 for AEAD_AES_128_GCM.\n\n"
    "  --suite NAME   AES_CM_128_HMAC_SHA1_80 (default), AES_CM_128_HMAC_SHA1_32\n"
    "                 or AEAD_AES_128_GCM\n",
    &RunSrtpKey,
};
