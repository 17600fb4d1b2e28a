#pragma once
// Base of the receiving and the sending stack: network parameters as text,
// socket options, the payload-type table, the stack's own local source and
// RTCP processing.
//
// Lock order, everywhere in the library:
//   stack lock  ->  local source list lock  ->  remote source list lock
//               ->  socket map lock, clock mutexes (leaves: nothing is taken
//                   while they are held)
// RTCP processing holds the two list locks while it calls back a stack
// (RemoveSource, ComputeLipSync, the FIR callback, the fraction-lost
// notification); those call-backs therefore never take a stack lock.
#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>

#include "srtp/srtpstackprotection.h"
#include "zqccriticalsection.h"
#include "zqirtpstack.h"

class RTPSocket;
class ZQFFormatBuffer;
class ZQFMediaSample;
class ZQFMediaType;
class ZQFModule;
struct ZQFNotifyInfo;
class ZQMRTPSource;

class ZQMRTPStack {
public:
    static constexpr int kTextFieldBytes = 256;

    explicit ZQMRTPStack(ZQFModule* owner);

    // Virtual operations, in slot order.
    virtual bool RemoveSource(uint32_t ssrc);
    virtual void ComputeLipSync(ZQMRTPSource* source);
    virtual ~ZQMRTPStack();
    virtual const char* GetRemoteRTPAddress();
    virtual const char* GetRemoteRTCPAddress();
    virtual void SetRemoteRTPAddress(const char* address);
    virtual void SetRemoteRTCPAddress(const char* address);
    virtual const char* GetLocalRTPPort();
    virtual void SetLocalRTPPort(const char* port);
    virtual const char* GetLocalRTCPPort();
    virtual void SetLocalRTCPPort(const char* port);
    virtual const char* GetRemoteRTPPort();
    virtual void SetRemoteRTPPort(const char* port);
    virtual const char* GetRemoteRTCPPort();
    virtual void SetRemoteRTCPPort(const char* port);
    virtual bool OnProcessMediaSample(ZQFMediaSample* sample, int value) = 0;
    virtual bool OnStart() = 0;
    virtual bool OnStop();
    virtual bool OnBeginFlush();
    virtual bool OnEndFlush();
    virtual bool OnNotify(ZQFNotifyInfo* info);
    virtual bool EnableMediaType(int32_t mediaType);
    virtual bool AddMediaType(int32_t mediaType, uint8_t payloadType);
    virtual bool RemoveMediaType(int32_t mediaType);
    virtual void RemoveAllMediaTypes();
    virtual bool GetSourceAt(int index, uint32_t* ssrc, bool* isLocal);
    virtual bool GetSourceIdentifier(int index, uint32_t& ssrc) = 0;
    virtual const char* GetSourceCNAME(uint32_t ssrc, bool isLocal);
    virtual void SetUseLipSync(bool use);
    virtual bool GetUseLipSync();
    virtual void SetMulticastTTL(uint32_t ttl);
    virtual void SetIPTOS(uint32_t tos);
    virtual void SetCNAME(const char* cname);
    virtual void SetAutoSequenceNumbers(bool on);
    virtual bool GetAutoSequenceNumbers();
    virtual void SetRTPwindow(uint32_t size);
    virtual uint16_t GetRTPwindow();
    virtual void SetSocketBufferSize(uint32_t bytes);
    virtual uint32_t GetSocketBufferSize();
    virtual void SetFIRCallback(const ZQMFIRCallback* callback);
    virtual void SetDataDisabled(uint32_t disabled);
    virtual uint32_t GetDataDisabled();
    virtual void SetBindRTCPToLocalPort(uint32_t bind);
    virtual uint32_t GetBindRTCPToLocalPort();
    virtual bool GetStatistics(uint32_t ssrc, bool isLocal, uint32_t* payloadBitRate, uint32_t* wireBitRate,
                               uint32_t* packetCount, uint32_t* octetCount, uint32_t* fractionLostPercent,
                               uint32_t* cumulativeLost, float* jitterMs, uint32_t* rrCount,
                               uint32_t* roundTripTimeMs);
    virtual bool GetSimulatePacketLoss(uint32_t ssrc, bool isLocal);
    virtual uint32_t GetPacketLossPercent(uint32_t ssrc, bool isLocal);
    virtual bool SetSimulatePacketLoss(uint32_t ssrc, bool isLocal, bool on);
    virtual bool SetPacketLossPercent(uint32_t ssrc, bool isLocal, uint32_t percent);
    virtual bool SetGenerateJitter(uint32_t ssrc, bool isLocal, bool on);
    virtual bool SetMaxJitter(uint32_t ssrc, bool isLocal, uint32_t maxJitterMs);
    virtual bool GetGenerateJitter(uint32_t ssrc, bool isLocal);
    virtual uint32_t GetMaxJitter(uint32_t ssrc, bool isLocal);
    virtual bool SendFIR();

    // Non-virtual operations.
    const char* GetLocalIPAddress();
    void SetLocalIPAddress(const char* address);
    bool IsMediaTypeEnabled(int32_t mediaType);
    uint32_t GetMediaTypeCount();
    // The index-th enabled media type in identifier order; `format` (when
    // given) is set to null.
    bool GetMediaTypeAt(int index, ZQFMediaType* type, ZQFFormatBuffer** format);
    // The payload type of an enabled media type, or -1. No lock of its own:
    // the packet paths call it under the stack lock.
    int8_t GetPayloadType(int32_t mediaType);
    // The media type a payload type stands for, or -1 (logged). No lock.
    int32_t GetMediaType(uint8_t payloadType);
    bool IsLocalSource(uint32_t ssrc);

    // RTCP compound validation (0 valid; 1 version; 2 first packet type; 3
    // lengths; 4 exception) and processing of a received compound.
    int CheckRTCPValidity(const uint8_t* datagram, int length);
    bool ProcessRTCPDatagram(const uint8_t* datagram, int length, const char* caller);

    // SRTP (zqmrtpstacksrtp.cpp). The settings take effect at the next
    // start; false, with the reason logged and `refused` set (0 suite, 1 send
    // key, 2 receive key), when they do not fit together.
    bool SetSRTP(const char* suite, const char* sendKey, const char* receiveKey, int* refused);
    const char* GetSRTPSuite();
    const char* GetSRTPSendKey();
    const char* GetSRTPReceiveKey();
    // Since the last start; false when SRTP is not configured.
    bool GetSRTPCounters(zqm::srtp::ReceiveCounters* counters);
    // 1: the process's receive service reads the stack's sockets instead of
    // threads of its own (from the next start).
    void SetSharedIO(uint32_t on) { m_sharedIO.store(on != 0 ? 1 : 0); }
    uint32_t GetSharedIO() const { return m_sharedIO.load(); }
    // RTCP multiplexing (zqmrtpstackrtcpmux.cpp), from the next start; false,
    // with the payload type logged, when one of the table's would read as RTCP.
    bool SetRTCPMux(int on);
    int GetRTCPMux() const { return m_rtcpMux.load() ? 1 : 0; }

    ZQFModule* GetOwnerModule() const { return m_ownerModule; }
    ZQMRTPSource* GetLocalSource() const { return m_localSource; }

protected:
    // Sends NOTIFY_MEDIATYPES_CHANGED down output pin 0, when there is one.
    void NotifyMediaTypesChanged();
    // What both directions start with: ports "8000"/"8001" on both sides and
    // the host's own address as the remote address (so no RTCP socket is
    // opened at start until an address is configured).
    void SetDefaultNetworkParameters();
    static void CopyText(char* field, const char* text);
    // Starts SRTP for a run when it is configured; raises when it cannot
    // start. Stack lock held.
    void StartSRTP();
    // A received RTCP datagram with SRTP on: true when it is authentic (now
    // in the clear, `*length` its plain length); false when it is to be
    // dropped before any processing. True with SRTP off.
    bool UnprotectReceivedRTCP(uint8_t* datagram, int* length, int logPort);
    // A compound to send, protected in place when SRTP is on (the buffer
    // has `capacity` bytes); its length on the wire, or -1 when it must not
    // be sent.
    int ProtectRTCPToSend(uint8_t* compound, int length, int capacity);
    // Under RTCP multiplexing a payload type of 64-95 would read as RTCP:
    // true (logged) when `payloadType` is one of them and the setting is
    // on. Stack lock held.
    bool RefusedUnderRTCPMux(uint8_t payloadType);
    // Whether this run multiplexes RTCP on the RTP port: the setting as
    // the last start found it.
    bool IsRTCPMuxRun() const { return m_rtcpMuxRun.load(std::memory_order_relaxed); }
    void StartRTCPMuxRun() { m_rtcpMuxRun.store(m_rtcpMux.load()); }
    // After a collision with a remote source (RFC 3550, 8.2): the local
    // source takes a new unused SSRC, in the local list too, and the change
    // is logged. Answers the SSRC it left, for the BYE. Stack lock held.
    uint32_t ReplaceLocalSSRC();

    std::map<int32_t, uint8_t> m_forwardPayloadTable;  // media type -> payload type
    std::map<int8_t, int32_t> m_reversePayloadTable;   // payload type -> media type
    ZQFModule* m_ownerModule;
    RTPSocket* m_inputRTCPSocket = nullptr;
    RTPSocket* m_outputRTCPSocket = nullptr;
    char m_remoteRTPAddress[kTextFieldBytes] = {};
    char m_remoteRTCPAddress[kTextFieldBytes] = {};
    char m_localRTPPort[kTextFieldBytes] = {};
    char m_localRTCPPort[kTextFieldBytes] = {};
    char m_remoteRTPPort[kTextFieldBytes] = {};
    char m_remoteRTCPPort[kTextFieldBytes] = {};
    ZQCCriticalSection m_stackLock;
    char m_localIPAddress[kTextFieldBytes] = {};
    std::atomic<uint32_t> m_lastReportTime{0};  // ms of the report clock; 0 = none yet
    std::atomic<uint32_t> m_multicastTTL{0};
    std::atomic<uint32_t> m_ipTOS{0};
    std::atomic<uint32_t> m_bindRTCPToLocalPort{0};
    std::atomic<uint32_t> m_dataDisabled{0};
    std::atomic<uint32_t> m_socketBufferSize{0};
    std::atomic<uint32_t> m_sharedIO{0};
    std::atomic<bool> m_rtcpMux{false};     // the setting, under the stack lock when it changes
    std::atomic<bool> m_rtcpMuxRun{false};  // set at start, before any thread of the run
    ZQMRTPSource* m_localSource = nullptr;
    zqm::srtp::StackProtection m_srtp;  // settings under the stack lock
    ZQMFIRCallback m_firCallback;  // guarded by m_firCallbackMutex
    std::mutex m_firCallbackMutex;  // a leaf: RTCP processing reads the callback under the list locks

private:
    void CreateLocalSource();
    void ApplyReceiverReport(const uint8_t* packet, size_t bytes, uint8_t count, ZQMRTPSource** found);
    void ApplySenderReport(const uint8_t* packet, size_t bytes, ZQMRTPSource** found);
    void ApplySdes(const uint8_t* packet, size_t bytes);
    void ApplyBye(const uint8_t* packet, size_t bytes);
    void ApplyFeedback(const uint8_t* packet, size_t bytes, uint8_t format, bool payloadSpecific);
    // Sends NOTIFY_FRACTION_LOST up input pin 0, when there is one.
    void NotifyFractionLost(uint8_t percent);
};
