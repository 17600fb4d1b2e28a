// The three exported functions, called as the host calls them.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "pluginlibrary.h"
#include "zqfmodule.h"
#include "zqfplugin.h"

namespace {

class EntryPointsTest : public ::testing::Test {
protected:
    PluginLibrary plugin;
    GetModuleCountFn getCount = plugin.Entry<GetModuleCountFn>("GetModuleCount");
    GetModuleDescriptorFn getDescriptors = plugin.Entry<GetModuleDescriptorFn>("GetModuleDescriptor");
    GetModuleVersionFn getVersion = plugin.Entry<GetModuleVersionFn>("GetModuleVersion");
};

struct ExpectedModule {
    const char16_t* name;
    intptr_t categoryNumber;
    uint8_t idBytes[16];
};

// Identities as the host finds them in memory (GUID layout, little-endian fields).
const ExpectedModule kExpected[3] = {
    {u"RTP in", 13, {0xbe, 0xce, 0x47, 0x6f, 0x66, 0xee, 0xc5, 0x46, 0xac, 0x3d, 0x3f, 0x9f, 0xf1, 0x8c, 0x2c, 0x9b}},
    {u"RTP out", 14, {0x77, 0x0b, 0x14, 0x64, 0x89, 0xfb, 0x70, 0x41, 0xbd, 0xe2, 0xca, 0xfc, 0x58, 0xbf, 0x75, 0x27}},
    {u"dispatcher", 13, {0x50, 0x75, 0x09, 0xe6, 0x41, 0xc4, 0x44, 0x40, 0xb9, 0xc8, 0xe3, 0x29, 0x49, 0xc1, 0xdf, 0x10}},
};

TEST_F(EntryPointsTest, CountIsThreeOnEveryCall)
{
    ASSERT_NE(getCount, nullptr);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(getCount(), 3);
    }
    ZQIModule* module = getDescriptors()[0].factory();
    delete module;
    EXPECT_EQ(getCount(), 3) << "creating a module changes nothing";
}

TEST_F(EntryPointsTest, DescriptorsComeInOrderWithTheirTextsNumbersAndIdentities)
{
    ASSERT_NE(getDescriptors, nullptr);
    const ModuleDescriptor* descriptors = getDescriptors();
    ASSERT_NE(descriptors, nullptr);
    EXPECT_EQ(getDescriptors(), descriptors) << "constant data, same address each time";
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        const ModuleDescriptor& d = descriptors[i];
        EXPECT_EQ(std::u16string(d.category), u"RTP stack");
        EXPECT_EQ(std::u16string(d.name), kExpected[i].name);
        EXPECT_EQ(d.categoryNumber, kExpected[i].categoryNumber);
        ASSERT_NE(d.id, nullptr);
        EXPECT_EQ(std::memcmp(d.id, kExpected[i].idBytes, 16), 0);
        EXPECT_NE(d.factory, nullptr);
    }
    EXPECT_EQ(descriptors[0].category, descriptors[1].category) << "one shared category string";
    EXPECT_EQ(descriptors[1].category, descriptors[2].category);
}

TEST_F(EntryPointsTest, FactoriesMakeModulesMatchingTheirDescriptorsOrNothing)
{
    const ModuleDescriptor* descriptors = getDescriptors();
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        ZQIModule* module = descriptors[i].factory();
        if (module == nullptr) {
            continue;
        }
        EXPECT_EQ(std::memcmp(&module->GetGUID(), descriptors[i].id, sizeof(ZQFID)), 0);
        EXPECT_EQ(module->GetCategory(), descriptors[i].categoryNumber);
        delete module;
    }
}

// Sized like the host's record; the plug-in owns only its first 35 bytes.
static_assert(sizeof(ModuleVersionInfo) == 64);

std::string ExpectedVersionBytes()
{
    const int32_t numbers[4] = {1, 8, 1, 1};
    std::string bytes(reinterpret_cast<const char*>(numbers), sizeof numbers);
    bytes.append("5.3.01.trel.00001 ", 18);
    bytes.push_back('\0');
    return bytes;
}

TEST_F(EntryPointsTest, VersionFillsExactly35BytesOfAZeroedRecord)
{
    alignas(ModuleVersionInfo) unsigned char record[64] = {};
    ASSERT_EQ(getVersion(reinterpret_cast<ModuleVersionInfo*>(record)), 1);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(record), 35), ExpectedVersionBytes());
    for (int i = 35; i < 64; ++i) {
        EXPECT_EQ(record[i], 0) << "byte " << i;
    }
}

TEST_F(EntryPointsTest, VersionLeavesTheRestOfTheRecordAsItWas)
{
    alignas(ModuleVersionInfo) unsigned char record[64];
    std::memset(record, 0xA5, sizeof record);
    ASSERT_EQ(getVersion(reinterpret_cast<ModuleVersionInfo*>(record)), 1);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(record), 35), ExpectedVersionBytes());
    for (int i = 35; i < 64; ++i) {
        EXPECT_EQ(record[i], 0xA5) << "byte " << i;
    }
}

TEST_F(EntryPointsTest, VersionRefusesANullRecord) { EXPECT_EQ(getVersion(nullptr), -22); }

}  // namespace
