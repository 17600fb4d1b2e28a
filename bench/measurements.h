#pragma once
// One run of each whole-process measurement: the stack's figure and its
// baseline's, taken in the same process one after the other, printed as
// "key value" lines for the driver.
#include <cstdint>

namespace bench {

void Report(const char* key, double value);

void MeasureSend(uint64_t count);                   // target 1
void MeasureReceive(uint64_t count, int window);     // target 2
void MeasureLatency(int count, int rate);           // target 3
void MeasureIdle(int modules, double seconds);      // target 4
void MeasureScale(int pairs, int rate, double seconds);  // target 5
void MeasureMemory(int modules);                    // target 7
void MeasureSrtpSend(uint64_t count);               // target 8
void MeasureSrtpReceive(uint64_t count);            // target 8
void MeasureAllocations(int packets);               // target 6
// Target 9: the same with the modules on the process's receive service.
void MeasureSharedScale(int pairs, int rate, double seconds);
void MeasureSharedIdle(int modules, double seconds);
void MeasureMemoryIO(int modules, bool shared);  // "RTP in" only, one mode a process
// The packet check and sequencing of `packets` packets, for callgrind.
void RunCheckLoop(int packets);

}  // namespace bench
