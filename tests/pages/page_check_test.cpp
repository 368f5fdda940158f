// Which answers of status 200 are whole pages: each row a page as it may arrive, and what the
// check makes of it before a byte of it is stored.
#include "pages/page_check.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/kdt_test_pages.h"

namespace tickora {
namespace {

using namespace std::string_literals;

struct ShapeCase {
    const char* name;
    std::string bytes;
    PageShape shape;
    bool emptyHistory = false;  // the empty history table that ends a history
    bool readToLimit = false;
};

std::string HistoryRows(int n) {
    std::string rows;
    for (int i = 0; i < n; ++i) {
        rows += test::DayRow(test::Day(2026, 11, 30 - i, 1000, 1010, 990, 1005, 100 + i));
    }
    return rows;
}

TEST(PageCheck, OnlyAWholeTableIsAWholePage) {
    const std::string whole = test::Page(HistoryRows(3));
    const std::string cut = whole.substr(0, whole.find("</table>") - 20);
    const ShapeCase cases[] = {
        {"whole", whole, PageShape::kWhole},
        {"empty history table", test::Page(""), PageShape::kWhole, true},
        {"empty body", "", PageShape::kNoTable},
        {"maintenance notice", "<html><body><p>maintenance</p></body></html>", PageShape::kNoTable},
        {"garbage with NULs", "\x01\x00\xff<tr\x00zz"s, PageShape::kNoTable},
        {"no end tags", "<table><tr><td>a<td>b<tr><td>c", PageShape::kNoTable},
        {"cut inside a row", cut, PageShape::kCutShort},
        {"cut after a row", whole.substr(0, whole.find("</table>")), PageShape::kCutShort},
        {"a NUL inside", whole.substr(0, 300) + '\0' + whole.substr(300), PageShape::kNulInside},
        {"NULs after the table's end", whole + std::string(100, '\0'), PageShape::kWhole},
        {"rows after the table's end", whole + "<tr><td>x</td></tr>", PageShape::kCutShort},
        {"read to its limit inside the table", cut, PageShape::kWhole, false, true},
        {"a table of rows but no date header",
         "<table><tr><td>maintenance</td></tr></table>", PageShape::kWhole},
    };
    for (const ShapeCase& c : cases) {
        SCOPED_TRACE(c.name);
        const PageCheck check = CheckTablePage(c.bytes, kLowerCaseTable, c.readToLimit);
        EXPECT_EQ(check.shape, c.shape) << PageShapeCause(check);
        EXPECT_EQ(IsEmptyHistoryTable(c.bytes), c.emptyHistory);
    }
    const PageCheck nul = CheckTablePage(cases[8].bytes, kLowerCaseTable);  // "a NUL inside"
    EXPECT_EQ(nul.nulAt, 300u);
    EXPECT_EQ(PageShapeCause(nul), "the page holds a NUL byte at offset 300");
    // A profile page writes its markup in capitals.
    EXPECT_TRUE(CheckTablePage("<TABLE><TR><TD>x</TD></TR></TABLE>", kUpperCaseTable).Whole());
    EXPECT_EQ(CheckTablePage("<TABLE><TR><TD>x</TD></TR>", kUpperCaseTable).shape,
              PageShape::kCutShort);
}

}  // namespace
}  // namespace tickora
