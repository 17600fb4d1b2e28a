#pragma once
#include <cstdint>

#include "zqcexport.h"

// A format buffer describes what a sample carries beyond its bytes.
class ZQ_API ZQFFormatBuffer {
public:
    virtual ~ZQFFormatBuffer() = default;
    virtual int GetKind() const = 0;
    // A copy the caller owns.
    virtual ZQFFormatBuffer* Clone() const = 0;
    // Copies `other` into this buffer when both are of the same kind (no
    // allocation); answers false otherwise.
    virtual bool CopyFrom(const ZQFFormatBuffer& other) = 0;
};

// The format of every RTP sample: the packet fields of its RTP header.
class ZQ_API NKRMultiplexedPacketFormat : public ZQFFormatBuffer {
public:
    enum { kKind = 5 };

    int GetKind() const override { return kKind; }
    ZQFFormatBuffer* Clone() const override;
    bool CopyFrom(const ZQFFormatBuffer& other) override;

    uint16_t sequenceNumber = 0;
    uint32_t marker = 0;  // non-zero: set
    uint32_t timestamp = 0;
    uint32_t ssrc = 0;
};
