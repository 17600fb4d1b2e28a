#include "srtpbench.h"

#include <array>
#include <cstring>
#include <mutex>
#include <span>
#include <stdexcept>

#include "bare.h"
#include "datagrambatch.h"
#include "srtp/srtpkeys.h"
#include "srtp/srtpsession.h"

namespace bench {
namespace {

// libsrtp refuses a second srtp_init, and the stack makes the first one
// itself when it starts its first session; so this process leaves it to the
// stack: a session started here once makes that call.
void InitialiseLibsrtp()
{
    static std::once_flag once;
    std::call_once(once, [] {
        zqm::srtp::Session session;
        std::string why;
        if (!session.Start(*zqm::srtp::FindSuite(kSrtpSuite),
                           std::span<const uint8_t>(SrtpMasterKey(), kSrtpMasterBytes),
                           zqm::srtp::Direction::Send, &why)) {
            throw std::runtime_error("libsrtp does not start: " + why);
        }
    });
}

}  // namespace

const uint8_t* SrtpMasterKey()
{
    static const auto key = [] {
        std::array<uint8_t, kSrtpMasterBytes> bytes{};
        for (size_t i = 0; i < bytes.size(); ++i) {
            bytes[i] = static_cast<uint8_t>(0x5e + 37 * i);
        }
        return bytes;
    }();
    return key.data();
}

std::string SrtpMasterKeyBase64()
{
    return zqm::srtp::EncodeBase64(std::span<const uint8_t>(SrtpMasterKey(), kSrtpMasterBytes));
}

LibsrtpSession::LibsrtpSession(Side side)
{
    InitialiseLibsrtp();
    uint8_t key[kSrtpMasterBytes];
    std::memcpy(key, SrtpMasterKey(), sizeof key);
    srtp_policy_t policy{};
    srtp_crypto_policy_set_rtp_default(&policy.rtp);  // AES_CM_128_HMAC_SHA1_80
    srtp_crypto_policy_set_rtcp_default(&policy.rtcp);
    policy.ssrc.type = side == Side::Send ? ssrc_any_outbound : ssrc_any_inbound;
    policy.key = key;
    policy.window_size = 1024;  // as the stack's receiving session
    if (srtp_create(&m_session, &policy) != srtp_err_status_ok) {
        throw std::runtime_error("libsrtp refuses the bench key");
    }
}

LibsrtpSession::~LibsrtpSession() { srtp_dealloc(m_session); }

double LibsrtpProtectNs(uint64_t count)
{
    LibsrtpSession session(LibsrtpSession::Side::Send);
    DatagramBatch batch = MakeDatagramBatch(count, nullptr);
    const uint64_t cpu0 = bare_thread_cpu_ns();
    for (uint64_t k = 0; k < count; ++k) {
        session.Protect(batch.At(k), &batch.lengths[k]);
    }
    return static_cast<double>(bare_thread_cpu_ns() - cpu0) / static_cast<double>(count);
}

double LibsrtpUnprotectNs(uint64_t count)
{
    LibsrtpSession sender(LibsrtpSession::Side::Send);
    LibsrtpSession receiver(LibsrtpSession::Side::Receive);
    DatagramBatch batch = MakeDatagramBatch(count, &sender);
    uint64_t refused = 0;
    const uint64_t cpu0 = bare_thread_cpu_ns();
    for (uint64_t k = 0; k < count; ++k) {
        refused += receiver.Unprotect(batch.At(k), &batch.lengths[k]) ? 0 : 1;
    }
    const uint64_t cpu = bare_thread_cpu_ns() - cpu0;
    if (refused != 0) {
        throw std::runtime_error("libsrtp refuses datagrams it protected");
    }
    return static_cast<double>(cpu) / static_cast<double>(count);
}

}  // namespace bench
