#pragma once
// Loading the plug-in as a host does, for the commands that need it.
#include <memory>
#include <optional>
#include <string>

#include "zqfplugin.h"

inline constexpr const char* kPluginFileName = "zqmrtpstack.so";

// The folders zqhost looks in for plug-ins: <exe dir>/../lib, then <exe dir>.
// Answers the path of `fileName` in the first that has it; empty when none.
std::string FindPluginFile(const std::string& fileName);

// The plug-in installed with zqhost: <exe dir>/../lib/zqmrtpstack.so, then
// <exe dir>/zqmrtpstack.so. Throws CommandError when neither exists.
std::string FindDefaultPlugin();

// Loads `path`, or the default plug-in when none is given. Throws
// CommandError with the loader's reason when it will not load.
std::unique_ptr<ZQFPlugin> LoadPlugin(const std::optional<std::string>& path);

// "version: N N N N "text"", the plug-in's version record, on standard output.
void PrintPluginVersion(const ZQFPlugin& plugin);
