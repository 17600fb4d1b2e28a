#include "inputrtpstack/rtpdatagramcheck.h"

namespace rtp {

namespace {

// RTCP sender and receiver reports (types 200 and 201) show these values
// where an RTP header has its payload type.
bool IsReservedPayloadType(uint8_t payloadType) { return payloadType == 72 || payloadType == 73; }

}  // namespace

ReceivedDatagram CheckReceivedDatagram(const uint8_t* data, size_t size)
{
    ReceivedDatagram datagram;
    if (!ReadFixedHeader(data, size, &datagram.header)) {
        datagram.fault = DatagramFault::HeaderLength;
        return datagram;
    }
    const FixedHeader& header = datagram.header;
    if (header.version != kVersion) {
        datagram.fault = DatagramFault::Version;
    } else if (header.extension) {
        datagram.fault = DatagramFault::Extension;
    } else if (header.PayloadOffset() > size) {
        datagram.fault = DatagramFault::HeaderLength;
    } else if (header.padding && data[size - 1] > size - header.PayloadOffset()) {
        datagram.fault = DatagramFault::Padding;
    } else if (IsReservedPayloadType(header.payloadType)) {
        datagram.fault = DatagramFault::PayloadType;
    } else if (header.padding) {
        datagram.paddingBytes = data[size - 1];
    }
    return datagram;
}

}  // namespace rtp
