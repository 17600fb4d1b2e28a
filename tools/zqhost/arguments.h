#pragma once
// The small argument reader shared by the commands: options are taken by
// name in any order, and whatever is left over at the end is an error.
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

// A failure the user can fix: one line on standard error, exit code 2.
class CommandError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class Arguments {
public:
    explicit Arguments(std::vector<std::string> items) : m_items(std::move(items)) {}

    // True (and consumed) when the flag is present, e.g. "--help".
    bool TakeFlag(const std::string& name);
    // "--name VALUE" or "--name=VALUE"; empty when the option is absent.
    // Throws CommandError when the value is missing or the option is given
    // twice.
    std::optional<std::string> TakeValue(const std::string& name);
    // An option whose value may be left out: "--name=VALUE", "--name VALUE"
    // when `isValue` accepts the next argument, or "--name" alone. Empty when
    // the option is absent, an empty string when it has no value. Throws
    // CommandError for "--name=" or an option given twice.
    std::optional<std::string> TakeOptionalValue(const std::string& name,
                                                 const std::function<bool(const std::string&)>& isValue);
    // Every value of a repeatable option, in order (TakeValue until none).
    std::vector<std::string> TakeValues(const std::string& name);
    // The first argument that is not an option, consumed; empty when none.
    // Take the options first, so that their values are gone.
    std::optional<std::string> TakeOperand();
    // Throws CommandError naming the first argument nobody took.
    void ExpectNoMore() const;

private:
    // The first occurrence of the option, consumed.
    std::optional<std::string> TakeNext(const std::string& name);
    std::optional<std::string> TakeNextOptional(const std::string& name,
                                                const std::function<bool(const std::string&)>& isValue);

    std::vector<std::string> m_items;
};
