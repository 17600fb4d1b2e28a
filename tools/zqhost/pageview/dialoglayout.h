#pragma once
// Where a dialog's controls go on a character screen. Dialog units are a
// quarter of the font's average width and an eighth of its height; a cell
// is taken as 3.6 units wide (a 288-unit page fills 80 columns) and 8 high.
// One-line controls sit on the row of their middle, so a label and the edit
// beside it share a row even when their tops differ by a few units.
#include "user32.h"

struct CellRect {
    int row = 0;
    int col = 0;
    int rows = 1;
    int cols = 1;
};

CellRect CellsOf(const zqwin32::ControlState& control);
int DialogRows(int cyUnits);
int DialogCols(int cxUnits);
