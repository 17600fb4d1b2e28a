#include "iomode.h"

#include "arguments.h"
#include "stackidentities.h"
#include "zqfgraphfile.h"
#include "zqfmodule.h"

std::optional<ZQFIOMode> TakeIOOption(Arguments& arguments)
{
    const auto text = arguments.TakeValue("--io");
    if (!text) {
        return std::nullopt;
    }
    ZQFIOMode mode = ZQFIOMode::Unsaid;
    if (!ZQFParseIOMode(*text, &mode)) {
        throw CommandError("option --io: '" + *text + "' is not shared or own");
    }
    return mode;
}

void ApplyIOModes(const ZQFGraph& graph)
{
    for (ZQFModule* module : graph.GetModules()) {
        const ZQFIOMode mode = graph.EffectiveIOMode(module);
        ZQIRTPStack* stack = RTPStackOf(module);
        if (stack != nullptr && mode != ZQFIOMode::Unsaid) {
            stack->SetSharedIO(mode == ZQFIOMode::Shared ? 1 : 0);
        }
    }
}

void UseIOMode(ZQFGraph& graph, std::optional<ZQFIOMode> mode)
{
    if (!mode) {
        return;
    }
    graph.SetIOMode(*mode);
    for (const ZQFModule* module : graph.GetModules()) {
        graph.SetModuleIOMode(module, ZQFIOMode::Unsaid);
    }
    ApplyIOModes(graph);
}

bool UsesSharedIO(ZQFModule* module)
{
    ZQIRTPStack* stack = RTPStackOf(module);
    return stack != nullptr && stack->GetSharedIO() != 0;
}
