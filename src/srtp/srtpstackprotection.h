#pragma once
// What SRTP is to one stack: the settings it was given (a suite, a key for
// what it sends and one for what it receives, in base64 as given) and, while
// it runs, a sending and a receiving session under those keys. The packet
// paths protect and check through it; a packet that fails a check is
// counted here and written in a throttled line, and its caller drops it.
//
// Configure, Start and Stop run under the stack lock; the packet paths run
// on the stack's threads without it (each session has its own leaf lock).
#include <atomic>
#include <cstdint>
#include <string>

#include "srtp/srtpsession.h"

namespace zqm::srtp {

enum class SettingField : uint8_t { Suite, SendKey, ReceiveKey };

struct ReceiveCounters {
    uint32_t rtpAuthenticationFailures = 0;
    uint32_t rtpReplays = 0;
    uint32_t rtcpAuthenticationFailures = 0;
    uint32_t rtcpReplays = 0;
};

class StackProtection {
public:
    static constexpr size_t kTextBytes = 128;

    // An empty or null suite turns SRTP off (the keys are forgotten).
    // Otherwise the suite must be known and both keys must decode to its
    // master key length; when not, nothing changes, and `field` and `why`
    // say which setting is wrong and how.
    bool Configure(const char* suite, const char* sendKey, const char* receiveKey, SettingField* field,
                   std::string* why);
    bool IsConfigured() const { return m_configured.load(std::memory_order_acquire); }
    const char* GetSuite() const { return m_suite; }
    const char* GetSendKey() const { return m_sendKey; }
    const char* GetReceiveKey() const { return m_receiveKey; }

    // Starts both sessions when configured (true when off); false, with the
    // reason in `why`, when libsrtp refuses. The counters start at zero.
    bool Start(std::string* why, KeyLimits limits = {});
    void Stop();
    bool IsOn() const { return m_on.load(std::memory_order_acquire); }

    // The protected length, or a Session refusal (negative), written in a
    // line once per kind and run of refusals.
    int ProtectRtp(uint8_t* packet, int length, int capacity);
    int ProtectRtcp(uint8_t* packet, int length, int capacity);
    // True with `*length` the plain length; false when the packet is to be
    // dropped (counted, and written at most once a second per kind).
    // `port` names the stack in the line.
    bool UnprotectRtp(uint8_t* packet, int* length, int port);
    bool UnprotectRtcp(uint8_t* packet, int* length, int port);

    // Since the last start; kept after a stop.
    ReceiveCounters ReadCounters() const;

private:
    int ReportProtectRefusal(int result, const char* what);
    void CountRefusal(Verdict verdict, bool rtcp, int port);

    char m_suite[kTextBytes] = {};
    char m_sendKey[kTextBytes] = {};
    char m_receiveKey[kTextBytes] = {};
    std::atomic<bool> m_configured{false};
    std::atomic<bool> m_on{false};
    std::atomic<int> m_lastProtectRefusal{0};  // a line per change of reason
    Session m_send;
    Session m_receive;
    std::atomic<uint32_t> m_rtpAuthenticationFailures{0};
    std::atomic<uint32_t> m_rtpReplays{0};
    std::atomic<uint32_t> m_rtcpAuthenticationFailures{0};
    std::atomic<uint32_t> m_rtcpReplays{0};
};

}  // namespace zqm::srtp
