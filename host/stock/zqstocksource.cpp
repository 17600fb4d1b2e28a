#include "zqstocksource.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <system_error>

#include "g711.h"
#include "zqfdebuglog.h"
#include "zqfformat.h"
#include "zqfmediasample.h"
#include "zqfpin.h"
#include "zqstockoutputpin.h"

namespace {

const char kLogPath[] = "stock\\zqstocksource";

constexpr ZQFID kStockSourceId{0x7a510c01, 0x5e0c, 0x4d11, {0x9a, 0x51, 0x00, 0x0c, 0x50, 0x75, 0x72, 0x01}};

// Unpaced, a frame waits this long for a sample before it is given up.
constexpr int kUnpacedSampleWaitMs = 100;

}  // namespace

ZQStockSource::ZQStockSource(const ZQStockSourceConfig& config)
    : ZQFModule(kStockSourceId, "stock source"),
      m_config(config),
      m_nextSequence(config.firstSequenceNumber),
      m_nextTimestamp(config.firstTimestamp),
      m_tone(config.toneHz, config.clockRateHz),
      m_chirp(config.clockRateHz)
{
    std::vector<ZQFMediaType> offered{ZQFMediaType(config.mainType, config.mediaType)};
    if (config.eventMediaType != 0) {
        offered.emplace_back(config.mainType, config.eventMediaType);
    }
    AddPin(new ZQStockOutputPin(this, offered, ZQFAllocatorConfig{config.poolCount, config.sampleBytes}));
}

ZQStockSource::~ZQStockSource() { StopPacing(); }

// ---------------------------------------------------------------- hooks

bool ZQStockSource::OnReverseNotify(ZQFNotifyInfo* info)
{
    if (info == nullptr) {
        return false;
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_reverseCodes.push_back(info->code);
    }
    switch (info->code) {
    case NOTIFY_INSERT_HEADER:
        m_headerRoom.store(std::max(info->param, 0));
        return true;
    case NOTIFY_SUPPORT_PAYLOAD:
        return true;
    case NOTIFY_FRACTION_LOST:
        m_lastFractionLost.store(info->param);
        return true;
    default:
        return false;
    }
}

bool ZQStockSource::OnStart()
{
    // A second start begins a fresh run.
    StopPacing();
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_finished = false;
    }
    if (m_config.content == ZQStockSourceConfig::Content::Pushed) {
        return true;
    }
    if (const char* problem = ConfigProblem()) {
        DebugLog(kLogPath, __LINE__, ZQF_LOG_ERROR, "ZQStockSource::OnStart %s: %s", GetName(), problem);
        return false;
    }
    if (m_config.content == ZQStockSourceConfig::Content::File && !LoadFile()) {
        DebugLog(kLogPath, __LINE__, ZQF_LOG_ERROR, "ZQStockSource::OnStart %s: cannot read file %s", GetName(),
                 m_config.filePath.c_str());
        return false;
    }
    m_quit.store(false);
    try {
        m_thread = std::thread(&ZQStockSource::Run, this);
    } catch (const std::system_error& error) {
        DebugLog(kLogPath, __LINE__, ZQF_LOG_ERROR, "ZQStockSource::OnStart %s: no thread (%s)", GetName(),
                 error.what());
        return false;
    }
    return true;
}

bool ZQStockSource::OnStop()
{
    StopPacing();
    return true;
}

bool ZQStockSource::OnBeginFlush()
{
    StopPacing();
    return true;
}

// ---------------------------------------------------------------- callers' side

bool ZQStockSource::PushFrame(const uint8_t* payload, int size, bool marker)
{
    return SendFrame(payload, size, marker, 0, m_config.mediaType) == SendResult::Delivered;
}

bool ZQStockSource::WaitFinished(int timeoutMs)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_finishedChanged.wait_for(lock, std::chrono::milliseconds(std::max(timeoutMs, 0)),
                                      [this] { return m_finished; });
}

std::vector<std::vector<uint8_t>> ZQStockSource::GetProducedFrames() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_produced;
}

std::vector<int> ZQStockSource::GetReverseNotifyCodes() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_reverseCodes;
}

// ---------------------------------------------------------------- pacing thread

void ZQStockSource::Run()
{
    std::vector<uint8_t> frame;  // reused: no allocation per frame
    frame.reserve(static_cast<size_t>(m_config.frameBytes));
    const auto start = std::chrono::steady_clock::now();
    const std::chrono::milliseconds period(m_config.packetTimeMs);
    const int sampleWaitMs = m_config.paced ? m_config.packetTimeMs : kUnpacedSampleWaitMs;

    bool exhausted = false;
    for (int64_t n = 0;; ++n) {
        if (m_config.maxFrames >= 0 && n >= m_config.maxFrames) {
            exhausted = true;
            break;
        }
        // Absolute schedule: a late frame does not push the later ones back.
        if (m_config.paced && !WaitUntil(start + n * period)) {
            break;
        }
        if (ShouldQuit()) {
            break;
        }
        const bool event = IsEventFrame(n);
        if (event) {
            ProduceEvent(frame);
        } else if (!ProduceFrame(frame)) {
            exhausted = true;
            break;
        }
        // A talkspurt starts with the first frame of the run.
        const SendResult result = SendFrame(frame.data(), static_cast<int>(frame.size()), n == 0, sampleWaitMs,
                                            event ? m_config.eventMediaType : m_config.mediaType);
        if (result == SendResult::NoSample) {
            if (ShouldQuit()) {
                break;  // the wait ended because the pool was flushed
            }
            // The frame's media time has passed: downstream sees it as lost.
            TakeNumbers(nullptr, 0, nullptr, nullptr);
        }
    }
    if (exhausted) {
        MarkFinished();
    }
}

bool ZQStockSource::ShouldQuit() const { return m_quit.load() || !IsRunning(); }

bool ZQStockSource::WaitUntil(std::chrono::steady_clock::time_point deadline)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return !m_quitRaised.wait_until(lock, deadline, [this] { return m_quit.load(); });
}

void ZQStockSource::StopPacing()
{
    {
        // Raised under the lock so that WaitUntil cannot miss it.
        std::lock_guard<std::mutex> lock(m_mutex);
        m_quit.store(true);
    }
    m_quitRaised.notify_all();
    if (!m_thread.joinable() || m_thread.get_id() == std::this_thread::get_id()) {
        return;
    }
    // Wakes the thread if it waits for a sample of its own pool.
    if (ZQFPinOut* pin = GetOutputPin(0)) {
        pin->OnPinFlush();
    }
    m_thread.join();
}

void ZQStockSource::MarkFinished()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_finished = true;
    }
    m_finishedChanged.notify_all();
}

const char* ZQStockSource::ConfigProblem() const
{
    if (m_config.frameBytes <= 0) {
        return "frameBytes must be positive";
    }
    if (m_config.packetTimeMs <= 0) {
        return "packetTimeMs must be positive";
    }
    if (m_config.clockRateHz == 0) {
        return "clockRateHz must be positive";
    }
    return nullptr;
}

bool ZQStockSource::LoadFile()
{
    std::FILE* file = std::fopen(m_config.filePath.c_str(), "rb");
    if (file == nullptr) {
        return false;
    }
    std::vector<uint8_t> bytes;
    uint8_t chunk[65536];
    size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) {
        bytes.insert(bytes.end(), chunk, chunk + got);
    }
    // A directory opens but cannot be read.
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed) {
        return false;
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    m_fileBytes = std::move(bytes);
    m_fileOffset = 0;
    return true;
}

// ---------------------------------------------------------------- frames

bool ZQStockSource::ProduceFrame(std::vector<uint8_t>& frame)
{
    const size_t frameBytes = static_cast<size_t>(m_config.frameBytes);
    switch (m_config.content) {
    case ZQStockSourceConfig::Content::Tone:
        frame.resize(frameBytes);
        for (uint8_t& byte : frame) {
            byte = g711::EncodeForMediaType(m_tone.NextSample(), m_config.mediaType);
        }
        return true;
    case ZQStockSourceConfig::Content::Chirp:
        frame.resize(frameBytes);
        for (uint8_t& byte : frame) {
            byte = g711::EncodeForMediaType(m_chirp.NextSample(), m_config.mediaType);
        }
        return true;
    case ZQStockSourceConfig::Content::File: {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_fileOffset >= m_fileBytes.size()) {
            return false;
        }
        const size_t length = std::min(frameBytes, m_fileBytes.size() - m_fileOffset);
        const auto first = m_fileBytes.begin() + static_cast<std::ptrdiff_t>(m_fileOffset);
        frame.assign(first, first + static_cast<std::ptrdiff_t>(length));
        m_fileOffset += length;
        return true;
    }
    case ZQStockSourceConfig::Content::Pushed:
        break;
    }
    return false;
}

bool ZQStockSource::IsEventFrame(int64_t n) const
{
    // The first frame of a run stays media: it opens the talkspurt.
    return m_config.eventMediaType != 0 && m_config.eventEveryFrames > 0 && (n + 1) % m_config.eventEveryFrames == 0;
}

void ZQStockSource::ProduceEvent(std::vector<uint8_t>& frame) const
{
    // RFC 4733: event, E|R|volume, duration (big-endian) covering one frame.
    constexpr uint8_t kEvent = 1;
    constexpr uint8_t kEndBit = 0x80;
    constexpr uint8_t kVolume = 10;
    const uint64_t ticks = static_cast<uint64_t>(m_config.clockRateHz) *
                           static_cast<uint64_t>(std::max(m_config.packetTimeMs, 0)) / 1000;
    const uint16_t duration = static_cast<uint16_t>(std::min<uint64_t>(ticks, UINT16_MAX));
    frame.assign({kEvent, static_cast<uint8_t>(kEndBit | kVolume), static_cast<uint8_t>(duration >> 8),
                  static_cast<uint8_t>(duration & 0xFF)});
}

ZQStockSource::SendResult ZQStockSource::SendFrame(const uint8_t* payload, int size, bool marker, int waitMs,
                                                   int32_t mediaType)
{
    if (size < 0 || (payload == nullptr && size > 0)) {
        return SendResult::Unusable;
    }
    static const uint8_t kEmpty = 0;
    if (payload == nullptr) {
        payload = &kEmpty;  // an empty frame is still a frame to keep
    }
    ZQFPinOut* pin = GetOutputPin(0);
    ZQFMediaSample* sample = pin ? pin->GetNewSample(waitMs) : nullptr;
    if (sample == nullptr) {
        m_noSample.fetch_add(1);
        return SendResult::NoSample;
    }
    // The downstream module writes its header into the room in front.
    const int headerRoom = m_headerRoom.load();
    const int offset = sample->GetDataWriteOffset();
    if (static_cast<int64_t>(offset) + headerRoom + size > sample->GetBufferSize()) {
        sample->Recycle();
        m_tooLarge.fetch_add(1);
        return SendResult::Unusable;
    }
    if (size > 0) {
        std::memcpy(sample->GetDataBuffer() + offset + headerRoom, payload, static_cast<size_t>(size));
    }
    sample->m_PayloadLength = size;
    sample->SetDataReadOffset(offset + headerRoom);
    sample->SetPacketHeaderBytes(headerRoom);
    sample->GetMediaType()->SetMainType(m_config.mainType);
    sample->GetMediaType()->SetSubType(mediaType);

    NKRMultiplexedPacketFormat format;
    TakeNumbers(payload, size, &format.sequenceNumber, &format.timestamp);
    format.marker = marker ? 1 : 0;
    sample->AllocFormatBuffer(format, false);

    if (pin->Deliver(sample)) {
        m_delivered.fetch_add(1);
        return SendResult::Delivered;
    }
    sample->Recycle();
    m_refused.fetch_add(1);
    return SendResult::Refused;
}

void ZQStockSource::TakeNumbers(const uint8_t* payload, int size, uint16_t* sequence, uint32_t* timestamp)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (payload != nullptr && m_keepFrames.load()) {
        m_produced.emplace_back(payload, payload + size);
    }
    if (sequence != nullptr) {
        *sequence = m_nextSequence;
    }
    if (timestamp != nullptr) {
        *timestamp = m_nextTimestamp;
    }
    ++m_nextSequence;  // wraps from 65535 to 0
    ++m_frameIndex;
    m_nextTimestamp = TimestampAt(m_frameIndex);
}

uint32_t ZQStockSource::TimestampAt(int64_t frameIndex) const
{
    // From the frame index rather than by adding a step, so that rates whose
    // step is not whole do not drift.
    const uint64_t packetTimeMs = static_cast<uint64_t>(std::max(m_config.packetTimeMs, 0));
    const uint64_t units = static_cast<uint64_t>(frameIndex) * m_config.clockRateHz * packetTimeMs / 1000;
    return m_config.firstTimestamp + static_cast<uint32_t>(units);
}
