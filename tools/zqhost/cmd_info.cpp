// zqhost info: what the plug-in tells a host about itself.
#include <cstdio>
#include <cstring>

#include "command.h"
#include "pluginloader.h"

namespace {

void PrintModule(int index, const ModuleDescriptor& descriptor)
{
    char id[40] = "(none)";
    if (descriptor.id != nullptr) {
        ZQFID2String(*descriptor.id, id, sizeof id);
    }
    const std::string category = ZQFUtf16ToUtf8(descriptor.category);
    const std::string name = ZQFUtf16ToUtf8(descriptor.name);
    std::printf("  %-5d %-12s %-12s %-8ld %s\n", index, category.c_str(), name.c_str(),
                static_cast<long>(descriptor.categoryNumber), id);
}

int RunInfo(Arguments& arguments)
{
    const auto path = arguments.TakeValue("--plugin");
    arguments.ExpectNoMore();
    const auto plugin = LoadPlugin(path);

    std::printf("plug-in: %s\n", plugin->GetPath().c_str());
    PrintPluginVersion(*plugin);
    std::printf("modules: %d\n", plugin->GetModuleCount());
    std::printf("  %-5s %-12s %-12s %-8s %s\n", "index", "category", "name", "number", "identity");
    for (int i = 0; i < plugin->GetModuleCount(); ++i) {
        PrintModule(i, *plugin->GetDescriptor(i));
    }
    return 0;
}

}  // namespace

extern const Command kInfoCommand = {
    "info",
    "print the plug-in's version and the modules it offers",
    "usage: zqhost info [--plugin PATH]\n\n"
    "Loads the plug-in and prints its version record (four numbers and the\n"
    "text, quoted) and one line per module: index, category, name, category\n"
    "number and identity.\n\n"
    "options:\n"
    "  --plugin PATH  the plug-in to load (default: zqmrtpstack.so in the lib\n"
    "                 directory beside zqhost's, then beside zqhost itself)\n",
    &RunInfo,
};
