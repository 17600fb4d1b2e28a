// XML text as the settings of each plug-in module (LoadSettings of "RTP in",
// "RTP out" and the dispatcher on the tree read from the text), then as a
// whole graph file loaded through a registry holding the stock modules and
// the built plug-in. Nothing is started.
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>

#include <pugixml.hpp>

#include "dispatcher/zqmrtpdispatchermodule.h"
#include "fuzz_common.h"
#include "module/zqmrtpstackids.h"
#include "module/zqmrtpstackmodule.h"
#include "zqfgraph.h"
#include "zqfgraphfile.h"
#include "zqfmoduleregistry.h"
#include "zqfplugin.h"
#include "zqfxml.h"
#include "zqfxmlfile.h"
#include "zqcapturesink.h"
#include "zqstockregistry.h"
#include "zqstocksource.h"

namespace {

// The stock kinds under their own identities, made so that no file is
// ever written: a mutated output path must not truncate a file of the
// machine. The source's settings are still read as the host reads them.
void RegisterSafeStockKinds(ZQFModuleRegistry& registry)
{
    std::string error;
    auto createSource = [](CXMLNode* node, std::string* why) -> ZQIModule* {
        ZQStockSourceConfig config;
        return ZQLoadStockSourceConfig(node, &config, why) ? new ZQStockSource(config) : nullptr;
    };
    auto createSink = [](CXMLNode*, std::string*) -> ZQIModule* { return new ZQCaptureSink(); };
    auto refuseSave = [](ZQFModule&, CXMLNode*, std::string*) { return false; };
    fuzz::Require(registry.AddHostKind(ZQStockSourceIdentity(), "stock source", createSource, refuseSave, &error) &&
                      registry.AddHostKind(ZQCaptureSinkIdentity(), "capture sink", createSink, refuseSave, &error),
                  "stock kinds registered");
}

// Loaded once: the plug-in stays loaded for the whole run.
ZQFModuleRegistry& Registry()
{
    static ZQFModuleRegistry* registry = [] {
        auto* made = new ZQFModuleRegistry;
        std::string error;
        RegisterSafeStockKinds(*made);
        std::unique_ptr<ZQFPlugin> plugin(ZQFPlugin::Load(ZQ_PLUGIN_PATH, &error));
        fuzz::Require(plugin != nullptr, "plug-in loaded");
        fuzz::Require(made->AddPlugin(std::move(plugin), ZQ_PLUGIN_PATH, &error), "plug-in registered");
        return made;
    }();
    return *registry;
}

std::string GraphPath() { return "/tmp/zqfuzz-graph-" + std::to_string(getpid()) + ".xml"; }

void LoadAsSettings(const uint8_t* data, size_t size)
{
    pugi::xml_document document;
    if (!document.load_buffer(data, size)) {
        return;
    }
    std::unique_ptr<CXMLNode> node = ZQFReadXMLNode(document.document_element());
    if (node == nullptr) {
        return;
    }
    ZQMRTPStackModule receiver(ZQMID_RTPIn, "fuzzed RTP in");
    receiver.LoadSettings(node.get());
    ZQMRTPStackModule sender(ZQMID_RTPOut, "fuzzed RTP out");
    sender.LoadSettings(node.get());
    ZQMRTPDispatcherModule dispatcher;
    dispatcher.LoadSettings(node.get());
}

void LoadAsGraphFile(const uint8_t* data, size_t size)
{
    static const std::string path = GraphPath();
    std::FILE* file = std::fopen(path.c_str(), "wb");
    fuzz::Require(file != nullptr, "graph file written");
    std::fwrite(data, 1, size, file);
    std::fclose(file);
    ZQFGraphFileOptions options;
    options.findPlugin = [](const std::string& name) {
        return name == "zqmrtpstack.so" ? std::string(ZQ_PLUGIN_PATH) : std::string();
    };
    std::string error;
    std::unique_ptr<ZQFGraph> graph = ZQFLoadGraphFile(path, Registry(), options, &error);
    fuzz::Require(graph != nullptr || !error.empty(), "a refused graph file says why");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::SilenceLogs();
    Registry();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    LoadAsSettings(data, size);
    LoadAsGraphFile(data, size);
    return 0;
}
