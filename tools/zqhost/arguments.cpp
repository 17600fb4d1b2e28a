#include "arguments.h"

#include <algorithm>

bool Arguments::TakeFlag(const std::string& name)
{
    const auto found = std::find(m_items.begin(), m_items.end(), name);
    if (found == m_items.end()) {
        return false;
    }
    m_items.erase(found);
    return true;
}

std::optional<std::string> Arguments::TakeValue(const std::string& name)
{
    std::optional<std::string> value = TakeNext(name);
    if (value && TakeNext(name)) {
        throw CommandError("option " + name + " given twice");
    }
    return value;
}

std::optional<std::string> Arguments::TakeNext(const std::string& name)
{
    const std::string joined = name + "=";
    for (auto it = m_items.begin(); it != m_items.end(); ++it) {
        if (it->rfind(joined, 0) == 0) {
            std::string value = it->substr(joined.size());
            m_items.erase(it);
            if (value.empty()) {
                throw CommandError("option " + name + " needs a value");
            }
            return value;
        }
        if (*it == name) {
            if (std::next(it) == m_items.end()) {
                throw CommandError("option " + name + " needs a value");
            }
            std::string value = *std::next(it);
            m_items.erase(it, std::next(it, 2));
            return value;
        }
    }
    return std::nullopt;
}

std::optional<std::string> Arguments::TakeOptionalValue(const std::string& name,
                                                        const std::function<bool(const std::string&)>& isValue)
{
    std::optional<std::string> value = TakeNextOptional(name, isValue);
    if (value && TakeNextOptional(name, isValue)) {
        throw CommandError("option " + name + " given twice");
    }
    return value;
}

std::optional<std::string> Arguments::TakeNextOptional(const std::string& name,
                                                       const std::function<bool(const std::string&)>& isValue)
{
    const auto found = std::find_if(m_items.begin(), m_items.end(), [&name](const std::string& item) {
        return item == name || item.rfind(name + "=", 0) == 0;
    });
    if (found == m_items.end()) {
        return std::nullopt;
    }
    if (*found != name) {
        return TakeNext(name);  // the joined form, which needs its value
    }
    const auto next = std::next(found);
    if (next != m_items.end() && isValue(*next)) {
        std::string value = *next;
        m_items.erase(found, std::next(next));
        return value;
    }
    m_items.erase(found);
    return std::string();
}

std::vector<std::string> Arguments::TakeValues(const std::string& name)
{
    std::vector<std::string> values;
    while (auto value = TakeNext(name)) {
        values.push_back(std::move(*value));
    }
    return values;
}

std::optional<std::string> Arguments::TakeOperand()
{
    const auto found = std::find_if(m_items.begin(), m_items.end(),
                                    [](const std::string& item) { return item.rfind("-", 0) != 0; });
    if (found == m_items.end()) {
        return std::nullopt;
    }
    std::string operand = *found;
    m_items.erase(found);
    return operand;
}

void Arguments::ExpectNoMore() const
{
    if (m_items.empty()) {
        return;
    }
    const std::string& first = m_items.front();
    if (first.rfind("-", 0) == 0) {
        throw CommandError("unknown option '" + first + "'");
    }
    throw CommandError("unexpected argument '" + first + "'");
}
