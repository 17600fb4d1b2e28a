// The plug-in library as a host sees it: its dynamic symbols, what loading
// it does, and the three exported functions called as the host calls them.
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
        EXPECT_EQ(second.GetHandle(), first.GetHandle());
        EXPECT_EQ(zqwin32::GetDisableThreadLibraryCallsCount() - before, 1) << "already attached";
    }
    EXPECT_FALSE(IsResident(ZQ_PLUGIN_PATH)) << "the library holds a reference to itself";
    { PluginLibrary again; }
    EXPECT_EQ(zqwin32::GetDisableThreadLibraryCallsCount() - before, 2) << "a fresh load attaches again";
}

class EntryPointsTest : public ::testing::Test {
protected:
    PluginLibrary plugin;
    GetModuleCountFn getCount = plugin.Entry<GetModuleCountFn>("GetModuleCount");
    GetModuleDescriptorFn getDescriptors = plugin.Entry<GetModuleDescriptorFn>("GetModuleDescriptor");
    GetModuleVersionFn getVersion = plugin.Entry<GetModuleVersionFn>("GetModuleVersion");
};

// Identities as the host finds them in memory (GUID layout, little-endian
// fields); the names and numbers are zqhost info's (tests/plugin/check_zqhost.cmake).
const uint8_t kIdBytes[3][16] = {
    {0xbe, 0xce, 0x47, 0x6f, 0x66, 0xee, 0xc5, 0x46, 0xac, 0x3d, 0x3f, 0x9f, 0xf1, 0x8c, 0x2c, 0x9b},
    {0x77, 0x0b, 0x14, 0x64, 0x89, 0xfb, 0x70, 0x41, 0xbd, 0xe2, 0xca, 0xfc, 0x58, 0xbf, 0x75, 0x27},
    {0x50, 0x75, 0x09, 0xe6, 0x41, 0xc4, 0x44, 0x40, 0xb9, 0xc8, 0xe3, 0x29, 0x49, 0xc1, 0xdf, 0x10},
};

TEST_F(EntryPointsTest, DescriptorsComeInOrderWithTheirIdentitiesAsConstantData)
{
    ASSERT_NE(getCount, nullptr);
    ASSERT_NE(getDescriptors, nullptr);
    EXPECT_EQ(getCount(), 3);
    const ModuleDescriptor* descriptors = getDescriptors();
    ASSERT_NE(descriptors, nullptr);
    EXPECT_EQ(getDescriptors(), descriptors) << "constant data, same address each time";
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        const ModuleDescriptor& d = descriptors[i];
        EXPECT_EQ(std::u16string(d.category), u"RTP stack");
        EXPECT_EQ(d.category, descriptors[0].category) << "one shared category string";
        ASSERT_NE(d.id, nullptr);
        EXPECT_EQ(std::memcmp(d.id, kIdBytes[i], 16), 0);
        EXPECT_NE(d.factory, nullptr);
    }
    delete descriptors[0].factory();
    EXPECT_EQ(getCount(), 3) << "creating a module changes nothing";
}

// Sized like the host's record; the plug-in owns only its first 35 bytes.
static_assert(sizeof(ModuleVersionInfo) == 64);

TEST_F(EntryPointsTest, VersionFillsExactly35BytesOfAZeroedRecord)
{
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
