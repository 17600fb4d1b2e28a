#include "srtp/srtpstackprotection.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <vector>

#include "stdafx.h"
#include "zqmlog.h"
#include "zqmpacketfaultthrottle.h"

namespace zqm::srtp {

namespace {

const char* const kLogPath = "srtp\\srtpstackprotection";

void CopyText(char (&field)[StackProtection::kTextBytes], const char* text)
{
    std::strncpy(field, text != nullptr ? text : "", StackProtection::kTextBytes - 1);
    field[StackProtection::kTextBytes - 1] = '\0';
}

std::string SuiteNames()
{
    std::string names;
    for (const Suite& suite : AllSuites()) {
        names += names.empty() ? "" : ", ";
        names += suite.name;
    }
    return names;
}

bool CheckKey(const Suite& suite, const char* key, SettingField which, SettingField* field, std::string* why)
{
    std::string reason;
    if (ParseMasterKey(suite, key != nullptr ? key : "", &reason)) {
        return true;
    }
    *field = which;
    *why = reason;
    return false;
}

bool StartSession(Session& session, const Suite& suite, const char* key, Direction direction, KeyLimits limits,
                  std::string* why)
{
    std::optional<std::vector<uint8_t>> master = ParseMasterKey(suite, key, why);
    if (!master) {
        return false;
    }
    const bool started = session.Start(suite, *master, direction, why, limits);
    std::fill(master->begin(), master->end(), 0);
    return started;
}

}  // namespace

bool StackProtection::Configure(const char* suiteName, const char* sendKey, const char* receiveKey,
                                SettingField* field, std::string* why)
{
    SettingField ignoredField = SettingField::Suite;
    std::string ignoredWhy;
    field = field != nullptr ? field : &ignoredField;
    why = why != nullptr ? why : &ignoredWhy;
    if (suiteName == nullptr || suiteName[0] == '\0') {
        CopyText(m_suite, "");
        CopyText(m_sendKey, "");
        CopyText(m_receiveKey, "");
        m_configured.store(false, std::memory_order_release);
        return true;
    }
    const Suite* suite = FindSuite(suiteName);
    if (suite == nullptr) {
        *field = SettingField::Suite;
        *why = std::string("unknown suite \"") + suiteName + "\" (known: " + SuiteNames() + ")";
        return false;
    }
    if (!CheckKey(*suite, sendKey, SettingField::SendKey, field, why) ||
        !CheckKey(*suite, receiveKey, SettingField::ReceiveKey, field, why)) {
        return false;
    }
    CopyText(m_suite, suite->name);
    CopyText(m_sendKey, sendKey);
    CopyText(m_receiveKey, receiveKey);
    m_configured.store(true, std::memory_order_release);
    return true;
}

bool StackProtection::Start(std::string* why, KeyLimits limits)
{
    Stop();
    m_rtpAuthenticationFailures.store(0);
    m_rtpReplays.store(0);
    m_rtcpAuthenticationFailures.store(0);
    m_rtcpReplays.store(0);
    m_lastProtectRefusal.store(0);
    if (!IsConfigured()) {
        return true;
    }
    const Suite* suite = FindSuite(m_suite);
    if (suite == nullptr || !StartSession(m_send, *suite, m_sendKey, Direction::Send, limits, why) ||
        !StartSession(m_receive, *suite, m_receiveKey, Direction::Receive, limits, why)) {
        m_send.Stop();
        return false;
    }
    m_on.store(true, std::memory_order_release);
    return true;
}

void StackProtection::Stop()
{
    m_on.store(false, std::memory_order_release);
    m_send.Stop();
    m_receive.Stop();
}

int StackProtection::ProtectRtp(uint8_t* packet, int length, int capacity)
{
    return ReportProtectRefusal(m_send.ProtectRtp(packet, length, capacity), "SRTP");
}

int StackProtection::ProtectRtcp(uint8_t* packet, int length, int capacity)
{
    return ReportProtectRefusal(m_send.ProtectRtcp(packet, length, capacity), "SRTCP");
}

// One line for the first refusal of a run, and for each change of reason:
// a key at its limit refuses every packet after it.
int StackProtection::ReportProtectRefusal(int result, const char* what)
{
    if (result >= 0) {
        m_lastProtectRefusal.store(0, std::memory_order_relaxed);
        return result;
    }
    if (m_lastProtectRefusal.exchange(result, std::memory_order_relaxed) == result) {
        return result;
    }
    if (result == Session::kNoRoom) {
        ZQM_LOG(ZQF_LOG_ERROR, "<--RTPStack-->%s: no room for the authentication tag behind the packet, not sent.",
                what);
    } else if (result == Session::kKeyExhausted) {
        ZQM_LOG(ZQF_LOG_ERROR,
                "<--RTPStack-->%s: the send key has protected as many packets as one key may; sending stopped "
                "until the stack is started with a new key.",
                what);
    } else {
        ZQM_LOG(ZQF_LOG_ERROR, "<--RTPStack-->%s: libsrtp refused to protect a packet, not sent.", what);
    }
    return result;
}

bool StackProtection::UnprotectRtp(uint8_t* packet, int* length, int port)
{
    const Verdict verdict = m_receive.UnprotectRtp(packet, length);
    if (verdict != Verdict::Ok) {
        CountRefusal(verdict, false, port);
    }
    return verdict == Verdict::Ok;
}

bool StackProtection::UnprotectRtcp(uint8_t* packet, int* length, int port)
{
    const Verdict verdict = m_receive.UnprotectRtcp(packet, length);
    if (verdict != Verdict::Ok) {
        CountRefusal(verdict, true, port);
    }
    return verdict == Verdict::Ok;
}

// A packet too short to carry a tag, or one libsrtp turns down otherwise, is
// counted with the authentication failures: it could not be authenticated.
void StackProtection::CountRefusal(Verdict verdict, bool rtcp, int port)
{
    const bool replayed = verdict == Verdict::Replayed;
    if (rtcp) {
        (replayed ? m_rtcpReplays : m_rtcpAuthenticationFailures).fetch_add(1, std::memory_order_relaxed);
    } else {
        (replayed ? m_rtpReplays : m_rtpAuthenticationFailures).fetch_add(1, std::memory_order_relaxed);
    }
    const PacketFault fault = rtcp ? (replayed ? PacketFault::SrtcpReplay : PacketFault::SrtcpAuthentication)
                                   : (replayed ? PacketFault::SrtpReplay : PacketFault::SrtpAuthentication);
    uint32_t skipped = 0;
    if (!PacketFaultThrottle::TakeTurn(fault, &skipped)) {
        return;
    }
    const char* stack = rtcp ? "RTCPStack" : "RTPStack";
    const char* kind = rtcp ? "SRTCP" : "SRTP";
    const char* dropped = rtcp ? "dropped before processing" : "dropped";
    if (replayed) {
        ZQM_LOG(ZQF_LOG_WARNING, "<--%s-->[%d] %s packet replayed or older than the replay window: %s (%u more since "
                "the last line).", stack, port, kind, dropped, skipped);
    } else {
        ZQM_LOG(ZQF_LOG_WARNING, "<--%s-->[%d] %s packet failed authentication (forged, damaged or under another "
                "key): %s (%u more since the last line).", stack, port, kind, dropped, skipped);
    }
}

ReceiveCounters StackProtection::ReadCounters() const
{
    ReceiveCounters counters;
    counters.rtpAuthenticationFailures = m_rtpAuthenticationFailures.load(std::memory_order_relaxed);
    counters.rtpReplays = m_rtpReplays.load(std::memory_order_relaxed);
    counters.rtcpAuthenticationFailures = m_rtcpAuthenticationFailures.load(std::memory_order_relaxed);
    counters.rtcpReplays = m_rtcpReplays.load(std::memory_order_relaxed);
    return counters;
}

}  // namespace zqm::srtp
