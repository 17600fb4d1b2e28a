#pragma once
// SRTP for the benchmarks, through libsrtp directly: the key every SRTP
// measurement uses, sessions under it, and libsrtp's own protect and
// unprotect loops.
#include <srtp2/srtp.h>

#include <cstdint>
#include <string>

namespace bench {

constexpr const char* kSrtpSuite = "AES_CM_128_HMAC_SHA1_80";
constexpr int kSrtpMasterBytes = 30;  // 16-byte key and 14-byte salt

// The master key (and salt) both ends use, raw and as SDP writes it.
const uint8_t* SrtpMasterKey();
std::string SrtpMasterKeyBase64();

// A libsrtp session under the bench key: the sending side protects any
// SSRC (ssrc_any_outbound), the receiving side checks any (ssrc_any_inbound).
class LibsrtpSession {
public:
    enum class Side { Send, Receive };
    explicit LibsrtpSession(Side side);
    ~LibsrtpSession();
    LibsrtpSession(const LibsrtpSession&) = delete;
    LibsrtpSession& operator=(const LibsrtpSession&) = delete;

    // In place; false when libsrtp refuses.
    bool Protect(uint8_t* packet, int* length) { return srtp_protect(m_session, packet, length) == srtp_err_status_ok; }
    bool Unprotect(uint8_t* packet, int* length)
    {
        return srtp_unprotect(m_session, packet, length) == srtp_err_status_ok;
    }

private:
    srtp_t m_session = nullptr;
};

// Thread CPU per packet of libsrtp alone on fresh 172-byte packets:
// srtp_protect in place, and srtp_unprotect of packets protected beforehand.
double LibsrtpProtectNs(uint64_t count);
double LibsrtpUnprotectNs(uint64_t count);

}  // namespace bench
