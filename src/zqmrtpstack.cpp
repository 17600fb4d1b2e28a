#include "zqmrtpstack.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#include "zqclockmng.h"
#include "zqcrandom.h"
#include "zqcsocket.h"
#include "zqfmediatype.h"
#include "zqfmodule.h"
#include "zqfnotify.h"
#include "zqfpin.h"
#include "zqmlog.h"
#include "zqmrtpmediatypes.h"
#include "zqmrtpsource.h"

namespace {

const char* const kLogPath = "zqmrtpstack";

using StackLock = ZQCLockMng<ZQCCriticalSection>;

// The CNAME's tag: one random number for the whole process, so that every
// stack of one endpoint shares a CNAME (a receiver ties their streams
// together for lip sync) and two processes on one host never do.
uint32_t ProcessCNAMETag()
{
    static const uint32_t tag = ZQCRandom::Draw32();
    return tag;
}

}  // namespace

ZQMRTPStack::ZQMRTPStack(ZQFModule* owner) : m_ownerModule(owner)
{
    try {
        ZQCSocket probe;
        if (probe.GetLocalIpAddress(m_localIPAddress, kTextFieldBytes) < 0) {
            m_localIPAddress[0] = '\0';
        }
        CreateLocalSource();
    } catch (...) {
        ZQM_LOG(ZQF_LOG_ERROR, "<--ZQMRTPStack-->ZQMRTPStack creation error.");
    }
}

void ZQMRTPStack::CreateLocalSource()
{
    {
        zqm::SourceListsLock lists;  // the draw and the listing in one step
        m_localSource = new ZQMRTPSource(this, zqm::DrawUnusedSSRC(), 0, true);
    }
    char decimal[16];
    std::snprintf(decimal, sizeof decimal, "%u", ProcessCNAMETag());
    std::string cname;
    if (std::strlen(m_localIPAddress) + std::strlen(decimal) + 1 < kTextFieldBytes) {
        cname = std::string(m_localIPAddress) + "-" + decimal;
    }
    SetCNAME(cname.c_str());
}

uint32_t ZQMRTPStack::ReplaceLocalSSRC()
{
    zqm::SourceListsLock lists;
    ZQMRTPSourceList& localList = zqm::LocalSourceList();
    const uint32_t old = m_localSource->m_ssrc;
    const auto entry = localList.find(old);
    if (entry == localList.end() || entry->second != m_localSource) {
        ZQM_LOG(ZQF_LOG_INFO, "Cannot delete source from local source list.");
    } else {
        localList.erase(entry);
    }
    m_localSource->m_ssrc = zqm::DrawUnusedSSRC();
    localList.emplace(m_localSource->m_ssrc, m_localSource);
    ZQM_LOG(ZQF_LOG_WARNING, "<--RTPStack--> SSRC collision: the local source leaves SSRC 0x%x for 0x%x", old,
            m_localSource->m_ssrc);
    return old;
}

ZQMRTPStack::~ZQMRTPStack()
{
    delete m_localSource;
    m_localSource = nullptr;
}

void ZQMRTPStack::SetDefaultNetworkParameters()
{
    for (char* field : {m_remoteRTPAddress, m_remoteRTCPAddress, m_localRTPPort, m_localRTCPPort, m_remoteRTPPort,
                        m_remoteRTCPPort}) {
        CopyText(field, "");
    }
    SetLocalRTPPort("8000");
    SetLocalRTCPPort("8001");
    SetRemoteRTPPort("8000");
    SetRemoteRTCPPort("8001");
    SetRemoteRTPAddress(GetLocalIPAddress());
    SetRemoteRTCPAddress(GetLocalIPAddress());
}

void ZQMRTPStack::CopyText(char* field, const char* text)
{
    // At most 255 characters and a zero; `text` may be the field itself.
    char copy[kTextFieldBytes] = {};
    if (text != nullptr) {
        std::memcpy(copy, text, strnlen(text, kTextFieldBytes - 1));
    }
    std::memcpy(field, copy, kTextFieldBytes);
}

bool ZQMRTPStack::RemoveSource(uint32_t) { return false; }

void ZQMRTPStack::ComputeLipSync(ZQMRTPSource*) {}

const char* ZQMRTPStack::GetRemoteRTPAddress()
{
    StackLock lock(m_stackLock, -1);
    return m_remoteRTPAddress;
}

const char* ZQMRTPStack::GetRemoteRTCPAddress()
{
    StackLock lock(m_stackLock, -1);
    return m_remoteRTCPAddress;
}

void ZQMRTPStack::SetRemoteRTPAddress(const char* address)
{
    StackLock lock(m_stackLock, -1);
    CopyText(m_remoteRTPAddress, address);
}

void ZQMRTPStack::SetRemoteRTCPAddress(const char* address)
{
    StackLock lock(m_stackLock, -1);
    CopyText(m_remoteRTCPAddress, address);
}

const char* ZQMRTPStack::GetLocalRTPPort()
{
    StackLock lock(m_stackLock, -1);
    return m_localRTPPort;
}

void ZQMRTPStack::SetLocalRTPPort(const char* port)
{
    StackLock lock(m_stackLock, -1);
    CopyText(m_localRTPPort, port);
}

const char* ZQMRTPStack::GetLocalRTCPPort()
{
    StackLock lock(m_stackLock, -1);
    return m_localRTCPPort;
}

void ZQMRTPStack::SetLocalRTCPPort(const char* port)
{
    StackLock lock(m_stackLock, -1);
    CopyText(m_localRTCPPort, port);
}

const char* ZQMRTPStack::GetRemoteRTPPort()
{
    StackLock lock(m_stackLock, -1);
    return m_remoteRTPPort;
}

void ZQMRTPStack::SetRemoteRTPPort(const char* port)
{
    StackLock lock(m_stackLock, -1);
    CopyText(m_remoteRTPPort, port);
}

const char* ZQMRTPStack::GetRemoteRTCPPort()
{
    StackLock lock(m_stackLock, -1);
    return m_remoteRTCPPort;
}

void ZQMRTPStack::SetRemoteRTCPPort(const char* port)
{
    StackLock lock(m_stackLock, -1);
    CopyText(m_remoteRTCPPort, port);
}

bool ZQMRTPStack::OnStop() { return true; }

bool ZQMRTPStack::OnBeginFlush() { return true; }

bool ZQMRTPStack::OnEndFlush() { return true; }

bool ZQMRTPStack::OnNotify(ZQFNotifyInfo*) { return true; }

bool ZQMRTPStack::EnableMediaType(int32_t mediaType)
{
    return AddMediaType(mediaType, zqm::DefaultPayloadType(mediaType));
}

bool ZQMRTPStack::AddMediaType(int32_t mediaType, uint8_t payloadType)
{
    StackLock lock(m_stackLock, -1);
    if (payloadType < zqm::kNoPayloadType) {
        ZQM_LOG(ZQF_LOG_WARNING, "[ZQMRTPStack::AddMediaType] payloadType already set to = %d",
                static_cast<int8_t>(payloadType));
    } else {
        payloadType = zqm::DefaultPayloadType(mediaType);
        if (payloadType == zqm::kNoPayloadType) {
            ZQM_LOG(ZQF_LOG_WARNING, "<--ZQMRTPStack-->Failed to add media type.");
            return false;
        }
        ZQM_LOG(ZQF_LOG_WARNING, "[ZQMRTPStack::AddMediaType] Default payload type set to = %d ",
                static_cast<int8_t>(payloadType));
    }
    if (payloadType == 72 || payloadType == 73) {
        ZQM_LOG(ZQF_LOG_WARNING,
                "<--ZQMRTPStack-->AddMediaType failure cannot add this payloadtype, reserved value 72 or 73 is used.");
        return false;
    }
    if (RefusedUnderRTCPMux(payloadType)) {
        return false;
    }
    const auto existing = m_forwardPayloadTable.find(mediaType);
    if (existing != m_forwardPayloadTable.end()) {
        if (existing->second == payloadType) {
            ZQM_LOG(ZQF_LOG_WARNING,
                    "<--ZQMRTPStack-->AddMediaType warning mediaType already present in list ... replacing it.");
            return false;
        }
        ZQM_LOG(ZQF_LOG_WARNING,
                "<--ZQMRTPStack-->AddMediaType warning mediaType already present in list but with a different "
                "payloadtype... replacing it.");
        // The old payload type no longer stands for this media type.
        const auto oldReverse = m_reversePayloadTable.find(static_cast<int8_t>(existing->second));
        if (oldReverse != m_reversePayloadTable.end() && oldReverse->second == mediaType) {
            m_reversePayloadTable.erase(oldReverse);
        }
        m_forwardPayloadTable.erase(existing);
        m_reversePayloadTable.erase(static_cast<int8_t>(payloadType));
    }
    m_forwardPayloadTable.emplace(mediaType, payloadType);
    m_reversePayloadTable.emplace(static_cast<int8_t>(payloadType), mediaType);
    NotifyMediaTypesChanged();
    return true;
}

bool ZQMRTPStack::RemoveMediaType(int32_t mediaType)
{
    StackLock lock(m_stackLock, -1);
    const auto entry = m_forwardPayloadTable.find(mediaType);
    if (entry == m_forwardPayloadTable.end()) {
        ZQM_LOG(ZQF_LOG_WARNING, "<--ZQMRTPStack-->RemoveMediaType warning mediaType absent from list.");
        return false;
    }
    m_reversePayloadTable.erase(static_cast<int8_t>(entry->second));
    m_forwardPayloadTable.erase(entry);
    NotifyMediaTypesChanged();
    return true;
}

void ZQMRTPStack::RemoveAllMediaTypes()
{
    StackLock lock(m_stackLock, -1);
    m_forwardPayloadTable.clear();
    m_reversePayloadTable.clear();
}

void ZQMRTPStack::NotifyMediaTypesChanged()
{
    if (m_ownerModule == nullptr) {
        return;
    }
    ZQFPinOut* pin = m_ownerModule->GetOutputPin(0);
    if (pin == nullptr) {
        return;
    }
    ZQFNotifyInfo info;
    info.code = NOTIFY_MEDIATYPES_CHANGED;
    info.param = 0;
    info.sender = m_ownerModule;
    pin->PassForwardNotify(&info);
}

bool ZQMRTPStack::GetSourceAt(int index, uint32_t* ssrc, bool* isLocal)
{
    return ZQMRTPSource::GetSourceAt(index, ssrc, isLocal);
}

const char* ZQMRTPStack::GetSourceCNAME(uint32_t ssrc, bool isLocal)
{
    return ZQMRTPSource::GetSourceCNAME(ssrc, isLocal);
}

void ZQMRTPStack::SetUseLipSync(bool) {}

bool ZQMRTPStack::GetUseLipSync() { return false; }

void ZQMRTPStack::SetMulticastTTL(uint32_t ttl) { m_multicastTTL.store(ttl, std::memory_order_relaxed); }

void ZQMRTPStack::SetIPTOS(uint32_t tos) { m_ipTOS.store(tos, std::memory_order_relaxed); }

void ZQMRTPStack::SetCNAME(const char* cname)
{
    try {
        StackLock lock(m_stackLock, -1);
        if (m_localSource == nullptr) {
            ZQM_THROW("<--RTPStack-->SetCNAME failure: no local source.");
        }
        m_localSource->StoreCNAME(cname);
    } catch (...) {
        ZQM_LOG(ZQF_LOG_ERROR, "<--RTPStack-->SetCNAME failure error throwed.");
    }
}

void ZQMRTPStack::SetAutoSequenceNumbers(bool) {}

bool ZQMRTPStack::GetAutoSequenceNumbers() { return true; }

void ZQMRTPStack::SetRTPwindow(uint32_t) {}

uint16_t ZQMRTPStack::GetRTPwindow() { return 0; }

void ZQMRTPStack::SetSocketBufferSize(uint32_t bytes)
{
    m_socketBufferSize.store(bytes, std::memory_order_relaxed);
}

uint32_t ZQMRTPStack::GetSocketBufferSize() { return m_socketBufferSize.load(std::memory_order_relaxed); }

void ZQMRTPStack::SetFIRCallback(const ZQMFIRCallback* callback)
{
    if (callback != nullptr) {
        std::lock_guard<std::mutex> lock(m_firCallbackMutex);
        m_firCallback = *callback;
    }
}

void ZQMRTPStack::SetDataDisabled(uint32_t disabled) { m_dataDisabled.store(disabled, std::memory_order_relaxed); }

uint32_t ZQMRTPStack::GetDataDisabled() { return m_dataDisabled.load(std::memory_order_relaxed); }

void ZQMRTPStack::SetBindRTCPToLocalPort(uint32_t bind)
{
    m_bindRTCPToLocalPort.store(bind, std::memory_order_relaxed);
}

uint32_t ZQMRTPStack::GetBindRTCPToLocalPort() { return m_bindRTCPToLocalPort.load(std::memory_order_relaxed); }

bool ZQMRTPStack::GetStatistics(uint32_t ssrc, bool isLocal, uint32_t* payloadBitRate, uint32_t* wireBitRate,
                                uint32_t* packetCount, uint32_t* octetCount, uint32_t* fractionLostPercent,
                                uint32_t* cumulativeLost, float* jitterMs, uint32_t* rrCount,
                                uint32_t* roundTripTimeMs)
{
    return ZQMRTPSource::GetStatistics(ssrc, isLocal, payloadBitRate, wireBitRate, packetCount, octetCount,
                                       fractionLostPercent, cumulativeLost, jitterMs, rrCount, roundTripTimeMs);
}

bool ZQMRTPStack::GetSimulatePacketLoss(uint32_t ssrc, bool isLocal)
{
    return ZQMRTPSource::GetSimulatePacketLoss(ssrc, isLocal);
}

uint32_t ZQMRTPStack::GetPacketLossPercent(uint32_t ssrc, bool isLocal)
{
    return ZQMRTPSource::GetPacketLossPercent(ssrc, isLocal);
}

bool ZQMRTPStack::SetSimulatePacketLoss(uint32_t ssrc, bool isLocal, bool on)
{
    return ZQMRTPSource::SetSimulatePacketLoss(ssrc, isLocal, on);
}

bool ZQMRTPStack::SetPacketLossPercent(uint32_t ssrc, bool isLocal, uint32_t percent)
{
    return ZQMRTPSource::SetPacketLossPercent(ssrc, isLocal, percent);
}

bool ZQMRTPStack::SetGenerateJitter(uint32_t ssrc, bool isLocal, bool on)
{
    return ZQMRTPSource::SetGenerateJitter(ssrc, isLocal, on);
}

bool ZQMRTPStack::SetMaxJitter(uint32_t ssrc, bool isLocal, uint32_t maxJitterMs)
{
    return ZQMRTPSource::SetMaxJitter(ssrc, isLocal, maxJitterMs);
}

bool ZQMRTPStack::GetGenerateJitter(uint32_t ssrc, bool isLocal)
{
    return ZQMRTPSource::GetGenerateJitter(ssrc, isLocal);
}

uint32_t ZQMRTPStack::GetMaxJitter(uint32_t ssrc, bool isLocal) { return ZQMRTPSource::GetMaxJitter(ssrc, isLocal); }

bool ZQMRTPStack::SendFIR() { return false; }

const char* ZQMRTPStack::GetLocalIPAddress() { return m_localIPAddress; }

void ZQMRTPStack::SetLocalIPAddress(const char* address) { CopyText(m_localIPAddress, address); }

bool ZQMRTPStack::IsMediaTypeEnabled(int32_t mediaType)
{
    StackLock lock(m_stackLock, -1);
    return m_forwardPayloadTable.count(mediaType) != 0;
}

uint32_t ZQMRTPStack::GetMediaTypeCount()
{
    StackLock lock(m_stackLock, -1);
    return static_cast<uint32_t>(m_forwardPayloadTable.size());
}

bool ZQMRTPStack::GetMediaTypeAt(int index, ZQFMediaType* type, ZQFFormatBuffer** format)
{
    if (format != nullptr) {
        *format = nullptr;
    }
    StackLock lock(m_stackLock, -1);
    if (index < 0 || static_cast<size_t>(index) >= m_forwardPayloadTable.size()) {
        return false;
    }
    auto entry = m_forwardPayloadTable.begin();
    std::advance(entry, index);
    int mainType = 0;
    if (!zqm::StackMainType(entry->first, &mainType)) {
        return false;
    }
    if (type != nullptr) {
        type->SetMainType(mainType);
        type->SetSubType(entry->first);
    }
    return true;
}

int8_t ZQMRTPStack::GetPayloadType(int32_t mediaType)
{
    const auto entry = m_forwardPayloadTable.find(mediaType);
    return entry == m_forwardPayloadTable.end() ? static_cast<int8_t>(-1) : static_cast<int8_t>(entry->second);
}

int32_t ZQMRTPStack::GetMediaType(uint8_t payloadType)
{
    const auto entry = m_reversePayloadTable.find(static_cast<int8_t>(payloadType));
    if (entry == m_reversePayloadTable.end()) {
        ZQM_LOG(ZQF_LOG_WARNING, "GetMediaType, Failed to retreive mediatype (invalid payload type: %d)",
                static_cast<int8_t>(payloadType));
        return -1;
    }
    return entry->second;
}

bool ZQMRTPStack::IsLocalSource(uint32_t ssrc)
{
    StackLock lock(m_stackLock, -1);
    if (m_localSource != nullptr && m_localSource->m_ssrc == ssrc) {
        return true;
    }
    ZQM_LOG(ZQF_LOG_WARNING, "<--RTPStack-->IsLocalSource with invalid ssrc.");
    return false;
}
