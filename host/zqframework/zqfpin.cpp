#include "zqfpin.h"

#include <new>
#include <vector>

#include "zqfdebuglog.h"
#include "zqfmediasample.h"
#include "zqfmodule.h"

namespace {

const char kLogPath[] = "zqframework\\zqfpin";

// A pin that never ends its list must not hang the connection.
constexpr int kMaxMediaTypes = 1024;
// What the framework offers before the pins adjust it.
constexpr ZQFAllocatorConfig kProposedPool{4, 2048};

std::vector<ZQFMediaType> ListMediaTypes(ZQFPin* pin)
{
    std::vector<ZQFMediaType> types;
    for (int i = 0; i < kMaxMediaTypes; ++i) {
        ZQFMediaType type;
        // Pins set the format to null or to one of their own; it is not ours.
        ZQFFormatBuffer* format = nullptr;
        if (!pin->GetMediaTypeAt(i, &type, &format)) {
            break;
        }
        types.push_back(type);
    }
    return types;
}

// Refused only when both sides state types and none of them match.
bool MediaTypesAgree(ZQFPinOut* out, ZQFPinIn* in)
{
    const std::vector<ZQFMediaType> offered = ListMediaTypes(out);
    const std::vector<ZQFMediaType> accepted = ListMediaTypes(in);
    if (offered.empty() || accepted.empty()) {
        return true;
    }
    for (const ZQFMediaType& a : offered) {
        for (const ZQFMediaType& b : accepted) {
            if (a == b) {
                return true;
            }
        }
    }
    return false;
}

// The downstream pin states its wish first; the upstream pin, whose pool it
// is, has the last word.
bool DecidePool(ZQFPinOut* out, ZQFPinIn* in, ZQFAllocatorConfig* config)
{
    *config = kProposedPool;
    if (!in->OnDecideBufferSize(config) || !out->OnDecideBufferSize(config)) {
        return false;
    }
    if (config->count < 0) {
        config->count = 0;
    }
    if (config->size < 0) {
        config->size = 0;
    }
    return true;
}

}  // namespace

// ---------------------------------------------------------------- ZQFPin

ZQFPin::ZQFPin(ZQFModule* owner, const char* name, bool input)
    : m_owner(owner), m_name(name ? name : ""), m_input(input)
{
}

ZQFPin::~ZQFPin()
{
    // Last guard: the module disconnects its pins before deleting them, but a
    // peer must never keep a pointer to a dead pin.
    ZQFPin* peer = m_peer.exchange(nullptr, std::memory_order_acq_rel);
    if (peer != nullptr && peer->GetPeerPin() == this) {
        peer->SetPeer(nullptr);
    }
}

int ZQFPin::GetPinIndex() const { return m_owner ? m_owner->IndexOfPin(this) : -1; }

bool ZQFPin::GetMediaTypeAt(int /*index*/, ZQFMediaType* /*type*/, ZQFFormatBuffer** format)
{
    if (format != nullptr) {
        *format = nullptr;
    }
    return false;
}

bool ZQFPin::OnDecideBufferSize(ZQFAllocatorConfig* /*config*/) { return true; }

bool ZQFPin::OnCheckInputFormat(const ZQFMediaType* /*type*/) { return true; }

// ---------------------------------------------------------------- ZQFPinIn

ZQFPinIn::ZQFPinIn(ZQFModule* owner, const char* name) : ZQFPin(owner, name, true) {}

bool ZQFPinIn::Receive(ZQFMediaSample* sample)
{
    ZQFModule* module = GetModule();
    if (sample == nullptr || module == nullptr) {
        return false;
    }
    const bool taken = module->OnProcessMediaSample(sample, 0);
    if (taken) {
        // The reference handed over is ours once the module accepted it.
        sample->Recycle();
    }
    return taken;
}

bool ZQFPinIn::PassReverseNotify(ZQFNotifyInfo* info)
{
    ZQFPin* peer = GetPeerPin();
    ZQFModule* upstream = peer ? peer->GetModule() : nullptr;
    return info != nullptr && upstream != nullptr && upstream->ProcessReverseNotify(info);
}

// ---------------------------------------------------------------- ZQFPinOut

ZQFPinOut::ZQFPinOut(ZQFModule* owner, const char* name) : ZQFPin(owner, name, false) {}

ZQFPinOut::~ZQFPinOut() { ReleaseAllocator(); }

ZQFMediaSample* ZQFPinOut::GetNewSample(int waitMs)
{
    ZQFAllocator* allocator = GetAllocator();
    return allocator ? allocator->GetNewSample(waitMs) : nullptr;
}

bool ZQFPinOut::Deliver(ZQFMediaSample* sample)
{
    // The peer of an output pin is always an input pin (ZQFConnectPins).
    auto* peer = static_cast<ZQFPinIn*>(GetPeerPin());
    return peer != nullptr && peer->Receive(sample);
}

bool ZQFPinOut::PassForwardNotify(ZQFNotifyInfo* info)
{
    ZQFPin* peer = GetPeerPin();
    ZQFModule* downstream = peer ? peer->GetModule() : nullptr;
    return info != nullptr && downstream != nullptr && downstream->ProcessForwardNotify(info);
}

bool ZQFPinOut::OnPinFlush()
{
    ZQFAllocator* allocator = GetAllocator();
    if (allocator == nullptr) {
        return false;
    }
    ZQFModule* module = GetModule();
    allocator->BeginFlush(module != nullptr && module->IsRunning());
    return true;
}

bool ZQFPinOut::GetOutputFormat(ZQFFormatBuffer** out)
{
    if (out != nullptr) {
        *out = nullptr;
    }
    return false;
}

void ZQFPinOut::InstallAllocator(const ZQFAllocatorConfig& config)
{
    ReleaseAllocator();
    if (config.count <= 0 || config.size <= 0) {
        return;  // a pin that asks for no samples gets no pool
    }
    try {
        m_allocator.store(new ZQFAllocator(config), std::memory_order_release);
    } catch (const std::bad_alloc&) {
        DebugLog(kLogPath, __LINE__, ZQF_LOG_ERROR, "ZQFPinOut::InstallAllocator %s: no memory for %d x %d bytes",
                 GetName(), config.count, config.size);
    }
}

void ZQFPinOut::ReleaseAllocator()
{
    ZQFAllocator* allocator = m_allocator.exchange(nullptr, std::memory_order_acq_rel);
    if (allocator != nullptr) {
        allocator->Release();
    }
}

// ---------------------------------------------------------------- ZQFPinOutAuto

ZQFPinOutAuto::ZQFPinOutAuto(ZQFModule* owner, const char* name, int flags) : ZQFPinOut(owner, name), m_flags(flags)
{
}

// ---------------------------------------------------------------- connections

bool ZQFConnectPins(ZQFPinOut* out, ZQFPinIn* in)
{
    if (out == nullptr || in == nullptr || out->IsConnected() || in->IsConnected()) {
        return false;
    }
    if (!MediaTypesAgree(out, in)) {
        DebugLog(kLogPath, __LINE__, ZQF_LOG_WARNING, "ZQFConnectPins %s -> %s: no common media type", out->GetName(),
                 in->GetName());
        return false;
    }
    ZQFAllocatorConfig config;
    if (!DecidePool(out, in, &config)) {
        DebugLog(kLogPath, __LINE__, ZQF_LOG_WARNING, "ZQFConnectPins %s -> %s: buffer size refused", out->GetName(),
                 in->GetName());
        return false;
    }
    out->InstallAllocator(config);
    out->SetPeer(in);
    in->SetPeer(out);

    // The answers of OnConnect do not undo the connection: the pins are
    // connected whatever the modules make of it. The flag tells the module
    // which of its pins the index names: set for an output pin, clear for an
    // input pin (as for OnDisconnect).
    if (ZQFModule* upstream = out->GetModule()) {
        upstream->OnConnect(out->GetPinIndex(), true);
    }
    if (ZQFModule* downstream = in->GetModule()) {
        downstream->OnConnect(in->GetPinIndex(), false);
    }
    return true;
}

void ZQFDisconnectPins(ZQFPinOut* out)
{
    auto* in = out ? static_cast<ZQFPinIn*>(out->GetPeerPin()) : nullptr;
    if (in == nullptr) {
        return;
    }
    const int outIndex = out->GetPinIndex();
    const int inIndex = in->GetPinIndex();
    out->SetPeer(nullptr);
    in->SetPeer(nullptr);
    if (ZQFModule* upstream = out->GetModule()) {
        upstream->OnDisconnect(outIndex, true);
    }
    if (ZQFModule* downstream = in->GetModule()) {
        downstream->OnDisconnect(inIndex, false);
    }
    out->ReleaseAllocator();
}
