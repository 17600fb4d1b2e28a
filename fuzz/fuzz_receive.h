#pragma once
// How the stack fuzz targets hand a datagram to a receiving stack.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "inputrtpstack/zqminputrtpstack.h"
#include "zqfmediasample.h"
#include "zqfpin.h"

namespace fuzz {

// One datagram as the receiving loop leaves it in a sample of the output
// pin's pool (cut to the sample's size), through the stack's packet check.
// False when the pool has no free sample.
inline bool ReceiveDatagram(ZQMInputRTPStack& stack, ZQFPinOut& pin, const uint8_t* bytes, size_t length)
{
    ZQFMediaSample* sample = pin.GetNewSample(0);
    if (sample == nullptr) {
        return false;
    }
    const size_t room = static_cast<size_t>(sample->GetBufferSize());
    length = length < room ? length : room;
    std::memcpy(sample->GetDataBuffer(), bytes, length);
    sample->m_PayloadLength = static_cast<int>(length) - 12;
    if (!stack.OnProcessMediaSample(sample, 0)) {
        sample->Recycle();
    }
    return true;
}

}  // namespace fuzz
