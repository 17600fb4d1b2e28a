#pragma once
#include <cstdint>

#include "zqcexport.h"

// Main types: 1 audio, 2 video, 3 text data, 4 other, 5 the data form
// 0x200001, 7 forward error correction. The sub type is the media type
// identifier of the RTP library (0x40001 G.711 A-law, ...).
class ZQ_API ZQFMediaType {
public:
    ZQFMediaType() = default;
    ZQFMediaType(int mainType, int32_t subType) : m_mainType(mainType), m_subType(subType) {}

    int GetMainType() const { return m_mainType; }
    int32_t GetSubType() const { return m_subType; }
    void SetMainType(int mainType) { m_mainType = mainType; }
    void SetSubType(int32_t subType) { m_subType = subType; }
    void Clear() { m_mainType = 0; m_subType = 0; }

    bool operator==(const ZQFMediaType& other) const
    {
        return m_mainType == other.m_mainType && m_subType == other.m_subType;
    }

private:
    int m_mainType = 0;
    int32_t m_subType = 0;
};
