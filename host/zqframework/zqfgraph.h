#pragma once
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "zqcexport.h"

class ZQFModule;
class ZQIModule;

// How a graph asks its modules to do their I/O: on threads of their own, or
// on a service the process shares among them. The framework only keeps what
// a graph file says ("io" on the graph and on modules); the host knows which
// modules can share their I/O and tells them.
enum class ZQFIOMode {
    Unsaid,  // nothing asked: the module keeps its own choice
    Own,
    Shared,
};

// The host's graph: modules, the connections between their pins, and the
// lifecycle.
//   Start: OnEndFlush on every module, then, downstream first, mark each
//          module running and call OnStart (a module whose OnStart fails is
//          marked stopped again and the start answers false).
//   Stop:  upstream first, mark the module stopped, flush its output pins,
//          call OnBeginFlush, then OnStop.
// The graph owns the modules added to it and destroys them (stopped first)
// in its destructor.
class ZQ_API ZQFGraph {
public:
    struct Connection {
        ZQFModule* from;
        int outputPin;
        ZQFModule* to;
        int inputPin;
    };

    ZQFGraph() = default;
    ~ZQFGraph();
    ZQFGraph(const ZQFGraph&) = delete;
    ZQFGraph& operator=(const ZQFGraph&) = delete;

    // Takes the module; answers its framework object. A module without one
    // is not taken (null; the caller keeps it).
    ZQFModule* AddModule(ZQIModule* module);
    bool Connect(ZQFModule* from, int outputPin, ZQFModule* to, int inputPin, std::string* error = nullptr);
    bool Start(std::string* error = nullptr);
    void Stop();
    bool IsStarted() const { return m_started; }

    const std::vector<ZQFModule*>& GetModules() const { return m_modules; }
    // The connections as the pins stand now (a module may add, remove or
    // renumber its pins after Connect), in module and output pin order.
    const std::vector<Connection>& GetConnections() const;

    // Modules ordered so that every module comes after all modules upstream
    // of it (sources first).
    std::vector<ZQFModule*> UpstreamFirstOrder() const;

    // The I/O mode asked of every module, and of single modules (a module's
    // own mode goes before the graph's).
    void SetIOMode(ZQFIOMode mode) { m_ioMode = mode; }
    ZQFIOMode GetIOMode() const { return m_ioMode; }
    void SetModuleIOMode(const ZQFModule* module, ZQFIOMode mode);
    // Unsaid when the module has no mode of its own.
    ZQFIOMode GetModuleIOMode(const ZQFModule* module) const;
    // The module's own mode, or else the graph's.
    ZQFIOMode EffectiveIOMode(const ZQFModule* module) const;

private:
    bool Contains(const ZQFModule* module) const;
    bool Reaches(const ZQFModule* from, const ZQFModule* to) const;
    static void StopModule(ZQFModule* module);

    std::vector<ZQFModule*> m_modules;
    std::vector<ZQIModule*> m_owned;  // as given, for the virtual destructor
    mutable std::vector<Connection> m_connections;
    bool m_started = false;
    ZQFIOMode m_ioMode = ZQFIOMode::Unsaid;
    std::map<const ZQFModule*, ZQFIOMode> m_moduleIOModes;
};
