#pragma once
// The buffers datagrams wait in: a fixed number of slots, each big enough
// for any UDP datagram, taken when one arrives and given back once it has
// left (twice for a duplicate, which shares its original's slot). Allocated
// once; the pages of a slot are only touched as far as datagrams fill them.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

class DatagramPool {
public:
    static constexpr size_t kSlotBytes = 65536;

    explicit DatagramPool(size_t slots);

    // A free slot holding one reference; none when all are taken.
    std::optional<uint32_t> Take();
    void AddReference(uint32_t slot) { ++m_references[slot]; }
    // The slot is free again when its last reference goes.
    void Release(uint32_t slot);

    uint8_t* Data(uint32_t slot) { return m_memory.get() + static_cast<size_t>(slot) * kSlotBytes; }
    size_t& Length(uint32_t slot) { return m_lengths[slot]; }
    size_t Slots() const { return m_references.size(); }

private:
    std::unique_ptr<uint8_t[]> m_memory;
    std::vector<uint32_t> m_references;
    std::vector<size_t> m_lengths;
    std::vector<uint32_t> m_free;
};
