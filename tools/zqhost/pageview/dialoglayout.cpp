#include "dialoglayout.h"

#include <algorithm>

namespace {

int ColFloor(int x) { return x * 10 / 36; }
int ColRound(int x) { return (x * 10 + 18) / 36; }
int RowFloor(int y) { return y / 8; }
int RowRound(int y) { return (y + 4) / 8; }

bool IsFramed(const zqwin32::ControlState& control)
{
    return control.kind == zqwin32::ControlKind::GroupBox || control.kind == zqwin32::ControlKind::ListBox;
}

}  // namespace

CellRect CellsOf(const zqwin32::ControlState& control)
{
    CellRect cells;
    if (IsFramed(control)) {
        // Frames of neighbouring group boxes may share a column; that reads
        // as one line between them.
        cells.col = ColFloor(control.x);
        cells.cols = std::max(2, ColFloor(control.x + control.cx) - cells.col + 1);
        if (control.kind == zqwin32::ControlKind::GroupBox) {
            cells.row = RowFloor(control.y);
            cells.rows = std::max(2, RowFloor(control.y + control.cy) - cells.row + 1);
        } else {
            cells.row = RowRound(control.y);
            cells.rows = std::max(3, RowRound(control.y + control.cy) - cells.row);
        }
        return cells;
    }
    cells.row = (2 * control.y + control.cy + 1) / 16;
    cells.col = ColRound(control.x);
    cells.cols = std::max(1, ColRound(control.cx));
    return cells;
}

int DialogRows(int cyUnits) { return cyUnits / 8; }
int DialogCols(int cxUnits) { return ColRound(cxUnits); }
