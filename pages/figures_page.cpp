// SPDX-License-Identifier: GPL-3.0-or-later
#include "pages/figures_page.h"

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <span>
#include <vector>

#include "files/file_io.h"
#include "pages/number_range.h"
#include "pages/quote_page.h"
#include "pages/table_rows.h"
#include "text/text_scan.h"

namespace tickora {
namespace {

constexpr int kCellSize = 256;
// Cells beyond the tenth are ignored; a cell is searched on past the row's end only up to it.
constexpr CellRules kFiguresCells{10, true, false};

int CodeOf(const char* text) {
    const long value = std::strtol(text, nullptr, 10);
    return value < INT_MIN ? INT_MIN : value > INT_MAX ? INT_MAX : static_cast<int>(value);
}

// The whole-number part of the text. Read as 64 bits so that a sum of more than two thousand
// million (sales in yen) keeps its value instead of wrapping.
// A number beyond 64 bits comes back as LLONG_MAX: made infinite here, so that it never passes
// for a figure.
double WholeNumberOf(const char* text) {
    errno = 0;
    const long long value = std::strtoll(text, nullptr, 10);
    return errno == ERANGE ? HUGE_VAL : static_cast<double>(value);
}

void CheckFigure(FiguresRow& out, int figure) {
    if (out.m_nFigureOutOfRange == 0 && !FigureFits(out.m_adFigures[figure - 1])) {
        out.m_nFigureOutOfRange = figure;
    }
}

std::string FiguresFaultText(const FiguresRow& row) {
    char text[96];
    std::snprintf(text, sizeof text, "figure %d (%.6g) does not fit the performance file",
                  row.m_nFigureOutOfRange, row.m_adFigures[row.m_nFigureOutOfRange - 1]);
    return text;
}

// One cell of a figures row into out; false when the row is no stock's.
bool TakeFiguresCell(int cell, char* text, FiguresRow& out) {
    switch (cell) {
        case 0: {
            const int code = CodeOf(text);
            out = FiguresRow{};
            out.m_nCode = code;
            return code >= 1000 && code <= 9999;
        }
        case 5:
            KeepNumberChars(text);
            StripCommas(text);
            out.m_adFigures[0] = WholeNumberOf(text);
            CheckFigure(out, 1);
            break;
        case 6:
        case 7:
        case 8:
        case 9:
            KeepNumberChars(text);
            out.m_adFigures[cell - 5] = AtofC(text);
            CheckFigure(out, cell - 4);
            break;
        default:
            break;
    }
    return true;
}

}  // namespace

int ParseFiguresRow(const char* row, int length, FiguresRow& out) {
    int result = -1;
    (void)ForEachRowCell(row, length, kFiguresCells, [&](int cell, char* text) {
        result = cell == kFiguresCells.maxCells - 1 ? 0 : result;
        return TakeFiguresCell(cell, text, out);
    });
    return result;
}

int ParseFiguresText(const char* text, CQuoteBlock& block, int* rowsFound,
                     std::vector<FiguresFault>* faults) {
    int count = 0;
    int rows = 0;
    const int textLength = static_cast<int>(std::strlen(text));
    ForEachTableRow(text, textLength, OpenRow::kCreep, [&](const char* rowText, int length) {
        FiguresRow row;
        if (ParseFiguresRow(rowText, length, row) != 0) {
            return true;
        }
        ++rows;
        const int slot = block.IndexOfCode(row.m_nCode);
        if (slot >= 0 && row.m_nFigureOutOfRange != 0) {
            // The stock keeps what it had, as when its row is missing.
            if (faults != nullptr) {
                faults->push_back({row.m_nCode, FiguresFaultText(row)});
            }
        } else if (slot >= 0) {
            std::memcpy(block.m_aStocks[slot].m_adFigures, row.m_adFigures,
                        sizeof row.m_adFigures);
            if (row.m_adFigures[0] > 0 || row.m_adFigures[1] > 0 || row.m_adFigures[3] > 0) {
                ++count;
            }
        }
        return true;
    });
    if (rowsFound != nullptr) {
        *rowsFound = rows;
    }
    return count;
}

int ParseFiguresPage(const char* path, CQuoteBlock& block, int* rowsFound,
                     std::vector<FiguresFault>* faults) {
    std::vector<char> page(kFiguresPageLimit + 1, '\0');
    std::size_t read = 0;
    if (ReadFileHead(path, std::span<char>(page.data(), kFiguresPageLimit), read, nullptr,
                     Links::kFollowed) != 0) {
        return -1;
    }
    page[read] = '\0';
    return ParseFiguresText(page.data(), block, rowsFound, faults);
}

}  // namespace tickora
