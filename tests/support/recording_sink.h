#pragma once
// A downstream module for tests: records the notifications and samples it
// gets, and can refuse samples.
#include <atomic>
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
    RecordingSink() : ZQFModule(kRecordingSinkId, "recording sink") { AddPin(new ZQFPinIn(this, "in")); }

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
        return true;
    }

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
    mutable std::mutex m_mutex;
    std::vector<ZQFNotifyInfo> m_notifications;
    std::vector<std::vector<uint8_t>> m_payloads;
};

}  // namespace testsupport
