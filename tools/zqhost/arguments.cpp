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
