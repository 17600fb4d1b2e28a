#pragma once
// Captures the DebugLog lines of a test and restores the default sink.
#include <algorithm>
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
    LogCapture()
    {
        zqf::SetDebugLogSink([this](const char* path, int, int level, const char* text) {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_lines.push_back({path, level, text});
        });
    }
    ~LogCapture() { zqf::SetDebugLogSink({}); }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    std::vector<LogLine> Lines() const
    {
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
        const std::vector<LogLine> lines = Lines();
        return static_cast<int>(std::count_if(lines.begin(), lines.end(), [&](const LogLine& line) {
            return line.path == path && line.level == level && line.text == text;
        }));
    }

    void Clear()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_lines.clear();
    }

private:
    mutable std::mutex m_mutex;
    std::vector<LogLine> m_lines;
};
