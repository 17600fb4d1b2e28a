#pragma once
// Captures the DebugLog lines of a test (all of them, or those of one path)
// and restores the default sink. The log delivers lines on its writer
// thread, so every query first waits until the lines logged before it were
// delivered; WaitFor awaits lines logged by other threads.
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "zqfdebuglog.h"

struct LogLine {
    std::string path;
    int level;
    std::string text;
    bool operator==(const LogLine&) const = default;
};

class LogCapture {
public:
    // `onlyPath` non-empty: lines of other paths are let go.
    explicit LogCapture(std::string onlyPath = "")
    {
        zqf::SetDebugLogSink([this, onlyPath](const char* path, int, int level, const char* text) {
            if (!onlyPath.empty() && onlyPath != path) {
                return;
            }
            std::lock_guard<std::mutex> lock(m_mutex);
            m_lines.push_back({path, level, text});
            m_changed.notify_all();
        });
    }
    ~LogCapture() { zqf::SetDebugLogSink({}); }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    std::vector<LogLine> Lines() const
    {
        zqf::FlushDebugLog();
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_lines;
    }

    // Lines written under `path`, in order.
    std::vector<LogLine> Lines(const std::string& path) const
    {
        std::vector<LogLine> lines;
        for (const LogLine& line : Lines()) {
            if (line.path == path) {
                lines.push_back(line);
            }
        }
        return lines;
    }

    // Texts written under `path`, in order.
    std::vector<std::string> Texts(const std::string& path) const
    {
        std::vector<std::string> texts;
        for (const LogLine& line : Lines()) {
            if (line.path == path) {
                texts.push_back(line.text);
            }
        }
        return texts;
    }

    int Count(const std::string& path, int level, const std::string& text) const
    {
        return CountIf([&](const LogLine& line) { return line.path == path && line.level == level && line.text == text; });
    }

    // Lines of any path with exactly this text (and this level, unless -1).
    int CountText(const std::string& text, int level = -1) const
    {
        return CountIf([&](const LogLine& line) { return line.text == text && (level < 0 || line.level == level); });
    }

    // Error lines (level 2) containing none of `expected`: what a run that
    // should go well must not have written.
    std::vector<std::string> UnexpectedErrors(const std::vector<std::string>& expected) const
    {
        std::vector<std::string> unexpected;
        for (const LogLine& line : Lines()) {
            const bool known = std::any_of(expected.begin(), expected.end(), [&](const std::string& part) {
                return line.text.find(part) != std::string::npos;
            });
            if (line.level == ZQF_LOG_ERROR && !known) {
                unexpected.push_back(line.path + ": " + line.text);
            }
        }
        return unexpected;
    }

    int CountContaining(const std::string& part) const
    {
        return CountIf([&](const LogLine& line) { return line.text.find(part) != std::string::npos; });
    }

    // Waits until a line with exactly this text was written.
    bool WaitFor(const std::string& text, int timeoutMs = 10000) const
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
            return std::any_of(m_lines.begin(), m_lines.end(), [&](const LogLine& line) { return line.text == text; });
        });
    }

    void Clear()
    {
        zqf::FlushDebugLog();
        std::lock_guard<std::mutex> lock(m_mutex);
        m_lines.clear();
    }

private:
    template <class Match>
    int CountIf(Match match) const
    {
        zqf::FlushDebugLog();
        std::lock_guard<std::mutex> lock(m_mutex);
        return static_cast<int>(std::count_if(m_lines.begin(), m_lines.end(), match));
    }

    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    std::vector<LogLine> m_lines;
};
