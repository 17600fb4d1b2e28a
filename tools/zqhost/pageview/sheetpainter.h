#pragma once
// Draws a property sheet on the terminal: a line with the sheet's title and
// its page tabs, the active page's dialog drawn from its template, and a
// line with the keys and the last event.
#include <string>
#include <vector>

#include "user32.h"

struct SheetPicture {
    std::string title;
    std::vector<std::string> pageTitles;
    int activePage = -1;
    zqwin32::DialogState dialog;
    int focusedId = -1;
    std::string status;
};

// Draws on the whole ncurses screen and refreshes it.
void PaintSheet(const SheetPicture& picture);
