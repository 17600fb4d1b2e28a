#pragma once
#include <cstddef>
#include <cstdint>

#include "zqcexport.h"

// Unpredictable numbers from the operating system's random source, for
// identities that must differ between processes started at the same moment
// (SSRCs, first sequence numbers and timestamps, CNAME tags).
class ZQ_API ZQCRandom {
public:
    static uint32_t Draw32();
    // Key material: `size` bytes from the kernel's random source, or false
    // when it cannot give them (no weaker source stands in).
    static bool FillSecret(uint8_t* bytes, size_t size);
};
