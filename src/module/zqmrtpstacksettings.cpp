#include "module/zqmrtpstacksettings.h"

#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>

#include "stdafx.h"
#include "zqfid.h"
#include "zqfxml.h"
#include "zqirtpstack.h"
#include "zqmlog.h"
#include "zqmrtpmediatypes.h"

namespace {

const char* const kLogPath = "module\\zqmrtpstacksettings";

constexpr int kSettingsNodeKind = 2;
constexpr int kSettingNodeKind = 3;
constexpr int kSettingNodeFlags = 2;

// The media-type keys in the order they are saved. The identifiers behind
// them come from the media-type table.
constexpr const char* kMediaTypeKeys[] = {
    "videoH261",     "videoH263",     "videoH263+",     "videoH264",      "videoMPEG4",     "audioG711A",
    "audioG711MU",   "audioG722",     "audioG722_2",    "audioG7231",     "audioG729",      "audioG729A",
    "audioTDAC24",   "audioTDAC32",   "audioTDAC32_2",  "audioTDAC32_4",  "audioTDAC48",    "audioTDAC48_2",
    "audioTDAC48_4", "audioTDAC64",   "audioTDAC64_2",  "audioTDAC64_4",  "audioGSM610",    "audioHIERAR",
    "audioSCA729",   "audioEVRC0",    "audioEVRC",      "audioNBAMR",     "audioWBAMR",     "audioMPEG4",
    "audioCODECX",   "audioG7221_24", "audioG7221_32",  "audioG7221C_24", "audioG7221C_32", "audioG7221C_48",
    "audioG7291",    "audioG7291_2",  "audioG726_16",   "audioG726_24",   "audioG726_32",   "audioG726_40",
    "audioRFC2833",  "dataATOR",      "dataT140",
};
static_assert(sizeof kMediaTypeKeys / sizeof kMediaTypeKeys[0] == 45, "45 media-type keys");

// "dataT140" stands for both text forms when loaded.
constexpr int32_t kT140 = 0x100003;
constexpr int32_t kT140Redundant = 0x100004;

enum class TextSetting { LocalIPAddress, RemoteIPAddress, LocalRTPPort, RemoteRTPPort, LocalRTCPPort, RemoteRTCPPort };

struct TextKey {
    const char* key;
    TextSetting setting;
};

constexpr TextKey kTextKeys[] = {
    {"LocalIPAddress", TextSetting::LocalIPAddress}, {"RemoteIPAddress", TextSetting::RemoteIPAddress},
    {"LocalRTPPort", TextSetting::LocalRTPPort},     {"RemoteRTPPort", TextSetting::RemoteRTPPort},
    {"LocalRTCPPort", TextSetting::LocalRTCPPort},   {"RemoteRTCPPort", TextSetting::RemoteRTCPPort},
};

constexpr const char* kSequenceKey = "disableSeqNumGen";

// SRTP, after every other key and only when it is on: a file written
// without it is the same as before it existed. The keys are stored as given.
constexpr const char* kSrtpKeys[] = {"SRTPSuite", "SRTPSendKey", "SRTPReceiveKey"};

struct SrtpTexts {
    std::string values[3];
    bool present = false;
};

// RTCP multiplexing, after the SRTP keys and only when it is on, for the
// same reason. Applied once every media type is in: the stack checks them.
constexpr const char* kRtcpMuxKey = "RTCPMux";

struct RtcpMuxText {
    int value = 0;
    bool present = false;
};

const char* ReadText(ZQIRTPStack* stack, TextSetting setting)
{
    switch (setting) {
    case TextSetting::LocalIPAddress: return stack->GetLocalIPAddress();
    case TextSetting::RemoteIPAddress: return stack->GetRemoteRTPAddress();
    case TextSetting::LocalRTPPort: return stack->GetLocalRTPPort();
    case TextSetting::RemoteRTPPort: return stack->GetRemoteRTPPort();
    case TextSetting::LocalRTCPPort: return stack->GetLocalRTCPPort();
    case TextSetting::RemoteRTCPPort: return stack->GetRemoteRTCPPort();
    }
    return "";
}

void WriteText(ZQIRTPStack* stack, TextSetting setting, const char* value)
{
    switch (setting) {
    case TextSetting::LocalIPAddress: stack->SetLocalIPAddress(value); break;
    case TextSetting::RemoteIPAddress:
        stack->SetRemoteRTPAddress(value);
        stack->SetRemoteRTCPAddress(value);
        break;
    case TextSetting::LocalRTPPort: stack->SetLocalRTPPort(value); break;
    case TextSetting::RemoteRTPPort: stack->SetRemoteRTPPort(value); break;
    case TextSetting::LocalRTCPPort: stack->SetLocalRTCPPort(value); break;
    case TextSetting::RemoteRTCPPort: stack->SetRemoteRTCPPort(value); break;
    }
}

int32_t MediaTypeOfKey(const char* key)
{
    const zqm::MediaTypeInfo* info = zqm::FindMediaTypeByXmlKey(key);
    return info ? info->id : 0;
}

void AddSettingNode(CXMLNode* settings, const char* name, const char* type, const char* text)
{
    auto* node = new CXMLNode(settings, kSettingNodeKind, kSettingNodeFlags);
    node->AddAttrib("name", name);
    node->AddAttrib("type", type);
    node->AddAttrib("value", text);
    settings->AddChild(node);
}

void AddSettingNode(CXMLNode* settings, const char* name, int value)
{
    auto* node = new CXMLNode(settings, kSettingNodeKind, kSettingNodeFlags);
    node->AddAttrib("name", name);
    node->AddAttrib("type", "BOOL");
    node->AddAttrib("value", value);
    settings->AddChild(node);
}

// Applies one setting node. Every key is compared (at most one matches).
void ApplySetting(ZQIRTPStack* stack, const char* name, const char* value)
{
    if (name == nullptr || value == nullptr) {
        return;
    }
    for (const TextKey& text : kTextKeys) {
        if (std::strcmp(name, text.key) == 0) {
            WriteText(stack, text.setting, value);
        }
    }
    for (const char* key : kMediaTypeKeys) {
        if (std::strcmp(name, key) == 0 && std::atoi(value) != 0) {
            const int32_t mediaType = MediaTypeOfKey(key);
            stack->EnableMediaType(mediaType);
            if (mediaType == kT140) {
                stack->EnableMediaType(kT140Redundant);
            }
        }
    }
    if (std::strcmp(name, kSequenceKey) == 0 && std::atoi(value) == 1) {
        stack->SetAutoSequenceNumbers(false);
    }
}

void CollectSrtpSetting(const char* name, const char* value, SrtpTexts* srtp)
{
    if (name == nullptr || value == nullptr) {
        return;
    }
    for (size_t i = 0; i < std::size(kSrtpKeys); ++i) {
        if (std::strcmp(name, kSrtpKeys[i]) == 0) {
            srtp->values[i] = value;
            srtp->present = true;
        }
    }
}

// The three go to the stack together, which checks that they fit.
bool ApplySrtpSettings(ZQIRTPStack* stack, const SrtpTexts& srtp)
{
    if (!srtp.present) {
        return true;
    }
    int refused = 0;
    if (stack->SetSRTP(srtp.values[0].c_str(), srtp.values[1].c_str(), srtp.values[2].c_str(), &refused)) {
        return true;
    }
    const char* key = refused >= 0 && refused < 3 ? kSrtpKeys[refused] : kSrtpKeys[0];
    ZQM_LOG(ZQF_LOG_ERROR, "ZQMRTPStackProPage: setting \"%s\" refused (the line above says why).", key);
    return false;
}

void CollectRtcpMuxSetting(const char* name, const char* value, RtcpMuxText* mux)
{
    if (name != nullptr && value != nullptr && std::strcmp(name, kRtcpMuxKey) == 0) {
        mux->value = std::atoi(value) != 0 ? 1 : 0;
        mux->present = true;
    }
}

bool ApplyRtcpMuxSetting(ZQIRTPStack* stack, const RtcpMuxText& mux)
{
    if (!mux.present || stack->SetRTCPMux(mux.value)) {
        return true;
    }
    ZQM_LOG(ZQF_LOG_ERROR, "ZQMRTPStackProPage: setting \"%s\" refused (the line above says why).", kRtcpMuxKey);
    return false;
}

bool ReadSettings(ZQIRTPStack* stack, CXMLNode* settings)
{
    SrtpTexts srtp;
    RtcpMuxText mux;
    for (CXMLNode* node = settings->GetFirstChild(); node != nullptr; node = settings->GetNextChild()) {
        const char* name = node->GetAttribute("name");
        const char* value = node->GetAttribute("value");
        node->GetAttribute("type");  // read, and of no consequence
        ApplySetting(stack, name, value);
        CollectSrtpSetting(name, value, &srtp);
        CollectRtcpMuxSetting(name, value, &mux);
    }
    const bool srtpApplied = ApplySrtpSettings(stack, srtp);
    const bool muxApplied = ApplyRtcpMuxSetting(stack, mux);
    return srtpApplied && muxApplied;
}

}  // namespace

bool SaveStackSettings(ZQIRTPStack* stack, CXMLNode* parent)
{
    char iid[50] = {};
    ZQFID2String(IID_ZQIRTPStack, iid, sizeof iid);
    auto* settings = new CXMLNode(parent, kSettingsNodeKind, 0);
    settings->AddAttrib("name", "ZQMRTPStackProPage");
    settings->AddAttrib("IID", iid);
    parent->AddChild(settings);

    for (const TextKey& text : kTextKeys) {
        AddSettingNode(settings, text.key, "STRING", ReadText(stack, text.setting));
    }
    for (const char* key : kMediaTypeKeys) {
        AddSettingNode(settings, key, stack->IsMediaTypeEnabled(MediaTypeOfKey(key)) ? 1 : 0);
    }
    AddSettingNode(settings, kSequenceKey, stack->GetAutoSequenceNumbers() ? 0 : 1);
    if (stack->GetSRTPSuite()[0] != '\0') {
        AddSettingNode(settings, kSrtpKeys[0], "STRING", stack->GetSRTPSuite());
        AddSettingNode(settings, kSrtpKeys[1], "STRING", stack->GetSRTPSendKey());
        AddSettingNode(settings, kSrtpKeys[2], "STRING", stack->GetSRTPReceiveKey());
    }
    if (stack->GetRTCPMux() != 0) {
        AddSettingNode(settings, kRtcpMuxKey, 1);
    }
    return true;
}

bool LoadStackSettings(ZQIRTPStack* stack, CXMLNode* moduleNode)
{
    if (moduleNode == nullptr) {
        return false;
    }
    for (CXMLNode* child = moduleNode->GetFirstChild(); child != nullptr; child = moduleNode->GetNextChild()) {
        const char* iid = child->GetAttribute("IID");
        if (iid == nullptr) {
            return false;
        }
        ZQFID id{};
        if (String2ZQFID(iid, &id) && EqualZQFID(id, IID_ZQIRTPStack)) {
            return ReadSettings(stack, child);
        }
    }
    return true;
}
