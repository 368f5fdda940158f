// SPDX-License-Identifier: GPL-3.0-or-later
// The one row and cell scanner of the table pages: what each page's rules make of rows and cells
// that never close, and of a cell found past its row.
#include "pages/table_rows.h"

#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "text/text_scan.h"

namespace tickora {
namespace {

TEST(TableRows, FindOffsetIsFindTextFromZero) {
    struct Case {
        const char* text;
        const char* pattern;
        std::optional<int> expected;
    };
    const Case cases[] = {
        {"<tr><td>", "<td", 4}, {"<td", "<td", 0}, {"abc", "<td", std::nullopt},
        {"", "", std::nullopt}, {"x", "", 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FindOffset(c.text, c.pattern), c.expected) << c.text;
    }
}

TEST(TableRows, RowsRunToTheirCloseAndOpenRowsCreepOrStop) {
    struct Case {
        const char* text;
        OpenRow openRow;
        std::vector<std::string> rows;
    };
    const Case cases[] = {
        {"<tr>a</tr><tr>b</tr>", OpenRow::kStop, {"<tr>a</tr>", "<tr>b</tr>"}},
        // A stray close before the next row makes a row of no length, skipped.
        {"</tr><tr>a</tr>", OpenRow::kCreep, {"<tr>a</tr>"}},
        {"<tr>a</tr><tr>bcdef", OpenRow::kStop, {"<tr>a</tr>"}},
        // Without a close the scan steps four bytes at a time, each step's four bytes a row.
        {"<tr>a</tr><tr>bcdef", OpenRow::kCreep, {"<tr>a</tr>", "<tr>"}},
        {"xxxxxxxxx<tr>bcdef<tr>", OpenRow::kCreep, {"<tr", "<t"}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> rows;
        ForEachTableRow(c.text, static_cast<int>(std::strlen(c.text)), c.openRow,
                        [&](const char* row, int length) {
                            rows.emplace_back(row, static_cast<std::size_t>(length));
                            return true;
                        });
        EXPECT_EQ(rows, c.rows) << c.text;
    }
}

TEST(TableRows, CellsFollowTheRulesOfTheirPage) {
    struct Case {
        const char* row;
        int length;  // of the row; the text after it is the rest of the page
        CellRules rules;
        std::vector<std::string> cells;
        CellScanEnd end;
    };
    // Two cells in a row of 21 bytes, and a third in the rest of the page.
    const char* const twoCells = "<td>a</td><td>b</td> <td>c</td>";
    const Case cases[] = {
        {twoCells, 31, {2, true, false}, {"a", "b"}, CellScanEnd::kNoMoreCells},
        {twoCells, 21, {5, true, false}, {"a", "b"}, CellScanEnd::kCellBeyondRow},
        // The quote page reads on into the next row for cells its row lacks.
        {twoCells, 21, {5, false, false}, {"a", "b", "c"}, CellScanEnd::kNoMoreCells},
        {"<td>a</td><td>bcdefg", 20, {5, true, true}, {"a"}, CellScanEnd::kNoMoreCells},
        {"<td>a</td><td>bcdefg", 20, {5, true, false}, {"a", ""}, CellScanEnd::kNoMoreCells},
        {twoCells, 0, {5, false, false}, {}, CellScanEnd::kNoMoreCells},
    };
    for (const Case& c : cases) {
        std::vector<std::string> cells;
        const CellScanEnd end = ForEachRowCell(c.row, c.length, c.rules, [&](int, char* text) {
            cells.emplace_back(text);
            return true;
        });
        EXPECT_EQ(cells, c.cells) << c.row << " " << c.length;
        EXPECT_EQ(end, c.end) << c.row << " " << c.length;
    }
}

}  // namespace
}  // namespace tickora
