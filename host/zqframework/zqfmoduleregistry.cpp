#include "zqfmoduleregistry.h"

#include <filesystem>
#include <system_error>

#include "zqferrortext.h"
#include "zqfmodule.h"
#include "zqfplugin.h"

namespace fs = std::filesystem;

struct ZQFModuleRegistry::PluginEntry {
    std::unique_ptr<ZQFPlugin> plugin;
    std::string reference;
};

namespace {

using zqf::SetError;

// Two names of one file compare equal; a name that does not resolve stays
// as it is.
std::string CanonicalPath(const std::string& path)
{
    std::error_code error;
    const fs::path canonical = fs::weakly_canonical(path, error);
    return error ? path : canonical.string();
}

}  // namespace

ZQFModuleRegistry::ZQFModuleRegistry() = default;

// The kinds go first (they point at the plug-ins), then the plug-ins unload.
ZQFModuleRegistry::~ZQFModuleRegistry() = default;

bool ZQFModuleRegistry::CheckIdentityIsFree(const ZQFID* id, const std::string& owner, std::string* error) const
{
    if (id == nullptr) {
        SetError(error, owner + " offers a module without an identity");
        return false;
    }
    if (const Kind* kind = FindKind(*id)) {
        SetError(error, owner + " offers module identity " + ZQFIDText(*id) + ", already registered by \"" +
                            kind->name + "\"");
        return false;
    }
    return true;
}

bool ZQFModuleRegistry::AddPlugin(std::unique_ptr<ZQFPlugin> plugin, const std::string& reference, std::string* error)
{
    if (!plugin) {
        SetError(error, "no plug-in given");
        return false;
    }
    const std::string owner = "plug-in " + plugin->GetPath();
    std::vector<std::unique_ptr<Kind>> kinds;
    for (int i = 0; i < plugin->GetModuleCount(); ++i) {
        const ModuleDescriptor* descriptor = plugin->GetDescriptor(i);
        if (!CheckIdentityIsFree(descriptor->id, owner, error)) {
            return false;
        }
        for (const auto& earlier : kinds) {
            if (EqualZQFID(earlier->id, *descriptor->id)) {
                SetError(error, owner + " offers module identity " + ZQFIDText(earlier->id) + " twice");
                return false;
            }
        }
        auto kind = std::make_unique<Kind>();
        kind->id = *descriptor->id;
        kind->name = ZQFUtf16ToUtf8(descriptor->name);
        kind->plugin = plugin.get();
        kind->descriptorIndex = i;
        kinds.push_back(std::move(kind));
    }
    for (auto& kind : kinds) {
        m_kinds.push_back(std::move(kind));
    }
    m_plugins.push_back(std::make_unique<PluginEntry>(PluginEntry{std::move(plugin), reference}));
    return true;
}

const ZQFPlugin* ZQFModuleRegistry::FindPlugin(const std::string& path) const
{
    const std::string wanted = CanonicalPath(path);
    for (const auto& entry : m_plugins) {
        if (CanonicalPath(entry->plugin->GetPath()) == wanted) {
            return entry->plugin.get();
        }
    }
    return nullptr;
}

std::string ZQFModuleRegistry::GetPluginReference(const ZQFPlugin* plugin) const
{
    for (const auto& entry : m_plugins) {
        if (entry->plugin.get() == plugin) {
            return entry->reference;
        }
    }
    return {};
}

bool ZQFModuleRegistry::AddHostKind(const ZQFID& id, const std::string& name, CreateFunction create, SaveFunction save,
                                    std::string* error)
{
    if (!create || !save) {
        SetError(error, "module kind \"" + name + "\" needs both a create and a save function");
        return false;
    }
    if (!CheckIdentityIsFree(&id, "module kind \"" + name + "\"", error)) {
        return false;
    }
    auto kind = std::make_unique<Kind>();
    kind->id = id;
    kind->name = name;
    kind->create = std::move(create);
    kind->save = std::move(save);
    m_kinds.push_back(std::move(kind));
    return true;
}

const ZQFModuleRegistry::Kind* ZQFModuleRegistry::FindKind(const ZQFID& id) const
{
    for (const auto& kind : m_kinds) {
        if (EqualZQFID(kind->id, id)) {
            return kind.get();
        }
    }
    return nullptr;
}

std::vector<const ZQFModuleRegistry::Kind*> ZQFModuleRegistry::GetKinds() const
{
    std::vector<const Kind*> kinds;
    for (const auto& kind : m_kinds) {
        kinds.push_back(kind.get());
    }
    return kinds;
}

ZQIModule* ZQFModuleRegistry::CreateModule(const ZQFID& id, CXMLNode* moduleNode, std::string* error) const
{
    const Kind* kind = FindKind(id);
    if (kind == nullptr) {
        SetError(error, "unknown module identity " + ZQFIDText(id));
        return nullptr;
    }
    if (kind->plugin == nullptr) {
        return kind->create(moduleNode, error);
    }
    ZQIModule* module = kind->plugin->CreateModule(kind->descriptorIndex, error);
    if (module == nullptr) {
        return nullptr;
    }
    ZQFModule* framework = module->GetFrameworkModule();
    if (framework == nullptr) {
        SetError(error, "module \"" + kind->name + "\" has no framework object");
        delete module;
        return nullptr;
    }
    if (moduleNode != nullptr && !framework->LoadSettings(moduleNode)) {
        SetError(error, "module \"" + kind->name + "\" refused its settings");
        delete module;
        return nullptr;
    }
    return module;
}

bool ZQFModuleRegistry::SaveModule(ZQFModule& module, CXMLNode* moduleNode, std::string* error) const
{
    const Kind* kind = FindKind(module.GetGUID());
    if (kind == nullptr) {
        SetError(error, std::string("module '") + module.GetName() + "' is of no registered kind (identity " +
                            ZQFIDText(module.GetGUID()) + ")");
        return false;
    }
    if (kind->plugin == nullptr) {
        return kind->save(module, moduleNode, error);
    }
    if (!module.SaveSettings(moduleNode)) {
        SetError(error, std::string("module '") + module.GetName() + "' could not save its settings");
        return false;
    }
    return true;
}
