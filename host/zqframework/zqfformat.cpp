#include "zqfformat.h"

ZQFFormatBuffer* NKRMultiplexedPacketFormat::Clone() const { return new NKRMultiplexedPacketFormat(*this); }

bool NKRMultiplexedPacketFormat::CopyFrom(const ZQFFormatBuffer& other)
{
    if (other.GetKind() != kKind) {
        return false;
    }
    *this = static_cast<const NKRMultiplexedPacketFormat&>(other);
    return true;
}
