// A stack module's settings saved to and loaded from XML nodes.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "log_capture.h"
#include "module/zqmrtpstackids.h"
#include "module/zqmrtpstackmodule.h"
#include "zqfid.h"
#include "zqfxml.h"

namespace {

const char* const kIID = "4892c26c-58a0-441a-9388-3cbdb0c6df8e";

struct Setting {
    std::string name;
    std::string type;
    std::string value;
};

std::vector<Setting> SettingsOf(CXMLNode& parent)
{
    std::vector<Setting> settings;
    CXMLNode* node = parent.GetChild(0);
    if (node == nullptr) {
        return settings;
    }
    for (size_t i = 0; i < node->GetChildCount(); ++i) {
        CXMLNode* child = node->GetChild(i);
        EXPECT_EQ(child->GetAttributes().size(), 3u);
        settings.push_back({child->GetAttribute("name"), child->GetAttribute("type"), child->GetAttribute("value")});
    }
    return settings;
}

// A module node holding one settings node with the given settings, after
// a child without "IID" when `strangerFirst`.
std::unique_ptr<CXMLNode> ModuleNodeWith(const std::vector<std::pair<std::string, std::string>>& settings,
                                         const char* iid = kIID, bool strangerFirst = false)
{
    auto module = std::make_unique<CXMLNode>("module");
    if (strangerFirst) {
        auto* stranger = new CXMLNode(module.get(), 5, 0);
        stranger->AddAttrib("name", "something else");
        module->AddChild(stranger);
    }
    auto* node = new CXMLNode(module.get(), 2, 0);
    node->AddAttrib("name", "ZQMRTPStackProPage");
    node->AddAttrib("IID", iid);
    module->AddChild(node);
    for (const auto& [name, value] : settings) {
        auto* setting = new CXMLNode(node, 3, 2);
        setting->AddAttrib("name", name.c_str());
        setting->AddAttrib("type", "BOOL");
        setting->AddAttrib("value", value.c_str());
        node->AddChild(setting);
    }
    return module;
}

TEST(StackSettings, SavedReceivingModuleHasFiftyTwoSettingsInOrder)
{
    ZQMRTPStackModule module(ZQMID_RTPIn, "Input RTP stack");
    ASSERT_TRUE(module.EnableMediaType(0x40001));
    CXMLNode parent("module");
    ASSERT_TRUE(module.SaveSettings(&parent));
    ASSERT_EQ(parent.GetChildCount(), 1u);
    EXPECT_STREQ(parent.GetChild(0)->GetAttribute("name"), "ZQMRTPStackProPage");
    EXPECT_STREQ(parent.GetChild(0)->GetAttribute("IID"), kIID);

    const std::vector<Setting> settings = SettingsOf(parent);
    ASSERT_EQ(settings.size(), 52u);
    struct Expected {
        size_t index;
        const char* name;
        const char* value;  // nullptr: not looked at
    };
    for (const Expected& e : {Expected{0, "LocalIPAddress", nullptr}, Expected{1, "RemoteIPAddress", nullptr},
                              Expected{2, "LocalRTPPort", "8000"}, Expected{5, "RemoteRTCPPort", "8001"},
                              Expected{6, "videoH261", "0"}, Expected{11, "audioG711A", "1"},
                              Expected{14, "audioG722_2", nullptr}, Expected{50, "dataT140", "0"},
                              Expected{51, "disableSeqNumGen", "0"}}) {
        EXPECT_EQ(settings[e.index].name, e.name);
        EXPECT_TRUE(e.value == nullptr || settings[e.index].value == e.value) << e.name;
    }
    EXPECT_EQ(settings[0].type, "STRING");
    EXPECT_EQ(settings[0].value, module.GetLocalIPAddress());
    for (size_t i = 6; i < 52; ++i) {
        EXPECT_EQ(settings[i].type, "BOOL") << settings[i].name;
    }
}

TEST(StackSettings, LoadingFollowsItsRules)
{
    using Holds = std::function<bool(ZQMRTPStackModule&)>;
    const auto enabled = [](int32_t type, bool on = true) -> Holds {
        return [=](ZQMRTPStackModule& module) { return module.IsMediaTypeEnabled(type) == on; };
    };
    const auto autoNumbering = [](bool on) -> Holds {
        return [=](ZQMRTPStackModule& module) { return module.GetAutoSequenceNumbers() == on; };
    };
    struct Case {
        const char* what;
        std::vector<std::pair<std::string, std::string>> settings;
        Holds holds;
    };
    const std::vector<Case> cases = {
        {"TDAC48_2 enables 0x4000c", {{"audioTDAC48_2", "1"}}, enabled(0x4000c)},
        {"TDAC48_4 enables 0x4000d", {{"audioTDAC48_4", "1"}}, enabled(0x4000d)},
        {"T140 enables the first text form", {{"dataT140", "1"}}, enabled(0x100003)},
        {"T140 enables the second text form", {{"dataT140", "1"}}, enabled(0x100004)},
        {"value 0 does nothing", {{"videoH261", "0"}}, enabled(0x10001, false)},
        {"value 2 enables", {{"videoH261", "2"}}, enabled(0x10001)},
        {"keys compare exactly", {{"VideoH261", "1"}, {"videoH2611", "1"}, {"videoH26", "1"}}, enabled(0x10001, false)},
        {"loading only adds", {{"audioG711A", "1"}, {"audioG711A", "0"}}, enabled(0x40001)},
        {"text keys compare exactly", {{"localIPAddress", "10.1.1.1"}, {"LocalIPAddressX", "10.1.1.2"}},
         [](ZQMRTPStackModule& module) { return std::string(module.GetLocalIPAddress()).rfind("10.1.1.", 0) != 0; }},
        {"the remote address sets both", {{"RemoteIPAddress", "127.0.0.9"}},
         [](ZQMRTPStackModule& module) {
             return std::string(module.GetRemoteRTPAddress()) == "127.0.0.9" &&
                    std::string(module.GetRemoteRTCPAddress()) == "127.0.0.9";
         }},
        {"the last occurrence wins", {{"LocalRTPPort", "7000"}, {"LocalRTPPort", "7002"}},
         [](ZQMRTPStackModule& module) { return std::string(module.GetLocalRTPPort()) == "7002"; }},
        {"numbering is switched off by 1", {{"disableSeqNumGen", "1"}}, autoNumbering(false)},
        {"and only by 1", {{"disableSeqNumGen", "2"}}, autoNumbering(true)},
    };
    for (const Case& c : cases) {
        ZQMRTPStackModule module(ZQMID_RTPOut, "Output RTP stack");
        auto node = ModuleNodeWith(c.settings);
        ASSERT_TRUE(module.LoadSettings(node.get())) << c.what;
        EXPECT_TRUE(c.holds(module)) << c.what;
    }
}

TEST(StackSettings, ModuleNodeWithoutSettingsOrWithAnAnonymousFirstChild)
{
    ZQMRTPStackModule module(ZQMID_RTPIn, "Input RTP stack");
    EXPECT_FALSE(module.LoadSettings(nullptr));
    CXMLNode empty("module");
    EXPECT_TRUE(module.LoadSettings(&empty));

    // A first child without "IID" stops the search, even before a settings node.
    EXPECT_FALSE(module.LoadSettings(ModuleNodeWith({{"audioG711A", "1"}}, kIID, true).get()));
    // A child with another identity is passed over.
    EXPECT_TRUE(module.LoadSettings(ModuleNodeWith({{"audioG711A", "1"}}, "cf2840ac-7f32-4cec-a83d-98659887833e").get()));
    EXPECT_EQ(module.GetMediaTypeCount(), 0u);
}

// Keys as SDP writes them: 30 bytes of key and salt.
constexpr const char* kSendKey = "dGVzdCBrZXk6IHRoaXJ0eSBieXRlcyBleGFjdCEh";
constexpr const char* kReceiveKey = "YW5vdGhlciBrZXksIHRoaXJ0eSBieXRlcyBsb25n";

TEST(StackSettings, SrtpKeysFollowTheOthersOnlyWhileOnAndTravelAsGiven)
{
    ZQMRTPStackModule module(ZQMID_RTPOut, "Output RTP stack");
    ASSERT_TRUE(module.SetSRTP("AES_CM_128_HMAC_SHA1_32", kSendKey, kReceiveKey, nullptr));
    CXMLNode parent("module");
    ASSERT_TRUE(module.SaveSettings(&parent));
    const std::vector<Setting> settings = SettingsOf(parent);
    ASSERT_EQ(settings.size(), 55u);
    EXPECT_EQ(settings[51].name, "disableSeqNumGen");
    const Setting expected[] = {{"SRTPSuite", "STRING", "AES_CM_128_HMAC_SHA1_32"},
                                {"SRTPSendKey", "STRING", kSendKey},
                                {"SRTPReceiveKey", "STRING", kReceiveKey}};
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(settings[52 + i].name, expected[i].name);
        EXPECT_EQ(settings[52 + i].type, expected[i].type);
        EXPECT_EQ(settings[52 + i].value, expected[i].value);
    }

    ZQMRTPStackModule loaded(ZQMID_RTPOut, "Output RTP stack");
    ASSERT_TRUE(loaded.LoadSettings(&parent));
    EXPECT_STREQ(loaded.GetSRTPSuite(), "AES_CM_128_HMAC_SHA1_32");
    EXPECT_STREQ(loaded.GetSRTPSendKey(), kSendKey);
    EXPECT_STREQ(loaded.GetSRTPReceiveKey(), kReceiveKey);

    // Off again: the file is as it was before SRTP existed.
    ASSERT_TRUE(loaded.SetSRTP("", nullptr, nullptr, nullptr));
    CXMLNode plain("module");
    ASSERT_TRUE(loaded.SaveSettings(&plain));
    EXPECT_EQ(SettingsOf(plain).size(), 52u);
    EXPECT_STREQ(loaded.GetSRTPSendKey(), "");
    EXPECT_FALSE(loaded.GetSRTPStatistics(nullptr, nullptr, nullptr, nullptr));
}

TEST(StackSettings, RefusedSrtpValuesRefuseTheSettingsAndNameTheKey)
{
    struct Case {
        std::string suite, sendKey, receiveKey;
        const char* namedKey;
        const char* reason;
    };
    const Case cases[] = {
        {"AES_CM_128_HMAC_SHA1_81", kSendKey, kSendKey, "SRTPSuite", "unknown suite \"AES_CM_128_HMAC_SHA1_81\""},
        {"AES_CM_128_HMAC_SHA1_80", "not base64!", kSendKey, "SRTPSendKey", "the send key"},
        {"AEAD_AES_128_GCM", kSendKey, kSendKey, "SRTPSendKey", "takes 28"},
        {"AES_CM_128_HMAC_SHA1_80", kSendKey, "", "SRTPReceiveKey", "the receive key"},
    };
    for (const Case& c : cases) {
        LogCapture logs;
        ZQMRTPStackModule module(ZQMID_RTPIn, "Input RTP stack");
        auto node = ModuleNodeWith({{"SRTPSuite", c.suite}, {"SRTPSendKey", c.sendKey}, {"SRTPReceiveKey", c.receiveKey}});
        EXPECT_FALSE(module.LoadSettings(node.get())) << c.namedKey;
        EXPECT_EQ(logs.CountContaining(std::string("setting \"") + c.namedKey + "\" refused"), 1) << c.namedKey;
        EXPECT_EQ(logs.CountContaining(c.reason), 1) << c.reason;
        EXPECT_STREQ(module.GetSRTPSuite(), "") << "nothing applied";
    }
}

// "RTCPMux" comes last, after the SRTP keys, and only while on: a graph
// without it saves what it saved before. A file without the key leaves the
// setting alone; one the table refuses refuses the settings and names it.
TEST(StackSettings, RtcpMuxFollowsTheOthersOnlyWhileOnAndRoundTrips)
{
    ZQMRTPStackModule module(ZQMID_RTPIn, "Input RTP stack");
    ASSERT_TRUE(module.SetSRTP("AES_CM_128_HMAC_SHA1_80", kSendKey, kReceiveKey, nullptr));
    ASSERT_TRUE(module.SetRTCPMux(1));
    CXMLNode parent("module");
    ASSERT_TRUE(module.SaveSettings(&parent));
    const std::vector<Setting> settings = SettingsOf(parent);
    ASSERT_EQ(settings.size(), 56u);
    EXPECT_EQ(settings[54].name, "SRTPReceiveKey");
    EXPECT_EQ(settings[55].name, "RTCPMux");
    EXPECT_EQ(settings[55].type, "BOOL");
    EXPECT_EQ(settings[55].value, "1");

    ZQMRTPStackModule loaded(ZQMID_RTPOut, "Output RTP stack");
    ASSERT_TRUE(loaded.LoadSettings(&parent));
    EXPECT_EQ(loaded.GetRTCPMux(), 1);
    ASSERT_TRUE(loaded.LoadSettings(ModuleNodeWith({{"audioG711A", "1"}}).get()));
    EXPECT_EQ(loaded.GetRTCPMux(), 1) << "a file without the key changes nothing";
    ASSERT_TRUE(loaded.LoadSettings(ModuleNodeWith({{"RTCPMux", "0"}}).get()));
    EXPECT_EQ(loaded.GetRTCPMux(), 0);

    ZQMRTPStackModule plain(ZQMID_RTPIn, "Input RTP stack");
    CXMLNode unchanged("module");
    ASSERT_TRUE(plain.SaveSettings(&unchanged));
    EXPECT_EQ(SettingsOf(unchanged).size(), 52u);

    LogCapture logs;
    ASSERT_TRUE(plain.AddMediaType(0x40001, 80));
    EXPECT_FALSE(plain.LoadSettings(ModuleNodeWith({{"RTCPMux", "1"}}).get()));
    EXPECT_EQ(logs.CountContaining("setting \"RTCPMux\" refused"), 1);
    EXPECT_EQ(logs.CountContaining("payload type 80 (media type 0x40001)"), 1);
    EXPECT_EQ(plain.GetRTCPMux(), 0);
}

}  // namespace
