#include "zqfmodule.h"

#include <algorithm>

#include "zqfdebuglog.h"
#include "zqfmodulestatspropage.h"
#include "zqfpin.h"
#include "zqfpropertypage.h"
#include "zqfthread.h"

namespace {

const char kLogPath[] = "zqframework\\zqfmodule";

// A graph is acyclic; a notification that travels deeper than this went round
// in a circle (or the graph is absurd) and is dropped.
constexpr int kMaxNotifyDepth = 64;

std::atomic<uint32_t> g_nextInstanceId{1};

// Counts the nesting of notifications on this thread for as long as it lives.
class NotifyDepthGuard {
public:
    NotifyDepthGuard() { ++s_depth; }
    ~NotifyDepthGuard() { --s_depth; }
    NotifyDepthGuard(const NotifyDepthGuard&) = delete;
    NotifyDepthGuard& operator=(const NotifyDepthGuard&) = delete;
    bool TooDeep() const { return s_depth > kMaxNotifyDepth; }

private:
    static thread_local int s_depth;
};

thread_local int NotifyDepthGuard::s_depth = 0;

template <typename Item>
Item* ItemAt(const std::vector<Item*>& items, int index)
{
    return index >= 0 && static_cast<size_t>(index) < items.size() ? items[static_cast<size_t>(index)] : nullptr;
}

template <typename Pin>
int IndexIn(const std::vector<Pin*>& pins, const ZQFPin* pin)
{
    const auto it = std::find(pins.begin(), pins.end(), pin);
    return it == pins.end() ? -1 : static_cast<int>(it - pins.begin());
}

}  // namespace

ZQFModule::ZQFModule(const ZQFID& id, const char* name)
    : m_id(id), m_instanceId(g_nextInstanceId.fetch_add(1, std::memory_order_relaxed))
{
    SetName(name);
}

ZQFModule::~ZQFModule()
{
    // Disconnecting calls OnDisconnect; on this module it reaches the base
    // hooks only, the derived part is gone by now.
    for (ZQFPinOut* pin : m_outputs) {
        ZQFDisconnectPins(pin);
    }
    for (ZQFPinIn* pin : m_inputs) {
        ZQFDisconnectPins(static_cast<ZQFPinOut*>(pin->GetPeerPin()));
    }
    for (ZQFPinOut* pin : m_outputs) {
        delete pin;
    }
    for (ZQFPinIn* pin : m_inputs) {
        delete pin;
    }
    {
        std::lock_guard<std::mutex> lock(m_threadsMutex);
        for (ZQFThread* thread : m_threads) {
            thread->SetRegistrar(nullptr);
        }
        m_threads.clear();
    }
    delete m_sheet;
    delete m_statsPage;
}

// ---------------------------------------------------------------- notifications

bool ZQFModule::ProcessForwardNotify(ZQFNotifyInfo* info)
{
    NotifyDepthGuard depth;
    if (info == nullptr || depth.TooDeep()) {
        DebugLog(kLogPath, __LINE__, ZQF_LOG_ERROR, "ZQFModule::ProcessForwardNotify %s: notify dropped", GetName());
        return false;
    }
    if (OnNotify(info)) {
        return true;
    }
    // By index: a hook may add or remove output pins on the way.
    bool consumed = false;
    for (size_t i = 0; i < m_outputs.size(); ++i) {
        consumed = m_outputs[i]->PassForwardNotify(info) || consumed;
    }
    return consumed;
}

bool ZQFModule::ProcessReverseNotify(ZQFNotifyInfo* info)
{
    NotifyDepthGuard depth;
    if (info == nullptr || depth.TooDeep()) {
        DebugLog(kLogPath, __LINE__, ZQF_LOG_ERROR, "ZQFModule::ProcessReverseNotify %s: notify dropped", GetName());
        return false;
    }
    if (OnReverseNotify(info)) {
        return true;
    }
    bool taken = false;
    for (size_t i = 0; i < m_inputs.size(); ++i) {
        taken = m_inputs[i]->PassReverseNotify(info) || taken;
    }
    return taken;
}

// ---------------------------------------------------------------- default hooks

bool ZQFModule::OnProcessMediaSample(ZQFMediaSample* /*sample*/, int /*value*/) { return true; }
bool ZQFModule::OnNotify(ZQFNotifyInfo* /*info*/) { return true; }
bool ZQFModule::OnReverseNotify(ZQFNotifyInfo* /*info*/) { return false; }
bool ZQFModule::OnStart() { return true; }
bool ZQFModule::OnStop() { return true; }
bool ZQFModule::OnPause() { return true; }
bool ZQFModule::SaveSettings(CXMLNode* /*parent*/) { return true; }
bool ZQFModule::LoadSettings(CXMLNode* /*node*/) { return true; }
bool ZQFModule::OnBeginFlush() { return true; }
bool ZQFModule::OnEndFlush() { return true; }
bool ZQFModule::OnConnect(int /*pinIndex*/, bool /*flag*/) { return true; }
bool ZQFModule::OnDisconnect(int /*pinIndex*/, bool /*flag*/) { return true; }
bool ZQFModule::OnSystemCallbackResponse(int /*code*/, void* /*data*/) { return true; }

// ---------------------------------------------------------------- ZQIModule

bool ZQFModule::IsRenderModule() const { return m_outputs.empty(); }
bool ZQFModule::IsSourceModule() const { return m_inputs.empty(); }
int ZQFModule::GetInputPinCount() const { return static_cast<int>(m_inputs.size()); }
int ZQFModule::GetOutputPinCount() const { return static_cast<int>(m_outputs.size()); }
ZQIPin* ZQFModule::GetInputPinInterface(int index) const { return ItemAt(m_inputs, index); }
ZQIPin* ZQFModule::GetOutputPinInterface(int index) const { return ItemAt(m_outputs, index); }

bool ZQFModule::QueryInterface(const ZQFID& /*id*/, void** out)
{
    if (out != nullptr) {
        *out = nullptr;
    }
    return false;
}

// ---------------------------------------------------------------- ZQIModuleStats

int ZQFModule::GetThreadCount() const
{
    std::lock_guard<std::mutex> lock(m_threadsMutex);
    return static_cast<int>(m_threads.size());
}

bool ZQFModule::GetThreadInfo(int index, ZQFThreadInfo* info) const
{
    std::lock_guard<std::mutex> lock(m_threadsMutex);
    const ZQFThread* thread = ItemAt(m_threads, index);
    if (thread == nullptr || info == nullptr) {
        return false;
    }
    info->name = thread->GetThreadName();
    info->running = thread->IsThreadRunning();
    info->priority = thread->GetPriority();
    return true;
}

// ---------------------------------------------------------------- pins

int ZQFModule::AddPin(ZQFPin* pin)
{
    // A pin asks its owner for its index, so it can only join that owner.
    if (pin == nullptr || pin->GetModule() != this || IndexOfPin(pin) >= 0) {
        DebugLog(kLogPath, __LINE__, ZQF_LOG_ERROR, "ZQFModule::AddPin %s: pin refused", GetName());
        return -1;
    }
    if (pin->IsInput()) {
        auto* input = dynamic_cast<ZQFPinIn*>(pin);
        if (input == nullptr) {
            return -1;
        }
        m_inputs.push_back(input);
        return static_cast<int>(m_inputs.size()) - 1;
    }
    auto* output = dynamic_cast<ZQFPinOut*>(pin);
    if (output == nullptr) {
        return -1;
    }
    m_outputs.push_back(output);
    return static_cast<int>(m_outputs.size()) - 1;
}

ZQFPinIn* ZQFModule::GetInputPin(int index) const { return ItemAt(m_inputs, index); }

ZQFPinOut* ZQFModule::GetOutputPin(int index) const { return ItemAt(m_outputs, index); }

ZQFPinOut* ZQFModule::RemoveOutputPin(int index)
{
    ZQFPinOut* pin = ItemAt(m_outputs, index);
    if (pin == nullptr) {
        return nullptr;
    }
    ZQFDisconnectPins(pin);
    m_outputs.erase(m_outputs.begin() + index);
    // The pin no longer belongs here: its index is -1 from now on.
    pin->DetachFromModule();
    return pin;
}

int ZQFModule::IndexOfPin(const ZQFPin* pin) const
{
    if (pin == nullptr) {
        return -1;
    }
    return pin->IsInput() ? IndexIn(m_inputs, pin) : IndexIn(m_outputs, pin);
}

// ---------------------------------------------------------------- threads

void ZQFModule::RegisterThread(ZQFThread* thread)
{
    if (thread == nullptr) {
        return;
    }
    std::lock_guard<std::mutex> lock(m_threadsMutex);
    if (std::find(m_threads.begin(), m_threads.end(), thread) == m_threads.end()) {
        m_threads.push_back(thread);
    }
    thread->SetRegistrar(this);
}

void ZQFModule::UnregisterThread(ZQFThread* thread)
{
    std::lock_guard<std::mutex> lock(m_threadsMutex);
    const auto it = std::find(m_threads.begin(), m_threads.end(), thread);
    if (it != m_threads.end()) {
        m_threads.erase(it);
        thread->SetRegistrar(nullptr);
    }
}

ZQFPropertySheet* ZQFModule::GetPropertySheet()
{
    if (m_sheet == nullptr) {
        m_sheet = new ZQFPropertySheet();
    }
    return m_sheet;
}

ZQFModuleStatsProPage* ZQFModule::GetModuleStatsPage()
{
    if (m_statsPage == nullptr) {
        m_statsPage = new ZQFModuleStatsProPage(*this);
    }
    return m_statsPage;
}
