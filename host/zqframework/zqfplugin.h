#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "zqcexport.h"
#include "zqfid.h"

class ZQIModule;

// The records a plug-in publishes. Every descriptor field is one machine word.
struct ModuleDescriptor {
    const char16_t* category;
    const char16_t* name;
    intptr_t categoryNumber;
    const ZQFID* id;
    ZQIModule* (*factory)();
};
static_assert(sizeof(ModuleDescriptor) == 5 * sizeof(void*), "descriptor fields are machine words");

// The plug-in fills the first 35 bytes: four 32-bit numbers and a
// zero-terminated text of at most 18 characters. The host owns the record.
struct ModuleVersionInfo {
    int32_t numbers[4];
    char text[48];
};

extern "C" {
typedef int (*GetModuleCountFn)();
typedef const ModuleDescriptor* (*GetModuleDescriptorFn)();
typedef int (*GetModuleVersionFn)(ModuleVersionInfo* info);
}

ZQ_API std::string ZQFUtf16ToUtf8(const char16_t* text);

// A plug-in loaded by path with dlopen. Answers null from Load with a message
// when the library will not load or lacks one of the three entry points.
class ZQ_API ZQFPlugin {
public:
    static ZQFPlugin* Load(const char* path, std::string* error);
    ~ZQFPlugin();
    ZQFPlugin(const ZQFPlugin&) = delete;
    ZQFPlugin& operator=(const ZQFPlugin&) = delete;

    const std::string& GetPath() const { return m_path; }
    int GetModuleCount() const { return m_count; }
    const ModuleDescriptor* GetDescriptor(int index) const;
    // The index of the descriptor with that identity; -1 when none.
    int FindDescriptor(const ZQFID& id) const;
    bool GetVersion(ModuleVersionInfo* info) const;
    // Creates an instance through the descriptor's factory; null when the
    // factory answers null or throws (`error` says why).
    ZQIModule* CreateModule(int index, std::string* error = nullptr) const;

private:
    ZQFPlugin() = default;

    std::string m_path;
    void* m_handle = nullptr;
    int m_count = 0;
    const ModuleDescriptor* m_descriptors = nullptr;
    GetModuleVersionFn m_getVersion = nullptr;
};
