#include "inputrtpstack/receiverreportcompound.h"

#include <cstring>

#include "rtcp/rtcpbye.h"
#include "rtcp/rtcpfir.h"
#include "rtcp/rtcpreceiverreport.h"
#include "rtcp/rtcpsdes.h"

namespace zqm {

namespace {

size_t ReceiverReportBytes(const ReceiverReportContent& content, uint8_t* buffer, size_t capacity)
{
    rtcp::ReceiverReport report;
    report.senderSsrc = content.localSsrc;
    report.block.sourceSsrc = content.reportedSsrc;
    report.block.fractionLost = static_cast<uint8_t>(content.lostWord >> 24);
    report.block.cumulativeLost = content.lostWord & 0xFFFFFFu;
    report.block.extendedHighestSequence = content.extendedHighestSeq;
    report.block.jitter = content.jitterUnits;
    report.block.lastSenderReport = content.lsr;
    report.block.delaySinceLastSenderReport = content.dlsr;
    return report.Create(buffer, capacity);
}

size_t SdesBytes(const ReceiverReportContent& content, uint8_t* buffer, size_t capacity)
{
    rtcp::Sdes sdes;
    sdes.ssrc = content.localSsrc;
    sdes.text = content.localCname;
    return sdes.Create(buffer, capacity);
}

// The FIR names no packet sender and no media source; the local SSRC goes
// into its request entry, with command sequence number 0.
size_t FirBytes(const ReceiverReportContent& content, uint8_t* buffer, size_t capacity)
{
    rtcp::Fir fir;
    fir.fciSsrc = content.localSsrc;
    return fir.Create(buffer, capacity);
}

}  // namespace

size_t BuildReceiverReportCompound(const ReceiverReportContent& content, uint8_t* buffer, size_t capacity)
{
    if (buffer == nullptr) {
        return 0;
    }
    std::memset(buffer, 0, capacity);
    size_t used = ReceiverReportBytes(content, buffer, capacity);
    if (used == 0) {
        return 0;
    }
    if (!content.localCname.empty()) {
        const size_t sdes = SdesBytes(content, buffer + used, capacity - used);
        if (sdes == 0) {
            return 0;
        }
        used += sdes;
    }
    if (content.fullIntraRequest) {
        const size_t fir = FirBytes(content, buffer + used, capacity - used);
        if (fir == 0) {
            return 0;
        }
        used += fir;
    }
    if (content.goodbye) {
        rtcp::Bye bye;
        bye.ssrc = content.localSsrc;
        const size_t goodbye = bye.Create(buffer + used, capacity - used);
        if (goodbye == 0) {
            return 0;
        }
        used += goodbye;
    }
    return used;
}

}  // namespace zqm
