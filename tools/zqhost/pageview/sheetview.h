#pragma once
// The user's side of a property sheet on the terminal: which control has the
// focus on each page, and what each key does to the sheet on show.
//   Tab, Shift-Tab, Up, Down   focus the next or previous control
//                              (Up and Down move inside a list)
//   Space                      toggles a check box
//   typing, Backspace          edit the focused edit (the first key after
//                              the focus arrives replaces the whole text)
//   Enter                      Apply
//   F2 / PageUp, F3 / PageDown previous / next page
//   Esc, F10                   leave (keys that never type; every letter,
//                              q included, types into an edit)
#include <map>
#include <string>

#include "sheetpainter.h"
#include "zqfpropertysheetsession.h"

class SheetView {
public:
    SheetView(ZQFPropertySheetSession& session, std::string title);

    bool ShowPage(int index);
    // False when the key asks to leave.
    bool HandleKey(int key);
    // What the screen shows right now.
    SheetPicture Picture() const;

private:
    zqwin32::DialogState ActiveDialog() const;
    // The controls Tab visits, in template order: enabled edits, check boxes
    // and lists with a tab stop.
    std::vector<int> FocusOrder() const;
    int FocusedId() const;
    const zqwin32::ControlState* Focused(const zqwin32::DialogState& dialog) const;
    void MoveFocus(int step);
    void Edit(const zqwin32::ControlState& edit, int key);
    bool MoveInList(const zqwin32::ControlState& list, int step);
    void Apply();

    ZQFPropertySheetSession& m_session;
    std::string m_title;
    std::map<int, int> m_focusByPage;  // page -> control id
    bool m_replaceOnType = true;
    std::string m_status;
};
