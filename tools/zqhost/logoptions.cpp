#include "logoptions.h"

#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "arguments.h"
#include "zqfdebuglog.h"
#include "zqwin32.h"

namespace {

struct LevelName {
    const char* name;
    int level;
};

constexpr LevelName kLevelNames[] = {
    {"0", ZQF_LOG_INFO},          {"info", ZQF_LOG_INFO}, {"1", ZQF_LOG_WARNING},
    {"warning", ZQF_LOG_WARNING}, {"2", ZQF_LOG_ERROR},   {"error", ZQF_LOG_ERROR},
    {"none", ZQF_LOG_ERROR + 1},  // above every level: nothing is shown
};

int ParseLogLevel(const std::string& text)
{
    for (const LevelName& entry : kLevelNames) {
        if (text == entry.name) {
            return entry.level;
        }
    }
    throw CommandError("option --log-level: '" + text + "' is not 0/info, 1/warning, 2/error or none");
}

}  // namespace

void TakeLogLevelOption(Arguments& arguments)
{
    const auto text = arguments.TakeValue("--log-level");
    const int level = text ? ParseLogLevel(*text) : ZQF_LOG_ERROR;
    zqf::SetDebugLogLevel(level);
    zqwin32::SetOutputDebugStringSink([level](const char* trace) {
        if (level == ZQF_LOG_INFO) {
            std::fputs(trace, stderr);
        }
    });
}

struct HeldLog::Line {
    std::string path;
    int line;
    int level;
    std::string text;
};

struct HeldLog::Lines {
    std::mutex mutex;
    std::vector<Line> held;
};

HeldLog::HeldLog() : m_lines(new Lines)
{
    zqf::SetDebugLogSink([lines = m_lines](const char* path, int line, int level, const char* text) {
        std::lock_guard<std::mutex> lock(lines->mutex);
        lines->held.push_back(Line{path ? path : "", line, level, text ? text : ""});
    });
}

HeldLog::~HeldLog()
{
    zqf::SetDebugLogSink({});
    delete m_lines;
}

void HeldLog::Release()
{
    zqf::SetDebugLogSink({});
    std::vector<Line> held;
    {
        std::lock_guard<std::mutex> lock(m_lines->mutex);
        held.swap(m_lines->held);
    }
    for (const Line& line : held) {
        DebugLog(line.path.c_str(), line.line, line.level, "%s", line.text.c_str());
    }
}
