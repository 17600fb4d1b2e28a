// The library's face to the host: three exported functions, the module
// descriptors they publish, and what happens when the library is attached.
#include <dlfcn.h>

#include <cstdint>
#include <cstring>
#include <new>

#include "dispatcher/zqmrtpdispatchermodule.h"
#include "module/zqmrtpstackids.h"
#include "module/zqmrtpstackmodule.h"
#include "stdafx.h"
#include "zqfplugin.h"

#define ZQM_EXPORT __attribute__((visibility("default")))

namespace {

// Answered for a null version record (the host's "invalid argument").
constexpr int kInvalidArgument = -22;

// A constructor's exception passes to the host; `new` frees the memory of
// the half-built module on the way.
ZQIModule* CreateRTPInModule()
{
    auto* module = new (std::nothrow) ZQMRTPStackModule(ZQMID_RTPIn, "Input RTP stack");
    return module;
}

ZQIModule* CreateRTPOutModule()
{
    auto* module = new (std::nothrow) ZQMRTPStackModule(ZQMID_RTPOut, "Output RTP stack");
    return module;
}

ZQIModule* CreateRTPDispatcherModule() { return new (std::nothrow) ZQMRTPDispatcherModule(); }

// One string shared by the three records; the property sheet title too.
constexpr char16_t kCategory[] = u"RTP stack";

const ModuleDescriptor kDescriptors[] = {
    {kCategory, u"RTP in", 13, &ZQMID_RTPIn, &CreateRTPInModule},
    {kCategory, u"RTP out", 14, &ZQMID_RTPOut, &CreateRTPOutModule},
    {kCategory, u"dispatcher", 13, &ZQMID_RTPDispatcher, &CreateRTPDispatcherModule},
};
constexpr int kModuleCount = sizeof kDescriptors / sizeof kDescriptors[0];

// The version record as the host expects it, byte for byte: four 32-bit
// numbers, then the text with its terminating zero (35 bytes in all).
constexpr int32_t kVersionNumbers[4] = {1, 8, 1, 1};
constexpr char kVersionText[] = "5.3.01.trel.00001 ";
static_assert(sizeof kVersionNumbers + sizeof kVersionText == 35, "the host reserves 35 bytes");

// The handle the loader gave this library. dlopen with RTLD_NOLOAD only looks
// the library up; the reference it adds is given back at once, and the value
// stays valid for as long as the host keeps the library loaded.
HMODULE OwnModuleHandle()
{
    Dl_info info{};
    if (dladdr(kDescriptors, &info) == 0 || info.dli_fname == nullptr) {
        return nullptr;
    }
    void* handle = dlopen(info.dli_fname, RTLD_NOLOAD | RTLD_LAZY);
    if (handle != nullptr) {
        dlclose(handle);
    }
    return handle;
}

// Process attach: the library wants no per-thread attach and detach calls.
__attribute__((constructor)) void OnProcessAttach() { DisableThreadLibraryCalls(OwnModuleHandle()); }

}  // namespace

extern "C" {

ZQM_EXPORT int GetModuleCount() { return kModuleCount; }

ZQM_EXPORT const ModuleDescriptor* GetModuleDescriptor() { return kDescriptors; }

// Written through bytes: the host's record may be larger than what it
// reserved for us, and nothing past byte 35 is ours to touch.
ZQM_EXPORT int GetModuleVersion(ModuleVersionInfo* info)
{
    if (info == nullptr) {
        return kInvalidArgument;
    }
    auto* bytes = reinterpret_cast<unsigned char*>(info);
    std::memcpy(bytes, kVersionNumbers, sizeof kVersionNumbers);
    std::memcpy(bytes + sizeof kVersionNumbers, kVersionText, sizeof kVersionText);
    return 1;
}

}  // extern "C"
