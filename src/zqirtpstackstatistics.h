#pragma once
// Statistics interface of a stack module: the process's sources, their
// reception figures and the sender-side network simulation.
#include <cstdint>

#include "zqfid.h"

// cf2840ac-7f32-4cec-a83d-98659887833e
extern const ZQFID IID_ZQIRTPStackStatistics;


class ZQIRTPStackStatistics {
public:
    virtual bool GetSourceAt(int index, uint32_t* ssrc, bool* isLocal) = 0;
    virtual bool GetSourceIdentifier(int index, uint32_t& ssrc) = 0;
    virtual bool IsLocalSource(uint32_t ssrc) = 0;
    // Bit rates in bit/s, fraction lost in percent, jitter in ms, round-trip
    // time in ms.
    virtual bool GetStatistics(uint32_t ssrc, bool isLocal, uint32_t* payloadBitRate,
                               uint32_t* wireBitRate, uint32_t* packetCount, uint32_t* octetCount,
                               uint32_t* fractionLostPercent, uint32_t* cumulativeLost,
                               float* jitterMs, uint32_t* rrCount, uint32_t* roundTripTimeMs) = 0;
    virtual bool GetSimulatePacketLoss(uint32_t ssrc, bool isLocal) = 0;
    virtual uint32_t GetPacketLossPercent(uint32_t ssrc, bool isLocal) = 0;
    virtual bool SetSimulatePacketLoss(uint32_t ssrc, bool isLocal, bool on) = 0;
    virtual bool SetPacketLossPercent(uint32_t ssrc, bool isLocal, uint32_t percent) = 0;
    virtual bool GetGenerateJitter(uint32_t ssrc, bool isLocal) = 0;
    virtual uint32_t GetMaxJitter(uint32_t ssrc, bool isLocal) = 0;
    virtual bool SetGenerateJitter(uint32_t ssrc, bool isLocal, bool on) = 0;
    virtual bool SetMaxJitter(uint32_t ssrc, bool isLocal, uint32_t maxJitterMs) = 0;
    // Local sources: RTP packets and sender reports sent while an ICMP error
    // said the peer was unreachable (counted as sent, never refused), since
    // the stack last stopped. Remote sources: 0.
    virtual bool GetUnreachableSends(uint32_t ssrc, bool isLocal, uint32_t* unreachableSends) = 0;
    // Remote sources: what this process received of them, counted by the
    // receiving stack as packets arrive (not the sender's own counts from its
    // reports). Expected is the extended highest sequence number - the first
    // one + 1; lost is expected - received, negative when duplicates came;
    // late or duplicate packets were recycled, not delivered; jitter in ms.
    // False for a local source or an unknown SSRC. Null out-parameters are
    // skipped.
    virtual bool GetReceptionStatistics(uint32_t ssrc, bool isLocal, uint32_t* packetsReceived,
                                        uint32_t* payloadOctetsReceived, uint32_t* packetsExpected,
                                        int32_t* packetsLost, uint32_t* lateOrDuplicatePackets,
                                        float* jitterMs) = 0;
    // SRTP: packets dropped since the stack last started because they failed
    // authentication (forged, damaged, under another key, or too short to
    // check) or were replays, RTP and RTCP apart. False when SRTP is off.
    // Null out-parameters are skipped.
    virtual bool GetSRTPStatistics(uint32_t* rtpAuthenticationFailures, uint32_t* rtpReplays,
                                   uint32_t* rtcpAuthenticationFailures, uint32_t* rtcpReplays) = 0;
    // A receiving stack under shared I/O: datagrams dropped since it last
    // started because its pool had no free sample (the service never
    // waits). 0 for its own threads, which wait instead; false for a
    // sending stack.
    virtual bool GetPoolEmptyDrops(uint32_t* drops) = 0;
    // A receiving stack without RTCP multiplexing: whole RTCP compounds that
    // arrived on its RTP port since it last started (a peer that multiplexes
    // sent them), dropped and never taken for media. 0 under multiplexing;
    // false for a sending stack.
    virtual bool GetRTCPOnRTPPort(uint32_t* compounds) = 0;

protected:
    ~ZQIRTPStackStatistics() = default;
};
