#pragma once
// Graph files: the plug-ins a graph needs, its modules with their settings,
// and the connections between their pins, as XML (docs/graph-files.md).
#include <functional>
#include <memory>
#include <string>

#include "zqcexport.h"
#include "zqfgraph.h"

class ZQFModuleRegistry;

struct ZQFGraphFileOptions {
    // Finds a plug-in that a file names by bare file name ("zqmrtpstack.so")
    // the way the host finds its plug-ins: answers the path to load, or an
    // empty text when there is none. Without it bare names are not found.
    std::function<std::string(const std::string& fileName)> findPlugin;
};

// The values of the "io" attribute: "shared" and "own" ("" for Unsaid).
ZQ_API const char* ZQFIOModeName(ZQFIOMode mode);
// False, with `mode` untouched, for any text but "shared" and "own".
ZQ_API bool ZQFParseIOMode(const std::string& text, ZQFIOMode* mode);

// Writes the graph's modules (with their settings, through the registry)
// and connections to `path`. Module ids are made from the kinds' names.
// The I/O modes go in only where they change something: io="shared" on a
// shared graph, and io on a module whose own mode differs from the one the
// graph gives it (own under a shared graph, shared under one that is not).
// A graph that never asks for the shared service is written as before the
// attribute existed.
// False with `error` set when a module is of no registered kind or the file
// cannot be written; nothing is written then.
ZQ_API bool ZQFSaveGraphFile(const ZQFGraph& graph, const ZQFModuleRegistry& registry, const std::string& path,
                             std::string* error);

// Reads `path` into a new graph, loading the plug-ins it names into the
// registry (which must outlive the graph). Nothing is started. On any fault
// answers null with ONE message in `error`, "<path>:<line>:<column>: <what>",
// and whatever was created is destroyed again.
ZQ_API std::unique_ptr<ZQFGraph> ZQFLoadGraphFile(const std::string& path, ZQFModuleRegistry& registry,
                                                  const ZQFGraphFileOptions& options, std::string* error);
