#include "ui/dialogdecimal.h"

#include <charconv>
#include <cmath>
#include <limits>

#include "user32.h"

namespace zqm {

void SetDlgItemDecimal(HWND dialog, int id, int64_t value)
{
    char text[24] = {};
    std::to_chars(text, text + sizeof text - 1, value);
    SetDlgItemTextA(dialog, id, text);
}

int64_t TruncateTowardZero(float value)
{
    if (std::isnan(value)) {
        return 0;
    }
    // 2^63 is exact as a float; anything at or past it does not fit.
    constexpr float kLimit = 9223372036854775808.0f;
    if (value >= kLimit) {
        return std::numeric_limits<int64_t>::max();
    }
    if (value <= -kLimit) {
        return std::numeric_limits<int64_t>::min();
    }
    return static_cast<int64_t>(value);
}

}  // namespace zqm
