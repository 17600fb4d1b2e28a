#pragma once
// The receiving side of the RTP stack: reads datagrams into samples of the
// module's output pin, checks and orders them, delivers them downstream and
// reports reception with RTCP.
#include <cstdint>

#include "zqfthread.h"
#include "zqmrtpstack.h"

class ZQMInputRTPStack : public ZQMRTPStack, public ZQFThread {
public:
    explicit ZQMInputRTPStack(ZQFModule* owner);
    ~ZQMInputRTPStack() override;

    bool OnProcessMediaSample(ZQFMediaSample* sample, int value) override;
    bool OnStart() override;
    bool GetSourceIdentifier(int index, uint32_t& ssrc) override;
    void SetRTPwindow(uint32_t size) override;
    uint16_t GetRTPwindow() override;

protected:
    int ThreadFunc(void* param) override;

private:
    uint16_t m_rtpWindow = 0;
};
