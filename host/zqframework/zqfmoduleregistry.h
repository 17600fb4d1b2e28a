#pragma once
// The kinds of module a host can create, by identity: the descriptors of the
// plug-ins it loaded, and the kinds its own libraries offer. Graph files name
// modules by these identities.
//
// The registry owns the plug-ins and unloads them when it dies, so every
// module created from a plug-in (and every graph holding one) must be gone
// before its registry.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "zqcexport.h"
#include "zqfid.h"

class CXMLNode;
class ZQFModule;
class ZQFPlugin;
class ZQIModule;

class ZQ_API ZQFModuleRegistry {
public:
    // Creates a module of a host kind from the module's node (null: the
    // kind's defaults). Null with `error` set when the settings are unusable.
    using CreateFunction = std::function<ZQIModule*(CXMLNode* moduleNode, std::string* error)>;
    // Writes the module's settings under its module node. False with `error`
    // set when it cannot (for instance when the module is not of the kind).
    using SaveFunction = std::function<bool(ZQFModule& module, CXMLNode* moduleNode, std::string* error)>;

    struct Kind {
        ZQFID id{};
        std::string name;                   // display name
        const ZQFPlugin* plugin = nullptr;  // the plug-in offering it; null for a host kind
        int descriptorIndex = -1;           // in the plug-in
        CreateFunction create;              // host kinds
        SaveFunction save;                  // host kinds
    };

    ZQFModuleRegistry();
    ~ZQFModuleRegistry();
    ZQFModuleRegistry(const ZQFModuleRegistry&) = delete;
    ZQFModuleRegistry& operator=(const ZQFModuleRegistry&) = delete;

    // Takes the plug-in and registers each of its descriptors. `reference` is
    // how graph files name it (a bare file name, a relative or an absolute
    // path). Refused, and the plug-in unloaded, when it offers an identity
    // that is already registered (or none at all for a descriptor).
    bool AddPlugin(std::unique_ptr<ZQFPlugin> plugin, const std::string& reference, std::string* error);
    // The plug-in already loaded from this file (compared by canonical
    // path); null when none.
    const ZQFPlugin* FindPlugin(const std::string& path) const;
    // How graph files name the plug-in; empty for a plug-in not held here.
    std::string GetPluginReference(const ZQFPlugin* plugin) const;

    bool AddHostKind(const ZQFID& id, const std::string& name, CreateFunction create, SaveFunction save,
                     std::string* error);

    const Kind* FindKind(const ZQFID& id) const;
    std::vector<const Kind*> GetKinds() const;

    // Creates a module of the kind. With a module node, its settings come
    // from the node (a plug-in module's LoadSettings reads it). Null with
    // `error` set when the kind is unknown, the factory fails or the
    // settings are refused.
    ZQIModule* CreateModule(const ZQFID& id, CXMLNode* moduleNode, std::string* error) const;
    // Writes the module's settings under `moduleNode` (a plug-in module's
    // SaveSettings writes them).
    bool SaveModule(ZQFModule& module, CXMLNode* moduleNode, std::string* error) const;

private:
    struct PluginEntry;

    bool CheckIdentityIsFree(const ZQFID* id, const std::string& owner, std::string* error) const;

    std::vector<std::unique_ptr<PluginEntry>> m_plugins;
    std::vector<std::unique_ptr<Kind>> m_kinds;
};
