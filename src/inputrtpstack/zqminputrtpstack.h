#pragma once
// The receiving side of the RTP stack: reads datagrams into samples of the
// module's output pin, checks and orders them, delivers them downstream and
// reports reception with RTCP. The stack object is itself the receiving
// thread; a second thread listens for RTCP. With shared I/O on, neither runs:
// the process's receive service reads both sockets and calls the same code
// (zqminputrtpstackshared.cpp). With RTCP multiplexing there is no RTCP
// socket and no second thread: RTCP comes and goes on the RTP socket
// (zqminputrtpstackrtcpmux.cpp).
//
// Locks: the stack lock guards the source map, the sequence state of the
// sources, the sockets and the RTCP destination. RemoveSource and
// ComputeLipSync run inside RTCP processing with the source-list locks held
// and therefore never take it (see the lock order in zqmrtpstack.h).
#include <atomic>
#include <cstdint>
#include <map>

#include "inputrtpstack/rtpcheckresult.h"
#include "inputrtpstack/rtpreceptionstatistics.h"
#include "inputrtpstack/rtpsequencenumbers.h"
#include "service/receiveservice.h"
#include "zqcsocketaddress.h"
#include "zqfthread.h"
#include "zqmatomicendpoint.h"
#include "zqmendpoint.h"
#include "zqmrtpclock.h"
#include "zqmrtpstack.h"

class RTPSocket;
class ZQFPinOut;
class ZQMInputRTPStackRTCPListeningThread;

class ZQMInputRTPStack : public ZQMRTPStack, public ZQFThread, private zqm::ReceiveClient {
public:
    static constexpr int kMaxDatagramBytes = 32768;
    static constexpr uint32_t kReportIntervalMs = 5000;

    explicit ZQMInputRTPStack(ZQFModule* owner);
    ~ZQMInputRTPStack() override;

    // Stack operations.
    bool RemoveSource(uint32_t ssrc) override;
    void ComputeLipSync(ZQMRTPSource* source) override;
    bool OnProcessMediaSample(ZQFMediaSample* sample, int value) override;
    bool OnStart() override;
    bool OnBeginFlush() override;
    bool OnEndFlush() override;
    void RemoveAllMediaTypes() override;
    bool GetSourceIdentifier(int index, uint32_t& ssrc) override;
    void SetUseLipSync(bool use) override;
    bool GetUseLipSync() override;
    void SetRTPwindow(uint32_t size) override;
    uint16_t GetRTPwindow() override;
    bool SendFIR() override;

    // Stops both threads and releases the sockets, the sources and the
    // samples they hold.
    void Cleanup();

    // The packet check of one received datagram (the sample holds it, its
    // payload length is the datagram length minus 12).
    RTPCheckResult CheckRTPDatagram(ZQFMediaSample* sample);
    // Hands one packet of `source` to output pin 0, noting duplicates and
    // losses. True: passed on, or recycled as a duplicate. False: the caller
    // still owns the sample. Stack lock held.
    bool DeliverSample(ZQMRTPSource* source, uint16_t seq, ZQFMediaSample* sample, bool fec);
    // One compound (RR, SDES, FIR when asked) per known source to the RTCP
    // destination. False without a destination.
    bool SendReceiverReport(bool fir);

    // The RTCP listening thread's loop.
    int RTCPEntryPoint(ZQMInputRTPStackRTCPListeningThread* thread);

    // What this process received of a remote source, from the counters
    // the receiving thread keeps as packets arrive.
    struct Reception {
        zqm::ReceivedFigures figures;
        uint32_t lateOrDuplicate = 0;  // recycled instead of delivered
        float jitterMs = 0.0f;
    };
    // Takes the list locks; false for a local source or an unknown SSRC.
    static bool GetReceptionStatistics(uint32_t ssrc, bool local, Reception* reception);
    // Shared I/O: datagrams dropped for want of a free sample since the start.
    uint32_t GetPoolEmptyDrops() const { return m_noSampleDrops.load(std::memory_order_relaxed); }
    // Without RTCP multiplexing: RTCP compounds dropped on the RTP port since
    // the start.
    uint32_t GetRTCPOnRTPPort() const { return m_rtcpOnRTPPort.load(std::memory_order_relaxed); }

protected:
    int ThreadFunc(void* param) override;

private:
    // Receiving thread.
    int EntryPoint();
    bool KeepReceiving() const;
    // Receives one datagram into `buffer`; 0 or less means: stop.
    int ReceiveDatagram(RTPSocket* socket, uint8_t* buffer, int size, ZQCSocketAddress& from);
    void HandleDatagram(ZQFMediaSample* sample, int received, const ZQCSocketAddress& from, ZQFPinOut* pin);
    void ProcessReceived(ZQFMediaSample* sample, ZQFPinOut* pin);
    void HandleRTCPDatagram(uint8_t* buffer, int received, const ZQCSocketAddress& from);
    // RTCP on the RTP port (zqminputrtpstackrtcpmux.cpp): processed under
    // multiplexing, counted and dropped without. True when the datagram was
    // RTCP: the caller recycles its sample.
    bool TakeRTCPOnRTPPort(uint8_t* datagram, int received, const ZQCSocketAddress& from);
    void DropRTCPOnRTPPort();

    // Shared I/O: the receive service's callbacks.
    void OnReadable(int descriptor, int budget) override;
    void OnTick() override;
    void ReceiveQueued(RTPSocket* socket, int budget);
    void ReadQueuedRTCP(RTPSocket* socket, int budget);
    // Registers the sockets with the service; raises when it refuses.
    void JoinReceiveService();
    void LeaveReceiveService();
    void LearnRTCPDestination(const ZQCSocketAddress& from);
    void RunReportTimer(uint32_t now);  // `now` on m_clock

    // Start and stop.
    void StartUnderLock();
    void OpenRTCP();
    // Under multiplexing: no RTCP socket; reports leave from the RTP socket
    // for the remote RTP endpoint, or for what the traffic teaches.
    void StartMultiplexedRTCP();
    // The socket the receiver reports leave from (null: none yet).
    RTPSocket* ReportSocket() const { return IsRTCPMuxRun() ? m_inputRTPSocket : m_outputRTCPSocket; }
    static zqm::Endpoint EndpointOf(const char* address, const char* port);
    void AcquireOutputRTCPSocket();
    void StopThreads();
    bool IsRTCPEnabled() const;

    // Packet check and sequencing; stack lock held.
    ZQMRTPSource* FindOrCreateSource(uint32_t ssrc, uint16_t seq, bool* created);
    void ForgetSources();
    RTPCheckResult SequencePacket(ZQMRTPSource& source, uint16_t seq, ZQFMediaSample* sample, bool fec);
    bool PassProbation(ZQMRTPSource& source, uint16_t seq, ZQFMediaSample* sample);
    void HoldPacket(ZQMRTPSource& source, uint16_t seq, ZQFMediaSample* sample);
    bool IsBehindDeliveryPoint(const ZQMRTPSource& source, uint16_t seq) const;
    void RecycleBehindDeliveryPoint(ZQMRTPSource& source, uint16_t seq, ZQFMediaSample* sample);
    void ReleaseHeld(ZQMRTPSource& source, zqm::HeldPackets::iterator entry);
    void ReleaseEarliestHeld(ZQMRTPSource& source);
    void ReleaseHeldSuccessors(ZQMRTPSource& source);
    void ReleaseAllHeld(ZQMRTPSource& source);
    RTPCheckResult SequenceOutsideWindow(ZQMRTPSource& source, uint16_t seq, ZQFMediaSample* sample);

    // Receiver reports; stack lock held.
    struct ReportSender {
        uint32_t ssrc;
        const char* cname;
        bool fir;
        bool goodbye;  // the compound ends with a BYE of `ssrc`
    };
    void ReportOnSources(bool fir, bool goodbye);
    void ReportOnSource(ZQMRTPSource& source, const ReportSender& sender);

    void NotifyDownstream(int code, int param);
    // The local port of the input RTP socket, or 0: the "[%d]" of the lines.
    int LogPort() const { return m_logPort.load(std::memory_order_relaxed); }

    RTPSocket* m_inputRTPSocket = nullptr;
    // Where receiver reports go. Configured: the remote RTCP endpoint of the
    // settings. Otherwise learned from the traffic (m_rtcpDestinationKey
    // names it): where the peer's RTCP comes from once any came
    // (m_peerRTCPOrigin, set by the RTCP listening thread), before that the
    // RTP source address with the next port. Survives Cleanup.
    ZQCSocketAddress* m_rtcpDestination = nullptr;
    std::atomic<bool> m_rtcpDestinationConfigured{false};
    zqm::AtomicEndpoint m_rtcpDestinationKey;
    zqm::AtomicEndpoint m_peerRTCPOrigin;
    // Set at start: never report to it (under multiplexing, the stack's own
    // RTP endpoint).
    zqm::Endpoint m_ownRTCPEndpoint;
    uint16_t m_rtpWindow = 0;
    std::map<uint32_t, ZQMRTPSource*> m_sources;  // owned
    ZQMInputRTPStackRTCPListeningThread* m_rtcpListeningThread = nullptr;
    std::atomic<int> m_useLipSync{0};
    std::atomic<int> m_cleanedUp{0};
    ZQMRTPClock m_clock;  // the receiver-report timer

    std::atomic<int> m_logPort{0};
    // Where the datagram being checked came from (empty for samples handed
    // in directly); lets a new remote source recognise this process's own
    // traffic.
    ZQCSocketAddress m_datagramOrigin;
    // When the kernel received it (wall clock, microseconds; 0: unknown, as
    // for samples handed in directly), the arrival time of the jitter
    // arithmetic once moved onto the monotonic clock: whatever the
    // receiving thread's own delays.
    uint64_t m_datagramArrival = 0;
    // Receiving thread only: datagrams were queued at the last wait.
    bool m_receiveBacklog = false;
    // Shared I/O: the stack is a client of the receive service for this run.
    std::atomic<bool> m_inReceiveService{false};
    uint32_t m_quietTicks = 0;           // service ticks since the last datagram
    // The last senders on each socket, kept between the service's callbacks:
    // an address read again is not formatted again.
    ZQCSocketAddress m_serviceRTPSender;
    ZQCSocketAddress m_serviceRTCPSender;
    std::atomic<uint32_t> m_noSampleDrops{0};  // datagrams dropped: the pool was empty
    std::atomic<uint32_t> m_rtcpOnRTPPort{0};  // compounds dropped on the RTP port without multiplexing
    // Under multiplexing, whether the RTCP that arrives is processed (the
    // module's RTCP listening flag at start).
    std::atomic<bool> m_muxedRTCPListening{false};
};
