#pragma once
// Datagrams waiting for their time to leave, earliest first. Two due at the
// same time leave in the order they were queued, so a duplicate queued right
// after its original leaves right after it. The room is reserved once: the
// queue never allocates while the relay runs.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

template <typename Item>
class DueQueue {
public:
    explicit DueQueue(size_t capacity) : m_capacity(capacity) { m_entries.reserve(capacity); }

    // False (and nothing queued) when the queue is full.
    bool Push(int64_t dueUs, const Item& item)
    {
        if (m_entries.size() >= m_capacity) {
            return false;
        }
        m_entries.push_back(Entry{dueUs, m_nextOrder++, item});
        std::push_heap(m_entries.begin(), m_entries.end(), Later);
        return true;
    }

    bool Empty() const { return m_entries.empty(); }
    size_t Size() const { return m_entries.size(); }
    // Only when not empty.
    int64_t NextDueUs() const { return m_entries.front().dueUs; }
    Item Pop()
    {
        std::pop_heap(m_entries.begin(), m_entries.end(), Later);
        Item item = m_entries.back().item;
        m_entries.pop_back();
        return item;
    }

private:
    struct Entry {
        int64_t dueUs;
        uint64_t order;
        Item item;
    };

    // The heap keeps the entry for which this is false against all others
    // on top: the earliest, and of those the first queued.
    static bool Later(const Entry& a, const Entry& b)
    {
        return a.dueUs != b.dueUs ? a.dueUs > b.dueUs : a.order > b.order;
    }

    size_t m_capacity;
    uint64_t m_nextOrder = 0;
    std::vector<Entry> m_entries;
};
