#include "module/zqmrtpstackmodule.h"

#include <cinttypes>

#include "inputrtpstack/zqminputrtpstack.h"
#include "module/zqmrtpstackids.h"
#include "module/zqmrtpstackinputpin.h"
#include "module/zqmrtpstackoutputpin.h"
#include "module/zqmrtpstacksettings.h"
#include "outputrtpstack/zqmoutputrtpstack.h"
#include "zqcformat.h"
#include "zqfmodulestatspropage.h"
#include "zqfpropertypage.h"
#include "zqwin32.h"

namespace {

constexpr int kRTPInCategory = 13;
constexpr int kRTPOutCategory = 14;
constexpr char16_t kSheetTitle[] = u"RTP stack";

// Statistics out-parameters may be null: those are skipped.
template <typename Value>
void put(Value* out, Value value)
{
    if (out != nullptr) {
        *out = value;
    }
}

// A counter only a receiving stack keeps: refused (false) on a sending one.
template <typename Read>
bool putReceivingCounter(ZQMRTPStack* stack, int32_t isOutput, uint32_t* out, Read read)
{
    if (isOutput != 0) {
        return false;
    }
    put(out, read(*static_cast<ZQMInputRTPStack*>(stack)));
    return true;
}

}  // namespace

ZQMRTPStackModule::ZQMRTPStackModule(const ZQFID& id, const char* name) : ZQFModule(id)
{
    SetName(name);
    if (EqualZQFID(id, ZQMID_RTPIn)) {
        m_isOutput = 0;
        AddPin(new ZQMRTPStackOutputPin(this, "outputRTPPin"));
        m_stack = new ZQMInputRTPStack(this);
        SetCategory(kRTPInCategory);
    } else {
        m_isOutput = 1;
        ZQFPin* pin = new ZQMRTPStackInputPin(this, "inputRTPPin");
        AddPin(pin);
        m_stack = new ZQMOutputRTPStack(this);
        SetCategory(kRTPOutCategory);
        char line[256] = {};
        zq_sprintf(line, sizeof line, "ZQMRTPStackModule::ZQMRTPStackModule: create pin[0x%" PRIxPTR "] %s sucess\n",
                   reinterpret_cast<uintptr_t>(this), GetName());
        OutputDebugStringA(line);
    }
}

ZQMRTPStackModule::~ZQMRTPStackModule()
{
    if (m_stack != nullptr) {
        if (IsRunning()) {
            m_stack->OnStop();
        }
        delete m_stack;
        m_stack = nullptr;
    }
}

bool ZQMRTPStackModule::OnProcessMediaSample(ZQFMediaSample* sample, int value)
{
    return m_stack->OnProcessMediaSample(sample, value);
}

bool ZQMRTPStackModule::OnNotify(ZQFNotifyInfo* info) { return m_stack->OnNotify(info); }
bool ZQMRTPStackModule::OnStart() { return m_stack->OnStart(); }
bool ZQMRTPStackModule::OnStop() { return m_stack->OnStop(); }
bool ZQMRTPStackModule::SaveSettings(CXMLNode* parent) { return SaveStackSettings(this, parent); }
bool ZQMRTPStackModule::LoadSettings(CXMLNode* node) { return LoadStackSettings(this, node); }
bool ZQMRTPStackModule::OnBeginFlush() { return m_stack->OnBeginFlush(); }
bool ZQMRTPStackModule::OnEndFlush() { return m_stack->OnEndFlush(); }

bool ZQMRTPStackModule::GetMediaTypeAt(int index, ZQFMediaType* type, ZQFFormatBuffer** format)
{
    return m_stack != nullptr && m_stack->GetMediaTypeAt(index, type, format);
}

uint32_t ZQMRTPStackModule::GetMediaTypeCount() { return m_stack->GetMediaTypeCount(); }
uint32_t ZQMRTPStackModule::GetSocketBufferSize() { return m_stack->GetSocketBufferSize(); }

bool ZQMRTPStackModule::QueryInterface(const ZQFID& id, void** out)
{
    if (EqualZQFID(id, IID_ZQIConfigPanel)) {
        *out = static_cast<ZQIConfigPanel*>(this);
        return true;
    }
    if (EqualZQFID(id, IID_ZQIRTPStack)) {
        *out = static_cast<ZQIRTPStack*>(this);
        return true;
    }
    if (EqualZQFID(id, IID_ZQIRTPStackStatistics)) {
        *out = static_cast<ZQIRTPStackStatistics*>(this);
        return true;
    }
    return ZQFModule::QueryInterface(id, out);
}

int ZQMRTPStackModule::DisplayConfigPanel(HWND parent, int flag)
{
    ZQFPropertySheet* sheet = GetPropertySheet();
    sheet->ClearPages();
    sheet->AddPage(static_cast<ZQMRTPStackProPage*>(this));
    sheet->AddPage(static_cast<ZQMRTPStackStatisticsProPage*>(this));
    sheet->AddPage(GetModuleStatsPage());
    return sheet->Display(parent, kSheetTitle, flag);
}

HWND ZQMRTPStackModule::GetConfigPanel() { return GetConfigPanelWindow(); }

// ZQIRTPStack: every operation goes to the stack, but for the direction and
// the RTCP switch, which the module keeps.
const char* ZQMRTPStackModule::GetRemoteRTPAddress() { return m_stack->GetRemoteRTPAddress(); }
const char* ZQMRTPStackModule::GetRemoteRTCPAddress() { return m_stack->GetRemoteRTCPAddress(); }
void ZQMRTPStackModule::SetRemoteRTPAddress(const char* address) { m_stack->SetRemoteRTPAddress(address); }
void ZQMRTPStackModule::SetRemoteRTCPAddress(const char* address) { m_stack->SetRemoteRTCPAddress(address); }
const char* ZQMRTPStackModule::GetLocalIPAddress() { return m_stack->GetLocalIPAddress(); }
void ZQMRTPStackModule::SetLocalIPAddress(const char* address) { m_stack->SetLocalIPAddress(address); }
const char* ZQMRTPStackModule::GetLocalRTPPort() { return m_stack->GetLocalRTPPort(); }
void ZQMRTPStackModule::SetLocalRTPPort(const char* port) { m_stack->SetLocalRTPPort(port); }
const char* ZQMRTPStackModule::GetLocalRTCPPort() { return m_stack->GetLocalRTCPPort(); }
void ZQMRTPStackModule::SetLocalRTCPPort(const char* port) { m_stack->SetLocalRTCPPort(port); }
const char* ZQMRTPStackModule::GetRemoteRTPPort() { return m_stack->GetRemoteRTPPort(); }
void ZQMRTPStackModule::SetRemoteRTPPort(const char* port) { m_stack->SetRemoteRTPPort(port); }
const char* ZQMRTPStackModule::GetRemoteRTCPPort() { return m_stack->GetRemoteRTCPPort(); }
void ZQMRTPStackModule::SetRemoteRTCPPort(const char* port) { m_stack->SetRemoteRTCPPort(port); }
int ZQMRTPStackModule::GetStackDirection() { return m_isOutput; }
bool ZQMRTPStackModule::EnableMediaType(int32_t mediaType) { return m_stack->EnableMediaType(mediaType); }
bool ZQMRTPStackModule::AddMediaType(int32_t mediaType, uint8_t payloadType)
{
    return m_stack->AddMediaType(mediaType, payloadType);
}
bool ZQMRTPStackModule::RemoveMediaType(int32_t mediaType) { return m_stack->RemoveMediaType(mediaType); }
void ZQMRTPStackModule::RemoveAllMediaTypes() { m_stack->RemoveAllMediaTypes(); }
bool ZQMRTPStackModule::IsMediaTypeEnabled(int32_t mediaType) { return m_stack->IsMediaTypeEnabled(mediaType); }
bool ZQMRTPStackModule::GetSourceAt(int index, uint32_t* ssrc, bool* isLocal)
{
    return m_stack->GetSourceAt(index, ssrc, isLocal);
}
bool ZQMRTPStackModule::GetSourceIdentifier(int index, uint32_t& ssrc)
{
    return m_stack->GetSourceIdentifier(index, ssrc);
}
const char* ZQMRTPStackModule::GetSourceCNAME(uint32_t ssrc, bool isLocal)
{
    return m_stack->GetSourceCNAME(ssrc, isLocal);
}
void ZQMRTPStackModule::SetUseLipSync(bool use) { m_stack->SetUseLipSync(use); }
bool ZQMRTPStackModule::GetUseLipSync() { return m_stack->GetUseLipSync(); }
void ZQMRTPStackModule::SetMulticastTTL(uint32_t ttl) { m_stack->SetMulticastTTL(ttl); }
void ZQMRTPStackModule::SetIPTOS(uint32_t tos) { m_stack->SetIPTOS(tos); }
void ZQMRTPStackModule::SetSocketBufferSize(uint32_t bytes) { m_stack->SetSocketBufferSize(bytes); }
void ZQMRTPStackModule::SetFIRCallback(const ZQMFIRCallback* callback) { m_stack->SetFIRCallback(callback); }
void ZQMRTPStackModule::SetCNAME(const char* cname) { m_stack->SetCNAME(cname); }
void ZQMRTPStackModule::SetAutoSequenceNumbers(bool on) { m_stack->SetAutoSequenceNumbers(on); }
bool ZQMRTPStackModule::GetAutoSequenceNumbers() { return m_stack->GetAutoSequenceNumbers(); }
void ZQMRTPStackModule::SetRTPwindow(uint32_t size) { m_stack->SetRTPwindow(size); }
uint16_t ZQMRTPStackModule::GetRTPwindow() { return m_stack->GetRTPwindow(); }
void ZQMRTPStackModule::SetDataDisabled(uint32_t disabled) { m_stack->SetDataDisabled(disabled); }
uint32_t ZQMRTPStackModule::GetDataDisabled() { return m_stack->GetDataDisabled(); }
void ZQMRTPStackModule::SetBindRTCPToLocalPort(uint32_t bind) { m_stack->SetBindRTCPToLocalPort(bind); }
uint32_t ZQMRTPStackModule::GetBindRTCPToLocalPort() { return m_stack->GetBindRTCPToLocalPort(); }
void ZQMRTPStackModule::SetRTCPEnabled(uint32_t enabled) { m_rtcpEnabled.store(enabled, std::memory_order_relaxed); }
uint32_t ZQMRTPStackModule::GetRTCPEnabled() { return m_rtcpEnabled.load(std::memory_order_relaxed); }
bool ZQMRTPStackModule::SendFIR() { return m_stack->SendFIR(); }

// ZQIRTPStackStatistics
bool ZQMRTPStackModule::IsLocalSource(uint32_t ssrc) { return m_stack->IsLocalSource(ssrc); }
bool ZQMRTPStackModule::GetStatistics(uint32_t ssrc, bool isLocal, uint32_t* payloadBitRate, uint32_t* wireBitRate,
                                      uint32_t* packetCount, uint32_t* octetCount, uint32_t* fractionLostPercent,
                                      uint32_t* cumulativeLost, float* jitterMs, uint32_t* rrCount,
                                      uint32_t* roundTripTimeMs)
{
    return m_stack->GetStatistics(ssrc, isLocal, payloadBitRate, wireBitRate, packetCount, octetCount,
                                  fractionLostPercent, cumulativeLost, jitterMs, rrCount, roundTripTimeMs);
}
bool ZQMRTPStackModule::GetSimulatePacketLoss(uint32_t ssrc, bool isLocal)
{
    return m_stack->GetSimulatePacketLoss(ssrc, isLocal);
}
uint32_t ZQMRTPStackModule::GetPacketLossPercent(uint32_t ssrc, bool isLocal)
{
    return m_stack->GetPacketLossPercent(ssrc, isLocal);
}
bool ZQMRTPStackModule::SetSimulatePacketLoss(uint32_t ssrc, bool isLocal, bool on)
{
    return m_stack->SetSimulatePacketLoss(ssrc, isLocal, on);
}
bool ZQMRTPStackModule::SetPacketLossPercent(uint32_t ssrc, bool isLocal, uint32_t percent)
{
    return m_stack->SetPacketLossPercent(ssrc, isLocal, percent);
}
bool ZQMRTPStackModule::GetGenerateJitter(uint32_t ssrc, bool isLocal)
{
    return m_stack->GetGenerateJitter(ssrc, isLocal);
}
uint32_t ZQMRTPStackModule::GetMaxJitter(uint32_t ssrc, bool isLocal) { return m_stack->GetMaxJitter(ssrc, isLocal); }
bool ZQMRTPStackModule::SetGenerateJitter(uint32_t ssrc, bool isLocal, bool on)
{
    return m_stack->SetGenerateJitter(ssrc, isLocal, on);
}
bool ZQMRTPStackModule::SetMaxJitter(uint32_t ssrc, bool isLocal, uint32_t maxJitterMs)
{
    return m_stack->SetMaxJitter(ssrc, isLocal, maxJitterMs);
}
// The figure lives in the source, whichever stack owns it.
bool ZQMRTPStackModule::GetUnreachableSends(uint32_t ssrc, bool isLocal, uint32_t* unreachableSends)
{
    return ZQMOutputRTPStack::GetUnreachableSends(ssrc, isLocal, unreachableSends);
}
// Remote sources are the receiving stack's, whichever module asks.
bool ZQMRTPStackModule::GetReceptionStatistics(uint32_t ssrc, bool isLocal, uint32_t* packetsReceived,
                                               uint32_t* payloadOctetsReceived, uint32_t* packetsExpected,
                                               int32_t* packetsLost, uint32_t* lateOrDuplicatePackets,
                                               float* jitterMs)
{
    ZQMInputRTPStack::Reception reception;
    if (!ZQMInputRTPStack::GetReceptionStatistics(ssrc, isLocal, &reception)) {
        return false;
    }
    put(packetsReceived, reception.figures.received);
    put(payloadOctetsReceived, reception.figures.payloadOctets);
    put(packetsExpected, reception.figures.expected);
    put(packetsLost, reception.figures.Lost());
    put(lateOrDuplicatePackets, reception.lateOrDuplicate);
    put(jitterMs, reception.jitterMs);
    return true;
}

bool ZQMRTPStackModule::SetSRTP(const char* suite, const char* sendKey, const char* receiveKey, int* refused)
{
    return m_stack->SetSRTP(suite, sendKey, receiveKey, refused);
}

const char* ZQMRTPStackModule::GetSRTPSuite() { return m_stack->GetSRTPSuite(); }

const char* ZQMRTPStackModule::GetSRTPSendKey() { return m_stack->GetSRTPSendKey(); }

const char* ZQMRTPStackModule::GetSRTPReceiveKey() { return m_stack->GetSRTPReceiveKey(); }

bool ZQMRTPStackModule::GetSRTPStatistics(uint32_t* rtpAuthenticationFailures, uint32_t* rtpReplays,
                                          uint32_t* rtcpAuthenticationFailures, uint32_t* rtcpReplays)
{
    zqm::srtp::ReceiveCounters counters;
    if (!m_stack->GetSRTPCounters(&counters)) {
        return false;
    }
    put(rtpAuthenticationFailures, counters.rtpAuthenticationFailures);
    put(rtpReplays, counters.rtpReplays);
    put(rtcpAuthenticationFailures, counters.rtcpAuthenticationFailures);
    put(rtcpReplays, counters.rtcpReplays);
    return true;
}

void ZQMRTPStackModule::SetSharedIO(uint32_t on) { m_stack->SetSharedIO(on); }

uint32_t ZQMRTPStackModule::GetSharedIO() { return m_stack->GetSharedIO(); }

bool ZQMRTPStackModule::GetPoolEmptyDrops(uint32_t* drops)
{
    return putReceivingCounter(m_stack, m_isOutput, drops,
                               [](ZQMInputRTPStack& stack) { return stack.GetPoolEmptyDrops(); });
}

bool ZQMRTPStackModule::SetRTCPMux(int on) { return m_stack->SetRTCPMux(on); }

int ZQMRTPStackModule::GetRTCPMux() { return m_stack->GetRTCPMux(); }

bool ZQMRTPStackModule::GetRTCPOnRTPPort(uint32_t* compounds)
{
    return putReceivingCounter(m_stack, m_isOutput, compounds,
                               [](ZQMInputRTPStack& stack) { return stack.GetRTCPOnRTPPort(); });
}
