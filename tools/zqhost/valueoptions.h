#pragma once
// Reading the values of options: numbers in a range, addresses, files. Each
// throws CommandError naming the option and what it expected.
#include <optional>
#include <string>

class Arguments;

// A whole number from `min` to `max`.
long ParseWholeNumber(const std::string& option, const std::string& text, long min, long max);
// A number (decimals allowed) above `above` and up to `max`.
double ParseNumberAbove(const std::string& option, const std::string& text, double above, double max);
// A number of seconds above 0 (up to a day).
double ParseSeconds(const std::string& text);

// The option's value as a whole number, when the option is given.
std::optional<long> TakeWholeNumber(Arguments& arguments, const std::string& option, long min, long max);

// An IPv4 or IPv6 address (brackets allowed) or a host name, resolved to
// the numeric address that the stacks are given ("::1", "fe80::1%eth0").
std::string ResolveAddress(const std::string& option, const std::string& text);

// Checks that `path` can be read as a regular file, or (re)written.
void CheckReadableFile(const std::string& option, const std::string& path);
void CheckWritableFile(const std::string& option, const std::string& path);
