#pragma once
// Small modules and pins that record what the framework does to them.
#include <poll.h>

#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "log_capture.h"
#include "zqfmodule.h"
#include "zqfpin.h"
#include "zqfthread.h"

namespace fwtest {

constexpr ZQFID kTestId{0x12345678, 0x1234, 0x5678, {1, 2, 3, 4, 5, 6, 7, 8}};
using Entries = std::vector<std::string>;

// Hook calls in the order they happened, as "<module>.<event>".
class Journal {
public:
    void Add(const std::string& entry)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_entries.push_back(entry);
    }
    Entries Take()  // answers the entries and forgets them
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return std::exchange(m_entries, {});
    }

private:
    std::mutex m_mutex;
    Entries m_entries;
};

// A pin whose media types the test sets.
template <typename Base>
class ScriptedPin : public Base {
public:
    using Base::Base;
    bool GetMediaTypeAt(int index, ZQFMediaType* type, ZQFFormatBuffer** format) override
    {
        *format = nullptr;
        if (index < 0 || static_cast<size_t>(index) >= types.size()) {
            return false;
        }
        *type = types[static_cast<size_t>(index)];
        return true;
    }
    std::vector<ZQFMediaType> types;
};

using TestInputPin = ScriptedPin<ZQFPinIn>;

class TestOutputPin : public ScriptedPin<ZQFPinOutAuto> {
public:
    TestOutputPin(ZQFModule* owner, Journal* journal) : ScriptedPin(owner, "out", 0), m_journal(journal) {}
    bool OnPinFlush() override
    {
        if (m_journal) {
            m_journal->Add(std::string(GetModule()->GetName()) + ".OnPinFlush");
        }
        return ScriptedPin::OnPinFlush();
    }

private:
    Journal* m_journal;
};

// A module with `inputs` input pins and `outputs` output pins whose hooks do
// what the test sets and journal what happened.
class TestModule : public ZQFModule {
public:
    TestModule(const char* name, int inputs, int outputs, Journal* journal = nullptr)
        : ZQFModule(kTestId, name), m_journal(journal)
    {
        for (int i = 0; i < inputs; ++i) {
            AddPin(new TestInputPin(this, "in"));
        }
        for (int i = 0; i < outputs; ++i) {
            AddPin(new TestOutputPin(this, journal));
        }
    }
    ~TestModule() override { Note("destroyed"); }
    TestInputPin* In(int i) const { return static_cast<TestInputPin*>(GetInputPin(i)); }
    TestOutputPin* Out(int i) const { return static_cast<TestOutputPin*>(GetOutputPin(i)); }

    bool OnProcessMediaSample(ZQFMediaSample* sample, int) override { return onSample ? onSample(sample) : true; }
    bool OnNotify(ZQFNotifyInfo* info) override
    {
        Note("OnNotify " + std::to_string(info->code));
        return onNotify ? onNotify(info) : false;
    }
    bool OnReverseNotify(ZQFNotifyInfo* info) override
    {
        Note("OnReverseNotify " + std::to_string(info->code));
        return false;
    }
    bool OnStart() override
    {
        Note(IsRunning() ? "OnStart running" : "OnStart stopped");
        return onStart ? onStart() : true;
    }
    bool OnStop() override { return Note("OnStop"); }
    bool OnBeginFlush() override
    {
        return Note(IsRunning() ? "OnBeginFlush running" : "OnBeginFlush stopped");
    }
    bool OnEndFlush() override { return Note("OnEndFlush"); }
    bool OnConnect(int pin, bool output) override { return Note(PinNote("OnConnect", pin, output)); }
    bool OnDisconnect(int pin, bool output) override { return Note(PinNote("OnDisconnect", pin, output)); }
    static std::string PinNote(const char* hook, int pin, bool output)
    {
        return std::string(hook) + (output ? " out " : " in ") + std::to_string(pin);
    }

    std::function<bool(ZQFMediaSample*)> onSample;
    std::function<bool(ZQFNotifyInfo*)> onNotify;
    std::function<bool()> onStart;

private:
    bool Note(const std::string& event)
    {
        if (m_journal) {
            m_journal->Add(std::string(GetName()) + "." + event);
        }
        return true;
    }
    Journal* m_journal;
};

// A thread whose body the test gives; it stops its thread before its own
// members go, as every ZQFThread subclass must.
class FunctionThread : public ZQFThread {
public:
    explicit FunctionThread(std::function<int(FunctionThread&)> body, const char* name = "fwtest")
        : ZQFThread(name), m_body(std::move(body))
    {
    }
    ~FunctionThread() override { StopThread(-1, 1); }

    // Waits for the stop event, as a socket loop would.
    void WaitForStop() const
    {
        pollfd p{GetStopEvent().GetDescriptor(), POLLIN, 0};
        while (!MustQuit()) poll(&p, 1, -1);
    }

protected:
    int ThreadFunc(void*) override { return m_body(*this); }

private:
    std::function<int(FunctionThread&)> m_body;
};

// Captured lines at `level` whose text contains `part`.
inline int CountLines(const LogCapture& log, int level, const std::string& part)
{
    int n = 0;
    for (const LogLine& l : log.Lines()) {
        n += l.level == level && l.text.find(part) != std::string::npos;
    }
    return n;
}

// Polls an observable condition, a last resort for states nothing signals.
inline bool Eventually(const std::function<bool()>& condition)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::yield();
    }
    return true;
}

}  // namespace fwtest
