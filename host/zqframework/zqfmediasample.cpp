#include "zqfmediasample.h"

#include <algorithm>

#include "zqfallocator.h"
#include "zqfdebuglog.h"

namespace {
const char kLogPath[] = "zqframework\\zqfmediasample";
std::atomic<uint64_t> g_referenceFaults{0};
}  // namespace

uint64_t zqf::GetSampleReferenceFaults() { return g_referenceFaults.load(std::memory_order_relaxed); }

void zqf::CountSampleReferenceFault() { g_referenceFaults.fetch_add(1, std::memory_order_relaxed); }

ZQFMediaSample::ZQFMediaSample(ZQFAllocator* owner, uint8_t* buffer, int size)
    : m_owner(owner), m_buffer(buffer), m_size(size > 0 ? size : 0)
{
}

ZQFMediaSample::~ZQFMediaSample() = default;

// One buffer per sample: every index names the same write offset.
int ZQFMediaSample::GetDataWriteOffset(int /*index*/) const { return m_writeOffset; }

const uint8_t* ZQFMediaSample::GetPayload(int* size) const
{
    // 64-bit sums: offsets and lengths come from packet parsers and may be
    // anything, their sum must not overflow before it is clamped.
    const int64_t bufferEnd = m_size;
    const int64_t packetEnd = static_cast<int64_t>(m_writeOffset) + m_headerBytes + m_PayloadLength;
    const int64_t begin = std::clamp<int64_t>(m_readOffset, 0, bufferEnd);
    const int64_t end = std::clamp<int64_t>(packetEnd, 0, bufferEnd);
    const int64_t length = end > begin ? end - begin : 0;
    if (size != nullptr) {
        *size = static_cast<int>(length);
    }
    return length > 0 ? m_buffer + begin : nullptr;
}

ZQFFormatBuffer* ZQFMediaSample::AllocFormatBuffer(const ZQFFormatBuffer& prototype, bool keepExisting)
{
    const bool sameKind = m_format != nullptr && m_format->GetKind() == prototype.GetKind();
    if (sameKind) {
        // Reuse the storage; only a present format may be kept as it is.
        if (!(keepExisting && m_hasFormat)) {
            m_format->CopyFrom(prototype);
        }
    } else {
        m_format.reset(prototype.Clone());
    }
    m_hasFormat = m_format != nullptr;
    return GetFormatBuffer();
}

void ZQFMediaSample::AddRef()
{
    int refs = m_refs.load(std::memory_order_relaxed);
    do {
        if (refs <= 0) {
            // The sample is home in its pool: a reference now would hand the
            // same buffer to two owners.
            zqf::CountSampleReferenceFault();
            DebugLog(kLogPath, __LINE__, ZQF_LOG_ERROR,
                     "ZQFMediaSample::AddRef on sample[%p] that has no reference", static_cast<void*>(this));
            return;
        }
    } while (!m_refs.compare_exchange_weak(refs, refs + 1, std::memory_order_acq_rel, std::memory_order_relaxed));
}

void ZQFMediaSample::Recycle()
{
    int refs = m_refs.load(std::memory_order_relaxed);
    do {
        if (refs <= 0) {
            // A second Recycle of the last reference: returning the sample
            // again would put it twice in the free list.
            zqf::CountSampleReferenceFault();
            DebugLog(kLogPath, __LINE__, ZQF_LOG_ERROR,
                     "ZQFMediaSample::Recycle on sample[%p] that has no reference", static_cast<void*>(this));
            return;
        }
    } while (!m_refs.compare_exchange_weak(refs, refs - 1, std::memory_order_acq_rel, std::memory_order_relaxed));

    if (refs == 1) {
        ResetForReuse();
        if (m_owner != nullptr) {
            m_owner->ReturnSample(this);
        }
    }
}

void ZQFMediaSample::ResetForReuse()
{
    m_PayloadLength = 0;
    m_writeOffset = 0;
    m_readOffset = 0;
    m_headerBytes = kPacketHeaderBytes;
    m_mediaType.Clear();
    // The format object stays allocated for the next packet.
    m_hasFormat = false;
}
