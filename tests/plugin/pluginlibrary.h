#pragma once
// The built plug-in opened straight with dlopen, as a host would, so the
// tests call its exported functions themselves.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <string>

class PluginLibrary {
public:
    explicit PluginLibrary(const char* path = ZQ_PLUGIN_PATH) : m_handle(dlopen(path, RTLD_NOW | RTLD_LOCAL))
    {
        if (m_handle == nullptr) {
            ADD_FAILURE() << "cannot load " << path << ": " << dlerror();
        }
    }
    ~PluginLibrary()
    {
        if (m_handle != nullptr) {
            dlclose(m_handle);
        }
    }
    PluginLibrary(const PluginLibrary&) = delete;
    PluginLibrary& operator=(const PluginLibrary&) = delete;

    void* GetHandle() const { return m_handle; }

    template <class Function>
    Function Entry(const char* name) const
    {
        void* address = m_handle ? dlsym(m_handle, name) : nullptr;
        if (address == nullptr) {
            ADD_FAILURE() << "no entry point " << name;
        }
        return reinterpret_cast<Function>(address);
    }

private:
    void* m_handle;
};

// True when the loader still holds the library at `path`.
inline bool IsResident(const char* path)
{
    void* handle = dlopen(path, RTLD_NOLOAD | RTLD_LAZY);
    if (handle != nullptr) {
        dlclose(handle);
    }
    return handle != nullptr;
}
