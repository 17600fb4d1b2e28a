#pragma once
// Spreads the samples of one RTP stream over one output pin per media type.
// The output pins follow the media types the upstream module offers: they
// are rebuilt when the dispatcher is connected and whenever upstream
// announces NOTIFY_MEDIATYPES_CHANGED.
//
// The pin table is guarded by a mutex held while a sample is dispatched
// (Deliver included) and while the table and the pins are rebuilt, so that
// a sample never reaches a pin being destroyed. Lock order: an upstream
// stack's lock (its receiving thread delivers, and its media-type changes
// notify, while holding it) before this mutex; the rebuild asks upstream for
// its media types before taking the mutex.
#include <cstdint>
#include <map>
#include <mutex>
#include <vector>

#include "zqfmodule.h"

class ZQMRTPDispatcherOutputPin;

class ZQMRTPDispatcherModule : public ZQFModule {
public:
    ZQMRTPDispatcherModule();
    ~ZQMRTPDispatcherModule() override;

    bool OnProcessMediaSample(ZQFMediaSample* sample, int value) override;
    bool OnNotify(ZQFNotifyInfo* info) override;
    bool OnReverseNotify(ZQFNotifyInfo* info) override;
    bool OnStart() override;
    bool OnStop() override;
    bool OnPause() override;
    bool SaveSettings(CXMLNode* parent) override;
    bool LoadSettings(CXMLNode* node) override;
    bool OnBeginFlush() override;
    bool OnEndFlush() override;
    bool OnConnect(int pinIndex, bool flag) override;
    bool OnDisconnect(int pinIndex, bool flag) override;

    bool IsRenderModule() const override { return false; }
    bool IsSourceModule() const override { return true; }

    virtual bool AddOutputPin(int32_t mediaType);
    virtual bool RemoveOutputPin(int32_t mediaType);
    virtual void ClearPinTable();
    virtual bool HasOutputPin(int32_t mediaType);

    // The first media type (ascending) whose pin has this output-pin index.
    bool FindMediaTypeOfPin(int pinIndex, int32_t* mediaType);

private:
    bool AddOutputPinLocked(int32_t mediaType);
    bool RemoveOutputPinLocked(int32_t mediaType);
    std::vector<int32_t> OfferedMediaTypes();

    std::recursive_mutex m_tableMutex;  // guards m_pinTable and the output pins' lifetime
    std::map<int32_t, ZQMRTPDispatcherOutputPin*> m_pinTable;
};
