#pragma once
// The sending side of the RTP stack: writes the RTP header in front of each
// sample's payload, sends it as one datagram and reports with RTCP.
#include <atomic>
#include <cstdint>
#include <memory>

#include "outputrtpstack/zqmsendreachability.h"
#include "service/receiveservice.h"
#include "zqmrtpstack.h"

class RTPSocket;
class ZQCSocketAddress;
class ZQMOutputRTPStackRTCPListeningThread;

// With shared I/O the process's receive service reads the RTCP socket
// instead of a listening thread of the stack's own. With RTCP multiplexing
// there is no RTCP socket: reports leave from the RTP socket for the remote
// RTP endpoint, and the listening thread (or the service) reads the RTP
// socket for the peer's RTCP.
class ZQMOutputRTPStack : public ZQMRTPStack, private zqm::ReceiveClient {
public:
    explicit ZQMOutputRTPStack(ZQFModule* owner);
    ~ZQMOutputRTPStack() override;

    bool OnProcessMediaSample(ZQFMediaSample* sample, int value) override;
    bool OnStart() override;
    bool OnBeginFlush() override;
    bool OnEndFlush() override;
    // Consumes NOTIFY_SEQNUM_OFFSET only.
    bool OnNotify(ZQFNotifyInfo* info) override;
    bool GetSourceIdentifier(int index, uint32_t& ssrc) override;
    void SetAutoSequenceNumbers(bool on) override;
    bool GetAutoSequenceNumbers() override;

    // Writes the 12-byte header into the room upstream left at the data
    // write offset, in front of the payload; answers where it starts, or
    // null when the buffer does not hold header and payload. Throws when the
    // sample cannot be sent. The stack lock is held.
    uint8_t* AddRTPHeader(ZQFMediaSample* sample);
    // Stops the listening thread and releases what the stack acquired. Takes
    // no lock of its own.
    void Cleanup();
    // The loop of the RTCP listening thread: 0 when it ends, -1 on an error.
    int RTCPEntryPoint();
    // SR (+ SDES when there is a CNAME) (+ BYE) to the RTCP destination.
    bool SendSenderReport(bool bye);
    // Says goodbye for the local source's SSRC and gives it the first free
    // value of the process counter.
    void ChangeSSRC();

    // Packets and reports of the listed source with that SSRC that went
    // while an ICMP error said the peer was unreachable (since the source's
    // stack last cleaned up). Takes the list locks; false when no source.
    static bool GetUnreachableSends(uint32_t ssrc, bool local, uint32_t* unreachableSends);

private:
    // IP and UDP headers: what a datagram adds on the wire.
    static constexpr uint32_t kIpUdpOverheadBytes = 28;

    // The packet (header room, then payload) when it lies inside the
    // sample's buffer.
    static uint8_t* PacketStart(ZQFMediaSample* sample);
    // A packet of the FEC module: its header is mostly its own, and its media
    // type says nothing of the media's clock.
    static bool IsFecSample(ZQFMediaSample* sample);
    uint16_t TakeSequenceNumber(uint16_t formatSequenceNumber);
    // Keeps the local source's clock on the media timestamps (the report
    // media type's clock rate).
    void FollowMediaClock(uint32_t rtpTimestamp);
    // Sends the RTP datagram and counts it. A peer that answers with ICMP
    // errors does not refuse the packet (it is counted as sent and
    // unreachable); false on any other send error.
    bool SendPacket(uint8_t* packet, int length, int capacity);
    void CountSentPacket(int plainBytes, int datagramBytes);
    // The log line of a change in what the sends to `destination` answer.
    void LogReachabilityChange(ZQMSendReachability& reachability, ZQMSendReachability::Change change,
                               const char* what, const ZQCSocketAddress& destination);
    void LogPacketSendFailure(int error);
    // The RTCP half of SendSenderReport: the bytes to count as sent.
    int SendReportDatagram(const uint8_t* compound, int length);
    // Keeps the packet's RTP timestamp and the time it left, for the media
    // time of the next sender report.
    void RecordSentPacket(const uint8_t* packet);
    // The RTP timestamp of this instant: the last packet's moved on by the
    // time since it was sent. Before the first packet of a run, the local
    // clock's reading (which follows the media timestamps once packets flow).
    uint32_t SenderReportRtpTimestamp();
    // `nowMs`: the local clock read after the packet went.
    void SendSenderReportWhenDue(uint32_t nowMs);
    // For (local IP address, LocalRTCPPort) or port 0, by the
    // bind-RTCP-to-local-port flag.
    RTPSocket* AcquireOutputRTCPSocket();
    void OpenRTCPSockets();
    // Under multiplexing, once the RTP socket is open: the RTCP destination
    // and the reader of the RTP socket.
    void OpenMultiplexedRTCP();
    // Where the peer's RTCP is read, and where the reports leave from, in
    // this run (null: none).
    RTPSocket* RTCPReceiveSocket() const { return IsRTCPMuxRun() ? m_rtpSocket : m_inputRTCPSocket; }
    RTPSocket* ReportSocket() const { return IsRTCPMuxRun() ? m_rtpSocket : m_outputRTCPSocket; }
    void ConnectOwnRTPSocket();
    void AnnounceSendingTransport();
    // Passes a notification up through input pin 0; true when taken.
    bool NotifyUpstream(int code, int param);
    bool IsRTCPListeningEnabled();
    bool IsOwnerRunning() const;
    void DeleteRTCPListeningThread();
    // Gives back every socket the stack still holds.
    void ReleaseSockets();
    // A sample outside a run: refused, and logged once a stop.
    bool RefuseSampleWhileStopped();
    void ListenForRTCP(ZQMOutputRTPStackRTCPListeningThread& thread);
    void WaitForRTCP(const RTPSocket* socket, const ZQMOutputRTPStackRTCPListeningThread& thread);
    void HandleRTCPDatagram(uint8_t* buffer, int received, int port);
    // Shared I/O: the service reads `socket` for RTCP when the module
    // listens and no thread of the stack's own does.
    void ListenThroughService(RTPSocket* socket);
    void JoinReceiveService(RTPSocket* socket);
    void LeaveReceiveService();
    void OnReadable(int descriptor, int budget) override;
    void OnTick() override {}
    // The stack's address as the trace lines print it (its low 32 bits).
    unsigned TraceId() const;

    RTPSocket* m_rtpSocket = nullptr;
    // Written without a lock by OnNotify.
    std::atomic<uint16_t> m_nextSequenceNumber{0};
    std::unique_ptr<ZQCSocketAddress> m_rtpDestination;
    std::unique_ptr<ZQCSocketAddress> m_rtcpDestination;
    int32_t m_cleanedUp = 0;
    // Between a successful OnStart and Cleanup (under the stack lock):
    // samples are sent only then, so none opens a socket after Cleanup.
    bool m_started = false;
    bool m_refusalWhileStoppedLogged = false;
    std::atomic<uint32_t> m_autoSequenceNumbers{1};
    std::unique_ptr<ZQMOutputRTPStackRTCPListeningThread> m_rtcpListeningThread;
    std::atomic<bool> m_inReceiveService{false};
    // The media type of the last packet that was not FEC (under the stack
    // lock): its clock rate gives the sender reports' RTP timestamps and the
    // local clock's media time. FEC packets carry another type's identifier.
    int32_t m_reportMediaType = 0;
    // Set by the first packet of a run (under the stack lock).
    bool m_reportTimerStarted = false;
    // What the sends to each destination answer (under the stack lock).
    ZQMSendReachability m_rtpReachability;
    ZQMSendReachability m_rtcpReachability;
    // The last packet sent that was not FEC (under the stack lock): its RTP
    // timestamp and ZQCClock::GetMicroseconds when it went; kNoPacketSent
    // before the first.
    static constexpr uint64_t kNoPacketSent = UINT64_MAX;
    uint32_t m_lastSentRtpTimestamp = 0;
    uint64_t m_lastSentMicroseconds = kNoPacketSent;
};
