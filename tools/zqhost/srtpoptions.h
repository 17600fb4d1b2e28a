#pragma once
// SRTP as zqhost's commands take it: a suite, a master key for both
// directions and, when it differs, one for what the stacks receive. Keys are
// secrets: they go to the stacks (and into graph files, which hold the
// settings), never to the screen, a log or a JSON line.
#include <string>

class Arguments;

struct SRTPOptions {
    std::string suite;       // empty: SRTP off
    std::string sendKey;     // master key and salt in base64, as the stacks take them
    std::string receiveKey;  // the send key unless --srtp-recv-key gave another
    bool IsOn() const { return !suite.empty(); }
};

// What a command does when --srtp comes without a key.
enum class MissingSRTPKey {
    Refuse,  // a bad argument: the peer must share the key
    Draw,    // a fresh key from the kernel's random source (demo: both ends are ours)
};

// Takes "--srtp [SUITE]" (or "--srtp=SUITE"; the next argument is the suite
// only when it is written like one: A-Z, 0-9 and '_'), "--srtp-key KEY" or
// "--srtp-key-file FILE", "--srtp-recv-key KEY" or "--srtp-recv-key-file
// FILE", and checks them together: the suite known, each key of its length.
// Throws CommandError naming the option; the message never holds a key.
SRTPOptions TakeSRTPOptions(Arguments& arguments, MissingSRTPKey missing);

// "AES_CM_128_HMAC_SHA1_80, AES_CM_128_HMAC_SHA1_32, AEAD_AES_128_GCM".
std::string SRTPSuiteNames();

// The SRTP options as the commands' help texts list them (a string literal).
#define ZQHOST_SRTP_HELP                                                                   \
    "SRTP options:\n"                                                                      \
    "  --srtp [SUITE]             protect RTP and RTCP with SRTP; SUITE is\n"               \
    "                             AES_CM_128_HMAC_SHA1_80 (default),\n"                     \
    "                             AES_CM_128_HMAC_SHA1_32 or AEAD_AES_128_GCM\n"            \
    "  --srtp-key KEY             master key and salt in base64, as an SDP\n"               \
    "                             a=crypto line writes it (zqhost srtp-key prints a\n"      \
    "                             fresh one), for both directions\n"                        \
    "  --srtp-key-file FILE       the same, from the first line of FILE\n"                  \
    "  --srtp-recv-key KEY        the key of what is received, when it differs\n"           \
    "  --srtp-recv-key-file FILE  the same, from the first line of FILE\n"                  \
    "A key on the command line shows in the process list: prefer the files.\n"
