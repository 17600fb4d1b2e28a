#pragma once
// The host's paced media source: produces payload frames (a generated tone
// encoded as G.711, a rising chirp, a file's bytes, or frames the caller
// pushes) as samples on its output pin, filling the packet format's
// sequence number, timestamp and marker, and leaving in front of each
// payload the header room that a downstream module asks for with
// NOTIFY_INSERT_HEADER.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "stocksignal.h"
#include "zqfmodule.h"
#include "zqfnotify.h"

struct ZQStockSourceConfig {
    enum class Content {
        Tone,    // a sine of `toneHz`, encoded with the media type's G.711 law
        Chirp,   // a rising chirp: every frame differs (for payload comparisons)
        File,    // the bytes of `filePath`, `frameBytes` at a time
        Pushed,  // nothing of its own: frames come from PushFrame
    };

    int32_t mediaType = 0x40001;  // framework sub type (G.711 A-law by default)
    int mainType = 1;             // framework main type (1 audio)
    uint32_t clockRateHz = 8000;  // RTP timestamp rate
    int frameBytes = 160;         // payload bytes per frame
    int packetTimeMs = 20;        // media time per frame
    Content content = Content::Tone;
    double toneHz = 440.0;
    std::string filePath;
    int64_t maxFrames = -1;       // stop after this many frames (-1: no limit)
    bool paced = true;            // one frame per packet time; false: as fast as the pool allows
    uint16_t firstSequenceNumber = 0;
    uint32_t firstTimestamp = 0;
    int poolCount = 16;           // samples in the output pin's pool
    int sampleBytes = 2048;       // bytes per sample (header room + payload must fit)
    // Telephone events mixed into the stream: when both are set, every
    // `eventEveryFrames`-th frame is an RFC 4733 event payload of this type
    // (same main type) instead of a media frame.
    int32_t eventMediaType = 0;   // 0: no events
    int eventEveryFrames = 0;
};

class ZQStockSource : public ZQFModule {
public:
    explicit ZQStockSource(const ZQStockSourceConfig& config);
    ~ZQStockSource() override;

    bool OnReverseNotify(ZQFNotifyInfo* info) override;
    // Starts the pacing thread (not for pushed content). The thread runs while
    // the module is marked running, as the graph marks it before OnStart.
    bool OnStart() override;
    bool OnStop() override;
    bool OnBeginFlush() override;

    // Pushed content: sends one frame now, on the caller's thread. False when
    // no sample was free, the payload does not fit, or downstream refused it.
    bool PushFrame(const uint8_t* payload, int size, bool marker = false);

    // Waits until the source has produced everything it will (maxFrames or
    // the end of the file); false on time-out.
    bool WaitFinished(int timeoutMs);

    const ZQStockSourceConfig& GetConfig() const { return m_config; }
    int GetHeaderRoom() const { return m_headerRoom.load(); }
    uint64_t GetFramesDelivered() const { return m_delivered.load(); }
    uint64_t GetFramesRefused() const { return m_refused.load(); }
    uint64_t GetFramesWithoutSample() const { return m_noSample.load(); }
    // Frames that did not fit in a sample behind the header room.
    uint64_t GetFramesTooLarge() const { return m_tooLarge.load(); }
    // The payload of every frame produced, in order (kept when `keepFrames`):
    // every frame offered downstream, refused ones included.
    std::vector<std::vector<uint8_t>> GetProducedFrames() const;
    void SetKeepFrames(bool keep) { m_keepFrames.store(keep); }
    // The last NOTIFY_FRACTION_LOST parameter that reached the source (-1: none).
    int GetLastFractionLost() const { return m_lastFractionLost.load(); }
    // Every reverse notification code that reached the source, in order.
    std::vector<int> GetReverseNotifyCodes() const;

private:
    enum class SendResult { Delivered, Refused, NoSample, Unusable };

    void Run();
    bool ShouldQuit() const;
    // Sleeps until `deadline` or until asked to quit; false when asked to quit.
    bool WaitUntil(std::chrono::steady_clock::time_point deadline);
    // Ends the pacing thread and joins it (not from the thread itself).
    void StopPacing();
    void MarkFinished();
    const char* ConfigProblem() const;
    bool LoadFile();
    bool ProduceFrame(std::vector<uint8_t>& frame);
    SendResult SendFrame(const uint8_t* payload, int size, bool marker, int waitMs, int32_t mediaType);
    // Whether frame `n` of the run is a telephone event.
    bool IsEventFrame(int64_t n) const;
    void ProduceEvent(std::vector<uint8_t>& frame) const;
    // Numbers the next frame (and keeps its payload when asked to).
    void TakeNumbers(const uint8_t* payload, int size, uint16_t* sequence, uint32_t* timestamp);
    uint32_t TimestampAt(int64_t frameIndex) const;

    ZQStockSourceConfig m_config;
    std::atomic<int> m_headerRoom{0};
    std::atomic<uint64_t> m_delivered{0};
    std::atomic<uint64_t> m_refused{0};
    std::atomic<uint64_t> m_noSample{0};
    std::atomic<uint64_t> m_tooLarge{0};
    std::atomic<bool> m_keepFrames{false};
    std::atomic<int> m_lastFractionLost{-1};
    std::atomic<bool> m_quit{false};
    std::thread m_thread;
    mutable std::mutex m_mutex;  // guards the fields below
    std::condition_variable m_finishedChanged;
    std::condition_variable m_quitRaised;
    bool m_finished = false;
    uint16_t m_nextSequence = 0;
    uint32_t m_nextTimestamp = 0;
    int64_t m_frameIndex = 0;
    std::vector<std::vector<uint8_t>> m_produced;
    std::vector<int> m_reverseCodes;
    std::vector<uint8_t> m_fileBytes;
    size_t m_fileOffset = 0;
    // Used by the pacing thread alone (or before it starts).
    ToneSignal m_tone;
    ChirpSignal m_chirp;
};
