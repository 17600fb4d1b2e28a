#pragma once
// The build id the linker wrote into the running program (a hash of its
// contents), as hex: two builds of the same sources give the same id.
#include <string>

// "unknown" when the program carries none.
std::string ProgramBuildId();
