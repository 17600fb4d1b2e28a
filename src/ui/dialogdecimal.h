#pragma once
// Numbers shown in dialog edits, in decimal.
#include <cstdint>

#include "zqwin32.h"

namespace zqm {

void SetDlgItemDecimal(HWND dialog, int id, int64_t value);

// A float as a whole number, truncated toward zero; NaN gives 0 and values
// beyond the range give its ends.
int64_t TruncateTowardZero(float value);

}  // namespace zqm
