#include "zqstockoutputpin.h"

#include <utility>

ZQStockOutputPin::ZQStockOutputPin(ZQFModule* owner, std::vector<ZQFMediaType> mediaTypes,
                                   const ZQFAllocatorConfig& pool)
    : ZQFPinOutAuto(owner, "out", 0), m_mediaTypes(std::move(mediaTypes)), m_pool(pool)
{
}

bool ZQStockOutputPin::GetMediaTypeAt(int index, ZQFMediaType* type, ZQFFormatBuffer** format)
{
    if (format != nullptr) {
        *format = nullptr;
    }
    if (index < 0 || static_cast<size_t>(index) >= m_mediaTypes.size() || type == nullptr) {
        return false;
    }
    *type = m_mediaTypes[static_cast<size_t>(index)];
    return true;
}

bool ZQStockOutputPin::OnDecideBufferSize(ZQFAllocatorConfig* config)
{
    if (config == nullptr) {
        return false;
    }
    *config = m_pool;
    return true;
}
