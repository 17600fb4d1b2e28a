#pragma once
// For the few tests that cause sample reference faults on purpose: the
// number the running test is expected to cause (0 otherwise).
#include <cstdint>

namespace testsupport {
void ExpectSampleReferenceFaults(uint64_t count);
}
