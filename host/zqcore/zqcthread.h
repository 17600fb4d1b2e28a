#pragma once
#include "zqcexport.h"

class ZQ_API ZQCThread {
public:
    static void Sleep(int ms);

    // Names the calling thread for the log, debuggers and top (the kernel
    // keeps 15 bytes, and so does the log).
    static void SetCurrentName(const char* name);
    // The calling thread's name: the one it was given, "main" for the
    // process's first thread, or else the name the kernel holds (read once).
    // Valid until the thread ends.
    static const char* CurrentName();
};
