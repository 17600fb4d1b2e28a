#pragma once
#include <cstdint>
#include <string>

#include "zqcexport.h"

// A 16-byte identity in GUID layout: a 32-bit and two 16-bit fields in
// little-endian order, then 8 bytes.
struct ZQFID {
    uint32_t data1;
    uint16_t data2;
    uint16_t data3;
    uint8_t data4[8];
};
static_assert(sizeof(ZQFID) == 16, "ZQFID is 16 bytes");

ZQ_API bool EqualZQFID(const ZQFID& a, const ZQFID& b);
// Writes "xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx" (36 characters, lower case);
// answers false when `size` cannot hold it and its terminator.
ZQ_API bool ZQFID2String(const ZQFID& id, char* buffer, int size);
// The same text as a string, for messages.
ZQ_API std::string ZQFIDText(const ZQFID& id);
// Reads the GUID text, with or without braces; anything else is refused.
ZQ_API bool String2ZQFID(const char* text, ZQFID* id);
