#include "hotpaths.h"

#include <cstring>

#include "bare.h"
#include "inputrtpstack/zqminputrtpstack.h"
#include "zqfmediasample.h"
#include "zqfpin.h"

namespace bench {

Datagram MakeDatagram(uint16_t seq)
{
    Datagram datagram(BARE_DATAGRAM_BYTES);
    bare_fill_datagram(datagram.data(), seq, 0);
    return datagram;
}

Datagram MakeSenderReport(uint32_t ssrc)
{
    const char cname[] = "peer@loopback";  // 13 bytes: 2 + 13 + 1 end, padded to 20
    Datagram d = {0x80, 200, 0, 6};
    auto put32 = [&d](uint32_t v) {
        for (int shift = 24; shift >= 0; shift -= 8) {
            d.push_back(static_cast<uint8_t>(v >> shift));
        }
    };
    put32(ssrc);
    put32(0xE0000000u);  // NTP seconds
    put32(0x80000000u);  // NTP fraction
    put32(160000);       // RTP timestamp
    put32(1000);         // packets
    put32(160000);       // octets
    d.insert(d.end(), {0x81, 202, 0, 5});
    put32(ssrc);
    d.push_back(1);
    d.push_back(static_cast<uint8_t>(sizeof cname - 1));
    d.insert(d.end(), cname, cname + sizeof cname - 1);
    while (d.size() % 4 != 0 || d.size() < 28 + 24) {
        d.push_back(0);
    }
    return d;
}

InputHarness::InputHarness(uint16_t window)
{
    m_chain = AddReceiveChain(m_graph, window, 0);
    m_stack = static_cast<ZQMInputRTPStack*>(m_chain.rtpIn->GetStack());
}

InputHarness::~InputHarness() { m_chain.rtpIn->GetOutputPin(0)->OnPinFlush(); }

bool InputHarness::Feed(const Datagram& datagram)
{
    ZQFMediaSample* sample = Prepare(datagram);
    return sample != nullptr && Process(sample);
}

ZQFMediaSample* InputHarness::Prepare(const Datagram& datagram)
{
    ZQFMediaSample* sample = m_chain.rtpIn->GetOutputPin(0)->GetNewSample(0);
    if (sample != nullptr) {
        std::memcpy(sample->GetDataBuffer(), datagram.data(), datagram.size());
        sample->m_PayloadLength = static_cast<int>(datagram.size()) - BARE_HEADER_BYTES;
    }
    return sample;
}

bool InputHarness::Process(ZQFMediaSample* sample)
{
    const bool taken = m_stack->OnProcessMediaSample(sample, 0);
    if (!taken) {
        sample->Recycle();
    }
    return taken;
}

}  // namespace bench
