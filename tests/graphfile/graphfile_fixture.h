#pragma once
// What the graph-file tests share: a registry holding the built plug-in and
// the stock modules, a temporary folder, and a picture of a graph that two
// graphs can be compared by.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <pugixml.hpp>

#include "zqfgraph.h"
#include "zqfgraphfile.h"
#include "zqfmodule.h"
#include "zqfmoduleregistry.h"
#include "zqfplugin.h"
#include "zqfxml.h"
#include "zqfxmlfile.h"
#include "zqstockregistry.h"

namespace graphtest {

namespace fs = std::filesystem;

// 6f47cebe-..., e6097550-...: the plug-in's "RTP in" and dispatcher.
constexpr ZQFID kRTPInId{0x6f47cebe, 0xee66, 0x46c5, {0xac, 0x3d, 0x3f, 0x9f, 0xf1, 0x8c, 0x2c, 0x9b}};
constexpr ZQFID kDispatcherId{0xe6097550, 0xc441, 0x4044, {0xb9, 0xc8, 0xe3, 0x29, 0x49, 0xc1, 0xdf, 0x10}};
constexpr const char* kPluginPath = ZQ_PLUGIN_PATH;

struct TemporaryFolder {
    TemporaryFolder()
    {
        std::string pattern = (fs::temp_directory_path() / "zqgraphfile-XXXXXX").string();
        EXPECT_NE(mkdtemp(pattern.data()), nullptr) << "cannot create a temporary folder";
        path = pattern;
    }
    ~TemporaryFolder()
    {
        std::error_code ignored;
        fs::remove_all(path, ignored);
    }
    TemporaryFolder(const TemporaryFolder&) = delete;
    const fs::path& Path() const { return path; }
    std::string File(const std::string& name) const { return (path / name).string(); }
    fs::path path;
};

inline std::string ReadText(const std::string& path)
{
    std::ostringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    return text.str();
}

inline void WriteText(const std::string& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

// `levels` elements nested in each other, each tag followed by `separator`.
inline std::string Nested(int levels, const std::string& separator = "\n")
{
    std::string open, close;
    for (int i = 0; i < levels; ++i) {
        open += "<n>" + separator;
        close += "</n>" + separator;
    }
    return open + close;
}

// A CXMLNode subtree as XML text.
inline std::string NodeText(const CXMLNode& node)
{
    pugi::xml_document document;
    ZQFAppendXMLNode(document, node);
    std::ostringstream text;
    document.save(text, "  ", pugi::format_default | pugi::format_no_declaration);
    return text.str();
}

// Everything a graph file keeps of a graph: per module its kind, name and
// saved settings; per connection module indexes and pin indexes.
struct GraphPicture {
    std::vector<std::string> modules;
    std::vector<std::string> connections;
    bool operator==(const GraphPicture&) const = default;
};

inline GraphPicture Picture(const ZQFGraph& graph, const ZQFModuleRegistry& registry)
{
    GraphPicture picture;
    const std::vector<ZQFModule*>& modules = graph.GetModules();
    for (ZQFModule* module : modules) {
        char identity[40] = {};
        ZQFID2String(module->GetGUID(), identity, sizeof identity);
        CXMLNode settings("module");
        std::string error;
        EXPECT_TRUE(registry.SaveModule(*module, &settings, &error)) << error;
        picture.modules.push_back(std::string(identity) + " '" + module->GetName() + "'\n" + NodeText(settings));
    }
    const auto indexOf = [&modules](const ZQFModule* module) {
        return std::find(modules.begin(), modules.end(), module) - modules.begin();
    };
    for (const ZQFGraph::Connection& connection : graph.GetConnections()) {
        picture.connections.push_back(
            std::to_string(indexOf(connection.from)) + ":" + std::to_string(connection.outputPin) + " -> " +
            std::to_string(indexOf(connection.to)) + ":" + std::to_string(connection.inputPin));
    }
    return picture;
}

// A registry with the stock modules and the built plug-in, named in files
// by its absolute path.
class GraphFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string error;
        ASSERT_TRUE(ZQRegisterStockModules(registry, &error)) << error;
        std::unique_ptr<ZQFPlugin> plugin(ZQFPlugin::Load(kPluginPath, &error));
        ASSERT_NE(plugin, nullptr) << error;
        ASSERT_TRUE(registry.AddPlugin(std::move(plugin), kPluginPath, &error)) << error;
    }

    // Creates a module of the kind into `graph` and names it.
    ZQFModule* Add(ZQFGraph& graph, const ZQFID& id, const char* name)
    {
        std::string error;
        ZQIModule* module = registry.CreateModule(id, nullptr, &error);
        EXPECT_NE(module, nullptr) << error;
        ZQFModule* framework = module ? graph.AddModule(module) : nullptr;
        if (framework != nullptr) {
            framework->SetName(name);
        }
        return framework;
    }

    std::unique_ptr<ZQFGraph> Load(const std::string& path, std::string* error)
    {
        return ZQFLoadGraphFile(path, registry, options, error);
    }

    // Declared first: it outlives every graph of the test.
    ZQFModuleRegistry registry;
    ZQFGraphFileOptions options;
    TemporaryFolder folder;
};

}  // namespace graphtest
