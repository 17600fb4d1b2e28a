#pragma once
// Datagrams made before a measurement, as the bare sender numbers them
// (protected or not), to be sent to a receiver that then reads them queued.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace bench {

class LibsrtpSession;

struct DatagramBatch {
    static constexpr int kSlotBytes = 192;  // a datagram and its SRTP tag
    std::vector<uint8_t> bytes;
    std::vector<int> lengths;
    size_t Size() const { return lengths.size(); }
    uint8_t* At(size_t k) { return bytes.data() + k * kSlotBytes; }
    const uint8_t* At(size_t k) const { return bytes.data() + k * kSlotBytes; }
};

// `count` datagrams numbered from 0, protected by `session` when given.
DatagramBatch MakeDatagramBatch(uint64_t count, LibsrtpSession* session);

// Sends datagrams [first, end) of `batch` to 127.0.0.1:`port`.
void SendBatch(int port, const DatagramBatch& batch, size_t first, size_t end);

}  // namespace bench
