#include "dispatcher/zqmrtpdispatchermodule.h"

#include <algorithm>

#include "dispatcher/zqmrtpdispatcherinputpin.h"
#include "dispatcher/zqmrtpdispatcheroutputpin.h"
#include "module/zqmrtpstackids.h"
#include "zqfmediasample.h"
#include "zqfmediatype.h"
#include "zqfnotify.h"
#include "zqfpin.h"
#include "zqmlog.h"

namespace {

const char* const kLogPath = "dispatcher\\zqmrtpdispatchermodule";

constexpr int kDispatcherCategory = 13;

// The two text forms travel on one pin.
constexpr int32_t kT140 = 0x100003;
constexpr int32_t kT140Redundant = 0x100004;

int32_t TextPartnerOf(int32_t mediaType)
{
    if (mediaType == kT140) {
        return kT140Redundant;
    }
    return mediaType == kT140Redundant ? kT140 : 0;
}

// Main types that get an output pin: audio, video, the data form and text.
bool GetsAPin(int mainType) { return mainType == 1 || mainType == 2 || mainType == 5 || mainType == 3; }

}  // namespace

ZQMRTPDispatcherModule::ZQMRTPDispatcherModule() : ZQFModule(ZQMID_RTPDispatcher, "ZQMRTPDispatcherModule")
{
    AddPin(new ZQMRTPDispatcherInputPin(this, "RTPDispatcherInputPin"));
    SetCategory(kDispatcherCategory);
}

ZQMRTPDispatcherModule::~ZQMRTPDispatcherModule()
{
    // The pins themselves belong to the module base, which disposes of them.
    std::lock_guard<std::recursive_mutex> lock(m_tableMutex);
    m_pinTable.clear();
}

bool ZQMRTPDispatcherModule::OnProcessMediaSample(ZQFMediaSample* sample, int)
{
    std::lock_guard<std::recursive_mutex> lock(m_tableMutex);
    const auto entry = m_pinTable.find(sample->GetMediaType()->GetSubType());
    if (entry == m_pinTable.end() || entry->second == nullptr) {
        return false;
    }
    ZQFPinOut* pin = GetOutputPin(entry->second->GetPinIndex());
    if (pin == nullptr) {
        return false;
    }
    // Our own reference travels downstream; the one we were handed stays
    // with our input pin. A refusal gives ours back.
    sample->AddRef();
    if (!pin->Deliver(sample)) {
        sample->Recycle();
        return false;
    }
    return true;
}

bool ZQMRTPDispatcherModule::OnNotify(ZQFNotifyInfo* info)
{
    if (info != nullptr && info->code == NOTIFY_MEDIATYPES_CHANGED) {
        OnConnect(0, false);
        return true;
    }
    return false;
}

bool ZQMRTPDispatcherModule::OnReverseNotify(ZQFNotifyInfo*) { return false; }
bool ZQMRTPDispatcherModule::OnStart() { return true; }
bool ZQMRTPDispatcherModule::OnStop() { return true; }
bool ZQMRTPDispatcherModule::OnPause() { return true; }
bool ZQMRTPDispatcherModule::SaveSettings(CXMLNode*) { return true; }
bool ZQMRTPDispatcherModule::LoadSettings(CXMLNode*) { return true; }
bool ZQMRTPDispatcherModule::OnBeginFlush() { return true; }
bool ZQMRTPDispatcherModule::OnEndFlush() { return true; }
bool ZQMRTPDispatcherModule::OnDisconnect(int, bool) { return true; }

bool ZQMRTPDispatcherModule::OnConnect(int pinIndex, bool flag)
{
    if (flag) {
        ZQFNotifyInfo info;
        info.code = NOTIFY_SUPPORT_PAYLOAD;
        info.param = 1;
        info.sender = this;
        ZQFPinOut* pin = GetOutputPin(pinIndex);
        if (pin != nullptr) {
            pin->PassForwardNotify(&info);
        } else {
            ZQM_LOG(ZQF_LOG_ERROR, "OnConnect Failed to send notify message : outputPin not found.");
        }
    }
    ZQFPinIn* input = GetInputPin(0);
    if (input == nullptr || input->GetPeerPin() == nullptr) {
        return false;
    }
    // Asked before the table is locked: upstream answers under its own lock.
    const std::vector<int32_t> offered = OfferedMediaTypes();

    std::lock_guard<std::recursive_mutex> lock(m_tableMutex);
    for (int32_t mediaType : offered) {
        AddOutputPinLocked(mediaType);
    }
    for (auto entry = m_pinTable.begin(); entry != m_pinTable.end();) {
        if (std::find(offered.begin(), offered.end(), entry->first) == offered.end()) {
            RemoveOutputPinLocked(entry->first);
            entry = m_pinTable.begin();
        } else {
            ++entry;
        }
    }
    return true;
}

std::vector<int32_t> ZQMRTPDispatcherModule::OfferedMediaTypes()
{
    std::vector<int32_t> offered;
    ZQFPinIn* input = GetInputPin(0);
    ZQFPin* peer = input ? input->GetPeerPin() : nullptr;
    if (peer == nullptr) {
        return offered;
    }
    ZQFMediaType type;
    ZQFFormatBuffer* format = nullptr;
    for (int index = 0; peer->GetMediaTypeAt(index, &type, &format); ++index) {
        if (GetsAPin(type.GetMainType())) {
            offered.push_back(type.GetSubType());
        }
    }
    return offered;
}

bool ZQMRTPDispatcherModule::AddOutputPin(int32_t mediaType)
{
    std::lock_guard<std::recursive_mutex> lock(m_tableMutex);
    return AddOutputPinLocked(mediaType);
}

bool ZQMRTPDispatcherModule::AddOutputPinLocked(int32_t mediaType)
{
    if (m_pinTable.count(mediaType) != 0) {
        return false;
    }
    const auto partner = m_pinTable.find(TextPartnerOf(mediaType));
    if (partner != m_pinTable.end() && partner->second != nullptr) {
        m_pinTable.emplace(mediaType, partner->second);
        return true;
    }
    auto* pin = new ZQMRTPDispatcherOutputPin(this, "RTPDispatcherOutputPin");
    if (AddPin(pin) < 0) {
        delete pin;
        return false;
    }
    m_pinTable.emplace(mediaType, pin);
    return true;
}

bool ZQMRTPDispatcherModule::RemoveOutputPin(int32_t mediaType)
{
    std::lock_guard<std::recursive_mutex> lock(m_tableMutex);
    return RemoveOutputPinLocked(mediaType);
}

bool ZQMRTPDispatcherModule::RemoveOutputPinLocked(int32_t mediaType)
{
    const auto entry = m_pinTable.find(mediaType);
    if (entry == m_pinTable.end()) {
        return false;
    }
    ZQMRTPDispatcherOutputPin* pin = entry->second;
    m_pinTable.erase(entry);
    const bool stillNamed = std::any_of(m_pinTable.begin(), m_pinTable.end(),
                                        [pin](const auto& other) { return other.second == pin; });
    if (pin != nullptr && !stillNamed) {
        delete ZQFModule::RemoveOutputPin(pin->GetPinIndex());
    }
    return true;
}

void ZQMRTPDispatcherModule::ClearPinTable()
{
    std::lock_guard<std::recursive_mutex> lock(m_tableMutex);
    m_pinTable.clear();
}

bool ZQMRTPDispatcherModule::HasOutputPin(int32_t mediaType)
{
    std::lock_guard<std::recursive_mutex> lock(m_tableMutex);
    return m_pinTable.count(mediaType) != 0;
}

bool ZQMRTPDispatcherModule::FindMediaTypeOfPin(int pinIndex, int32_t* mediaType)
{
    std::lock_guard<std::recursive_mutex> lock(m_tableMutex);
    for (const auto& [key, pin] : m_pinTable) {
        if (pin != nullptr && pin->GetPinIndex() == pinIndex) {
            *mediaType = key;
            return true;
        }
    }
    return false;
}
