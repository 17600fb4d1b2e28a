// zqhost: loads the plug-in as a media host does and drives it from the
// command line. The commands themselves live in cmd_<name>.cpp.
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "buildid.h"
#include "command.h"
#include "logoptions.h"
#include "pluginloader.h"
#include "zqfdebuglog.h"

namespace {

constexpr int kExitBadUsage = 2;

void PrintProgramHelp(std::FILE* out)
{
    std::fprintf(out, "usage: zqhost COMMAND [OPTIONS]\n"
                      "       zqhost COMMAND --help\n"
                      "       zqhost --version\n\n"
                      "Loads the zqmrtpstack plug-in as a media host does.\n\ncommands:\n");
    for (const Command* command : AllCommands()) {
        std::fprintf(out, "  %-10s %s\n", command->name, command->summary);
    }
}

// zqhost's own build, then the plug-in it loads by default.
int PrintVersion()
{
    std::printf("zqhost build %s\n", ProgramBuildId().c_str());
    try {
        const auto plugin = LoadPlugin(std::nullopt);
        std::printf("plug-in: %s\n", plugin->GetPath().c_str());
        PrintPluginVersion(*plugin);
    } catch (const std::exception& e) {
        std::printf("plug-in: not loaded (%s)\n", e.what());
        return 1;
    }
    return 0;
}

int Fail(const std::string& where, const std::string& message)
{
    zqf::FlushDebugLog();  // the log lines that led here come first
    std::fprintf(stderr, "%s: %s\n", where.c_str(), message.c_str());
    return kExitBadUsage;
}

int RunCommand(const Command& command, std::vector<std::string> rest)
{
    Arguments arguments(std::move(rest));
    if (arguments.TakeFlag("--help") || arguments.TakeFlag("-h")) {
        std::fputs(command.help, stdout);
        return 0;
    }
    return command.run(arguments);
}

}  // namespace

int main(int argc, char** argv)
{
    InstallHostLog();
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) {
        PrintProgramHelp(stderr);
        return kExitBadUsage;
    }
    const std::string& name = args.front();
    if (name == "--help" || name == "-h" || name == "help") {
        PrintProgramHelp(stdout);
        return 0;
    }
    if (name == "--version") {
        return PrintVersion();
    }
    const Command* command = FindCommand(name);
    if (command == nullptr) {
        return Fail("zqhost", "unknown command '" + name + "' (see zqhost --help)");
    }
    try {
        return RunCommand(*command, std::vector<std::string>(args.begin() + 1, args.end()));
    } catch (const CommandError& e) {
        return Fail("zqhost " + name, e.what());
    } catch (const std::exception& e) {
        zqf::FlushDebugLog();
        std::fprintf(stderr, "zqhost %s: %s\n", name.c_str(), e.what());
        return 1;
    }
}
