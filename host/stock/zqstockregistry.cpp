#include "zqstockregistry.h"

#include <cstdint>
#include <cstring>

#include "stocksettingsnodes.h"
#include "zqfilecapturesink.h"
#include "zqfmoduleregistry.h"
#include "zqfxml.h"

namespace {

constexpr const char* kSourceSettings = "ZQStockSource";
constexpr const char* kSinkSettings = "ZQCaptureSink";
// Written for a sink that keeps every packet.
constexpr const char* kKeepAll = "all";

// Limits that keep a hand-edited file from asking for absurd pools or rates.
constexpr int64_t kMaxClockRateHz = 10'000'000;
constexpr int64_t kMaxFrameBytes = 65'536;
constexpr int64_t kMaxPacketTimeMs = 10'000;
constexpr int64_t kMaxPoolCount = 4'096;
constexpr int64_t kMaxSampleBytes = 1 << 20;
constexpr double kMaxToneHz = 1'000'000.0;

struct ContentName {
    ZQStockSourceConfig::Content content;
    const char* name;
};

constexpr ContentName kContentNames[] = {
    {ZQStockSourceConfig::Content::Tone, "tone"},
    {ZQStockSourceConfig::Content::Chirp, "chirp"},
    {ZQStockSourceConfig::Content::File, "file"},
    {ZQStockSourceConfig::Content::Pushed, "pushed"},
};

const char* NameOfContent(ZQStockSourceConfig::Content content)
{
    for (const ContentName& entry : kContentNames) {
        if (entry.content == content) {
            return entry.name;
        }
    }
    return kContentNames[0].name;
}

bool ContentOfName(const std::string& name, ZQStockSourceConfig::Content* content)
{
    for (const ContentName& entry : kContentNames) {
        if (name == entry.name) {
            *content = entry.content;
            return true;
        }
    }
    return false;
}

void SetError(std::string* error, std::string text)
{
    if (error != nullptr) {
        *error = std::move(text);
    }
}

// Reads a bounded integer setting into a field of any integer type.
template <class Field>
bool ReadInteger(StockSettingsReader& reader, const char* name, int64_t min, int64_t max, Field* field)
{
    int64_t value = static_cast<int64_t>(*field);
    if (!reader.Integer(name, min, max, &value)) {
        return false;
    }
    *field = static_cast<Field>(value);
    return true;
}

bool ReadContent(StockSettingsReader& reader, ZQStockSourceConfig* config, std::string* error)
{
    std::string name = NameOfContent(config->content);
    reader.Text("Content", &name);
    if (!ContentOfName(name, &config->content)) {
        SetError(error, "setting Content: '" + name.substr(0, 40) + "' is not tone, chirp, file or pushed");
        return false;
    }
    return true;
}

bool ReadSinkSettings(CXMLNode* moduleNode, ZQCaptureSinkSettings* settings, std::string* error)
{
    StockSettingsReader reader(moduleNode, kSinkSettings);
    reader.Text("OutputFile", &settings->outputPath);
    std::string keep = kKeepAll;
    reader.Text("KeepLimit", &keep);
    if (keep == kKeepAll) {
        settings->keepLimit = SIZE_MAX;
        return true;
    }
    int64_t limit = 0;
    if (!reader.Integer("KeepLimit", 0, INT64_MAX, &limit)) {
        SetError(error, reader.Error() + " (nor \"all\")");
        return false;
    }
    settings->keepLimit = static_cast<size_t>(limit);
    return true;
}

void WriteSinkSettings(const ZQCaptureSinkSettings& settings, CXMLNode* moduleNode)
{
    StockSettingsWriter writer(moduleNode, kSinkSettings);
    writer.Text("OutputFile", settings.outputPath);
    writer.Text("KeepLimit", settings.keepLimit == SIZE_MAX ? kKeepAll : std::to_string(settings.keepLimit));
}

ZQIModule* CreateSource(CXMLNode* moduleNode, std::string* error)
{
    ZQStockSourceConfig config;
    if (!ZQLoadStockSourceConfig(moduleNode, &config, error)) {
        return nullptr;
    }
    return new ZQStockSource(config);
}

bool SaveSource(ZQFModule& module, CXMLNode* moduleNode, std::string* error)
{
    const auto* source = dynamic_cast<const ZQStockSource*>(&module);
    if (source == nullptr) {
        SetError(error, std::string("module '") + module.GetName() + "' is not a stock source");
        return false;
    }
    ZQSaveStockSourceConfig(source->GetConfig(), moduleNode);
    return true;
}

ZQIModule* CreateSink(CXMLNode* moduleNode, std::string* error)
{
    ZQCaptureSinkSettings settings;
    if (!ReadSinkSettings(moduleNode, &settings, error)) {
        return nullptr;
    }
    return new ZQFileCaptureSink("capture sink", settings);
}

// A capture sink made without settings (a plain ZQCaptureSink) writes no
// file and keeps everything, and is saved as such.
bool SaveSink(ZQFModule& module, CXMLNode* moduleNode, std::string* error)
{
    if (dynamic_cast<const ZQCaptureSink*>(&module) == nullptr) {
        SetError(error, std::string("module '") + module.GetName() + "' is not a capture sink");
        return false;
    }
    const auto* withFile = dynamic_cast<const ZQFileCaptureSink*>(&module);
    WriteSinkSettings(withFile ? withFile->GetSettings() : ZQCaptureSinkSettings{}, moduleNode);
    return true;
}

}  // namespace

const ZQFID& ZQStockSourceIdentity()
{
    // Asked of a module, so it can never differ from what instances report.
    static const ZQFID identity = ZQStockSource(ZQStockSourceConfig{}).GetGUID();
    return identity;
}

const ZQFID& ZQCaptureSinkIdentity()
{
    static const ZQFID identity = ZQCaptureSink().GetGUID();
    return identity;
}

bool ZQRegisterStockModules(ZQFModuleRegistry& registry, std::string* error)
{
    return registry.AddHostKind(ZQStockSourceIdentity(), "stock source", &CreateSource, &SaveSource, error) &&
           registry.AddHostKind(ZQCaptureSinkIdentity(), "capture sink", &CreateSink, &SaveSink, error);
}

void ZQSaveStockSourceConfig(const ZQStockSourceConfig& config, CXMLNode* moduleNode)
{
    StockSettingsWriter writer(moduleNode, kSourceSettings);
    writer.Hex("MediaType", static_cast<uint32_t>(config.mediaType));
    writer.Integer("MainType", config.mainType);
    writer.Integer("ClockRateHz", config.clockRateHz);
    writer.Integer("FrameBytes", config.frameBytes);
    writer.Integer("PacketTimeMs", config.packetTimeMs);
    writer.Text("Content", NameOfContent(config.content));
    writer.Number("ToneHz", config.toneHz);
    writer.Text("FilePath", config.filePath);
    writer.Integer("MaxFrames", config.maxFrames);
    writer.Bool("Paced", config.paced);
    writer.Integer("FirstSequenceNumber", config.firstSequenceNumber);
    writer.Integer("FirstTimestamp", config.firstTimestamp);
    writer.Integer("PoolCount", config.poolCount);
    writer.Integer("SampleBytes", config.sampleBytes);
    writer.Hex("EventMediaType", static_cast<uint32_t>(config.eventMediaType));
    writer.Integer("EventEveryFrames", config.eventEveryFrames);
}

bool ZQLoadStockSourceConfig(CXMLNode* moduleNode, ZQStockSourceConfig* config, std::string* error)
{
    StockSettingsReader reader(moduleNode, kSourceSettings);
    const bool usable =
        ReadInteger(reader, "MediaType", INT32_MIN, UINT32_MAX, &config->mediaType) &&
        ReadInteger(reader, "MainType", 0, 7, &config->mainType) &&
        ReadInteger(reader, "ClockRateHz", 1, kMaxClockRateHz, &config->clockRateHz) &&
        ReadInteger(reader, "FrameBytes", 1, kMaxFrameBytes, &config->frameBytes) &&
        ReadInteger(reader, "PacketTimeMs", 1, kMaxPacketTimeMs, &config->packetTimeMs) &&
        reader.Number("ToneHz", 0.0, kMaxToneHz, &config->toneHz) && reader.Text("FilePath", &config->filePath) &&
        ReadInteger(reader, "MaxFrames", -1, INT64_MAX, &config->maxFrames) && reader.Bool("Paced", &config->paced) &&
        ReadInteger(reader, "FirstSequenceNumber", 0, UINT16_MAX, &config->firstSequenceNumber) &&
        ReadInteger(reader, "FirstTimestamp", 0, UINT32_MAX, &config->firstTimestamp) &&
        ReadInteger(reader, "PoolCount", 1, kMaxPoolCount, &config->poolCount) &&
        ReadInteger(reader, "SampleBytes", 1, kMaxSampleBytes, &config->sampleBytes) &&
        // Absent in files from before events: none.
        ReadInteger(reader, "EventMediaType", INT32_MIN, UINT32_MAX, &config->eventMediaType) &&
        ReadInteger(reader, "EventEveryFrames", 0, INT32_MAX, &config->eventEveryFrames);
    if (!usable) {
        SetError(error, reader.Error());
        return false;
    }
    return ReadContent(reader, config, error);
}
