#pragma once
// The sending side of the RTP stack: writes the RTP header in front of each
// sample's payload, sends it as one datagram and reports with RTCP.
#include <atomic>
#include <cstdint>

#include "zqmrtpstack.h"

class ZQMOutputRTPStack : public ZQMRTPStack {
public:
    explicit ZQMOutputRTPStack(ZQFModule* owner);
    ~ZQMOutputRTPStack() override;

    bool OnProcessMediaSample(ZQFMediaSample* sample, int value) override;
    bool OnStart() override;
    bool GetSourceIdentifier(int index, uint32_t& ssrc) override;
    void SetAutoSequenceNumbers(bool on) override;
    bool GetAutoSequenceNumbers() override;

private:
    std::atomic<uint32_t> m_autoSequenceNumbers{1};
};
