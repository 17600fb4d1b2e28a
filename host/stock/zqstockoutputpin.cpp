#include "zqstockoutputpin.h"

ZQStockOutputPin::ZQStockOutputPin(ZQFModule* owner, const ZQFMediaType& mediaType, const ZQFAllocatorConfig& pool)
    : ZQFPinOutAuto(owner, "out", 0), m_mediaType(mediaType), m_pool(pool)
{
}

bool ZQStockOutputPin::GetMediaTypeAt(int index, ZQFMediaType* type, ZQFFormatBuffer** format)
{
    if (format != nullptr) {
        *format = nullptr;
    }
    if (index != 0 || type == nullptr) {
        return false;
    }
    *type = m_mediaType;
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
