#include "zqfplugin.h"

#include <dlfcn.h>

#include <exception>

namespace {

// Far more than any plug-in offers; a larger count means the library is not
// what it claims to be.
constexpr int kMaxModuleCount = 1024;

std::string LastLoaderError()
{
    const char* text = dlerror();
    return text ? text : "unknown loader error";
}

void SetError(std::string* error, std::string text)
{
    if (error != nullptr) {
        *error = std::move(text);
    }
}

void AppendUtf8(std::string& out, char32_t code)
{
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

}  // namespace

std::string ZQFUtf16ToUtf8(const char16_t* text)
{
    std::string out;
    if (text == nullptr) {
        return out;
    }
    constexpr char32_t kReplacement = 0xFFFD;
    for (const char16_t* p = text; *p != u'\0'; ++p) {
        if (IsHighSurrogate(p[0]) && IsLowSurrogate(p[1])) {
            AppendUtf8(out, 0x10000 + ((char32_t(p[0]) - 0xD800) << 10) + (char32_t(p[1]) - 0xDC00));
            ++p;
        } else if (IsHighSurrogate(*p) || IsLowSurrogate(*p)) {
            AppendUtf8(out, kReplacement);
        } else {
            AppendUtf8(out, *p);
        }
    }
    return out;
}

ZQFPlugin* ZQFPlugin::Load(const char* path, std::string* error)
{
    if (path == nullptr || *path == '\0') {
        SetError(error, "no plug-in path given");
        return nullptr;
    }
    void* handle = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        SetError(error, std::string("cannot load plug-in ") + path + ": " + LastLoaderError());
        return nullptr;
    }

    auto* plugin = new ZQFPlugin();
    plugin->m_path = path;
    plugin->m_handle = handle;

    const char* names[] = {"GetModuleCount", "GetModuleDescriptor", "GetModuleVersion"};
    void* entries[3] = {};
    for (int i = 0; i < 3; ++i) {
        dlerror();
        entries[i] = dlsym(handle, names[i]);
        if (entries[i] == nullptr) {
            SetError(error, std::string("plug-in ") + path + " lacks " + names[i] + ": " + LastLoaderError());
            delete plugin;
            return nullptr;
        }
    }
    const auto getCount = reinterpret_cast<GetModuleCountFn>(entries[0]);
    const auto getDescriptors = reinterpret_cast<GetModuleDescriptorFn>(entries[1]);
    plugin->m_getVersion = reinterpret_cast<GetModuleVersionFn>(entries[2]);

    plugin->m_count = getCount();
    plugin->m_descriptors = getDescriptors();
    if (plugin->m_count < 0 || plugin->m_count > kMaxModuleCount ||
        (plugin->m_count > 0 && plugin->m_descriptors == nullptr)) {
        SetError(error, std::string("plug-in ") + path + " reports " + std::to_string(plugin->m_count) +
                            " modules" + (plugin->m_descriptors ? "" : " and no descriptors"));
        delete plugin;
        return nullptr;
    }
    return plugin;
}

ZQFPlugin::~ZQFPlugin()
{
    if (m_handle != nullptr) {
        dlclose(m_handle);
    }
}

const ModuleDescriptor* ZQFPlugin::GetDescriptor(int index) const
{
    if (index < 0 || index >= m_count) {
        return nullptr;
    }
    return &m_descriptors[index];
}

int ZQFPlugin::FindDescriptor(const ZQFID& id) const
{
    for (int i = 0; i < m_count; ++i) {
        if (m_descriptors[i].id != nullptr && EqualZQFID(*m_descriptors[i].id, id)) {
            return i;
        }
    }
    return -1;
}

bool ZQFPlugin::GetVersion(ModuleVersionInfo* info) const
{
    return info != nullptr && m_getVersion(info) == 1;
}

ZQIModule* ZQFPlugin::CreateModule(int index, std::string* error) const
{
    const ModuleDescriptor* descriptor = GetDescriptor(index);
    if (descriptor == nullptr) {
        SetError(error, "no module " + std::to_string(index) + " in plug-in " + m_path);
        return nullptr;
    }
    const std::string name = ZQFUtf16ToUtf8(descriptor->name);
    if (descriptor->factory == nullptr) {
        SetError(error, "module \"" + name + "\" has no factory");
        return nullptr;
    }
    // A constructor's failure is the one thing allowed to cross the boundary.
    try {
        ZQIModule* module = descriptor->factory();
        if (module == nullptr) {
            SetError(error, "the factory of \"" + name + "\" created no module");
        }
        return module;
    } catch (const std::exception& e) {
        SetError(error, "the factory of \"" + name + "\" failed: " + e.what());
    } catch (...) {
        SetError(error, "the factory of \"" + name + "\" failed with an unknown exception");
    }
    return nullptr;
}
