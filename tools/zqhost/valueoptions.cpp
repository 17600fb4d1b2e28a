#include "valueoptions.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "arguments.h"
#include "zqcresolve.h"
#include "zqcsocketaddress.h"

namespace {

// A day is longer than any run anyone means to time with --seconds.
constexpr double kMaxSeconds = 86400.0;

bool ParseWhole(const std::string& text, long* value)
{
    if (text.empty() || text.size() > 18) {
        return false;
    }
    size_t used = 0;
    try {
        *value = std::stol(text, &used, 10);
    } catch (const std::exception&) {
        return false;
    }
    return used == text.size() && text.front() != '+' && text.front() != ' ';
}

}  // namespace

long ParseWholeNumber(const std::string& option, const std::string& text, long min, long max)
{
    long value = 0;
    if (!ParseWhole(text, &value) || value < min || value > max) {
        throw CommandError("option " + option + ": '" + text + "' is not a whole number from " +
                           std::to_string(min) + " to " + std::to_string(max));
    }
    return value;
}

double ParseNumberAbove(const std::string& option, const std::string& text, double above, double max)
{
    size_t used = 0;
    double value = 0;
    try {
        value = std::stod(text, &used);
    } catch (const std::exception&) {
        used = 0;
    }
    if (used == 0 || used != text.size() || !std::isfinite(value) || value <= above || value > max) {
        char range[96];
        std::snprintf(range, sizeof range, "a number above %g and up to %g", above, max);
        throw CommandError("option " + option + ": '" + text + "' is not " + range);
    }
    return value;
}

double ParseSeconds(const std::string& text)
{
    try {
        return ParseNumberAbove("--seconds", text, 0.0, kMaxSeconds);
    } catch (const CommandError&) {
        throw CommandError("option --seconds: '" + text + "' is not a number of seconds above 0 and up to " +
                           std::to_string(static_cast<long>(kMaxSeconds)));
    }
}

std::optional<long> TakeWholeNumber(Arguments& arguments, const std::string& option, long min, long max)
{
    const auto text = arguments.TakeValue(option);
    if (!text) {
        return std::nullopt;
    }
    return ParseWholeNumber(option, *text, min, max);
}

std::string ResolveAddress(const std::string& option, const std::string& text)
{
    ZQCInetAddress address{};
    const char* problem = "";
    if (!ZQCResolveAddress(text.c_str(), &address, &problem)) {
        throw CommandError("option " + option + ": '" + text + "' does not resolve: " + problem);
    }
    ZQCSocketAddress numeric;
    numeric.SetSockAddr(&address.any, ZQCInetAddressLength(address));
    return numeric.GetAddress();
}

void CheckReadableFile(const std::string& option, const std::string& path)
{
    std::error_code error;
    if (std::filesystem::is_directory(path, error)) {
        throw CommandError("option " + option + ": '" + path + "' is a directory");
    }
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        throw CommandError("option " + option + ": cannot read '" + path + "': " + std::strerror(errno));
    }
    std::fclose(file);
}

void CheckWritableFile(const std::string& option, const std::string& path)
{
    // Opened for appending, so that a check alone changes nothing that is
    // there; a file the check created goes again, so that a command refused
    // later leaves nothing behind. The sink empties the file when it starts.
    std::error_code error;
    const bool existed = std::filesystem::exists(path, error);
    std::FILE* file = std::fopen(path.c_str(), "ab");
    if (file == nullptr) {
        const std::string where = option.empty() ? "" : "option " + option + ": ";
        throw CommandError(where + "cannot write '" + path + "': " + std::strerror(errno));
    }
    std::fclose(file);
    if (!existed) {
        std::filesystem::remove(path, error);
    }
}
