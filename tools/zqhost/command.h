#pragma once
// What every zqhost command is: a name, a one-line summary for the program's
// help, its own help text, and a function that runs it. Each command lives
// in one file (cmd_<name>.cpp) and is listed once in commands.cpp.
#include <span>

#include "arguments.h"

struct Command {
    const char* name;
    const char* summary;
    // Shown by "zqhost <name> --help"; starts with the usage line.
    const char* help;
    // Runs with the arguments after the command's name. Answers the exit
    // code; throws CommandError for a bad argument or a missing plug-in.
    int (*run)(Arguments& arguments);
};

// Every command the program knows, in the order the help lists them.
std::span<const Command* const> AllCommands();
const Command* FindCommand(const std::string& name);
