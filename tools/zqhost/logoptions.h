#pragma once
// The log on standard error, as the commands let the user tune it.
class Arguments;

// Takes "--log-level L" (0 or info, 1 or warning, 2 or error, none; default 2):
// DebugLog lines below L are dropped, and the plug-in's trace lines
// (OutputDebugStringA) are shown only at level 0, as log lines of path
// "trace". Throws CommandError for a bad value.
void TakeLogLevelOption(Arguments& arguments);

// Holds back the DebugLog lines written while it lives: a failing step then
// reports in one line of its own, and a step that succeeds hands its lines
// on with Release.
class HeldLog {
public:
    HeldLog();
    // Drops what was not released and puts the default sink back.
    ~HeldLog();
    HeldLog(const HeldLog&) = delete;
    HeldLog& operator=(const HeldLog&) = delete;

    // Puts the default sink back and writes the held lines through it, in
    // order, each with the time and thread it was logged at.
    void Release();

private:
    struct Line;
    struct Lines;
    Lines* m_lines;
};
