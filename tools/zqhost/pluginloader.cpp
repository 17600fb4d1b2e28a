#include "pluginloader.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <vector>

#include "arguments.h"

namespace fs = std::filesystem;

namespace {

fs::path ExecutableDirectory()
{
    std::error_code error;
    const fs::path self = fs::read_symlink("/proc/self/exe", error);
    if (error) {
        throw CommandError("cannot find zqhost's own directory: " + error.message());
    }
    return self.parent_path();
}

std::vector<fs::path> PluginDirectories()
{
    const fs::path directory = ExecutableDirectory();
    return {(directory.parent_path() / "lib").lexically_normal(), directory};
}

}  // namespace

std::string FindPluginFile(const std::string& fileName)
{
    for (const fs::path& folder : PluginDirectories()) {
        const fs::path candidate = folder / fileName;
        std::error_code error;
        if (fs::is_regular_file(candidate, error)) {
            return candidate.string();
        }
    }
    return {};
}

std::string FindDefaultPlugin()
{
    std::string found = FindPluginFile(kPluginFileName);
    if (found.empty()) {
        const std::vector<fs::path> folders = PluginDirectories();
        throw CommandError("no plug-in found in " + (folders[0] / kPluginFileName).string() + " or " +
                           (folders[1] / kPluginFileName).string() + "; give one with --plugin PATH");
    }
    return found;
}

std::unique_ptr<ZQFPlugin> LoadPlugin(const std::optional<std::string>& path)
{
    std::string chosen = path ? *path : FindDefaultPlugin();
    // A bare file name means the file here, not a search of the library path.
    if (chosen.find('/') == std::string::npos) {
        chosen = "./" + chosen;
    }
    std::string error;
    std::unique_ptr<ZQFPlugin> plugin(ZQFPlugin::Load(chosen.c_str(), &error));
    if (!plugin) {
        throw CommandError(error);
    }
    return plugin;
}

void PrintPluginVersion(const ZQFPlugin& plugin)
{
    ModuleVersionInfo version{};
    if (!plugin.GetVersion(&version)) {
        std::printf("version: (not given)\n");
        return;
    }
    // Never trust the plug-in to have terminated the text.
    const size_t length = strnlen(version.text, sizeof version.text);
    std::printf("version: %d %d %d %d \"%.*s\"\n", version.numbers[0], version.numbers[1], version.numbers[2],
                version.numbers[3], static_cast<int>(length), version.text);
}
