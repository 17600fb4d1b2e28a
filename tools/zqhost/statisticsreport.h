#pragma once
// The statistics of every stack module in a graph, as zqhost prints them:
// one block per module, one line per source its statistics interface lists.
#include <cstdio>

class ZQFGraph;

void PrintStackStatistics(std::FILE* out, const ZQFGraph& graph, double elapsedSeconds);
