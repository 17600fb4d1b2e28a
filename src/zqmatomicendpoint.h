#pragma once
// An endpoint that one thread sets while others read it, without a lock and
// without allocating: a sequence count around three words. A reader retries
// while a write is under way; writes are rare (a peer moves), reads come
// with datagrams. Every access is atomic, so there is no data race for a
// race detector to see.
#include <atomic>
#include <cstdint>
#include <cstring>

#include "zqmendpoint.h"

namespace zqm {

class AtomicEndpoint {
public:
    Endpoint Load() const
    {
        uint64_t words[kWords];
        for (;;) {
            const uint32_t before = m_sequence.load(std::memory_order_acquire);
            // Acquire loads: the second look at the count cannot move
            // before them.
            for (int i = 0; i < kWords; ++i) {
                words[i] = m_words[i].load(std::memory_order_acquire);
            }
            if ((before & 1u) == 0 && m_sequence.load(std::memory_order_relaxed) == before) {
                return Unpack(words);
            }
        }
    }

    // Concurrent writers take turns on the odd count.
    void Store(const Endpoint& endpoint)
    {
        uint64_t words[kWords];
        Pack(endpoint, words);
        uint32_t sequence = m_sequence.load(std::memory_order_relaxed);
        for (;;) {
            if ((sequence & 1u) != 0) {
                sequence = m_sequence.load(std::memory_order_relaxed);
                continue;
            }
            if (m_sequence.compare_exchange_weak(sequence, sequence + 1, std::memory_order_acquire,
                                                 std::memory_order_relaxed)) {
                break;
            }
        }
        // Release stores: a reader that sees one of them sees the odd count.
        for (int i = 0; i < kWords; ++i) {
            m_words[i].store(words[i], std::memory_order_release);
        }
        m_sequence.store(sequence + 2, std::memory_order_release);
    }

private:
    static constexpr int kWords = 3;

    static void Pack(const Endpoint& endpoint, uint64_t (&words)[kWords])
    {
        std::memcpy(&words[0], endpoint.address.data(), 8);
        std::memcpy(&words[1], endpoint.address.data() + 8, 8);
        words[2] = static_cast<uint64_t>(endpoint.scopeId) << 32 | static_cast<uint64_t>(endpoint.port) << 16 |
                   endpoint.family;
    }

    static Endpoint Unpack(const uint64_t (&words)[kWords])
    {
        Endpoint endpoint;
        std::memcpy(endpoint.address.data(), &words[0], 8);
        std::memcpy(endpoint.address.data() + 8, &words[1], 8);
        endpoint.scopeId = static_cast<uint32_t>(words[2] >> 32);
        endpoint.port = static_cast<uint16_t>(words[2] >> 16);
        endpoint.family = static_cast<uint16_t>(words[2]);
        return endpoint;
    }

    std::atomic<uint32_t> m_sequence{0};
    std::atomic<uint64_t> m_words[kWords]{};
};

}  // namespace zqm
