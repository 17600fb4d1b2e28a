#include "logoptions.h"

#include <cstdint>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "arguments.h"
#include "zqfdebuglog.h"
#include "zqwin32.h"

namespace {

const char kTracePath[] = "trace";

// The trace's own line end is left to the log.
int TraceLength(const char* trace)
{
    size_t length = std::strlen(trace);
    while (length > 0 && (trace[length - 1] == '\n' || trace[length - 1] == '\r')) {
        --length;
    }
    return static_cast<int>(length);
}

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
    // Trace lines join the log's queue, so they keep their place among its
    // lines and never make the tracing thread wait for standard error.
    zqwin32::SetOutputDebugStringSink([level](const char* trace) {
        if (level == ZQF_LOG_INFO) {
            DebugLog(kTracePath, 0, ZQF_LOG_INFO, "%.*s", TraceLength(trace), trace);
        }
    });
}

struct HeldLog::Line {
    std::string path;
    int line;
    int level;
    std::string text;
    int64_t timeMs;
    std::string threadName;
};

struct HeldLog::Lines {
    std::mutex mutex;
    std::vector<Line> held;
};

// Lines below the level are not even formatted: they would be dropped on
// release anyway.
HeldLog::HeldLog() : m_lines(new Lines)
{
    zqf::SetDebugLogLineSink(
        [lines = m_lines](const zqf::DebugLogLine& line) {
            std::lock_guard<std::mutex> lock(lines->mutex);
            lines->held.push_back(Line{line.path, line.line, line.level, line.text, line.timeMs, line.threadName});
        },
        zqf::GetDebugLogLevel());
}

HeldLog::~HeldLog()
{
    zqf::SetDebugLogSink({});
    delete m_lines;
}

// Putting the default sink back first delivers what was still queued to the
// holding sink, so the held lines are complete and go out in order, each
// with its own time and thread.
void HeldLog::Release()
{
    zqf::SetDebugLogSink({});
    std::vector<Line> held;
    {
        std::lock_guard<std::mutex> lock(m_lines->mutex);
        held.swap(m_lines->held);
    }
    for (const Line& line : held) {
        zqf::RepostDebugLogLine(
            {line.path.c_str(), line.line, line.level, line.text.c_str(), line.timeMs, line.threadName.c_str()});
    }
}
