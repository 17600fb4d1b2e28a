#pragma once
// The framework's calls that can fail say why in an optional text.
#include <string>
#include <utility>

namespace zqf {

inline void SetError(std::string* error, std::string text)
{
    if (error != nullptr) {
        *error = std::move(text);
    }
}

}  // namespace zqf
