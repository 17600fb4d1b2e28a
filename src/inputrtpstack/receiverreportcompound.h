#pragma once
// The compound RTCP datagram the receiving stack sends about one remote
// source: a receiver report with one block, a source description with the
// local CNAME when there is one, a full intra request when asked for, and a
// goodbye when the local SSRC is left (after a collision).
//
//   RR (32 bytes) | SDES (10 + L + pad bytes, L > 0 only) | FIR (20 bytes) | BYE (8 bytes)
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace zqm {

struct ReceiverReportContent {
    uint32_t localSsrc = 0;
    std::string_view localCname;  // empty: no SDES
    uint32_t reportedSsrc = 0;
    uint32_t lostWord = 0;        // fraction lost (8 bits) and cumulative lost (24 bits)
    uint32_t extendedHighestSeq = 0;
    uint32_t jitterUnits = 0;
    uint32_t lsr = 0;
    uint32_t dlsr = 0;            // 1/65536 s
    bool fullIntraRequest = false;
    bool goodbye = false;         // a BYE of localSsrc closes the compound
};

// Large enough for any content: RR, SDES with a 255-byte CNAME, FIR, BYE.
inline constexpr size_t kMaxReceiverReportCompoundBytes = 32 + 10 + 255 + 4 + 20 + 8;

// Writes the compound; answers its size, or 0 when it does not fit in
// `capacity` (or the CNAME is longer than 255 bytes). Unwritten bytes are 0.
size_t BuildReceiverReportCompound(const ReceiverReportContent& content, uint8_t* buffer, size_t capacity);

}  // namespace zqm
