#include "sheetview.h"

#include <curses.h>

#include <algorithm>

namespace {

using zqwin32::ControlKind;
using zqwin32::ControlState;

constexpr int kTab = '\t';
constexpr int kEscape = 27;
constexpr int kDelete = 127;
constexpr int kCtrlH = 8;

bool TakesFocus(const ControlState& control)
{
    const bool kindTakesFocus = control.kind == ControlKind::Edit || control.kind == ControlKind::CheckBox ||
                                control.kind == ControlKind::ListBox;
    return kindTakesFocus && control.id >= 0 && control.enabled && (control.style & WS_TABSTOP);
}

bool IsLeave(int key) { return key == kEscape || key == KEY_F(10); }
bool IsEnter(int key) { return key == '\n' || key == '\r' || key == KEY_ENTER; }
bool IsBackspace(int key) { return key == KEY_BACKSPACE || key == kDelete || key == kCtrlH; }
bool IsPrintable(int key) { return key >= 32 && key < 127; }

}  // namespace

SheetView::SheetView(ZQFPropertySheetSession& session, std::string title)
    : m_session(session), m_title(std::move(title))
{
}

bool SheetView::ShowPage(int index)
{
    if (index < 0 || index >= m_session.GetPageCount() || !m_session.ActivatePage(index)) {
        return false;
    }
    m_replaceOnType = true;
    return true;
}

zqwin32::DialogState SheetView::ActiveDialog() const
{
    zqwin32::DialogState dialog;
    zqwin32::GetDialogState(m_session.GetActiveWindow(), &dialog);
    return dialog;
}

std::vector<int> SheetView::FocusOrder() const
{
    std::vector<int> order;
    for (const ControlState& control : ActiveDialog().controls) {
        if (TakesFocus(control)) {
            order.push_back(control.id);
        }
    }
    return order;
}

// The remembered control while it can take the focus, else the first one
// that can (a control the page disabled meanwhile gives the focus away).
int SheetView::FocusedId() const
{
    const std::vector<int> order = FocusOrder();
    if (order.empty()) {
        return -1;
    }
    const auto remembered = m_focusByPage.find(m_session.GetActivePage());
    if (remembered != m_focusByPage.end() && std::count(order.begin(), order.end(), remembered->second) != 0) {
        return remembered->second;
    }
    return order.front();
}

const ControlState* SheetView::Focused(const zqwin32::DialogState& dialog) const
{
    const int id = FocusedId();
    for (const ControlState& control : dialog.controls) {
        if (control.id == id && id >= 0) {
            return &control;
        }
    }
    return nullptr;
}

void SheetView::MoveFocus(int step)
{
    const std::vector<int> order = FocusOrder();
    if (order.empty()) {
        return;
    }
    const auto at = std::find(order.begin(), order.end(), FocusedId());
    const int count = static_cast<int>(order.size());
    const int index = at == order.end() ? 0 : static_cast<int>(at - order.begin());
    m_focusByPage[m_session.GetActivePage()] = order[static_cast<size_t>(((index + step) % count + count) % count)];
    m_replaceOnType = true;
}

void SheetView::Edit(const ControlState& edit, int key)
{
    std::string text = m_replaceOnType ? std::string() : edit.text;
    if (IsBackspace(key)) {
        if (!text.empty()) {
            text.pop_back();
        }
    } else {
        text.push_back(static_cast<char>(key));
    }
    m_replaceOnType = false;
    zqwin32::TypeDialogItemText(m_session.GetActiveWindow(), edit.id, text.c_str());
}

bool SheetView::MoveInList(const ControlState& list, int step)
{
    const int next = list.selection < 0 ? 0 : list.selection + step;
    if (next < 0 || next >= static_cast<int>(list.items.size())) {
        return false;
    }
    return zqwin32::ChooseDialogListItem(m_session.GetActiveWindow(), list.id, next);
}

bool SheetView::HandleKey(int key)
{
    if (IsLeave(key)) {
        return false;
    }
    if (IsEnter(key)) {
        Apply();
        return true;
    }
    const zqwin32::DialogState dialog = ActiveDialog();
    const ControlState* focused = Focused(dialog);
    const bool inEdit = focused != nullptr && focused->kind == ControlKind::Edit;
    m_status.clear();
    const bool inList = focused != nullptr && focused->kind == ControlKind::ListBox;
    if (key == kTab || key == KEY_BTAB) {
        MoveFocus(key == kTab ? 1 : -1);
    } else if (key == KEY_UP || key == KEY_DOWN) {
        if (!inList || !MoveInList(*focused, key == KEY_DOWN ? 1 : -1)) {
            MoveFocus(key == KEY_DOWN ? 1 : -1);
        }
    } else if (key == KEY_F(2) || key == KEY_PPAGE) {
        ShowPage(m_session.GetActivePage() - 1);
    } else if (key == KEY_F(3) || key == KEY_NPAGE) {
        ShowPage(m_session.GetActivePage() + 1);
    } else if (inEdit && (IsPrintable(key) || IsBackspace(key))) {
        Edit(*focused, key);
    } else if (key == ' ' && focused != nullptr && focused->kind == ControlKind::CheckBox) {
        zqwin32::ClickDialogItem(m_session.GetActiveWindow(), focused->id);
    }
    return true;
}

// A module reads some settings only when it starts: the user hears that
// the change waits for it instead of a bare "Applied", and that the dimmed
// port of each pair took the value of the edited one.
void SheetView::Apply()
{
    if (!m_session.Apply()) {
        m_status = "Apply refused";
    } else if (m_session.LastApplyTakesEffectAtNextStart()) {
        m_status = "Applied (dimmed ports follow); takes effect at the next start";
    } else {
        m_status = "Applied";
    }
}

SheetPicture SheetView::Picture() const
{
    SheetPicture picture;
    picture.title = m_title;
    for (int i = 0; i < m_session.GetPageCount(); ++i) {
        picture.pageTitles.emplace_back(m_session.GetPage(i)->GetTitle());
    }
    picture.activePage = m_session.GetActivePage();
    picture.dialog = ActiveDialog();
    picture.focusedId = FocusedId();
    picture.status = m_status;
    return picture;
}
