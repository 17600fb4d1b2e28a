#pragma once
// Which threads read a stack module's sockets: its own (the default) or the
// process's receive service, which a few threads run for every stack that
// asks. Graph files say it with io="shared|own" (docs/graph-files.md); the
// commands with --io. The framework keeps what a file says; zqhost is the
// one that knows the stack modules and tells them, before the graph starts.
#include <optional>

#include "zqfgraph.h"

class Arguments;
class ZQFModule;

// Takes "--io shared|own". Throws CommandError ("option --io: ...") for any
// other value.
std::optional<ZQFIOMode> TakeIOOption(Arguments& arguments);

// Tells every stack module of the graph the mode the graph gives it (its
// own, or else the graph's). A module the graph says nothing about keeps
// what it has.
void ApplyIOModes(const ZQFGraph& graph);

// The whole graph in one mode: what the graph file said is replaced (the
// command line goes first), then applied. Nothing for no mode.
void UseIOMode(ZQFGraph& graph, std::optional<ZQFIOMode> mode);

// Whether the stack module reads through the receive service from its next
// start; false for a module that is not a stack.
bool UsesSharedIO(ZQFModule* module);
