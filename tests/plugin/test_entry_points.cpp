// The plug-in library as a host sees it: its dynamic symbols, what loading
// it does, and the version record it fills.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <set>
#include <sstream>
#include <string>

#include "pluginlibrary.h"
#include "zqfmodule.h"
#include "zqfplugin.h"
#include "zqwin32.h"

namespace {

TEST(Exports, ExactlyTheThreeEntryPointsAreDefined)
{
    const std::string command = std::string("nm -D --defined-only '") + ZQ_PLUGIN_PATH + "'";
    std::string listing;
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr) << command;
    char buffer[512];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
        listing.append(buffer, n);
    }
    ASSERT_EQ(pclose(pipe), 0) << command;

    std::set<std::string> functions;
    std::set<std::string> others;
    std::istringstream lines(listing);
    std::string address, type, name;
    while (lines >> address >> type >> name) {
        (type == "T" ? functions : others).insert(name);
    }
    EXPECT_EQ(functions, (std::set<std::string>{"GetModuleCount", "GetModuleDescriptor", "GetModuleVersion"}))
        << listing;
    EXPECT_TRUE(others.empty()) << listing;
}

TEST(ProcessAttach, DisablesThreadCallsOnceWithTheLibrarysOwnHandle)
{
    ASSERT_FALSE(IsResident(ZQ_PLUGIN_PATH)) << "an earlier test left the plug-in loaded";
    const int before = zqwin32::GetDisableThreadLibraryCallsCount();
    {
        PluginLibrary first;
        ASSERT_NE(first.GetHandle(), nullptr);
        EXPECT_EQ(zqwin32::GetDisableThreadLibraryCallsCount() - before, 1);
        EXPECT_EQ(zqwin32::GetLastDisabledModule(), first.GetHandle());
        PluginLibrary second;
        EXPECT_EQ(zqwin32::GetDisableThreadLibraryCallsCount() - before, 1) << "already attached";
    }
    EXPECT_FALSE(IsResident(ZQ_PLUGIN_PATH)) << "the library holds a reference to itself";
    { PluginLibrary again; }
    EXPECT_EQ(zqwin32::GetDisableThreadLibraryCallsCount() - before, 2) << "a fresh load attaches again";
}

// Sized like the host's record; the plug-in owns only its first 35 bytes.
static_assert(sizeof(ModuleVersionInfo) == 64);

TEST(EntryPoints, VersionFillsExactly35BytesOfAZeroedRecord)
{
    PluginLibrary plugin;
    const auto getVersion = plugin.Entry<GetModuleVersionFn>("GetModuleVersion");
    ASSERT_NE(getVersion, nullptr);
    const int32_t numbers[4] = {1, 8, 1, 1};
    std::string expected(reinterpret_cast<const char*>(numbers), sizeof numbers);
    expected.append("5.3.01.trel.00001 \0", 19);
    for (const unsigned char fill : {0x00, 0xA5}) {
        SCOPED_TRACE(fill);
        alignas(ModuleVersionInfo) unsigned char record[64];
        std::memset(record, fill, sizeof record);
        ASSERT_EQ(getVersion(reinterpret_cast<ModuleVersionInfo*>(record)), 1);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(record), 35), expected);
        for (int i = 35; i < 64; ++i) {
            EXPECT_EQ(record[i], fill) << "byte " << i;
        }
    }
    EXPECT_EQ(getVersion(nullptr), -22);
}

}  // namespace
