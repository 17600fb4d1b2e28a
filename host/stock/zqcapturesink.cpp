#include "zqcapturesink.h"

#include <algorithm>
#include <cerrno>
#include <chrono>

#include "zqfdebuglog.h"
#include "zqfformat.h"
#include "zqfmediasample.h"
#include "zqfpin.h"

namespace {

const char kLogPath[] = "stock\\zqcapturesink";

constexpr ZQFID kCaptureSinkId{0x7a510c02, 0x5e0c, 0x4d11, {0x9a, 0x51, 0x00, 0x0c, 0x53, 0x69, 0x6e, 0x6b}};

uint64_t SteadyNowNs()
{
    return static_cast<uint64_t>(
        std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
            .count());
}


ZQCapturedPacket MakePacket(const ZQFMediaSample* sample, const uint8_t* payload, int size, uint64_t arrivalNs)
{
    ZQCapturedPacket packet;
    if (size > 0) {
        packet.payload.assign(payload, payload + size);
    }
    packet.mainType = sample->GetMediaType()->GetMainType();
    packet.subType = sample->GetMediaType()->GetSubType();
    const ZQFFormatBuffer* format = sample->GetFormatBuffer();
    const auto* rtp = format != nullptr && format->GetKind() == NKRMultiplexedPacketFormat::kKind
                          ? dynamic_cast<const NKRMultiplexedPacketFormat*>(format)
                          : nullptr;
    if (rtp != nullptr) {
        packet.hasFormat = true;
        packet.sequenceNumber = rtp->sequenceNumber;
        packet.timestamp = rtp->timestamp;
        packet.ssrc = rtp->ssrc;
        packet.marker = rtp->marker != 0;
    }
    packet.arrivalNs = arrivalNs;
    return packet;
}

}  // namespace

ZQCaptureSink::ZQCaptureSink(const char* name) : ZQFModule(kCaptureSinkId, name) { AddPin(new ZQFPinIn(this, "in")); }

ZQCaptureSink::~ZQCaptureSink() { CloseOutputFile(); }

bool ZQCaptureSink::OnProcessMediaSample(ZQFMediaSample* sample, int /*value*/)
{
    if (sample == nullptr) {
        return false;
    }
    const uint64_t arrivalNs = SteadyNowNs();
    int size = 0;
    const uint8_t* payload = sample->GetPayload(&size);
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_refuse) {
            return false;
        }
        ++m_count;
        m_octets += static_cast<uint64_t>(size);
        if (m_file != nullptr && size > 0 &&
            std::fwrite(payload, 1, static_cast<size_t>(size), m_file) != static_cast<size_t>(size)) {
            m_writeError = errno;
            DebugLog(kLogPath, __LINE__, ZQF_LOG_ERROR, "ZQCaptureSink %s: write failed, file closed", GetName());
            CloseOutputFileLocked();
        }
        if (m_packets.size() < m_keepLimit) {
            m_packets.push_back(MakePacket(sample, payload, size, arrivalNs));
        }
    }
    m_changed.notify_all();
    // The input pin drops the reference we were handed.
    return true;
}

bool ZQCaptureSink::OnNotify(ZQFNotifyInfo* info)
{
    if (info == nullptr) {
        return false;
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_notifications.push_back(*info);
    }
    m_changed.notify_all();
    return true;
}

bool ZQCaptureSink::OpenOutputFile(const char* path)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    CloseOutputFileLocked();
    m_writeError = 0;
    if (path == nullptr) {
        return false;
    }
    m_file = std::fopen(path, "wb");
    if (m_file == nullptr) {
        DebugLog(kLogPath, __LINE__, ZQF_LOG_ERROR, "ZQCaptureSink %s: cannot open %s", GetName(), path);
        return false;
    }
    return true;
}

void ZQCaptureSink::CloseOutputFile()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    CloseOutputFileLocked();
}

void ZQCaptureSink::CloseOutputFileLocked()
{
    if (m_file == nullptr) {
        return;
    }
    // What stdio still held is written now: a full disk shows here too.
    const bool flushed = std::fflush(m_file) == 0;
    const int flushError = errno;
    const bool closed = std::fclose(m_file) == 0;
    if (m_writeError == 0 && !(flushed && closed)) {
        m_writeError = flushed ? errno : flushError;
        DebugLog(kLogPath, __LINE__, ZQF_LOG_ERROR, "ZQCaptureSink %s: write failed, file closed", GetName());
    }
    m_file = nullptr;
}

int ZQCaptureSink::GetWriteError() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_writeError;
}

void ZQCaptureSink::SetKeepLimit(size_t limit)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_keepLimit = limit;
    if (m_packets.size() > limit) {
        m_packets.resize(limit);
    }
}

void ZQCaptureSink::SetRefuse(bool refuse)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_refuse = refuse;
}

std::vector<ZQCapturedPacket> ZQCaptureSink::GetPackets() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_packets;
}

uint64_t ZQCaptureSink::GetPacketCount() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_count;
}

uint64_t ZQCaptureSink::GetOctetCount() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_octets;
}

bool ZQCaptureSink::WaitForPackets(uint64_t count, int timeoutMs) const
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_changed.wait_for(lock, std::chrono::milliseconds(std::max(timeoutMs, 0)),
                              [&] { return m_count >= count; });
}

std::vector<ZQFNotifyInfo> ZQCaptureSink::GetNotifications() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_notifications;
}

bool ZQCaptureSink::WaitForNotification(int code, int timeoutMs) const
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_changed.wait_for(lock, std::chrono::milliseconds(std::max(timeoutMs, 0)), [&] {
        return std::any_of(m_notifications.begin(), m_notifications.end(),
                           [code](const ZQFNotifyInfo& info) { return info.code == code; });
    });
}
