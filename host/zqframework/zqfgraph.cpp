#include "zqfgraph.h"

#include <algorithm>

#include "zqfdebuglog.h"
#include "zqfmodule.h"
#include "zqfpin.h"

namespace {

const char kLogPath[] = "zqframework\\zqfgraph";

std::string Quoted(const ZQFModule* module) { return std::string("'") + module->GetName() + "'"; }

void SetError(std::string* error, const std::string& text)
{
    if (error != nullptr) {
        *error = text;
    }
}

// The modules right downstream of `module`, one entry per connected output pin.
std::vector<ZQFModule*> DownstreamOf(const ZQFModule* module)
{
    std::vector<ZQFModule*> next;
    for (int i = 0; i < module->GetOutputPinCount(); ++i) {
        ZQFPin* peer = module->GetOutputPin(i)->GetPeerPin();
        if (peer != nullptr && peer->GetModule() != nullptr) {
            next.push_back(peer->GetModule());
        }
    }
    return next;
}

}  // namespace

ZQFGraph::~ZQFGraph()
{
    Stop();
    for (ZQFModule* module : m_modules) {
        for (int i = 0; i < module->GetOutputPinCount(); ++i) {
            ZQFDisconnectPins(module->GetOutputPin(i));
        }
    }
    for (auto it = m_owned.rbegin(); it != m_owned.rend(); ++it) {
        delete *it;
    }
}

ZQFModule* ZQFGraph::AddModule(ZQIModule* module)
{
    ZQFModule* framework = module ? module->GetFrameworkModule() : nullptr;
    if (framework == nullptr) {
        return nullptr;
    }
    if (!Contains(framework)) {
        m_modules.push_back(framework);
        m_owned.push_back(module);
    }
    return framework;
}

bool ZQFGraph::Connect(ZQFModule* from, int outputPin, ZQFModule* to, int inputPin, std::string* error)
{
    if (from == nullptr || to == nullptr || !Contains(from) || !Contains(to)) {
        SetError(error, "both modules must belong to the graph");
        return false;
    }
    ZQFPinOut* out = from->GetOutputPin(outputPin);
    if (out == nullptr) {
        SetError(error, Quoted(from) + " has no output pin " + std::to_string(outputPin));
        return false;
    }
    ZQFPinIn* in = to->GetInputPin(inputPin);
    if (in == nullptr) {
        SetError(error, Quoted(to) + " has no input pin " + std::to_string(inputPin));
        return false;
    }
    if (out->IsConnected() || in->IsConnected()) {
        SetError(error, std::string("pin ") + (out->IsConnected() ? out->GetName() : in->GetName()) +
                            " is already connected");
        return false;
    }
    if (from == to || Reaches(to, from)) {
        SetError(error, "connecting " + Quoted(from) + " to " + Quoted(to) + " would close a loop");
        return false;
    }
    if (!ZQFConnectPins(out, in)) {
        SetError(error, Quoted(from) + " output pin " + std::to_string(outputPin) + " and " + Quoted(to) +
                            " input pin " + std::to_string(inputPin) + " agree on no media type or buffer size");
        return false;
    }
    return true;
}

bool ZQFGraph::Start(std::string* error)
{
    if (m_started) {
        return true;
    }
    const std::vector<ZQFModule*> upstreamFirst = UpstreamFirstOrder();
    for (ZQFModule* module : upstreamFirst) {
        if (!module->OnEndFlush()) {
            DebugLog(kLogPath, __LINE__, ZQF_LOG_WARNING, "ZQFGraph::Start OnEndFlush of %s failed", module->GetName());
        }
    }
    // Downstream first: a module only sends once its receivers run.
    std::vector<ZQFModule*> started;
    for (auto it = upstreamFirst.rbegin(); it != upstreamFirst.rend(); ++it) {
        ZQFModule* module = *it;
        module->SetRunning(true);
        if (!module->OnStart()) {
            module->SetRunning(false);
            for (auto done = started.rbegin(); done != started.rend(); ++done) {
                StopModule(*done);
            }
            SetError(error, "module " + Quoted(module) + " failed to start");
            DebugLog(kLogPath, __LINE__, ZQF_LOG_ERROR, "ZQFGraph::Start module %s failed to start", module->GetName());
            return false;
        }
        started.push_back(module);
    }
    m_started = true;
    return true;
}

void ZQFGraph::Stop()
{
    if (!m_started) {
        return;
    }
    m_started = false;
    for (ZQFModule* module : UpstreamFirstOrder()) {
        StopModule(module);
    }
}

const std::vector<ZQFGraph::Connection>& ZQFGraph::GetConnections() const
{
    m_connections.clear();
    for (ZQFModule* module : m_modules) {
        for (int i = 0; i < module->GetOutputPinCount(); ++i) {
            ZQFPin* peer = module->GetOutputPin(i)->GetPeerPin();
            if (peer != nullptr && peer->GetModule() != nullptr) {
                m_connections.push_back(Connection{module, i, peer->GetModule(), peer->GetPinIndex()});
            }
        }
    }
    return m_connections;
}

std::vector<ZQFModule*> ZQFGraph::UpstreamFirstOrder() const
{
    // Kahn's algorithm, picking the earliest added module that is ready so
    // the order is stable from run to run.
    std::vector<int> upstreamCount(m_modules.size(), 0);
    const auto indexOf = [this](const ZQFModule* module) {
        return static_cast<size_t>(std::find(m_modules.begin(), m_modules.end(), module) - m_modules.begin());
    };
    for (const ZQFModule* module : m_modules) {
        for (const ZQFModule* next : DownstreamOf(module)) {
            const size_t i = indexOf(next);
            if (i < m_modules.size()) {
                ++upstreamCount[i];
            }
        }
    }
    std::vector<ZQFModule*> order;
    std::vector<bool> placed(m_modules.size(), false);
    while (order.size() < m_modules.size()) {
        size_t ready = 0;
        while (ready < m_modules.size() && (placed[ready] || upstreamCount[ready] > 0)) {
            ++ready;
        }
        if (ready == m_modules.size()) {
            // Only a loop leaves modules waiting; Connect refuses loops, but
            // every module must still appear once.
            ready = static_cast<size_t>(std::find(placed.begin(), placed.end(), false) - placed.begin());
        }
        placed[ready] = true;
        order.push_back(m_modules[ready]);
        for (const ZQFModule* next : DownstreamOf(m_modules[ready])) {
            const size_t i = indexOf(next);
            if (i < m_modules.size()) {
                --upstreamCount[i];
            }
        }
    }
    return order;
}

bool ZQFGraph::Contains(const ZQFModule* module) const
{
    return std::find(m_modules.begin(), m_modules.end(), module) != m_modules.end();
}

bool ZQFGraph::Reaches(const ZQFModule* from, const ZQFModule* to) const
{
    std::vector<const ZQFModule*> pending{from};
    std::vector<const ZQFModule*> seen;
    while (!pending.empty()) {
        const ZQFModule* module = pending.back();
        pending.pop_back();
        if (module == to) {
            return true;
        }
        if (std::find(seen.begin(), seen.end(), module) != seen.end()) {
            continue;
        }
        seen.push_back(module);
        for (const ZQFModule* next : DownstreamOf(module)) {
            pending.push_back(next);
        }
    }
    return false;
}

void ZQFGraph::StopModule(ZQFModule* module)
{
    module->SetRunning(false);
    // Wake the module's own threads blocked on its pools before it cleans up.
    for (int i = 0; i < module->GetOutputPinCount(); ++i) {
        module->GetOutputPin(i)->OnPinFlush();
    }
    module->OnBeginFlush();
    module->OnStop();
}

void ZQFGraph::SetModuleIOMode(const ZQFModule* module, ZQFIOMode mode)
{
    if (mode == ZQFIOMode::Unsaid) {
        m_moduleIOModes.erase(module);
    } else {
        m_moduleIOModes[module] = mode;
    }
}

ZQFIOMode ZQFGraph::GetModuleIOMode(const ZQFModule* module) const
{
    const auto found = m_moduleIOModes.find(module);
    return found == m_moduleIOModes.end() ? ZQFIOMode::Unsaid : found->second;
}

ZQFIOMode ZQFGraph::EffectiveIOMode(const ZQFModule* module) const
{
    const ZQFIOMode own = GetModuleIOMode(module);
    return own != ZQFIOMode::Unsaid ? own : m_ioMode;
}
