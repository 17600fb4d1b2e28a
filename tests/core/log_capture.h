#pragma once
// Captures DebugLog lines for a test and restores the default sink after.
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

    std::vector<LogLine> Lines(const std::string& path) const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        std::vector<LogLine> lines;
        for (const LogLine& line : m_lines) {
            if (line.path == path) {
                lines.push_back(line);
            }
        }
        return lines;
    }
    int Count(const std::string& path, int level, const std::string& text) const
    {
        int count = 0;
        for (const LogLine& line : Lines(path)) {
            count += (line.level == level && line.text == text) ? 1 : 0;
        }
        return count;
    }

private:
    mutable std::mutex m_mutex;
    std::vector<LogLine> m_lines;
};
