#include "jsonline.h"

#include <cmath>
#include <cstdio>

std::string JsonText(const std::string& text)
{
    std::string json = "\"";
    for (const char c : text) {
        const unsigned char byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            json += '\\';
            json += c;
        } else if (byte < 0x20 || byte >= 0x7F) {
            // A byte that is not ASCII is read as Latin-1: never invalid UTF-8.
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
            json += escaped;
        } else {
            json += c;
        }
    }
    return json + "\"";
}

std::string JsonArray(const std::vector<std::string>& items)
{
    std::string json = "[";
    for (size_t i = 0; i < items.size(); ++i) {
        json += (i == 0 ? "" : ",") + items[i];
    }
    return json + "]";
}

JsonObject& JsonObject::AddText(const char* key, const std::string& text)
{
    AddMember(key, JsonText(text));
    return *this;
}

JsonObject& JsonObject::AddInteger(const char* key, int64_t value)
{
    AddMember(key, std::to_string(value));
    return *this;
}

JsonObject& JsonObject::AddDecimal(const char* key, double value, int decimals)
{
    if (!std::isfinite(value)) {
        AddMember(key, "null");  // JSON has no NaN or infinity
        return *this;
    }
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    AddMember(key, text);
    return *this;
}

JsonObject& JsonObject::AddBool(const char* key, bool value)
{
    AddMember(key, value ? "true" : "false");
    return *this;
}

JsonObject& JsonObject::AddJson(const char* key, const std::string& json)
{
    AddMember(key, json);
    return *this;
}

void JsonObject::AddMember(const char* key, const std::string& json)
{
    if (!m_members.empty()) {
        m_members += ',';
    }
    m_members += JsonText(key) + ":" + json;
}
