#pragma once
// Settings of a stock module as framework XML nodes: one settings node named
// after the module's kind under the module's node, and one setting node per
// field with "name", "type" and "value", as the plug-in's modules write theirs.
#include <cstdint>
#include <map>
#include <string>

class CXMLNode;

class StockSettingsWriter {
public:
    // Appends the settings node "<settings name=settingsName>" to `moduleNode`.
    StockSettingsWriter(CXMLNode* moduleNode, const char* settingsName);

    void Text(const char* name, const std::string& value);
    void Integer(const char* name, int64_t value);
    void Hex(const char* name, uint32_t value);
    void Number(const char* name, double value);
    void Bool(const char* name, bool value);

private:
    void Add(const char* name, const char* type, const std::string& value);

    CXMLNode* m_settings;
};

// Reads the setting nodes of the first settings node of that name (the last
// occurrence of a name wins). An absent setting leaves the value as it was;
// a present one must be usable, or the read answers false and Error() says
// which setting and why.
class StockSettingsReader {
public:
    StockSettingsReader(CXMLNode* moduleNode, const char* settingsName);

    bool Text(const char* name, std::string* value);
    // Decimal, or hexadecimal with 0x.
    bool Integer(const char* name, int64_t min, int64_t max, int64_t* value);
    bool Number(const char* name, double min, double max, double* value);
    bool Bool(const char* name, bool* value);

    const std::string& Error() const { return m_error; }

private:
    const std::string* Find(const char* name) const;
    bool Refuse(const char* name, const std::string& value, const std::string& expected);

    std::map<std::string, std::string> m_values;
    std::string m_error;
};
