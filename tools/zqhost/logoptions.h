#pragma once
// The log as zqhost shows it. By default the screen gets only the lines a
// user must act on (a port that will not bind, a peer that is unreachable, a
// payload type the stack does not know, samples a stack refused, a file that
// cannot be written), each kind at most once every few seconds. `-v` or
// `--log-level L` shows the stacks' own lines from level L up, each with its
// time and thread; `--log FILE` writes every line of every level to FILE.
#include <functional>

class Arguments;
namespace zqf {
struct DebugLogLine;
}

// The log options as every command's help lists them (a string literal).
#define ZQHOST_LOG_HELP                                                                   \
    "log options:\n"                                                                      \
    "  -v              show the stacks' own lines (warnings and up), with time and thread\n" \
    "  --log-level L   the same from level L up: 0/info, 1/warning, 2/error, or none\n"    \
    "  --log FILE      write every line of every level to FILE\n"                         \
    "Without them only the lines you must act on are shown (a port that will not\n"      \
    "bind, an unreachable peer, an unknown payload type, refused samples).\n"

// Installs zqhost's log sink with the quiet default. Called once by main.
void InstallHostLog();

// Takes "-v" (the same as --log-level 1), "--log-level L" (0 or info, 1 or
// warning, 2 or error, none) and "--log FILE". Throws CommandError for a bad
// value or a file that cannot be written.
void TakeLogLevelOption(Arguments& arguments);

// Puts zqhost's sink back after something replaced it for a while.
void RestoreHostLog();

// `watcher` also sees every line the log lets through (on the log's writer
// thread), until it is replaced; an empty function removes it.
using HostLogWatcher = std::function<void(const zqf::DebugLogLine&)>;
void SetHostLogWatcher(HostLogWatcher watcher);

// Holds back the DebugLog lines written while it lives: a failing step then
// reports in one line of its own, and a step that succeeds hands its lines
// on with Release.
class HeldLog {
public:
    HeldLog();
    // Drops what was not released and puts zqhost's sink back.
    ~HeldLog();
    HeldLog(const HeldLog&) = delete;
    HeldLog& operator=(const HeldLog&) = delete;

    // Puts zqhost's sink back and writes the held lines through it, in
    // order, each with the time and thread it was logged at.
    void Release();

private:
    struct Line;
    struct Lines;
    Lines* m_lines;
};
