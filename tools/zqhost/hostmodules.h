#pragma once
// The module kinds zqhost works with, and how its graph files find plug-ins.
#include <memory>
#include <optional>
#include <string>

#include "zqfgraph.h"
#include "zqfgraphfile.h"
#include "zqfmoduleregistry.h"

// Registers the stock source and the capture sink.
void AddStockModules(ZQFModuleRegistry& registry);

// Loads the plug-in at `path`, or the default one (named in graph files by
// its bare file name, so that they work from any build or install). Throws
// CommandError when it will not load.
void AddPlugin(ZQFModuleRegistry& registry, const std::optional<std::string>& path);

// Graph files name plug-ins by bare file name; zqhost finds those where it
// finds its own plug-in, or loads `plugin` for its own plug-in's name.
ZQFGraphFileOptions HostGraphFileOptions(const std::optional<std::string>& plugin = std::nullopt);

// A graph file loaded with the stock modules and the plug-ins it names; the
// loader's log lines are held back and shown only when it succeeds. Throws
// CommandError naming what will not load.
class HostGraph {
public:
    // `plugin`: the file to load wherever the graph names zqhost's plug-in.
    explicit HostGraph(const std::string& path, const std::optional<std::string>& plugin = std::nullopt);
    ZQFGraph& Get() const { return *m_graph; }

private:
    // Declared before the graph: the plug-ins it loads outlive the modules.
    ZQFModuleRegistry m_registry;
    std::unique_ptr<ZQFGraph> m_graph;
};
