#pragma once
// One direction of SRTP and SRTCP for a stack (RFC 3711), through libsrtp:
// every stream the stack sends, or every stream it receives, under one
// master key. Packets are protected and unprotected in place, in the
// sample's own buffer; a protected packet needs kMaxTrailerBytes more room
// than the plain one.
#include <cstdint>
#include <span>
#include <string>

#include "srtp/srtpkeys.h"

namespace zqm::srtp {

// Authentication tag and MKI at their longest.
constexpr int kMaxTrailerBytes = 144;

enum class Direction : uint8_t { Send, Receive };

enum class Verdict : uint8_t {
    Ok,
    AuthenticationFailed,  // forged, damaged, or under another key
    Replayed,              // an index already seen, or too old for the window
    Refused,               // too short, or anything else libsrtp turns down
};

class Session {
public:
    Session() = default;
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // Starts the session with `masterKey` (key then salt, of the suite's
    // length). False, with libsrtp's reason in `why`, when it refuses.
    bool Start(const Suite& suite, std::span<const uint8_t> masterKey, Direction direction, std::string* why);
    void Stop();
    bool IsStarted() const { return m_context != nullptr; }

    // Protect `length` bytes at `packet` in a buffer of `capacity` bytes; the
    // new length, or -1 when the room or libsrtp says no.
    int ProtectRtp(uint8_t* packet, int length, int capacity);
    int ProtectRtcp(uint8_t* packet, int length, int capacity);
    // On Ok, `*length` becomes the plain packet's length.
    Verdict UnprotectRtp(uint8_t* packet, int* length);
    Verdict UnprotectRtcp(uint8_t* packet, int* length);

private:
    struct Context;
    Context* m_context = nullptr;
};

}  // namespace zqm::srtp
