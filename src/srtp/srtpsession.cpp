#include "srtp/srtpsession.h"

#include <srtp2/srtp.h>

#include <cstring>
#include <mutex>
#include <vector>

namespace zqm::srtp {

namespace {

static_assert(kMaxTrailerBytes >= SRTP_MAX_TRAILER_LEN, "the trailer room must hold any trailer libsrtp writes");

// The window of indices the receiving side remembers (RFC 3711 3.3.2): as
// deep as the reordering any of our windows allows.
constexpr unsigned long kReplayWindow = 1024;

// Once per process. libsrtp refuses a second srtp_init, which the host or
// another library may have made before us: its answer is therefore not
// final, and srtp_create says whether the library is usable.
void InitialiseLibrary()
{
    static std::once_flag once;
    std::call_once(once, [] { srtp_init(); });
}

void SetPolicies(const Suite& suite, srtp_policy_t& policy)
{
    if (std::strcmp(suite.name, "AEAD_AES_128_GCM") == 0) {
        srtp_crypto_policy_set_aes_gcm_128_16_auth(&policy.rtp);
        srtp_crypto_policy_set_aes_gcm_128_16_auth(&policy.rtcp);
    } else if (std::strcmp(suite.name, "AES_CM_128_HMAC_SHA1_32") == 0) {
        // RFC 4568: the short tag is for SRTP only; SRTCP keeps 80 bits.
        srtp_crypto_policy_set_aes_cm_128_hmac_sha1_32(&policy.rtp);
        srtp_crypto_policy_set_rtcp_default(&policy.rtcp);
    } else {
        srtp_crypto_policy_set_rtp_default(&policy.rtp);
        srtp_crypto_policy_set_rtcp_default(&policy.rtcp);
    }
}

Verdict VerdictOf(srtp_err_status_t status)
{
    switch (status) {
    case srtp_err_status_ok:
        return Verdict::Ok;
    case srtp_err_status_auth_fail:
        return Verdict::AuthenticationFailed;
    case srtp_err_status_replay_fail:
    case srtp_err_status_replay_old:
        return Verdict::Replayed;
    default:
        return Verdict::Refused;
    }
}

}  // namespace

struct Session::Context {
    srtp_t session = nullptr;
    int rtpTrailerBytes = 0;
    int rtcpTrailerBytes = 0;
    KeyLimits limits;
    uint64_t rtpProtected = 0;
    uint64_t rtcpProtected = 0;
};

namespace {

using ProtectCall = srtp_err_status_t (*)(srtp_t, void*, int*);

int Protect(Session::Context& context, ProtectCall call, uint8_t* packet, int length, int capacity, int trailerBytes,
            uint64_t& protectedCount, uint64_t limit)
{
    if (length <= 0 || capacity - length < trailerBytes) {
        return Session::kNoRoom;
    }
    if (protectedCount >= limit) {
        return Session::kKeyExhausted;
    }
    if (call(context.session, packet, &length) != srtp_err_status_ok) {
        return Session::kRefused;
    }
    ++protectedCount;
    return length;
}

}  // namespace

Session::~Session() { Stop(); }

bool Session::IsStarted()
{
    std::lock_guard lock(m_mutex);
    return m_context != nullptr;
}

bool Session::Start(const Suite& suite, std::span<const uint8_t> masterKey, Direction direction, std::string* why,
                    KeyLimits limits)
{
    std::lock_guard lock(m_mutex);
    StopLocked();
    if (masterKey.size() != suite.MasterBytes()) {
        if (why != nullptr) {
            *why = MasterKeyLengthProblem(suite, masterKey.size());
        }
        return false;
    }
    InitialiseLibrary();
    // libsrtp reads the key while it creates the session and keeps its own
    // derived keys; the copy only lives for the call.
    std::vector<uint8_t> key(masterKey.begin(), masterKey.end());
    srtp_policy_t policy{};
    SetPolicies(suite, policy);
    policy.ssrc.type = direction == Direction::Send ? ssrc_any_outbound : ssrc_any_inbound;
    policy.key = key.data();
    policy.window_size = kReplayWindow;
    policy.allow_repeat_tx = 0;
    policy.next = nullptr;
    auto* context = new Context;
    const srtp_err_status_t status = srtp_create(&context->session, &policy);
    std::fill(key.begin(), key.end(), 0);
    if (status != srtp_err_status_ok) {
        delete context;
        if (why != nullptr) {
            *why = "libsrtp refused the key (error " + std::to_string(status) + ")";
        }
        return false;
    }
    context->rtpTrailerBytes = suite.rtpTrailerBytes;
    context->rtcpTrailerBytes = suite.rtcpTrailerBytes;
    context->limits = limits;
    m_context = context;
    return true;
}

void Session::Stop()
{
    std::lock_guard lock(m_mutex);
    StopLocked();
}

void Session::StopLocked()
{
    if (m_context == nullptr) {
        return;
    }
    srtp_dealloc(m_context->session);
    delete m_context;
    m_context = nullptr;
}

int Session::ProtectRtp(uint8_t* packet, int length, int capacity)
{
    std::lock_guard lock(m_mutex);
    if (m_context == nullptr) {
        return kRefused;
    }
    return Protect(*m_context, srtp_protect, packet, length, capacity, m_context->rtpTrailerBytes,
                   m_context->rtpProtected, m_context->limits.rtpPackets);
}

int Session::ProtectRtcp(uint8_t* packet, int length, int capacity)
{
    std::lock_guard lock(m_mutex);
    if (m_context == nullptr) {
        return kRefused;
    }
    return Protect(*m_context, srtp_protect_rtcp, packet, length, capacity, m_context->rtcpTrailerBytes,
                   m_context->rtcpProtected, m_context->limits.rtcpPackets);
}

Verdict Session::UnprotectRtp(uint8_t* packet, int* length)
{
    std::lock_guard lock(m_mutex);
    if (m_context == nullptr || length == nullptr || *length <= 0) {
        return Verdict::Refused;
    }
    return VerdictOf(srtp_unprotect(m_context->session, packet, length));
}

Verdict Session::UnprotectRtcp(uint8_t* packet, int* length)
{
    std::lock_guard lock(m_mutex);
    if (m_context == nullptr || length == nullptr || *length <= 0) {
        return Verdict::Refused;
    }
    return VerdictOf(srtp_unprotect_rtcp(m_context->session, packet, length));
}

}  // namespace zqm::srtp
