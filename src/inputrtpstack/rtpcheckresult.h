#pragma once
// Outcomes of the receiving stack's packet check. The first four mean that
// the packet has been dealt with (delivered, recycled as a duplicate, or
// held); the others refuse it and leave the sample to the caller.
enum RTPCheckResult {
    RTP_VALID_RTPDATAGRAM,                // delivered, or a duplicate recycled
    RTP_VALID_RTPDATAGRAM_BUFFERED,       // held in the reordering window
    RTP_VALID_RTPDATAGRAM_SYNCHRONISING,  // held while the source resynchronises
    RTP_VALID_RTPDATAGRAM_VALIDATING,     // held while a new source is on probation
    RTP_INVALID_VERSION,
    RTP_INVALID_EXTENSION,
    RTP_INVALID_PAYLOAD_TYPE,
    RTP_INVALID_SOURCE_DISCARDED,
    RTP_INVALID_DELIVER_FAILED,
    RTP_INVALID_NO_SOURCE,
    RTP_INVALID_HEADER_LENGTH,  // shorter than its fixed header and CSRC list
    RTP_INVALID_PADDING,        // padding count beyond the payload
};

inline bool IsPacketHandled(RTPCheckResult result) { return result <= RTP_VALID_RTPDATAGRAM_VALIDATING; }
