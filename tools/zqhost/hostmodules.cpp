#include "hostmodules.h"

#include <stdexcept>

#include "arguments.h"
#include "logoptions.h"
#include "pluginloader.h"
#include "zqfmoduleregistry.h"
#include "zqstockregistry.h"

void AddStockModules(ZQFModuleRegistry& registry)
{
    std::string error;
    if (!ZQRegisterStockModules(registry, &error)) {
        throw std::runtime_error(error);
    }
}

void AddPlugin(ZQFModuleRegistry& registry, const std::optional<std::string>& path)
{
    std::unique_ptr<ZQFPlugin> plugin = LoadPlugin(path);
    if (registry.FindPlugin(plugin->GetPath()) != nullptr) {
        return;
    }
    // A path given by the user is kept as the loader saw it ("./" before a
    // bare name), so that a file never mistakes it for the installed plug-in.
    const std::string reference = path ? plugin->GetPath() : kPluginFileName;
    std::string error;
    if (!registry.AddPlugin(std::move(plugin), reference, &error)) {
        throw CommandError(error);
    }
}

ZQFGraphFileOptions HostGraphFileOptions(const std::optional<std::string>& plugin)
{
    ZQFGraphFileOptions options;
    options.findPlugin = [plugin](const std::string& fileName) {
        return plugin && fileName == kPluginFileName ? *plugin : FindPluginFile(fileName);
    };
    return options;
}

HostGraph::HostGraph(const std::string& path, const std::optional<std::string>& plugin)
{
    AddStockModules(m_registry);
    std::string error;
    HeldLog loadLog;
    m_graph = ZQFLoadGraphFile(path, m_registry, HostGraphFileOptions(plugin), &error);
    if (!m_graph) {
        throw CommandError(error);
    }
    loadLog.Release();
}
