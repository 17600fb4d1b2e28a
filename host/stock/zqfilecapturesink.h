#pragma once
// The capture sink as a graph file describes it: it writes every payload to
// its output file, opened (and truncated) when the graph starts and closed
// when it stops, and keeps at most `keepLimit` packets in memory. It
// remembers both so that saving the graph writes them back.
#include <cstddef>
#include <cstdint>
#include <string>

#include "zqcapturesink.h"

struct ZQCaptureSinkSettings {
    std::string outputPath;       // empty: write no file
    size_t keepLimit = SIZE_MAX;  // packets kept in memory (SIZE_MAX: all)
};

class ZQFileCaptureSink : public ZQCaptureSink {
public:
    ZQFileCaptureSink(const char* name, const ZQCaptureSinkSettings& settings);

    // False when the output file cannot be opened (the sink logs which).
    bool OnStart() override;
    bool OnStop() override;

    const ZQCaptureSinkSettings& GetSettings() const { return m_settings; }

private:
    ZQCaptureSinkSettings m_settings;
};
