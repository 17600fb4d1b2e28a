#pragma once
// One direction of SRTP and SRTCP for a stack (RFC 3711), through libsrtp:
// every stream the stack sends, or every stream it receives, under one
// master key. Packets are protected and unprotected in place, in the
// sample's own buffer; a protected packet needs the suite's trailer room
// behind the plain one (kMaxTrailerBytes holds any suite's).
//
// A session may be used from several threads (a receiving stack reads RTP
// and RTCP on two), and started or stopped meanwhile: each call holds the
// session's own mutex, a leaf lock.
#include <cstdint>
#include <mutex>
#include <span>
#include <string>

#include "srtp/srtpkeys.h"

namespace zqm::srtp {

// Authentication tag and MKI at their longest.
constexpr int kMaxTrailerBytes = 144;

enum class Direction : uint8_t { Send, Receive };

// How many packets one master key may protect (RFC 3711, 9.2): 2^48 SRTP
// packets and 2^31 SRTCP packets. A session stops protecting one short of
// each; the sender must then be given a new key.
struct KeyLimits {
    uint64_t rtpPackets = (uint64_t{1} << 48) - 1;
    uint64_t rtcpPackets = (uint64_t{1} << 31) - 1;
};

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
    bool Start(const Suite& suite, std::span<const uint8_t> masterKey, Direction direction, std::string* why,
               KeyLimits limits = {});
    void Stop();
    bool IsStarted();

    // Protect `length` bytes at `packet` in a buffer of `capacity` bytes; the
    // new length, or one of the refusals below.
    static constexpr int kNoRoom = -1;        // the buffer cannot take the trailer
    static constexpr int kKeyExhausted = -2;  // the key's packet limit is reached
    static constexpr int kRefused = -3;       // libsrtp said no
    int ProtectRtp(uint8_t* packet, int length, int capacity);
    int ProtectRtcp(uint8_t* packet, int length, int capacity);
    // On Ok, `*length` becomes the plain packet's length.
    Verdict UnprotectRtp(uint8_t* packet, int* length);
    Verdict UnprotectRtcp(uint8_t* packet, int* length);

    struct Context;  // libsrtp's session and the key's packet counts

private:
    void StopLocked();

    std::mutex m_mutex;
    Context* m_context = nullptr;  // guarded by m_mutex
};

}  // namespace zqm::srtp
