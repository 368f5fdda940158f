// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The site's tables are read the same way on every page: row by row from "<tr" to "</tr>", cell
// by cell from "<td" to "</td>", each cell as its visible text with the markup removed. The pages
// differ only in how they treat a row or a cell that never closes, and in how many cells count.
#include <functional>

namespace tickora {

// What a row scan does once the page holds no "</tr>" any more.
enum class OpenRow {
    // Creep on four bytes a step, each step's first four bytes taken as a row: the quote and
    // figures pages have always been read so, and a row may still yield its cells from there.
    kCreep,
    // Stop: no row can close any more.
    kStop,
};

// Calls visit(row, rowLength) for each row of the NUL-terminated text of length bytes, in order,
// until visit returns false. A row runs from its "<tr" to the end of the first "</tr>" after the
// previous row; a "</tr>" met before the next "<tr" makes a row of no length, which is skipped.
void ForEachTableRow(const char* text, int length, OpenRow openRow,
                     const std::function<bool(const char* row, int rowLength)>& visit);

struct CellRules {
    // The scan ends after this many cells.
    int maxCells = 0;
    // A cell that starts at or beyond the row's length ends the scan; otherwise the cells are
    // searched on past the row's end into the rest of the page.
    bool stopAtCellBeyondRow = true;
    // A cell without "</td>" ends the scan; otherwise it is taken as its first four bytes.
    bool stopAtUnclosedCell = false;
};

enum class CellScanEnd {
    kNoMoreCells,    // no further cell, the row's end, or maxCells reached
    kCellBeyondRow,  // the next cell starts at or beyond the row's length
    kStopped,        // visit returned false
};

// Calls visit(index, text) for the cells of a row of length bytes, text being the cell's visible
// text (at most 255 bytes, terminated; the visitor may change it in place), until visit returns
// false or the rules end the scan. The search never starts beyond the row's first zero byte.
CellScanEnd ForEachRowCell(const char* row, int length, const CellRules& rules,
                           const std::function<bool(int cell, char* text)>& visit);

}  // namespace tickora
