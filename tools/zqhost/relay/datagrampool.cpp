#include "datagrampool.h"

DatagramPool::DatagramPool(size_t slots)
    // Not value-initialised: zeroing would touch every page of every slot.
    : m_memory(new uint8_t[slots * kSlotBytes]), m_references(slots, 0), m_lengths(slots, 0)
{
    m_free.reserve(slots);
    for (size_t slot = slots; slot > 0; --slot) {
        m_free.push_back(static_cast<uint32_t>(slot - 1));
    }
}

std::optional<uint32_t> DatagramPool::Take()
{
    if (m_free.empty()) {
        return std::nullopt;
    }
    const uint32_t slot = m_free.back();
    m_free.pop_back();
    m_references[slot] = 1;
    m_lengths[slot] = 0;
    return slot;
}

void DatagramPool::Release(uint32_t slot)
{
    if (m_references[slot] == 0) {
        return;
    }
    if (--m_references[slot] == 0) {
        m_free.push_back(slot);
    }
}
