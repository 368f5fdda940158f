// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The second view of the quote page ("&d=v3"): one row per stock with its code and, in fixed
// cells, five performance figures. Only ASCII digits and markup are read, so the page is not
// converted from EUC-JP.
#include <string>
#include <vector>

#include "catalog/stock_list.h"

namespace tickora {

// A longer page is examined only up to this many bytes.
inline constexpr int kFiguresPageLimit = 81920;

struct FiguresRow {
    int m_nCode = 0;
    double m_adFigures[5] = {};
    // 1 to 5: the first figure that the performance file cannot hold (see FigureFits); 0 when
    // every one fits. Such a row is neither stored nor counted.
    int m_nFigureOutOfRange = 0;
};

// A row whose figure the file cannot hold, and which.
struct FiguresFault {
    int code = 0;
    std::string text;  // "figure 1 (9.22337e+18) does not fit the performance file"
};

// Reads one row (cells numbered from 0): 0 when its first cell is a code from 1000 to 9999 and
// it has at least ten cells, -1 otherwise. row points into a NUL-terminated text; a cell that
// starts beyond length belongs to the next row and ends the row.
[[nodiscard]] int ParseFiguresRow(const char* row, int length, FiguresRow& out);

// Parses a whole NUL-terminated page text into the block: the figures of every row whose code
// belongs to a stock of the block are stored there. Returns the rows counted: stored rows whose
// figure 1, 2 or 4 is above 0. rowsFound, when given, receives the number of stock rows on the
// page whatever their figures (0 means the page is not a figures page at all). Touches no file
// and no global.
// faults, when given, receives the rows left out because a figure does not fit.
[[nodiscard]] int ParseFiguresText(const char* text, CQuoteBlock& block, int* rowsFound = nullptr,
                                   std::vector<FiguresFault>* faults = nullptr);

// Reads at most kFiguresPageLimit bytes of path and parses them into block; -1 when the file
// cannot be opened.
[[nodiscard]] int ParseFiguresPage(const char* path, CQuoteBlock& block, int* rowsFound = nullptr,
                                   std::vector<FiguresFault>* faults = nullptr);

}  // namespace tickora
