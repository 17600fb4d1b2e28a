#include "pluginloader.h"

#include <filesystem>
#include <system_error>

#include "arguments.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kPluginFileName = "zqmrtpstack.so";

fs::path ExecutableDirectory()
{
    std::error_code error;
    const fs::path self = fs::read_symlink("/proc/self/exe", error);
    if (error) {
        throw CommandError("cannot find zqhost's own directory: " + error.message());
    }
    return self.parent_path();
}

}  // namespace

std::string FindDefaultPlugin()
{
    const fs::path directory = ExecutableDirectory();
    const fs::path candidates[] = {directory.parent_path() / "lib" / kPluginFileName,
                                   directory / kPluginFileName};
    for (const fs::path& candidate : candidates) {
        std::error_code error;
        if (fs::is_regular_file(candidate, error)) {
            return candidate.lexically_normal().string();
        }
    }
    throw CommandError("no plug-in found in " + candidates[0].lexically_normal().string() + " or " +
                       candidates[1].string() + "; give one with --plugin PATH");
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
