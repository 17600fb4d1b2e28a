// Dialog resources: what a library's resource section holds on Windows, here
// registered by the library itself when it is loaded.
#include <cctype>
#include <map>
#include <string>
#include <utility>

#include "user32state.h"

namespace zqwin32::detail {

namespace {

using TemplateKey = std::pair<std::string, int>;

// File names compare without regard to case, as on Windows.
std::string FoldCase(const char* name)
{
    std::string folded = name ? name : "";
    for (char& c : folded) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return folded;
}

std::map<TemplateKey, StoredTemplate>& Templates()
{
    static std::map<TemplateKey, StoredTemplate> templates;
    return templates;
}

std::string Text(const char* text) { return text ? text : ""; }

}  // namespace

bool CopyDialogTemplate(const char* moduleName, int resourceId, StoredTemplate* out)
{
    std::lock_guard<std::mutex> lock(User32Lock());
    const auto found = Templates().find({FoldCase(moduleName), resourceId});
    if (found == Templates().end()) {
        return false;
    }
    *out = found->second;
    return true;
}

}  // namespace zqwin32::detail

namespace zqwin32 {

using detail::StoredTemplate;

void RegisterDialogTemplate(const char* moduleName, int resourceId, const DialogTemplate& dialog)
{
    StoredTemplate stored;
    stored.style = dialog.style;
    stored.caption = detail::Text(dialog.caption);
    stored.fontName = detail::Text(dialog.fontName);
    stored.pointSize = dialog.pointSize;
    stored.cx = dialog.cx;
    stored.cy = dialog.cy;
    for (const DialogItemTemplate& item : dialog.items) {
        stored.items.push_back(
            {item.kind, item.id, detail::Text(item.text), item.x, item.y, item.cx, item.cy, item.style});
    }
    std::lock_guard<std::mutex> lock(detail::User32Lock());
    detail::Templates()[{detail::FoldCase(moduleName), resourceId}] = std::move(stored);
}

void UnregisterDialogTemplate(const char* moduleName, int resourceId)
{
    std::lock_guard<std::mutex> lock(detail::User32Lock());
    detail::Templates().erase({detail::FoldCase(moduleName), resourceId});
}

bool HasDialogTemplate(const char* moduleName, int resourceId)
{
    std::lock_guard<std::mutex> lock(detail::User32Lock());
    return detail::Templates().count({detail::FoldCase(moduleName), resourceId}) != 0;
}

}  // namespace zqwin32
