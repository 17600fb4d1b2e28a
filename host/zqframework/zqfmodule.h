#pragma once
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "zqcexport.h"
#include "zqfid.h"
#include "zqfnotify.h"
#include "zqfobject.h"

class CXMLNode;
class ZQFMediaSample;
class ZQFModule;
class ZQFPin;
class ZQFPinIn;
class ZQFPinOut;
class ZQFModuleStatsProPage;
class ZQFPropertySheet;
class ZQFThread;
class ZQIPin;

// What the host sees of a module instance that a plug-in factory created.
class ZQIModule {
public:
    virtual ~ZQIModule() = default;
    virtual const char* GetModuleName() const = 0;
    virtual bool CheckConfig() = 0;
    virtual int GetCategory() const = 0;
    virtual bool IsRenderModule() const = 0;
    virtual bool IsSourceModule() const = 0;
    virtual int GetInputPinCount() const = 0;
    virtual int GetOutputPinCount() const = 0;
    virtual ZQIPin* GetInputPinInterface(int index) const = 0;
    virtual ZQIPin* GetOutputPinInterface(int index) const = 0;
    virtual bool IsRunning() const = 0;
    virtual const ZQFID& GetGUID() const = 0;
    virtual void SetHandle(void* handle) = 0;
    virtual void* GetHandle() const = 0;
    virtual uint32_t GetInstanceID() const = 0;
    virtual void SetGroupID(uint32_t group) = 0;
    virtual uint32_t GetGroupID() const = 0;
    // Interfaces by identity; true with `out` set when the module has it.
    virtual bool QueryInterface(const ZQFID& id, void** out) = 0;
    // The framework object behind the interface (host use).
    virtual ZQFModule* GetFrameworkModule() = 0;
};

struct ZQFThreadInfo {
    const char* name = "";
    bool running = false;
    int priority = 0;
};

class ZQIModuleStats {
public:
    virtual ~ZQIModuleStats() = default;
    virtual uint64_t GetCPUTime() const = 0;
    virtual int GetThreadCount() const = 0;
    virtual bool GetThreadInfo(int index, ZQFThreadInfo* info) const = 0;
};

// Base of every module. Owns its pins from AddPin on. The host drives the
// lifecycle (see ZQFGraph); the module answers through the hooks below, whose
// defaults answer true (OnReverseNotify: false).
class ZQ_API ZQFModule : public ZQFObject, public ZQIModule, public ZQIModuleStats {
public:
    explicit ZQFModule(const ZQFID& id, const char* name = nullptr);
    ~ZQFModule() override;
    ZQFModule(const ZQFModule&) = delete;
    ZQFModule& operator=(const ZQFModule&) = delete;

    // Framework side of notifications: give the hook a chance, and pass on
    // what it did not consume (forward: through the output pins; reverse:
    // through the input pins). True when some module consumed it.
    virtual bool ProcessForwardNotify(ZQFNotifyInfo* info);
    virtual bool ProcessReverseNotify(ZQFNotifyInfo* info);

    // Hooks, in table order.
    virtual bool OnProcessMediaSample(ZQFMediaSample* sample, int value);
    virtual bool OnNotify(ZQFNotifyInfo* info);
    virtual bool OnReverseNotify(ZQFNotifyInfo* info);
    virtual bool OnStart();
    virtual bool OnStop();
    virtual bool OnPause();
    virtual bool SaveSettings(CXMLNode* parent);
    virtual bool LoadSettings(CXMLNode* node);
    virtual bool OnBeginFlush();
    virtual bool OnEndFlush();
    virtual bool OnConnect(int pinIndex, bool flag);
    virtual bool OnDisconnect(int pinIndex, bool flag);
    virtual bool OnSystemCallbackResponse(int code, void* data);

    // ZQIModule
    const char* GetModuleName() const override { return GetName(); }
    bool CheckConfig() override { return true; }
    int GetCategory() const override { return m_category; }
    bool IsRenderModule() const override;
    bool IsSourceModule() const override;
    int GetInputPinCount() const override;
    int GetOutputPinCount() const override;
    ZQIPin* GetInputPinInterface(int index) const override;
    ZQIPin* GetOutputPinInterface(int index) const override;
    bool IsRunning() const override { return m_running.load(std::memory_order_acquire); }
    const ZQFID& GetGUID() const override { return m_id; }
    void SetHandle(void* handle) override { m_handle = handle; }
    void* GetHandle() const override { return m_handle; }
    uint32_t GetInstanceID() const override { return m_instanceId; }
    void SetGroupID(uint32_t group) override { m_groupId = group; }
    uint32_t GetGroupID() const override { return m_groupId; }
    bool QueryInterface(const ZQFID& id, void** out) override;
    ZQFModule* GetFrameworkModule() override { return this; }

    // ZQIModuleStats
    uint64_t GetCPUTime() const override { return 0; }
    int GetThreadCount() const override;
    bool GetThreadInfo(int index, ZQFThreadInfo* info) const override;

    // Services for the module's own code.
    void SetCategory(int category) { m_category = category; }
    // Takes the pin; answers its index among the pins of its direction.
    int AddPin(ZQFPin* pin);
    ZQFPinIn* GetInputPin(int index) const;
    ZQFPinOut* GetOutputPin(int index) const;
    // Disconnects the pin and hands it back to the caller, detached from the
    // module (its index is -1 from then on); the caller deletes it. Null when
    // absent.
    ZQFPinOut* RemoveOutputPin(int index);
    int IndexOfPin(const ZQFPin* pin) const;
    void RegisterThread(ZQFThread* thread);
    void UnregisterThread(ZQFThread* thread);
    // The sheet that DisplayConfigPanel fills (created on first use).
    ZQFPropertySheet* GetPropertySheet();
    // The framework's "Module statistics" page of this module (created on
    // first use), for the module's sheet.
    ZQFModuleStatsProPage* GetModuleStatsPage();
    void* GetConfigPanelWindow() const { return m_configPanel; }

    // Host use: lifecycle marks.
    void SetRunning(bool running) { m_running.store(running, std::memory_order_release); }

private:
    ZQFID m_id;
    int m_category = 0;
    void* m_handle = nullptr;
    void* m_configPanel = nullptr;
    uint32_t m_instanceId;
    uint32_t m_groupId = 0;
    std::atomic<bool> m_running{false};
    std::vector<ZQFPinIn*> m_inputs;
    std::vector<ZQFPinOut*> m_outputs;
    mutable std::mutex m_threadsMutex;
    std::vector<ZQFThread*> m_threads;
    ZQFPropertySheet* m_sheet = nullptr;
    ZQFModuleStatsProPage* m_statsPage = nullptr;
};
