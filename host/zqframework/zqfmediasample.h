#pragma once
#include <atomic>
#include <cstdint>
#include <memory>

#include "zqcexport.h"
#include "zqfformat.h"
#include "zqfmediatype.h"

class ZQFAllocator;

namespace zqf {
// Reference faults the samples and pools of this process refused: an AddRef
// or Recycle on a sample with no reference left, a sample returned to a pool
// that already holds it. Each is also a log line; the count lets tests (and
// a host's health check) treat any of them as a failure.
ZQ_API uint64_t GetSampleReferenceFaults();
// Pool use only.
void CountSampleReferenceFault();
}  // namespace zqf

// One buffer of a pool allocator, handed out with one reference.
//
// Packet layout shared by every module that carries RTP: a packet starts at
// the data write offset with a header (the 12-byte RTP fixed header unless
// the writer says otherwise with SetPacketHeaderBytes), followed by
// m_PayloadLength payload bytes. Readers find the payload at the data read
// offset (which may skip a CSRC list); GetPayload() gives that view.
class ZQ_API ZQFMediaSample {
public:
    enum { kPacketHeaderBytes = 12 };

    ZQFMediaSample(ZQFAllocator* owner, uint8_t* buffer, int size);
    ~ZQFMediaSample();
    ZQFMediaSample(const ZQFMediaSample&) = delete;
    ZQFMediaSample& operator=(const ZQFMediaSample&) = delete;

    uint8_t* GetDataBuffer() { return m_buffer; }
    const uint8_t* GetDataBuffer() const { return m_buffer; }
    int GetBufferSize() const { return m_size; }

    // Payload length, read and written directly by the modules.
    int m_PayloadLength = 0;

    int GetDataWriteOffset(int index = 0) const;
    void SetDataWriteOffset(int offset) { m_writeOffset = offset; }
    int GetDataReadOffset() const { return m_readOffset; }
    void SetDataReadOffset(int offset) { m_readOffset = offset; }
    // Bytes of header in front of the payload (12 by default, reset on recycle).
    int GetPacketHeaderBytes() const { return m_headerBytes; }
    void SetPacketHeaderBytes(int bytes) { m_headerBytes = bytes; }

    // The payload bytes as readers see them, clamped to the buffer: from the
    // read offset to the end of the packet. Size 0 when nothing is there.
    const uint8_t* GetPayload(int* size) const;

    ZQFMediaType* GetMediaType() { return &m_mediaType; }
    const ZQFMediaType* GetMediaType() const { return &m_mediaType; }

    // Null until AllocFormatBuffer. The sample owns it.
    ZQFFormatBuffer* GetFormatBuffer() { return m_hasFormat ? m_format.get() : nullptr; }
    const ZQFFormatBuffer* GetFormatBuffer() const { return m_hasFormat ? m_format.get() : nullptr; }
    // Gives the sample a format buffer initialised from `prototype`. With
    // `keepExisting`, a format of the same kind already present is kept as it
    // is. The storage is reused from packet to packet (no allocation once the
    // sample has carried a format of that kind).
    ZQFFormatBuffer* AllocFormatBuffer(const ZQFFormatBuffer& prototype, bool keepExisting);

    void AddRef();
    // Drops one reference; at zero the sample goes back to its pool, reset.
    void Recycle();
    int GetRefCount() const { return m_refs.load(std::memory_order_acquire); }

    // Pool use only.
    void ResetForReuse();
    void SetFirstReference() { m_refs.store(1, std::memory_order_release); }
    // In its pool's free list; read and written under the pool's lock.
    bool m_inPool = true;

private:
    ZQFAllocator* m_owner;
    uint8_t* m_buffer;
    int m_size;
    int m_writeOffset = 0;
    int m_readOffset = 0;
    int m_headerBytes = kPacketHeaderBytes;
    ZQFMediaType m_mediaType;
    std::unique_ptr<ZQFFormatBuffer> m_format;
    bool m_hasFormat = false;
    std::atomic<int> m_refs{0};
};
