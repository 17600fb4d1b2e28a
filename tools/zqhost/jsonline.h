#pragma once
// Building the one-line JSON objects that --json prints for scripts. Texts
// may come from the network (a CNAME), so every byte that is not printable
// ASCII is escaped: the line stays valid JSON whatever it carries.
#include <cstdint>
#include <string>
#include <vector>

// `text` as a quoted JSON string.
std::string JsonText(const std::string& text);
// The items (JSON texts each) as a JSON array.
std::string JsonArray(const std::vector<std::string>& items);

class JsonObject {
public:
    JsonObject& AddText(const char* key, const std::string& text);
    JsonObject& AddInteger(const char* key, int64_t value);
    // Written with the given number of decimals.
    JsonObject& AddDecimal(const char* key, double value, int decimals);
    JsonObject& AddBool(const char* key, bool value);
    // `json` is written as it is: a nested object or array.
    JsonObject& AddJson(const char* key, const std::string& json);

    std::string Text() const { return "{" + m_members + "}"; }

private:
    void AddMember(const char* key, const std::string& json);

    std::string m_members;
};
