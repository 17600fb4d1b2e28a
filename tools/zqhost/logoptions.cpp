#include "logoptions.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
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

constexpr int kNothing = ZQF_LOG_ERROR + 1;  // above every level

constexpr LevelName kLevelNames[] = {
    {"0", ZQF_LOG_INFO},          {"info", ZQF_LOG_INFO}, {"1", ZQF_LOG_WARNING},
    {"warning", ZQF_LOG_WARNING}, {"2", ZQF_LOG_ERROR},   {"error", ZQF_LOG_ERROR},
    {"none", kNothing},
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

// The lines a user must act on, as they begin or contain these texts, and
// what the quiet screen says about them.
struct ActionableLine {
    const char* text;
};

constexpr ActionableLine kActionable[] = {
    {"Failed to bind socket"},
    {"Failed to create socket"},
    {"unreachable (ICMP error)"},
    {"reachable again after"},
    {"invalid payload type"},
    {"sample refused"},
    {"write failed, file closed"},
};
constexpr size_t kActionableCount = sizeof kActionable / sizeof kActionable[0];

// A kind of line shown again at most this often; the repeats in between are
// counted and said with the next one.
constexpr int64_t kRepeatQuietMs = 5000;

struct HostLogState {
    std::mutex mutex;
    int screenLevel = kNothing;  // lines from this level up, formatted; kNothing: quiet
    bool quiet = true;           // the actionable lines only
    std::FILE* file = nullptr;
    HostLogWatcher watcher;
    int64_t lastShownMs[kActionableCount] = {};
    bool shown[kActionableCount] = {};
    uint64_t repeats[kActionableCount] = {};
};

HostLogState& State()
{
    static HostLogState state;
    return state;
}

int MinimumLevel(const HostLogState& state)
{
    if (state.file != nullptr) {
        return ZQF_LOG_INFO;
    }
    return state.quiet ? ZQF_LOG_WARNING : state.screenLevel;
}

void ShowActionable(HostLogState& state, const zqf::DebugLogLine& line)
{
    for (size_t kind = 0; kind < kActionableCount; ++kind) {
        if (std::strstr(line.text, kActionable[kind].text) == nullptr) {
            continue;
        }
        if (state.shown[kind] && line.timeMs - state.lastShownMs[kind] < kRepeatQuietMs) {
            ++state.repeats[kind];
            return;
        }
        if (state.repeats[kind] > 0) {
            std::fprintf(stderr, "zqhost: %s (and %llu more like it)\n", line.text,
                         static_cast<unsigned long long>(state.repeats[kind]));
        } else {
            std::fprintf(stderr, "zqhost: %s\n", line.text);
        }
        state.shown[kind] = true;
        state.lastShownMs[kind] = line.timeMs;
        state.repeats[kind] = 0;
        return;
    }
}

void ShowLogLine(const zqf::DebugLogLine& line)
{
    HostLogState& state = State();
    std::lock_guard<std::mutex> lock(state.mutex);
    if (state.watcher) {
        state.watcher(line);
    }
    char text[1200];
    const bool toScreen = !state.quiet && line.level >= state.screenLevel;
    if (state.file != nullptr || toScreen) {
        zqf::FormatDebugLogLine(line, text, sizeof text);
    }
    if (state.file != nullptr) {
        std::fprintf(state.file, "%s\n", text);
    }
    if (toScreen) {
        std::fprintf(stderr, "%s\n", text);
    } else if (state.quiet) {
        ShowActionable(state, line);
    }
}

void OpenLogFile(HostLogState& state, const std::string& path)
{
    std::FILE* file = std::fopen(path.c_str(), "w");
    if (file == nullptr) {
        throw CommandError("option --log: cannot write '" + path + "': " + std::strerror(errno));
    }
    std::setvbuf(file, nullptr, _IOLBF, 0);  // whole lines, even if the process is killed
    if (state.file != nullptr) {
        std::fclose(state.file);
    }
    state.file = file;
}

}  // namespace

void InstallHostLog()
{
    zqf::SetDebugLogLevel(ZQF_LOG_WARNING);
    RestoreHostLog();
}

void RestoreHostLog()
{
    HostLogState& state = State();
    int minimum = 0;
    {
        std::lock_guard<std::mutex> lock(state.mutex);
        minimum = MinimumLevel(state);
    }
    zqf::SetDebugLogLineSink(&ShowLogLine, minimum);
}

void SetHostLogWatcher(HostLogWatcher watcher)
{
    zqf::FlushDebugLog();  // the lines before belong to the previous watcher
    HostLogState& state = State();
    std::lock_guard<std::mutex> lock(state.mutex);
    state.watcher = std::move(watcher);
}

void TakeLogLevelOption(Arguments& arguments)
{
    const bool verbose = arguments.TakeFlag("-v");
    const auto text = arguments.TakeValue("--log-level");
    const auto file = arguments.TakeValue("--log");
    if (verbose && text) {
        throw CommandError("option -v: give -v or --log-level, not both");
    }
    HostLogState& state = State();
    int minimum = 0;
    {
        std::lock_guard<std::mutex> lock(state.mutex);
        state.quiet = !verbose && !text;
        state.screenLevel = text ? ParseLogLevel(*text) : verbose ? ZQF_LOG_WARNING : kNothing;
        if (file) {
            OpenLogFile(state, *file);
        }
        minimum = MinimumLevel(state);
    }
    zqf::SetDebugLogLevel(minimum);
    RestoreHostLog();
    // Trace lines join the log's queue, so they keep their place among its
    // lines and never make the tracing thread wait for standard error.
    const bool traced = minimum == ZQF_LOG_INFO;
    zqwin32::SetOutputDebugStringSink([traced](const char* trace) {
        if (traced) {
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
    RestoreHostLog();
    delete m_lines;
}

// Putting zqhost's sink back first delivers what was still queued to the
// holding sink, so the held lines are complete and go out in order, each
// with its own time and thread.
void HeldLog::Release()
{
    RestoreHostLog();
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
