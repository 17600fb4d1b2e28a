#pragma once
// The framework module behind "RTP in" and "RTP out": a thin shell that owns
// one stack (receiving or sending), gives the framework one pin, forwards the
// hooks and the control interfaces to the stack, and is itself the two
// property pages.
#include <atomic>
#include <cstdint>

#include "ui/zqmrtpstackpropage.h"
#include "ui/zqmrtpstackstatisticspropage.h"
#include "zqfconfigpanel.h"
#include "zqfmodule.h"

class ZQFFormatBuffer;
class ZQFMediaType;
class ZQMRTPStack;

class ZQMRTPStackModule : public ZQFModule,
                          public ZQIConfigPanel,
                          public ZQMRTPStackProPage,
                          public ZQMRTPStackStatisticsProPage {
public:
    // "RTP in" when `id` is the "RTP in" identity; "RTP out" otherwise.
    ZQMRTPStackModule(const ZQFID& id, const char* name);
    ~ZQMRTPStackModule() override;

    // Framework hooks.
    bool OnProcessMediaSample(ZQFMediaSample* sample, int value) override;
    bool OnNotify(ZQFNotifyInfo* info) override;
    bool OnStart() override;
    bool OnStop() override;
    bool SaveSettings(CXMLNode* parent) override;
    bool LoadSettings(CXMLNode* node) override;
    bool OnBeginFlush() override;
    bool OnEndFlush() override;

    // The module's own operations, used by its pins.
    virtual bool GetMediaTypeAt(int index, ZQFMediaType* type, ZQFFormatBuffer** format);
    virtual uint32_t GetMediaTypeCount();
    virtual uint32_t GetSocketBufferSize();

    bool QueryInterface(const ZQFID& id, void** out) override;

    // ZQIConfigPanel
    int DisplayConfigPanel(HWND parent, int flag) override;
    HWND GetConfigPanel() override;

    // ZQIRTPStack
    const char* GetRemoteRTPAddress() override;
    const char* GetRemoteRTCPAddress() override;
    void SetRemoteRTPAddress(const char* address) override;
    void SetRemoteRTCPAddress(const char* address) override;
    const char* GetLocalIPAddress() override;
    void SetLocalIPAddress(const char* address) override;
    const char* GetLocalRTPPort() override;
    void SetLocalRTPPort(const char* port) override;
    const char* GetLocalRTCPPort() override;
    void SetLocalRTCPPort(const char* port) override;
    const char* GetRemoteRTPPort() override;
    void SetRemoteRTPPort(const char* port) override;
    const char* GetRemoteRTCPPort() override;
    void SetRemoteRTCPPort(const char* port) override;
    int GetStackDirection() override;
    bool EnableMediaType(int32_t mediaType) override;
    bool AddMediaType(int32_t mediaType, uint8_t payloadType) override;
    bool RemoveMediaType(int32_t mediaType) override;
    void RemoveAllMediaTypes() override;
    bool IsMediaTypeEnabled(int32_t mediaType) override;
    bool GetSourceAt(int index, uint32_t* ssrc, bool* isLocal) override;
    bool GetSourceIdentifier(int index, uint32_t& ssrc) override;
    const char* GetSourceCNAME(uint32_t ssrc, bool isLocal) override;
    void SetUseLipSync(bool use) override;
    bool GetUseLipSync() override;
    void SetMulticastTTL(uint32_t ttl) override;
    void SetIPTOS(uint32_t tos) override;
    void SetSocketBufferSize(uint32_t bytes) override;
    void SetFIRCallback(const ZQMFIRCallback* callback) override;
    void SetCNAME(const char* cname) override;
    void SetAutoSequenceNumbers(bool on) override;
    bool GetAutoSequenceNumbers() override;
    void SetRTPwindow(uint32_t size) override;
    uint16_t GetRTPwindow() override;
    void SetDataDisabled(uint32_t disabled) override;
    uint32_t GetDataDisabled() override;
    void SetBindRTCPToLocalPort(uint32_t bind) override;
    uint32_t GetBindRTCPToLocalPort() override;
    void SetRTCPEnabled(uint32_t enabled) override;
    uint32_t GetRTCPEnabled() override;
    bool SendFIR() override;
    bool SetSRTP(const char* suite, const char* sendKey, const char* receiveKey, int* refused) override;
    const char* GetSRTPSuite() override;
    const char* GetSRTPSendKey() override;
    const char* GetSRTPReceiveKey() override;
    void SetSharedIO(uint32_t on) override;
    uint32_t GetSharedIO() override;
    bool SetRTCPMux(int on) override;
    int GetRTCPMux() override;

    // ZQIRTPStackStatistics (GetSourceAt and GetSourceIdentifier are shared
    // with ZQIRTPStack above).
    bool IsLocalSource(uint32_t ssrc) override;
    bool GetStatistics(uint32_t ssrc, bool isLocal, uint32_t* payloadBitRate, uint32_t* wireBitRate,
                       uint32_t* packetCount, uint32_t* octetCount, uint32_t* fractionLostPercent,
                       uint32_t* cumulativeLost, float* jitterMs, uint32_t* rrCount,
                       uint32_t* roundTripTimeMs) override;
    bool GetSimulatePacketLoss(uint32_t ssrc, bool isLocal) override;
    uint32_t GetPacketLossPercent(uint32_t ssrc, bool isLocal) override;
    bool SetSimulatePacketLoss(uint32_t ssrc, bool isLocal, bool on) override;
    bool SetPacketLossPercent(uint32_t ssrc, bool isLocal, uint32_t percent) override;
    bool GetGenerateJitter(uint32_t ssrc, bool isLocal) override;
    uint32_t GetMaxJitter(uint32_t ssrc, bool isLocal) override;
    bool SetGenerateJitter(uint32_t ssrc, bool isLocal, bool on) override;
    bool SetMaxJitter(uint32_t ssrc, bool isLocal, uint32_t maxJitterMs) override;
    bool GetUnreachableSends(uint32_t ssrc, bool isLocal, uint32_t* unreachableSends) override;
    bool GetReceptionStatistics(uint32_t ssrc, bool isLocal, uint32_t* packetsReceived,
                                uint32_t* payloadOctetsReceived, uint32_t* packetsExpected, int32_t* packetsLost,
                                uint32_t* lateOrDuplicatePackets, float* jitterMs) override;
    bool GetSRTPStatistics(uint32_t* rtpAuthenticationFailures, uint32_t* rtpReplays,
                           uint32_t* rtcpAuthenticationFailures, uint32_t* rtcpReplays) override;
    bool GetPoolEmptyDrops(uint32_t* drops) override;
    bool GetRTCPOnRTPPort(uint32_t* compounds) override;

    ZQMRTPStack* GetStack() const { return m_stack; }

private:
    ZQMRTPStack* m_stack = nullptr;
    int32_t m_isOutput = 0;
    std::atomic<uint32_t> m_rtcpEnabled{1};
};
