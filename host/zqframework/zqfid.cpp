#include "zqfid.h"

#include <cctype>
#include <cstdio>
#include <cstring>

bool EqualZQFID(const ZQFID& a, const ZQFID& b) { return std::memcmp(&a, &b, sizeof(ZQFID)) == 0; }

bool ZQFID2String(const ZQFID& id, char* buffer, int size)
{
    if (buffer == nullptr || size < 37) {
        if (buffer != nullptr && size > 0) {
            buffer[0] = '\0';
        }
        return false;
    }
    std::snprintf(buffer, static_cast<size_t>(size),
                  "%08x-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x", id.data1, id.data2, id.data3,
                  id.data4[0], id.data4[1], id.data4[2], id.data4[3], id.data4[4], id.data4[5],
                  id.data4[6], id.data4[7]);
    return true;
}

std::string ZQFIDText(const ZQFID& id)
{
    char text[40] = {};
    ZQFID2String(id, text, sizeof text);
    return text;
}

namespace {

int HexValue(char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return (c >= 'a' && c <= 'f') ? c - 'a' + 10 : -1;
}

// Reads `digits` hex digits; answers false on anything else.
bool ReadHex(const char*& p, int digits, uint64_t* out)
{
    uint64_t value = 0;
    for (int i = 0; i < digits; ++i, ++p) {
        const int v = HexValue(*p);
        if (v < 0) {
            return false;
        }
        value = (value << 4) | static_cast<uint64_t>(v);
    }
    *out = value;
    return true;
}

bool Expect(const char*& p, char c)
{
    if (*p != c) {
        return false;
    }
    ++p;
    return true;
}

}  // namespace

bool String2ZQFID(const char* text, ZQFID* id)
{
    if (text == nullptr || id == nullptr) {
        return false;
    }
    const char* p = text;
    const bool braced = *p == '{';
    if (braced) {
        ++p;
    }
    ZQFID result{};
    uint64_t v = 0;
    if (!ReadHex(p, 8, &v)) return false;
    result.data1 = static_cast<uint32_t>(v);
    if (!Expect(p, '-') || !ReadHex(p, 4, &v)) return false;
    result.data2 = static_cast<uint16_t>(v);
    if (!Expect(p, '-') || !ReadHex(p, 4, &v)) return false;
    result.data3 = static_cast<uint16_t>(v);
    if (!Expect(p, '-')) return false;
    for (int i = 0; i < 2; ++i) {
        if (!ReadHex(p, 2, &v)) return false;
        result.data4[i] = static_cast<uint8_t>(v);
    }
    if (!Expect(p, '-')) return false;
    for (int i = 2; i < 8; ++i) {
        if (!ReadHex(p, 2, &v)) return false;
        result.data4[i] = static_cast<uint8_t>(v);
    }
    if (braced && !Expect(p, '}')) {
        return false;
    }
    if (*p != '\0') {
        return false;
    }
    *id = result;
    return true;
}

#include "zqfconfigpanel.h"

const ZQFID IID_ZQIConfigPanel = {0x78aa6534, 0x025d, 0x46c6, {0x9a, 0x43, 0x3e, 0x52, 0xa0, 0xf7, 0x11, 0x3c}};
