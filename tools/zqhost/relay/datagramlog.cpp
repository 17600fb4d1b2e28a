#include "datagramlog.h"

#include <vector>

#include "endpointoptions.h"
#include "jsonline.h"
#include "zqcsocketaddress.h"
#include "zqmbyteio.h"

namespace {

constexpr size_t kRtpHeaderBytes = 12;
constexpr size_t kRtcpHeaderBytes = 4;
constexpr size_t kSenderInfoEnd = 28;  // header, SSRC and the sender info
constexpr size_t kReceiverReportBlocksAt = 8;
constexpr size_t kReportBlockBytes = 24;
constexpr int kSenderReport = 200;
constexpr int kReceiverReport = 201;

std::string Address(const ZQCInetAddress& address)
{
    ZQCSocketAddress text;
    text.SetSockAddr(&address.any, ZQCInetAddressLength(address));
    return EndpointText(text.GetAddress(), text.GetPortNumber());
}

// The header fields, as far as the datagram holds them. False when it is
// not a well-formed RTP packet.
bool DescribeRtp(JsonObject& line, const uint8_t* data, size_t length)
{
    if (length < kRtpHeaderBytes) {
        return false;
    }
    line.AddInteger("ssrc", BigEndian::Read32(data + 8));
    line.AddInteger("seq", BigEndian::Read16(data + 2));
    line.AddInteger("ts", BigEndian::Read32(data + 4));
    line.AddInteger("pt", data[1] & 0x7F);
    line.AddBool("marker", (data[1] & 0x80) != 0);
    if ((data[0] >> 6) != 2) {
        return false;
    }
    size_t header = kRtpHeaderBytes + 4u * (data[0] & 0x0F);
    if ((data[0] & 0x10) != 0) {  // a header extension: 4 bytes, then its words
        if (length < header + 4) {
            return false;
        }
        header += 4 + 4u * BigEndian::Read16(data + header + 2);
    }
    const size_t padding = (data[0] & 0x20) != 0 ? data[length - 1] : 0;
    return length >= header + padding && ((data[0] & 0x20) == 0 || padding > 0);
}

// One report block at `block`; the caller checked its 24 bytes are there.
std::string ReportBlockJson(const uint8_t* block)
{
    // The cumulative count is a signed 24-bit number: a receiver that got
    // duplicates reports a negative loss.
    const uint32_t raw = BigEndian::Read24(block + 5);
    const int64_t cumulative = (raw & 0x800000u) != 0 ? static_cast<int64_t>(raw) - 0x1000000 : raw;
    JsonObject json;
    json.AddInteger("ssrc", BigEndian::Read32(block));
    json.AddInteger("fraction_lost", block[4]);
    json.AddInteger("cumulative_lost", cumulative);
    json.AddInteger("extended_highest_seq", BigEndian::Read32(block + 8));
    json.AddInteger("jitter", BigEndian::Read32(block + 12));
    json.AddInteger("lsr", BigEndian::Read32(block + 16));
    json.AddInteger("dlsr", BigEndian::Read32(block + 20));
    return json.Text();
}

// The report blocks from `at` in one packet of `size` bytes. False when the
// count claims more blocks than the packet holds.
bool AddReportBlocks(JsonObject& json, const uint8_t* packet, size_t size, size_t at, int count)
{
    std::vector<std::string> blocks;
    bool complete = true;
    for (int index = 0; index < count; ++index) {
        if (at + kReportBlockBytes > size) {
            complete = false;
            break;
        }
        blocks.push_back(ReportBlockJson(packet + at));
        at += kReportBlockBytes;
    }
    json.AddJson("reports", JsonArray(blocks));
    return complete;
}

// One packet of a compound, `size` bytes long as its header says (checked
// against the datagram). False when its contents do not fit its type.
bool DescribeRtcpPacket(std::vector<std::string>& packets, const uint8_t* packet, size_t size)
{
    const int type = packet[1];
    const int count = packet[0] & 0x1F;
    JsonObject json;
    json.AddInteger("type", type);
    bool wellFormed = (packet[0] >> 6) == 2;
    if (size >= 8) {
        json.AddInteger("ssrc", BigEndian::Read32(packet + 4));
    }
    if (type == kSenderReport) {
        if (size < kSenderInfoEnd) {
            wellFormed = false;
        } else {
            json.AddInteger("ntp_seconds", BigEndian::Read32(packet + 8));
            json.AddInteger("ntp_fraction", BigEndian::Read32(packet + 12));
            json.AddInteger("rtp_ts", BigEndian::Read32(packet + 16));
            json.AddInteger("packet_count", BigEndian::Read32(packet + 20));
            json.AddInteger("octet_count", BigEndian::Read32(packet + 24));
            wellFormed = AddReportBlocks(json, packet, size, kSenderInfoEnd, count) && wellFormed;
        }
    } else if (type == kReceiverReport) {
        wellFormed = size >= kReceiverReportBlocksAt && wellFormed;
        wellFormed = AddReportBlocks(json, packet, size, kReceiverReportBlocksAt, count) && wellFormed;
    }
    packets.push_back(json.Text());
    return wellFormed;
}

// Every packet of the compound that its length words delimit. False when a
// length runs past the datagram or a packet is malformed.
bool DescribeRtcp(JsonObject& line, const uint8_t* data, size_t length)
{
    std::vector<std::string> packets;
    bool wellFormed = length >= kRtcpHeaderBytes;
    size_t offset = 0;
    while (wellFormed && offset < length) {
        if (length - offset < kRtcpHeaderBytes) {
            wellFormed = false;
            break;
        }
        const size_t size = (static_cast<size_t>(BigEndian::Read16(data + offset + 2)) + 1) * 4;
        if (size > length - offset) {
            wellFormed = false;
            break;
        }
        wellFormed = DescribeRtcpPacket(packets, data + offset, size) && wellFormed;
        offset += size;
    }
    line.AddJson("packets", JsonArray(packets));
    return wellFormed;
}

}  // namespace

std::string DatagramLogLine(const DatagramEvent& event)
{
    JsonObject line;
    line.AddText("direction", event.direction == RelayDirection::Forward ? "fwd" : "rev");
    line.AddText("kind", event.kind == RelayKind::Rtp ? "rtp" : "rtcp");
    line.AddText("from", Address(event.from));
    line.AddInteger("arrived_us", event.arrivedUs);
    if (event.dropped) {
        line.AddBool("dropped", true);
    } else {
        line.AddInteger("forwarded_us", event.forwardedUs);
    }
    if (event.duplicate) {
        line.AddBool("duplicate", true);
    }
    line.AddInteger("length", static_cast<int64_t>(event.length));
    const bool wellFormed = event.kind == RelayKind::Rtp ? DescribeRtp(line, event.data, event.length)
                                                         : DescribeRtcp(line, event.data, event.length);
    if (!wellFormed) {
        line.AddBool("malformed", true);
    }
    return line.Text();
}

DatagramLog::~DatagramLog()
{
    if (m_file != nullptr) {
        std::fclose(m_file);
    }
}

bool DatagramLog::Open(const std::string& path)
{
    m_file = std::fopen(path.c_str(), "w");
    return m_file != nullptr;
}

void DatagramLog::Write(const DatagramEvent& event)
{
    if (m_file == nullptr) {
        return;
    }
    std::fprintf(m_file, "%s\n", DatagramLogLine(event).c_str());
    std::fflush(m_file);
}
