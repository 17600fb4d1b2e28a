#include "sheetpainter.h"

#include <curses.h>

#include <algorithm>

#include "dialoglayout.h"

namespace {

using zqwin32::ControlKind;
using zqwin32::ControlState;

constexpr int kDialogTop = 1;
constexpr const char* kKeys = "Tab/S-Tab move  Space toggle  Enter apply  F2/F3 page  Esc leave";
// What stays of the keys when a status needs the room.
constexpr const char* kLeaveKey = "Esc leave";
constexpr const char* kStatusGap = "   ";

void Put(int row, int col, const std::string& text, attr_t attributes = A_NORMAL)
{
    if (row < 0 || row >= LINES || col >= COLS) {
        return;
    }
    attron(attributes);
    mvaddnstr(row, std::max(col, 0), text.c_str(), COLS - std::max(col, 0));
    attroff(attributes);
}

void Frame(const CellRect& cells, const std::string& caption)
{
    const int top = kDialogTop + cells.row;
    const int bottom = top + cells.rows - 1;
    const int right = cells.col + cells.cols - 1;
    const std::string edge = "+" + std::string(static_cast<size_t>(std::max(cells.cols - 2, 0)), '-') + "+";
    Put(top, cells.col, edge);
    Put(bottom, cells.col, edge);
    for (int row = top + 1; row < bottom; ++row) {
        Put(row, cells.col, "|");
        Put(row, right, "|");
    }
    if (!caption.empty()) {
        Put(top, cells.col + 1, caption.substr(0, static_cast<size_t>(std::max(cells.cols - 2, 0))));
    }
}

attr_t StateAttributes(const ControlState& control, bool focused)
{
    return (focused ? A_REVERSE : A_NORMAL) | (control.enabled ? A_NORMAL : A_DIM);
}

// The end of a text that is wider than its edit stays in sight, as a
// scrolling edit shows it while typing.
std::string EditContent(const std::string& text, int width)
{
    const size_t shown = static_cast<size_t>(std::max(width, 0));
    const std::string visible = text.size() > shown ? text.substr(text.size() - shown) : text;
    return visible + std::string(shown - visible.size(), ' ');
}

void PaintList(const ControlState& list, const CellRect& cells, bool focused)
{
    Frame(cells, "");
    const int visible = std::max(cells.rows - 2, 0);
    const int width = std::max(cells.cols - 2, 0);
    const int first = std::max(0, list.selection - visible + 1);
    for (int i = 0; i < visible && first + i < static_cast<int>(list.items.size()); ++i) {
        const int index = first + i;
        const bool selected = index == list.selection;
        std::string line = (selected ? ">" : " ") + list.items[static_cast<size_t>(index)];
        line = line.substr(0, static_cast<size_t>(width));
        Put(kDialogTop + cells.row + 1 + i, cells.col + 1, line, selected && focused ? A_REVERSE : A_NORMAL);
    }
}

void PaintControl(const ControlState& control, bool focused)
{
    const CellRect cells = CellsOf(control);
    const int row = kDialogTop + cells.row;
    switch (control.kind) {
    case ControlKind::GroupBox:
        Frame(cells, control.text);
        break;
    case ControlKind::ListBox:
        PaintList(control, cells, focused);
        break;
    case ControlKind::Edit:
        Put(row, cells.col, "[");
        Put(row, cells.col + 1, EditContent(control.text, cells.cols - 2), StateAttributes(control, focused));
        Put(row, cells.col + cells.cols - 1, "]");
        break;
    case ControlKind::CheckBox:
        Put(row, cells.col, control.check == BST_CHECKED ? "[x]" : "[ ]", StateAttributes(control, focused));
        Put(row, cells.col + 4, control.text, control.enabled ? A_NORMAL : A_DIM);
        break;
    case ControlKind::Static:
    case ControlKind::PushButton: {
        int col = cells.col;
        if ((control.style & SS_CENTER) && static_cast<int>(control.text.size()) < cells.cols) {
            col += (cells.cols - static_cast<int>(control.text.size())) / 2;
        }
        Put(row, col, control.text);
        break;
    }
    }
}

// The keys, then the last event; on a narrow screen the event and the way
// out are what must show.
std::string Footer(const std::string& status)
{
    if (status.empty()) {
        return kKeys;
    }
    const std::string full = kKeys + std::string(kStatusGap) + status;
    return static_cast<int>(full.size()) <= COLS ? full : kLeaveKey + std::string(kStatusGap) + status;
}

void PaintTabs(const SheetPicture& picture)
{
    int col = 0;
    Put(0, col, picture.title + ":");
    col += static_cast<int>(picture.title.size()) + 2;
    for (size_t i = 0; i < picture.pageTitles.size(); ++i) {
        const bool active = static_cast<int>(i) == picture.activePage;
        const std::string tab = active ? "[" + picture.pageTitles[i] + "]" : " " + picture.pageTitles[i] + " ";
        Put(0, col, tab, active ? A_BOLD : A_NORMAL);
        col += static_cast<int>(tab.size()) + 1;
    }
}

}  // namespace

void PaintSheet(const SheetPicture& picture)
{
    erase();
    PaintTabs(picture);
    // Frames first: the controls inside them are drawn over their lines.
    for (const ControlState& control : picture.dialog.controls) {
        if (control.kind == ControlKind::GroupBox) {
            PaintControl(control, false);
        }
    }
    for (const ControlState& control : picture.dialog.controls) {
        if (control.kind != ControlKind::GroupBox) {
            PaintControl(control, control.id >= 0 && control.id == picture.focusedId);
        }
    }
    Put(LINES - 1, 0, Footer(picture.status));
    refresh();
}
