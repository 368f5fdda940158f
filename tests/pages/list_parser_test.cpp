// SPDX-License-Identifier: GPL-3.0-or-later
// The listing-page parser on hand-built pages: the row marker, the special rows, the name rules,
// the page's byte limit and slot table, and the order of the writer's sort.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "pages/list_pages.h"
#include "tests/support/page_builder.h"
#include "tests/support/temp_dir.h"
#include "text/sjis.h"

namespace tickora {
namespace {

using test::EucJp;
using test::ListPage;
using test::ListRow;
using test::WriteFileBytes;

struct RowCase {
    const char* firstCell;
    const char* name;  // UTF-8; the row carries it in EUC-JP
    int result;
    int code;
    const char* symbol;
    const char* storedName;  // UTF-8 of the Shift-JIS name kept
};

class ListRowTest : public ::testing::TestWithParam<RowCase> {};

TEST_P(ListRowTest, TakesCodeSymbolAndName) {
    const RowCase& c = GetParam();
    const std::string row = ListRow(c.firstCell, c.name);
    CListEntry slot;
    EXPECT_EQ(ParseListRow(row.c_str(), static_cast<int>(row.size()), slot), c.result);
    EXPECT_EQ(slot.m_nCode, c.code);
    EXPECT_STREQ(slot.m_szSymbol, c.symbol);
    EXPECT_EQ(SjisToUtf8(slot.m_szName), c.storedName);
    EXPECT_EQ(slot.m_nMarketNo, 99);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ListRowTest,
    ::testing::Values(
        RowCase{"1301", "(株)極洋", 0, 1301, "1301", "極洋"},
        RowCase{"9999", "ABC(株)", 0, 9999, "9999", "ABC"},
        RowCase{"1000", "(株)X(株)", 0, 1000, "1000", "X(株)"},
        RowCase{"1332", "(株)", 0, 1332, "1332", ""},
        RowCase{"2001", "株式会社(株)", 0, 2001, "2001", "株式会社"},
        RowCase{"1301.T", "ニッスイ", 0, 1301, "1301.T", "ニッスイ"},
        // The three special rows get the codes the list knows them by; the symbol stays the cell.
        RowCase{"23337", "日経平均", 0, 1002, "23337", "日経平均"},
        RowCase{"998405", "TOPIX", 0, 1001, "998405", "TOPIX"},
        RowCase{"998407", "日経ジャスダック", -2, 1010, "998407", "日経ジャスダック"},
        // No number: not taken, but its name cell is still read into the slot.
        RowCase{"abc", "Name", 1, 0, "", "Name"},
        // Codes out of range end the page before anything of the row is stored.
        RowCase{"999", "Three", -1, 0, "", ""}, RowCase{"10000", "Five", -1, 0, "", ""},
        RowCase{"23338", "Near", -1, 0, "", ""}, RowCase{"-1301", "Minus", -1, 0, "", ""},
        // A first cell longer than the symbol field is cut at 15 bytes.
        RowCase{"1301ABCDEFGHIJKLMNOP", "Long", 0, 1301, "1301ABCDEFGHIJK", "Long"}));

TEST(ListRowName, LongNamesAreCutWithoutSplittingACharacter) {
    const std::string twenty = "あいうえおかきくけこさしすせそたちつてと";  // 40 bytes in SJIS
    struct {
        std::string name;
        std::string kept;
    } cases[] = {
        {twenty, "あいうえおかきくけこさしすせそ"},           // 30 bytes
        {"A" + twenty, "Aあいうえおかきくけこさしすせそ"},    // 31: the 15th kanji starts at 29
        {"(株)" + twenty, "あいうえおかきくけこさしすせそ"},  // removed before the cut
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZ0123", "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123"},  // exactly 30
    };
    for (const auto& c : cases) {
        const std::string row = ListRow("1301", c.name);
        CListEntry slot;
        ASSERT_EQ(ParseListRow(row.c_str(), static_cast<int>(row.size()), slot), 0);
        EXPECT_EQ(slot.m_szName, Utf8ToSjis(c.kept)) << c.name;
    }
}

TEST(ListRowCells, AShortRowBorrowsItsNameCellFromTheNextRow) {
    // Cells are searched beyond the row's "</tr>": a row with only its code cell takes the next
    // row's first cell as its name.
    const std::string first = "<tr><td><a href=\"/q?s=1301\">1301</a></td></tr>\n";
    const std::string text = first + ListRow("1332", "Next");
    CListEntry slot;
    EXPECT_EQ(ParseListRow(text.c_str(), static_cast<int>(first.size()), slot), 0);
    EXPECT_EQ(slot.m_nCode, 1301);
    EXPECT_STREQ(slot.m_szName, "1332");
}

TEST(ListRowCells, ACellFartherThanTheRowLengthMakesTheRowNotTaken) {
    const std::string first = "<tr><td><a href=\"/q?s=1301\">1301</a></td></tr>\n";
    const std::string text = first + std::string(200, ' ') + ListRow("1332", "Next");
    CListEntry slot;
    EXPECT_EQ(ParseListRow(text.c_str(), static_cast<int>(first.size()), slot), 1);
}

TEST(ListRowCells, OnlyTheFirstTwoCellsCount) {
    const std::string row = "<tr><td><a href=\"/q?s=1301\">1301</a></td><td>" + EucJp("極洋") +
                            "</td><td>(株)</td><td>9999</td></tr>";
    CListEntry slot;
    EXPECT_EQ(ParseListRow(row.c_str(), static_cast<int>(row.size()), slot), 0);
    EXPECT_EQ(slot.m_nCode, 1301);
    EXPECT_EQ(slot.m_szName, Utf8ToSjis("極洋"));
}

class ListPageTest : public ::testing::Test {
  protected:
    // Writes the page and parses it into a fresh page object.
    int Parse(const std::string& bytes) {
        WriteFileBytes("page.html", bytes);
        page = std::make_unique<CListPage>(0, "http://127.0.0.1:1");
        return ParseListPage("page.html", *page);
    }
    // The codes of the slots in order, up to the first empty one.
    std::vector<int> Codes() const {
        std::vector<int> codes;
        for (const CListEntry& e : page->m_aEntries) {
            if (e.m_nCode == 0) {
                break;
            }
            codes.push_back(e.m_nCode);
        }
        return codes;
    }

    test::ScopedWorkDir dir;
    std::unique_ptr<CListPage> page;
};

TEST_F(ListPageTest, RowsFillTheSlotsInOrder) {
    EXPECT_EQ(Parse(ListPage({ListRow("1332", "A"), ListRow("1301", "B"), ListRow("2001", "C")})),
              0);
    EXPECT_EQ(Codes(), (std::vector<int>{1332, 1301, 2001}));
    EXPECT_STREQ(page->m_aEntries[1].m_szName, "B");
}

TEST_F(ListPageTest, ARowWithoutNumberLeavesItsSlotToTheNextRow) {
    EXPECT_EQ(Parse(ListPage({ListRow("1332", "A"), ListRow("---", "Dash"), ListRow("1301", "B")})),
              0);
    EXPECT_EQ(Codes(), (std::vector<int>{1332, 1301}));
    EXPECT_STREQ(page->m_aEntries[1].m_szName, "B");
}

TEST_F(ListPageTest, ACodeOutOfRangeEndsThePageKeepingEarlierRows) {
    EXPECT_EQ(Parse(ListPage({ListRow("1332", "A"), ListRow("123", "Bad"), ListRow("1301", "B")})),
              -1);
    EXPECT_EQ(Codes(), (std::vector<int>{1332}));
}

TEST_F(ListPageTest, TheEndOfListRowIsTakenAndEndsTheScan) {
    EXPECT_EQ(
        Parse(ListPage({ListRow("9997", "A"), ListRow("998407", "End"), ListRow("9998", "After")})),
        -2);
    EXPECT_EQ(Codes(), (std::vector<int>{9997, 1010}));
    EXPECT_STREQ(page->m_aEntries[1].m_szSymbol, "998407");
}

TEST_F(ListPageTest, AMissingFileIsNotAPage) {
    page = std::make_unique<CListPage>(0, "http://127.0.0.1:1");
    EXPECT_EQ(ParseListPage("no-such-page.html", *page), -1);
    EXPECT_TRUE(Codes().empty());
}

TEST_F(ListPageTest, OnlyTheFirst10240BytesAreScanned) {
    // Rows of 200 bytes each: a row counts when its "</tr>" ends within the limit.
    std::vector<std::string> rows;
    for (int i = 0; i < 60; ++i) {
        std::string row = ListRow(std::to_string(1000 + i), "Name");
        row.insert(row.find("</tr>"), 200 - row.size(), ' ');
        rows.push_back(row);
    }
    const std::string text = ListPage(rows);
    const size_t header = text.find("<tr><td>");
    ASSERT_EQ(rows[0].size(), 200u);
    const int expected = static_cast<int>((kListPageLimit - header + 1) / 200);
    EXPECT_EQ(Parse(text), 0);
    EXPECT_EQ(static_cast<int>(Codes().size()), expected);
    EXPECT_GT(expected, 40);
    EXPECT_LT(expected, 60);
}

TEST_F(ListPageTest, NoRowOfAnEarlierLongerPageIsRead) {
    std::vector<std::string> rows;
    for (int i = 0; i < 40; ++i) {
        rows.push_back(ListRow(std::to_string(3000 + i), "Old"));
    }
    ASSERT_EQ(Parse(ListPage(rows)), 0);
    ASSERT_EQ(Codes().size(), 40u);
    // The short page shares the buffer; only its own row may come out.
    EXPECT_EQ(Parse("<table>" + ListRow("1301", "New")), 0);
    EXPECT_EQ(Codes(), (std::vector<int>{1301}));
}

TEST_F(ListPageTest, RowsBeyondTheSlotTableAreDropped) {
    std::vector<std::string> rows;
    for (int i = 0; i < 120; ++i) {
        rows.push_back("<tr><td><a href=\"/q?s=" + std::to_string(1000 + i) + "\">" +
                       std::to_string(1000 + i) + "</a></td><td>N</td></tr>");
    }
    ASSERT_LT(ListPage(rows).size(), static_cast<size_t>(kListPageLimit));
    EXPECT_EQ(Parse(ListPage(rows)), 0);
    EXPECT_EQ(static_cast<int>(Codes().size()), kListSlots);
    EXPECT_EQ(page->m_aEntries[kListSlots - 1].m_nCode, 1000 + kListSlots - 1);
}

TEST_F(ListPageTest, AnEndTagBeforeTheMarkerSkipsToTheNextRow) {
    EXPECT_EQ(Parse("<table></tr>\n" + ListRow("1301", "A")), 0);
    EXPECT_EQ(Codes(), (std::vector<int>{1301}));
}

TEST_F(ListPageTest, APageWithoutRowEndsFindsNothingAndEnds) {
    EXPECT_EQ(Parse("<table><tr><td><a href=\"/q?s=1301\">1301</a></td><td>A</td>"
                    "<tr><td><a href=\"/q?s=1332\">1332</a></td><td>B</td></table>"),
              0);
    EXPECT_TRUE(Codes().empty());
}

TEST(ListSort, RegularCodesAscendAfterTheOthers) {
    struct {
        int a;
        int b;
        int sign;
    } cases[] = {
        {0, 1301, -1},     {1301, 0, 1},     {1301, 1332, -1}, {1332, 1301, 1},
        {1301, 1301, 0},   {0, 0, 0},        {1001, 1301, -1}, {1010, 1002, 1},
        {10000, 1000, -1}, {9999, 10000, 1}, {999, 0, 1},      {1000, 9999, -1},
    };
    for (const auto& c : cases) {
        CListSortKey a;
        CListSortKey b;
        a.m_nCode = c.a;
        b.m_nCode = c.b;
        const int r = CompareListKeys(a, b);
        EXPECT_EQ((r > 0) - (r < 0), c.sign) << c.a << " vs " << c.b;
    }
}

}  // namespace
}  // namespace tickora
