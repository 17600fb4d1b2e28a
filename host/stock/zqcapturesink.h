#pragma once
// The host's capture sink: takes every sample delivered to its input pin
// (any media type), keeps its payload and packet fields with the arrival
// time, and can append each payload to a file. Tests and zqhost wait on it.
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "zqfmodule.h"
#include "zqfnotify.h"

struct ZQCapturedPacket {
    std::vector<uint8_t> payload;
    int mainType = 0;
    int32_t subType = 0;
    bool hasFormat = false;  // the packet fields below come from an RTP packet format
    uint16_t sequenceNumber = 0;
    uint32_t timestamp = 0;
    uint32_t ssrc = 0;
    bool marker = false;
    uint64_t arrivalNs = 0;  // steady clock
};

class ZQCaptureSink : public ZQFModule {
public:
    explicit ZQCaptureSink(const char* name = "capture sink");
    ~ZQCaptureSink() override;

    bool OnProcessMediaSample(ZQFMediaSample* sample, int value) override;
    bool OnNotify(ZQFNotifyInfo* info) override;

    // Appends every payload to `path` (truncated first). False when it
    // cannot be opened.
    bool OpenOutputFile(const char* path);
    // Flushes and closes the output file, if one is open.
    void CloseOutputFile();
    // The errno of the first failed write, flush or close of the output file
    // (the file is closed then); 0 while none failed.
    int GetWriteError() const;
    // Keep at most this many packets in memory (default: all; 0: none): the
    // first ones; later packets are counted (and written) only.
    void SetKeepLimit(size_t limit);
    // Answer false to every sample from now on (a downstream that refuses).
    void SetRefuse(bool refuse);

    std::vector<ZQCapturedPacket> GetPackets() const;
    uint64_t GetPacketCount() const;
    uint64_t GetOctetCount() const;
    // Waits until at least `count` packets arrived; false on time-out.
    bool WaitForPackets(uint64_t count, int timeoutMs) const;
    std::vector<ZQFNotifyInfo> GetNotifications() const;
    // Waits until a notification with `code` arrived; false on time-out.
    bool WaitForNotification(int code, int timeoutMs) const;

private:
    void CloseOutputFileLocked();

    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    std::vector<ZQCapturedPacket> m_packets;
    std::vector<ZQFNotifyInfo> m_notifications;
    size_t m_keepLimit = SIZE_MAX;
    uint64_t m_count = 0;
    uint64_t m_octets = 0;
    bool m_refuse = false;
    std::FILE* m_file = nullptr;
    int m_writeError = 0;
};
