#pragma once
// The module kinds zqhost works with, and how its graph files find plug-ins.
#include <optional>
#include <string>

#include "zqfgraphfile.h"

class ZQFModuleRegistry;

// Registers the stock source and the capture sink.
void AddStockModules(ZQFModuleRegistry& registry);

// Loads the plug-in at `path`, or the default one (named in graph files by
// its bare file name, so that they work from any build or install). Throws
// CommandError when it will not load.
void AddPlugin(ZQFModuleRegistry& registry, const std::optional<std::string>& path);

// Graph files name plug-ins by bare file name; zqhost finds those where it
// finds its own plug-in.
ZQFGraphFileOptions HostGraphFileOptions();
