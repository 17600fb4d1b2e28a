#include "stocksettingsnodes.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "zqfxml.h"

namespace {

// The framework's construction kinds of settings and setting nodes.
constexpr int kSettingsNodeKind = 2;
constexpr int kSettingNodeKind = 3;
constexpr int kSettingNodeFlags = 2;

CXMLNode* FindSettingsNode(CXMLNode* moduleNode, const char* settingsName)
{
    if (moduleNode == nullptr) {
        return nullptr;
    }
    for (size_t i = 0; i < moduleNode->GetChildCount(); ++i) {
        CXMLNode* child = moduleNode->GetChild(i);
        const char* name = child->GetAttribute("name");
        if (std::strcmp(child->GetName(), CXMLNode::ElementNameForKind(kSettingsNodeKind)) == 0 && name != nullptr &&
            std::strcmp(name, settingsName) == 0) {
            return child;
        }
    }
    return nullptr;
}

// The shortest text that reads back as the same double.
std::string NumberText(double value)
{
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, value);
    return std::string(text, result.ptr);
}

}  // namespace

StockSettingsWriter::StockSettingsWriter(CXMLNode* moduleNode, const char* settingsName)
    : m_settings(new CXMLNode(moduleNode, kSettingsNodeKind, 0))
{
    m_settings->AddAttrib("name", settingsName);
    moduleNode->AddChild(m_settings);
}

void StockSettingsWriter::Add(const char* name, const char* type, const std::string& value)
{
    auto* node = new CXMLNode(m_settings, kSettingNodeKind, kSettingNodeFlags);
    node->AddAttrib("name", name);
    node->AddAttrib("type", type);
    node->AddAttrib("value", value.c_str());
    m_settings->AddChild(node);
}

void StockSettingsWriter::Text(const char* name, const std::string& value) { Add(name, "STRING", value); }

void StockSettingsWriter::Integer(const char* name, int64_t value) { Add(name, "INT", std::to_string(value)); }

void StockSettingsWriter::Hex(const char* name, uint32_t value)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%x", value);
    Add(name, "INT", text);
}

void StockSettingsWriter::Number(const char* name, double value) { Add(name, "NUMBER", NumberText(value)); }

void StockSettingsWriter::Bool(const char* name, bool value) { Add(name, "BOOL", value ? "1" : "0"); }

StockSettingsReader::StockSettingsReader(CXMLNode* moduleNode, const char* settingsName)
{
    CXMLNode* settings = FindSettingsNode(moduleNode, settingsName);
    if (settings == nullptr) {
        return;
    }
    for (size_t i = 0; i < settings->GetChildCount(); ++i) {
        const CXMLNode* setting = settings->GetChild(i);
        const char* name = setting->GetAttribute("name");
        const char* value = setting->GetAttribute("value");
        if (name != nullptr && value != nullptr) {
            m_values[name] = value;
        }
    }
}

const std::string* StockSettingsReader::Find(const char* name) const
{
    const auto found = m_values.find(name);
    return found == m_values.end() ? nullptr : &found->second;
}

bool StockSettingsReader::Refuse(const char* name, const std::string& value, const std::string& expected)
{
    // Quote a bounded part: values may be arbitrarily long.
    constexpr size_t kQuoted = 40;
    const std::string shown = value.size() > kQuoted ? value.substr(0, kQuoted) + "..." : value;
    m_error = std::string("setting ") + name + ": '" + shown + "' is not " + expected;
    return false;
}

bool StockSettingsReader::Text(const char* name, std::string* value)
{
    if (const std::string* text = Find(name)) {
        *value = *text;
    }
    return true;
}

bool StockSettingsReader::Integer(const char* name, int64_t min, int64_t max, int64_t* value)
{
    const std::string* text = Find(name);
    if (text == nullptr) {
        return true;
    }
    const std::string expected = "an integer from " + std::to_string(min) + " to " + std::to_string(max);
    if (text->empty() || std::isspace(static_cast<unsigned char>(text->front()))) {
        return Refuse(name, *text, expected);
    }
    errno = 0;
    char* end = nullptr;
    const long long parsed = std::strtoll(text->c_str(), &end, 0);
    if (errno != 0 || *end != '\0' || parsed < min || parsed > max) {
        return Refuse(name, *text, expected);
    }
    *value = parsed;
    return true;
}

bool StockSettingsReader::Number(const char* name, double min, double max, double* value)
{
    const std::string* text = Find(name);
    if (text == nullptr) {
        return true;
    }
    double parsed = 0;
    const auto result = std::from_chars(text->data(), text->data() + text->size(), parsed);
    if (text->empty() || result.ec != std::errc() || result.ptr != text->data() + text->size() ||
        !std::isfinite(parsed) || parsed < min || parsed > max) {
        return Refuse(name, *text, "a number from " + NumberText(min) + " to " + NumberText(max));
    }
    *value = parsed;
    return true;
}

bool StockSettingsReader::Bool(const char* name, bool* value)
{
    const std::string* text = Find(name);
    if (text == nullptr) {
        return true;
    }
    if (*text != "0" && *text != "1") {
        return Refuse(name, *text, "0 or 1");
    }
    *value = *text == "1";
    return true;
}
