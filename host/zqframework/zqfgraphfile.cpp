#include "zqfgraphfile.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <map>
#include <system_error>
#include <vector>

#include "zqferrortext.h"
#include "zqfgraph.h"
#include "zqfmodule.h"
#include "zqfmoduleregistry.h"
#include "zqfplugin.h"
#include "zqfxml.h"
#include "zqfxmlfile.h"

namespace fs = std::filesystem;

namespace {

using zqf::SetError;

constexpr const char* kRootElement = "graph";
constexpr const char* kVersion = "1";
constexpr const char* kPluginElement = "plugin";
constexpr const char* kModuleElement = "module";
constexpr const char* kConnectionElement = "connection";
constexpr const char* kIOAttribute = "io";
constexpr const char* kSharedIO = "shared";
constexpr const char* kOwnIO = "own";
// The framework's construction kind of a module node.
constexpr int kModuleNodeKind = 1;
// Pin indexes are small; a longer number is a typo, not a pin.
constexpr size_t kMaxIndexDigits = 6;
// How much of a bad attribute value a message quotes.
constexpr size_t kMaxQuotedChars = 40;

bool IsBareFileName(const std::string& path) { return path.find('/') == std::string::npos; }

fs::path FolderOf(const std::string& file)
{
    const fs::path folder = fs::path(file).parent_path();
    return folder.empty() ? fs::path(".") : folder;
}

fs::path AbsolutePath(const fs::path& path)
{
    std::error_code error;
    const fs::path canonical = fs::weakly_canonical(path, error);
    return error ? fs::absolute(path).lexically_normal() : canonical;
}

// ------------------------------------------------------------------ saving

// "RTP in" -> "rtp-in": ids a reader can type; repeated kinds get -2, -3, ...
std::string IdStem(const std::string& kindName)
{
    std::string stem;
    for (const char c : kindName) {
        if (std::isalnum(static_cast<unsigned char>(c))) {
            stem += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        } else if (!stem.empty() && stem.back() != '-') {
            stem += '-';
        }
    }
    while (!stem.empty() && stem.back() == '-') {
        stem.pop_back();
    }
    return stem.empty() ? "module" : stem;
}

std::map<const ZQFModule*, std::string> MakeModuleIds(const ZQFGraph& graph, const ZQFModuleRegistry& registry)
{
    std::map<const ZQFModule*, std::string> ids;
    std::map<std::string, int> uses;
    for (const ZQFModule* module : graph.GetModules()) {
        const ZQFModuleRegistry::Kind* kind = registry.FindKind(module->GetGUID());
        const std::string stem = IdStem(kind ? kind->name : module->GetName());
        const int use = ++uses[stem];
        ids[module] = use == 1 ? stem : stem + "-" + std::to_string(use);
    }
    return ids;
}

// How the file names the plug-in: bare names and absolute paths stay as
// they were given; a relative path is made relative to the new file's folder.
std::string PluginPathForFile(const ZQFModuleRegistry& registry, const ZQFPlugin* plugin, const fs::path& folder)
{
    const std::string reference = registry.GetPluginReference(plugin);
    if (IsBareFileName(reference) || fs::path(reference).is_absolute()) {
        return reference;
    }
    const fs::path relative = AbsolutePath(plugin->GetPath()).lexically_relative(AbsolutePath(folder));
    return relative.empty() ? AbsolutePath(plugin->GetPath()).string() : relative.string();
}

void WritePlugins(const ZQFGraph& graph, const ZQFModuleRegistry& registry, const fs::path& folder, pugi::xml_node root)
{
    std::vector<const ZQFPlugin*> written;
    for (const ZQFModule* module : graph.GetModules()) {
        const ZQFModuleRegistry::Kind* kind = registry.FindKind(module->GetGUID());
        if (kind == nullptr || kind->plugin == nullptr ||
            std::find(written.begin(), written.end(), kind->plugin) != written.end()) {
            continue;
        }
        written.push_back(kind->plugin);
        root.append_child(kPluginElement)
            .append_attribute("path")
            .set_value(PluginPathForFile(registry, kind->plugin, folder).c_str());
    }
}

// A module's own mode is written only where it changes what the graph's
// gives it (a graph that says nothing gives its modules their own I/O).
const char* ModuleIOModeToWrite(const ZQFGraph& graph, const ZQFModule* module)
{
    const ZQFIOMode own = graph.GetModuleIOMode(module);
    const ZQFIOMode inherited = graph.GetIOMode() == ZQFIOMode::Shared ? ZQFIOMode::Shared : ZQFIOMode::Own;
    return own == ZQFIOMode::Unsaid || own == inherited ? nullptr : ZQFIOModeName(own);
}

bool WriteModules(const ZQFGraph& graph, const ZQFModuleRegistry& registry,
                  const std::map<const ZQFModule*, std::string>& ids, pugi::xml_node root, std::string* error)
{
    for (ZQFModule* module : graph.GetModules()) {
        const ZQFModuleRegistry::Kind* kind = registry.FindKind(module->GetGUID());
        CXMLNode node(nullptr, kModuleNodeKind, 0);
        node.AddAttrib("id", ids.at(module).c_str());
        node.AddAttrib("identity", ZQFIDText(module->GetGUID()).c_str());
        node.AddAttrib("kind", kind ? kind->name.c_str() : "");
        node.AddAttrib("name", module->GetName());
        if (const char* io = ModuleIOModeToWrite(graph, module)) {
            node.AddAttrib(kIOAttribute, io);
        }
        if (!registry.SaveModule(*module, &node, error)) {
            return false;
        }
        ZQFAppendXMLNode(root, node);
    }
    return true;
}

// Upstream connections first: a module's output pins may appear only once
// its input is connected (the dispatcher's do), so a reader applies them in
// this order.
bool WriteConnections(const ZQFGraph& graph, const std::map<const ZQFModule*, std::string>& ids, pugi::xml_node root,
                      std::string* error)
{
    const std::vector<ZQFModule*> order = graph.UpstreamFirstOrder();
    const auto rank = [&order](const ZQFModule* module) {
        return std::find(order.begin(), order.end(), module) - order.begin();
    };
    std::vector<ZQFGraph::Connection> connections = graph.GetConnections();
    std::stable_sort(connections.begin(), connections.end(), [&rank](const auto& a, const auto& b) {
        return rank(a.from) != rank(b.from) ? rank(a.from) < rank(b.from) : a.outputPin < b.outputPin;
    });
    for (const ZQFGraph::Connection& connection : connections) {
        if (ids.count(connection.to) == 0) {
            SetError(error, std::string("module '") + connection.from->GetName() + "' is connected to module '" +
                                connection.to->GetName() + "', which is not in the graph");
            return false;
        }
        pugi::xml_node element = root.append_child(kConnectionElement);
        element.append_attribute("from").set_value(ids.at(connection.from).c_str());
        element.append_attribute("output").set_value(connection.outputPin);
        element.append_attribute("to").set_value(ids.at(connection.to).c_str());
        element.append_attribute("input").set_value(connection.inputPin);
    }
    return true;
}

// ----------------------------------------------------------------- loading

bool ParsePinIndex(const char* text, int* index)
{
    const size_t length = std::strlen(text);
    if (length == 0 || length > kMaxIndexDigits) {
        return false;
    }
    int value = 0;
    for (size_t i = 0; i < length; ++i) {
        if (!std::isdigit(static_cast<unsigned char>(text[i]))) {
            return false;
        }
        value = value * 10 + (text[i] - '0');
    }
    *index = value;
    return true;
}

class GraphFileReader {
public:
    GraphFileReader(const ZQFXMLFile& file, ZQFModuleRegistry& registry, const ZQFGraphFileOptions& options)
        : m_file(file), m_registry(registry), m_options(options), m_graph(std::make_unique<ZQFGraph>())
    {
    }

    std::unique_ptr<ZQFGraph> Read(std::string* error)
    {
        if (!ReadAll()) {
            SetError(error, m_error);
            m_graph.reset();  // destroys every module made so far
            return nullptr;
        }
        return std::move(m_graph);
    }

private:
    struct PendingConnection {
        pugi::xml_node element;
        ZQFModule* from;
        int outputPin;
        ZQFModule* to;
        int inputPin;
        std::string error;
    };

    bool ReadAll()
    {
        const pugi::xml_node root = m_file.GetDocument().document_element();
        if (!CheckRoot(root)) {
            return false;
        }
        std::vector<pugi::xml_node> plugins, modules, connections;
        for (const pugi::xml_node& child : root.children()) {
            if (child.type() != pugi::node_element) {
                continue;
            }
            const std::string name = child.name();
            if (name == kPluginElement) {
                plugins.push_back(child);
            } else if (name == kModuleElement) {
                modules.push_back(child);
            } else if (name == kConnectionElement) {
                connections.push_back(child);
            } else {
                return Fail(child, "unexpected element <" + name + "> in <graph>");
            }
        }
        for (const pugi::xml_node& plugin : plugins) {
            if (!LoadPlugin(plugin)) {
                return false;
            }
        }
        for (const pugi::xml_node& module : modules) {
            if (!CreateModule(module)) {
                return false;
            }
        }
        return ConnectAll(connections);
    }

    bool CheckRoot(const pugi::xml_node& root)
    {
        if (std::strcmp(root.name(), kRootElement) != 0) {
            return Fail(root, std::string("the root element is <") + root.name() + ">, not <graph>");
        }
        const char* version = Required(root, "version");
        if (version == nullptr) {
            return false;
        }
        if (std::strcmp(version, kVersion) != 0) {
            return Fail(root,
                        std::string("graph file version ") + version + " is not supported (only " + kVersion + ")");
        }
        ZQFIOMode io = ZQFIOMode::Unsaid;
        if (!ReadIOMode(root, &io)) {
            return false;
        }
        m_graph->SetIOMode(io);
        return true;
    }

    // The element's "io" attribute; Unsaid when it has none.
    bool ReadIOMode(const pugi::xml_node& element, ZQFIOMode* mode)
    {
        const pugi::xml_attribute attribute = element.attribute(kIOAttribute);
        if (!attribute) {
            *mode = ZQFIOMode::Unsaid;
            return true;
        }
        const std::string value = attribute.value();
        if (ZQFParseIOMode(value, mode)) {
            return true;
        }
        const std::string shown = value.size() > kMaxQuotedChars ? value.substr(0, kMaxQuotedChars) + "..." : value;
        return Fail(element, std::string(kIOAttribute) + "='" + shown + "' is not " + kSharedIO + " or " + kOwnIO);
    }

    bool LoadPlugin(const pugi::xml_node& element)
    {
        const char* reference = Required(element, "path");
        if (reference == nullptr) {
            return false;
        }
        const std::string path = ResolvePluginPath(reference);
        if (path.empty()) {
            return Fail(element, std::string("plug-in ") + reference + " is not where the host looks for plug-ins");
        }
        if (m_registry.FindPlugin(path) != nullptr) {
            return true;
        }
        std::string problem;
        std::unique_ptr<ZQFPlugin> plugin(ZQFPlugin::Load(path.c_str(), &problem));
        if (!plugin || !m_registry.AddPlugin(std::move(plugin), reference, &problem)) {
            return Fail(element, problem);
        }
        return true;
    }

    std::string ResolvePluginPath(const std::string& reference) const
    {
        if (IsBareFileName(reference)) {
            return m_options.findPlugin ? m_options.findPlugin(reference) : std::string();
        }
        if (fs::path(reference).is_absolute()) {
            return reference;
        }
        return fs::absolute(FolderOf(m_file.GetPath()) / reference).lexically_normal().string();
    }

    bool CreateModule(const pugi::xml_node& element)
    {
        const char* id = Required(element, "id");
        const char* identityText = id ? Required(element, "identity") : nullptr;
        if (identityText == nullptr) {
            return false;
        }
        if (m_modules.count(id) != 0) {
            return Fail(element, std::string("module id '") + id + "' is used twice");
        }
        ZQFID identity{};
        if (!String2ZQFID(identityText, &identity)) {
            return Fail(element, std::string("identity '") + identityText + "' is not an identity");
        }
        if (m_registry.FindKind(identity) == nullptr) {
            return Fail(element, "unknown module identity " + ZQFIDText(identity) +
                                     " (no plug-in named in the file and no host library offers it)");
        }
        ZQFIOMode io = ZQFIOMode::Unsaid;
        if (!ReadIOMode(element, &io)) {
            return false;
        }
        pugi::xml_node tooDeep;
        const std::unique_ptr<CXMLNode> node = ZQFReadXMLNode(element, &tooDeep);
        if (!node) {
            return Fail(tooDeep, "settings nested deeper than " + std::to_string(kZQFMaxXMLDepth) + " levels");
        }
        std::string problem;
        ZQIModule* module = m_registry.CreateModule(identity, node.get(), &problem);
        if (module == nullptr) {
            return Fail(element, std::string("module '") + id + "': " + problem);
        }
        ZQFModule* framework = m_graph->AddModule(module);
        if (framework == nullptr) {
            delete module;
            return Fail(element, std::string("module '") + id + "' has no framework object");
        }
        if (const char* name = element.attribute("name").as_string(nullptr)) {
            framework->SetName(name);
        }
        m_graph->SetModuleIOMode(framework, io);
        m_modules[id] = framework;
        return true;
    }

    bool ConnectAll(const std::vector<pugi::xml_node>& elements)
    {
        std::vector<PendingConnection> pending;
        for (const pugi::xml_node& element : elements) {
            PendingConnection connection{element, nullptr, 0, nullptr, 0, {}};
            if (!ReadConnection(element, &connection)) {
                return false;
            }
            pending.push_back(connection);
        }
        // A module may grow output pins as its input connects, so a file
        // written by hand in another order still loads: retry until no
        // connection succeeds any more.
        bool progress = true;
        while (!pending.empty() && progress) {
            progress = false;
            for (auto it = pending.begin(); it != pending.end();) {
                if (m_graph->Connect(it->from, it->outputPin, it->to, it->inputPin, &it->error)) {
                    it = pending.erase(it);
                    progress = true;
                } else {
                    ++it;
                }
            }
        }
        if (!pending.empty()) {
            return Fail(pending.front().element, "cannot connect: " + pending.front().error);
        }
        return true;
    }

    bool ReadConnection(const pugi::xml_node& element, PendingConnection* connection)
    {
        const char* from = Required(element, "from");
        const char* output = from ? Required(element, "output") : nullptr;
        const char* to = output ? Required(element, "to") : nullptr;
        const char* input = to ? Required(element, "input") : nullptr;
        if (input == nullptr) {
            return false;
        }
        connection->from = FindModule(element, from);
        connection->to = connection->from ? FindModule(element, to) : nullptr;
        if (connection->to == nullptr) {
            return false;
        }
        if (!ParsePinIndex(output, &connection->outputPin)) {
            return Fail(element, std::string("output='") + output + "' is not a pin index");
        }
        if (!ParsePinIndex(input, &connection->inputPin)) {
            return Fail(element, std::string("input='") + input + "' is not a pin index");
        }
        return true;
    }

    ZQFModule* FindModule(const pugi::xml_node& element, const char* id)
    {
        const auto found = m_modules.find(id);
        if (found == m_modules.end()) {
            Fail(element, std::string("no module with id '") + id + "' in this file");
            return nullptr;
        }
        return found->second;
    }

    // The attribute's text; null (and the fault recorded) when it is absent
    // or empty.
    const char* Required(const pugi::xml_node& element, const char* name)
    {
        const char* value = element.attribute(name).as_string(nullptr);
        if (value == nullptr || *value == '\0') {
            Fail(element, std::string("<") + element.name() + "> lacks the attribute " + name);
            return nullptr;
        }
        return value;
    }

    bool Fail(const pugi::xml_node& node, const std::string& message)
    {
        m_error = m_file.FaultAt(node, message);
        return false;
    }

    const ZQFXMLFile& m_file;
    ZQFModuleRegistry& m_registry;
    const ZQFGraphFileOptions& m_options;
    std::unique_ptr<ZQFGraph> m_graph;
    std::map<std::string, ZQFModule*> m_modules;
    std::string m_error;
};

}  // namespace

const char* ZQFIOModeName(ZQFIOMode mode)
{
    switch (mode) {
    case ZQFIOMode::Shared:
        return kSharedIO;
    case ZQFIOMode::Own:
        return kOwnIO;
    default:
        return "";
    }
}

bool ZQFParseIOMode(const std::string& text, ZQFIOMode* mode)
{
    if (text == kSharedIO) {
        *mode = ZQFIOMode::Shared;
    } else if (text == kOwnIO) {
        *mode = ZQFIOMode::Own;
    } else {
        return false;
    }
    return true;
}

bool ZQFSaveGraphFile(const ZQFGraph& graph, const ZQFModuleRegistry& registry, const std::string& path,
                      std::string* error)
{
    pugi::xml_document document;
    pugi::xml_node root = document.append_child(kRootElement);
    root.append_attribute("version").set_value(kVersion);
    if (graph.GetIOMode() == ZQFIOMode::Shared) {
        root.append_attribute(kIOAttribute).set_value(kSharedIO);
    }
    const std::map<const ZQFModule*, std::string> ids = MakeModuleIds(graph, registry);
    WritePlugins(graph, registry, FolderOf(path), root);
    std::string problem;
    if (!WriteModules(graph, registry, ids, root, &problem) || !WriteConnections(graph, ids, root, &problem)) {
        SetError(error, path + ": " + problem);
        return false;
    }
    return ZQFWriteXMLFile(document, path, error);
}

std::unique_ptr<ZQFGraph> ZQFLoadGraphFile(const std::string& path, ZQFModuleRegistry& registry,
                                           const ZQFGraphFileOptions& options, std::string* error)
{
    ZQFXMLFile file;
    if (!file.Load(path, error)) {
        return nullptr;
    }
    return GraphFileReader(file, registry, options).Read(error);
}
