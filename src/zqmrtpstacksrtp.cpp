// SRTP as both stacks take it: settings through the control interface, a
// start per run, and the RTCP both of them send and receive.
#include <string>

#include "zqclockmng.h"
#include "zqmlog.h"
#include "zqmrtpstack.h"

namespace {

const char* const kLogPath = "zqmrtpstacksrtp";

using StackLock = ZQCLockMng<ZQCCriticalSection>;

const char* NameOf(zqm::srtp::SettingField field)
{
    switch (field) {
    case zqm::srtp::SettingField::Suite:
        return "suite";
    case zqm::srtp::SettingField::SendKey:
        return "send key";
    case zqm::srtp::SettingField::ReceiveKey:
        return "receive key";
    }
    return "setting";
}

}  // namespace

bool ZQMRTPStack::SetSRTP(const char* suite, const char* sendKey, const char* receiveKey, int* refused)
{
    StackLock lock(m_stackLock, -1);
    zqm::srtp::SettingField field = zqm::srtp::SettingField::Suite;
    std::string why;
    if (m_srtp.Configure(suite, sendKey, receiveKey, &field, &why)) {
        return true;
    }
    ZQM_LOG(ZQF_LOG_ERROR, "<--RTPStack-->SetSRTP refused: the %s: %s.", NameOf(field), why.c_str());
    if (refused != nullptr) {
        *refused = static_cast<int>(field);
    }
    return false;
}

const char* ZQMRTPStack::GetSRTPSuite() { return m_srtp.GetSuite(); }

const char* ZQMRTPStack::GetSRTPSendKey() { return m_srtp.GetSendKey(); }

const char* ZQMRTPStack::GetSRTPReceiveKey() { return m_srtp.GetReceiveKey(); }

bool ZQMRTPStack::GetSRTPCounters(zqm::srtp::ReceiveCounters* counters)
{
    if (!m_srtp.IsConfigured()) {
        return false;
    }
    if (counters != nullptr) {
        *counters = m_srtp.ReadCounters();
    }
    return true;
}

void ZQMRTPStack::StartSRTP()
{
    std::string why;
    if (!m_srtp.Start(&why)) {
        ZQM_LOG(ZQF_LOG_ERROR, "<--RTPStack-->OnStart failure: SRTP did not start (%s).", why.c_str());
        ZQM_THROW("<--RTPStack-->OnStart failure: SRTP did not start.");
    }
    if (m_srtp.IsOn()) {
        ZQM_LOG(ZQF_LOG_INFO, "<--RTPStack-->SRTP on (%s).", m_srtp.GetSuite());
    }
}

bool ZQMRTPStack::UnprotectReceivedRTCP(uint8_t* datagram, int* length, int logPort)
{
    return !m_srtp.IsOn() || m_srtp.UnprotectRtcp(datagram, length, logPort);
}

int ZQMRTPStack::ProtectRTCPToSend(uint8_t* compound, int length, int capacity)
{
    if (!m_srtp.IsOn()) {
        return length;
    }
    const int protectedLength = m_srtp.ProtectRtcp(compound, length, capacity);
    return protectedLength > 0 ? protectedLength : -1;
}
