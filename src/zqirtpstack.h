#pragma once
// Control interface of a stack module: network parameters, payload types,
// sources and options. The module implements it by forwarding to its stack.
#include <cstdint>

#include "zqfid.h"

// Installed with SetFIRCallback: called when a full intra request arrives.
struct ZQMFIRCallback {
    void (*callback)(void* context) = nullptr;
    void* context = nullptr;
};

// 4892c26c-58a0-441a-9388-3cbdb0c6df8e
extern const ZQFID IID_ZQIRTPStack;

class ZQIRTPStack {
public:
    virtual const char* GetRemoteRTPAddress() = 0;
    virtual const char* GetRemoteRTCPAddress() = 0;
    virtual void SetRemoteRTPAddress(const char* address) = 0;
    virtual void SetRemoteRTCPAddress(const char* address) = 0;
    virtual const char* GetLocalIPAddress() = 0;
    virtual void SetLocalIPAddress(const char* address) = 0;
    virtual const char* GetLocalRTPPort() = 0;
    virtual void SetLocalRTPPort(const char* port) = 0;
    virtual const char* GetLocalRTCPPort() = 0;
    virtual void SetLocalRTCPPort(const char* port) = 0;
    virtual const char* GetRemoteRTPPort() = 0;
    virtual void SetRemoteRTPPort(const char* port) = 0;
    virtual const char* GetRemoteRTCPPort() = 0;
    virtual void SetRemoteRTCPPort(const char* port) = 0;
    // 1 for an "RTP out" module (sending stack), 0 for "RTP in".
    virtual int GetStackDirection() = 0;
    virtual bool EnableMediaType(int32_t mediaType) = 0;
    // payloadType 255: the media type's default payload type.
    virtual bool AddMediaType(int32_t mediaType, uint8_t payloadType) = 0;
    virtual bool RemoveMediaType(int32_t mediaType) = 0;
    virtual void RemoveAllMediaTypes() = 0;
    virtual bool IsMediaTypeEnabled(int32_t mediaType) = 0;
    virtual bool GetSourceAt(int index, uint32_t* ssrc, bool* isLocal) = 0;
    virtual bool GetSourceIdentifier(int index, uint32_t& ssrc) = 0;
    virtual const char* GetSourceCNAME(uint32_t ssrc, bool isLocal) = 0;
    virtual void SetUseLipSync(bool use) = 0;
    virtual bool GetUseLipSync() = 0;
    virtual void SetMulticastTTL(uint32_t ttl) = 0;
    virtual void SetIPTOS(uint32_t tos) = 0;
    virtual void SetSocketBufferSize(uint32_t bytes) = 0;
    virtual void SetFIRCallback(const ZQMFIRCallback* callback) = 0;
    virtual void SetCNAME(const char* cname) = 0;
    virtual void SetAutoSequenceNumbers(bool on) = 0;
    virtual bool GetAutoSequenceNumbers() = 0;
    virtual void SetRTPwindow(uint32_t size) = 0;
    virtual uint16_t GetRTPwindow() = 0;
    virtual void SetDataDisabled(uint32_t disabled) = 0;
    virtual uint32_t GetDataDisabled() = 0;
    virtual void SetBindRTCPToLocalPort(uint32_t bind) = 0;
    virtual uint32_t GetBindRTCPToLocalPort() = 0;
    virtual void SetRTCPEnabled(uint32_t enabled) = 0;
    virtual uint32_t GetRTCPEnabled() = 0;
    virtual bool SendFIR() = 0;
    // SRTP for the next start: a suite ("AES_CM_128_HMAC_SHA1_80",
    // "AES_CM_128_HMAC_SHA1_32" or "AEAD_AES_128_GCM"; null or "" turns SRTP
    // off) and master key + salt in base64 (RFC 4568) for what the stack
    // sends and for what it receives. False when the suite is unknown or a
    // key does not fit it: nothing changes, the reason is logged, and
    // `refused` (when given) tells which: 0 the suite, 1 the send key, 2 the
    // receive key.
    virtual bool SetSRTP(const char* suite, const char* sendKey, const char* receiveKey, int* refused) = 0;
    // "" when SRTP is off. The keys are as given.
    virtual const char* GetSRTPSuite() = 0;
    virtual const char* GetSRTPSendKey() = 0;
    virtual const char* GetSRTPReceiveKey() = 0;
    // 1: the process's receive service reads the stack's sockets on a few
    // threads shared by every stack that asks for it, instead of threads of
    // the stack's own; 0 (the default): its own threads. From the next start.
    virtual void SetSharedIO(uint32_t on) = 0;
    virtual uint32_t GetSharedIO() = 0;
    // RTCP multiplexing (RFC 5761), from the next start. Non-zero: the stack
    // sends its RTCP from its RTP port to the remote RTP address and port and
    // takes the RTCP that arrives on its RTP port; it opens no RTCP socket or
    // thread. Payload types 64-95 are then refused, since RTCP's packet types
    // show there. False when switching on meets such a payload type in the
    // table: nothing changes, and the line names it. 0 (the default): RTCP
    // on its own port, as configured.
    virtual bool SetRTCPMux(int on) = 0;
    virtual int GetRTCPMux() = 0;

protected:
    ~ZQIRTPStack() = default;
};
