// SPDX-License-Identifier: GPL-3.0-or-later
#include "pages/table_rows.h"

#include <cstring>
#include <optional>

#include "text/text_scan.h"

namespace tickora {
namespace {

constexpr int kCellTextSize = 256;
// The offset of the last byte of "</tr>" or "</td>" from its start.
constexpr int kCloseTagLast = 4;
// Without a closing tag the scan steps on this many bytes.
constexpr int kCreepStep = 4;

}  // namespace

void ForEachTableRow(const char* text, int length, OpenRow openRow,
                     const std::function<bool(const char* row, int rowLength)>& visit) {
    int pos = 0;
    bool rowEndsLeft = true;
    while (pos <= length) {
        const std::optional<int> rowAt = FindOffset(text + pos, "<tr");
        if (!rowAt) {
            return;
        }
        const int start = pos + *rowAt;
        // Searched from pos, not from start: a stray "</tr>" before the row gives an empty row
        // that only moves the scan past it.
        const std::optional<int> closeAt =
            rowEndsLeft ? FindOffset(text + pos, "</tr>") : std::nullopt;
        if (!closeAt) {
            if (openRow == OpenRow::kStop) {
                return;
            }
            rowEndsLeft = false;
            // Every creeping step that leaves the row start out of reach yields no row: skip
            // those steps at once.
            if (start - pos >= kCreepStep) {
                pos += (start - pos) / kCreepStep * kCreepStep;
                continue;
            }
        }
        const int end = closeAt ? pos + *closeAt + kCloseTagLast : pos + kCreepStep - 1;
        if (end >= length) {
            return;
        }
        if (end >= start && !visit(text + start, end - start + 1)) {
            return;
        }
        pos = end + 1;
    }
}

CellScanEnd ForEachRowCell(const char* row, int length, const CellRules& rules,
                           const std::function<bool(int cell, char* text)>& visit) {
    if (length <= 0) {
        return CellScanEnd::kNoMoreCells;
    }
    // A cell found past the row's terminator would be read from beyond the page.
    const int visible = static_cast<int>(strnlen(row, static_cast<size_t>(length)));
    int pos = 0;
    for (int cell = 0; cell < rules.maxCells && pos < length && pos <= visible; ++cell) {
        const std::optional<int> cellAt = FindOffset(row + pos, "<td");
        if (!cellAt) {
            break;
        }
        const int start = pos + *cellAt;
        if (rules.stopAtCellBeyondRow && start >= length) {
            return CellScanEnd::kCellBeyondRow;
        }
        const std::optional<int> closeAt = FindOffset(row + pos, "</td>");
        if (!closeAt && rules.stopAtUnclosedCell) {
            break;
        }
        const int end = closeAt ? pos + *closeAt + kCloseTagLast : pos + kCreepStep - 1;
        char text[kCellTextSize];
        (void)StripTags(row + start, end - start + 1, text, kCellTextSize);
        if (!visit(cell, text)) {
            return CellScanEnd::kStopped;
        }
        pos = end + 1;
    }
    return CellScanEnd::kNoMoreCells;
}

}  // namespace tickora
