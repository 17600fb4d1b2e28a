#pragma once
// A downstream module for tests: records the notifications and samples it
// gets, and can refuse samples. With `keep` above 0 it also holds on to the
// last `keep` samples with a reference of its own, as a module that queues
// samples would, and checks on every arrival and at the end that none of
// them changed under its hands: a reference missing anywhere upstream lets
// the pool hand a kept buffer out again.
#include <atomic>
#include <cstring>
#include <deque>
#include <mutex>
#include <vector>

#include "zqfmediasample.h"
#include "zqfmodule.h"
#include "zqfnotify.h"
#include "zqfpin.h"

namespace testsupport {

constexpr ZQFID kRecordingSinkId{0x5151AAAA, 0x0001, 0x0002, {9, 9, 9, 9, 9, 9, 9, 9}};

class RecordingSink : public ZQFModule {
public:
    explicit RecordingSink(size_t keep = 0) : ZQFModule(kRecordingSinkId, "recording sink"), m_keep(keep)
    {
        AddPin(new ZQFPinIn(this, "in"));
    }
    ~RecordingSink() override { ReleaseKept(); }

    bool OnNotify(ZQFNotifyInfo* info) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_notifications.push_back(*info);
        return true;
    }

    bool OnProcessMediaSample(ZQFMediaSample* sample, int) override
    {
        if (refuse.load()) {
            return false;
        }
        int size = 0;
        const uint8_t* payload = sample->GetPayload(&size);
        std::lock_guard<std::mutex> lock(m_mutex);
        m_payloads.emplace_back(payload, payload + size);
        if (m_keep > 0) {
            CheckKeptLocked();
            sample->AddRef();
            m_kept.push_back({sample, m_payloads.back()});
            if (m_kept.size() > m_keep) {
                m_kept.front().sample->Recycle();
                m_kept.pop_front();
            }
        }
        return true;
    }

    // Checks the kept samples one last time and gives them back.
    void ReleaseKept()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        CheckKeptLocked();
        for (const Kept& kept : m_kept) {
            kept.sample->Recycle();
        }
        m_kept.clear();
    }

    // Kept samples found changed since they arrived.
    int Corrupted() const { return m_corrupted.load(); }

    std::vector<ZQFNotifyInfo> Notifications() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_notifications;
    }

    int CountNotifications(int code) const
    {
        int count = 0;
        for (const ZQFNotifyInfo& info : Notifications()) {
            count += info.code == code ? 1 : 0;
        }
        return count;
    }

    std::vector<std::vector<uint8_t>> Payloads() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_payloads;
    }

    std::atomic<bool> refuse{false};

private:
    struct Kept {
        ZQFMediaSample* sample;
        std::vector<uint8_t> payload;
    };

    void CheckKeptLocked()
    {
        for (const Kept& kept : m_kept) {
            int size = 0;
            const uint8_t* now = kept.sample->GetPayload(&size);
            const bool same = static_cast<size_t>(size) == kept.payload.size() &&
                              (size == 0 || std::memcmp(now, kept.payload.data(), kept.payload.size()) == 0);
            m_corrupted += same ? 0 : 1;
        }
    }

    const size_t m_keep;
    std::deque<Kept> m_kept;
    std::atomic<int> m_corrupted{0};
    mutable std::mutex m_mutex;
    std::vector<ZQFNotifyInfo> m_notifications;
    std::vector<std::vector<uint8_t>> m_payloads;
};

}  // namespace testsupport
