#pragma once
// What the fuzz targets share: quiet logging (lines are still formatted, so
// their arguments are exercised) and a check that aborts with a message,
// which libFuzzer reports as a finding.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "zqfdebuglog.h"

namespace fuzz {

inline void SilenceLogs()
{
    zqf::SetDebugLogSink([](const char*, int, int, const char*) {});
}

inline void Require(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "fuzz check failed: %s\n", what);
        std::abort();
    }
}

// Reads the input front to back; past the end it answers zeros.
class InputReader {
public:
    InputReader(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}

    bool AtEnd() const { return m_at >= m_size; }
    size_t Remaining() const { return m_size - m_at; }
    uint8_t Byte() { return m_at < m_size ? m_data[m_at++] : 0; }
    uint16_t Word() { return static_cast<uint16_t>((Byte() << 8) | Byte()); }
    // Up to `count` bytes from the current place.
    const uint8_t* Take(size_t count, size_t* taken)
    {
        *taken = count < Remaining() ? count : Remaining();
        const uint8_t* at = m_data + m_at;
        m_at += *taken;
        return at;
    }

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_at = 0;
};

}  // namespace fuzz
