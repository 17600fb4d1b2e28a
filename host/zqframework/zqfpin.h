#pragma once
#include <atomic>
#include <string>

#include "zqcexport.h"
#include "zqfallocator.h"
#include "zqfformat.h"
#include "zqfmediatype.h"
#include "zqfnotify.h"

class ZQFModule;
class ZQFMediaSample;

// What the host sees of a pin.
class ZQIPin {
public:
    virtual ~ZQIPin() = default;
    virtual const char* GetName() const = 0;
    virtual bool IsInput() const = 0;
    virtual int GetPinIndex() const = 0;
    virtual bool IsConnected() const = 0;
    // The index-th media type the pin offers or accepts; false ends the list.
    virtual bool GetMediaTypeAt(int index, ZQFMediaType* type, ZQFFormatBuffer** format) = 0;
};

class ZQ_API ZQFPin : public ZQIPin {
public:
    ZQFPin(ZQFModule* owner, const char* name, bool input);
    ~ZQFPin() override;
    ZQFPin(const ZQFPin&) = delete;
    ZQFPin& operator=(const ZQFPin&) = delete;

    const char* GetName() const override { return m_name.c_str(); }
    bool IsInput() const override { return m_input; }
    // Position among the owner module's pins of the same direction; -1 when
    // the pin belongs to no module.
    int GetPinIndex() const override;
    bool IsConnected() const override { return GetPeerPin() != nullptr; }
    ZQFPin* GetPeerPin() const { return m_peer.load(std::memory_order_acquire); }
    ZQFModule* GetModule() const { return m_owner; }

    // Default: the pin states no media type (it takes what it is given).
    bool GetMediaTypeAt(int index, ZQFMediaType* type, ZQFFormatBuffer** format) override;
    // Decides the pool of a connection; the default keeps the proposal.
    virtual bool OnDecideBufferSize(ZQFAllocatorConfig* config);
    virtual bool OnCheckInputFormat(const ZQFMediaType* type);

    // Framework use: connection bookkeeping.
    void SetPeer(ZQFPin* peer) { m_peer.store(peer, std::memory_order_release); }
    void DetachFromModule() { m_owner = nullptr; }

private:
    ZQFModule* m_owner;
    std::string m_name;
    bool m_input;
    std::atomic<ZQFPin*> m_peer{nullptr};
};

class ZQ_API ZQFPinIn : public ZQFPin {
public:
    ZQFPinIn(ZQFModule* owner, const char* name);

    // Called by the upstream output pin's Deliver: runs the module's
    // OnProcessMediaSample on the caller's thread. When the hook answers true
    // the reference handed over is dropped here after the hook returns; when
    // it answers false the caller keeps its reference.
    bool Receive(ZQFMediaSample* sample);

    // Reaches the upstream module; true when it took the notification.
    bool PassReverseNotify(ZQFNotifyInfo* info);
};

class ZQ_API ZQFPinOut : public ZQFPin {
public:
    ZQFPinOut(ZQFModule* owner, const char* name);
    ~ZQFPinOut() override;

    // A sample of this pin's pool with one reference, or null after `waitMs`.
    ZQFMediaSample* GetNewSample(int waitMs);
    // Hands the sample to the downstream module (see ZQFPinIn::Receive).
    // False when not connected or refused: the caller still owns its reference.
    bool Deliver(ZQFMediaSample* sample);
    // Reaches the downstream module's OnNotify; true when it consumed it.
    bool PassForwardNotify(ZQFNotifyInfo* info);

    ZQFAllocator* GetAllocator() const { return m_allocator.load(std::memory_order_acquire); }

    // Called when the graph flushes the pin; default: wake the pool's waiters.
    virtual bool OnPinFlush();
    // The format the pin produces; the caller owns the clone. Default: none.
    virtual bool GetOutputFormat(ZQFFormatBuffer** out);

    // Framework use: install a pool of the decided size (replacing any).
    void InstallAllocator(const ZQFAllocatorConfig& config);
    void ReleaseAllocator();

private:
    std::atomic<ZQFAllocator*> m_allocator{nullptr};
};

// An output pin whose pool the framework sizes at connection time with the
// pin's OnDecideBufferSize.
class ZQ_API ZQFPinOutAuto : public ZQFPinOut {
public:
    ZQFPinOutAuto(ZQFModule* owner, const char* name, int flags);
    int GetFlags() const { return m_flags; }

private:
    int m_flags;
};

// Connects `out` to `in`: negotiates a media type, lets the pins decide the
// pool (proposal 4 x 2048, the input pin's wish, then the output pin's
// decision; no pool when the count or size is 0), installs it, then calls
// OnConnect on the upstream then the downstream module. False when a pin is
// already connected, no media type fits or a pin's OnDecideBufferSize answers
// false.
ZQ_API bool ZQFConnectPins(ZQFPinOut* out, ZQFPinIn* in);
ZQ_API void ZQFDisconnectPins(ZQFPinOut* out);
