// SPDX-License-Identifier: GPL-3.0-or-later
// The "&d=v3" figures page parser on hand-built pages: the row rule (a code and ten cells), the
// number cells, the count, rows of other stocks and the page limit.
#include "pages/figures_page.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/quote_test_pages.h"
#include "tests/support/temp_dir.h"

namespace tickora {
namespace {

using test::FillBlock;
using test::Row;

// A stock row: code, four cells the parser does not use, then the five figure cells.
std::string FiguresRowText(const std::string& code, const std::vector<std::string>& figures) {
    std::vector<std::string> cells = {code, "name", "x", "y", "z"};
    cells.insert(cells.end(), figures.begin(), figures.end());
    return Row(cells);
}

int ParseRowText(const std::string& text, int length, FiguresRow& out) {
    std::vector<char> bytes = test::Terminated(text);
    return ParseFiguresRow(bytes.data(), length, out);
}

int ParseRowText(const std::string& text, FiguresRow& out) {
    return ParseRowText(text, static_cast<int>(text.size()), out);
}

TEST(FiguresRow, FigureCellsAreCleanedAndConverted) {
    FiguresRow row;
    ASSERT_EQ(ParseRowText(FiguresRowText("1301", {"1,000.5", "12.5", "-3", "0.8", ""}), row), 0);
    EXPECT_EQ(row.m_nCode, 1301);
    EXPECT_DOUBLE_EQ(row.m_adFigures[0], 1000);  // the first figure drops its decimal part
    EXPECT_DOUBLE_EQ(row.m_adFigures[1], 12.5);
    EXPECT_DOUBLE_EQ(row.m_adFigures[2], -3);
    EXPECT_DOUBLE_EQ(row.m_adFigures[3], 0.8);
    EXPECT_DOUBLE_EQ(row.m_adFigures[4], 0);
}

TEST(FiguresRow, MarkupUnitsAndLargeSumsInFigureCells) {
    FiguresRow row;
    ASSERT_EQ(ParseRowText(FiguresRowText("<a href=\"/x\">9984</a>",
                                          {"<b>12,345,678,901</b>", "1.5%", "abc", "--", "-"}),
                           row),
              0);
    EXPECT_EQ(row.m_nCode, 9984);
    EXPECT_DOUBLE_EQ(row.m_adFigures[0], 12345678901.0);
    EXPECT_DOUBLE_EQ(row.m_adFigures[1], 1.5);
    EXPECT_DOUBLE_EQ(row.m_adFigures[2], 0);
    EXPECT_DOUBLE_EQ(row.m_adFigures[3], 0);
    EXPECT_DOUBLE_EQ(row.m_adFigures[4], 0);
}

TEST(FiguresRow, RowsThatAreNotStockRows) {
    const std::vector<std::string> five = {"1", "2", "3", "4", "5"};
    struct Case {
        std::string text;
        int result;
    } cases[] = {
        {FiguresRowText("1000", five), 0},
        {FiguresRowText("9999", five), 0},
        {FiguresRowText("999", five), -1},
        {FiguresRowText("10000", five), -1},
        {FiguresRowText("998407", five), -1},
        {FiguresRowText("0", five), -1},
        {FiguresRowText("code", five), -1},
        {FiguresRowText("1301", {"1", "2", "3", "4"}), -1},  // nine cells
        {FiguresRowText("1301", {"1", "2", "3", "4", "5", "6"}), 0},
        {"<tr><th>1301</th></tr>", -1},
        {"", -1},
    };
    for (const Case& c : cases) {
        FiguresRow row;
        EXPECT_EQ(ParseRowText(c.text, row), c.result) << c.text;
    }
}

TEST(FiguresRow, CellsOfTheNextRowDoNotCompleteAShortRow) {
    const std::string nine = FiguresRowText("1301", {"1", "2", "3", "4"});
    const std::string text = nine + FiguresRowText("1332", {"1", "2", "3", "4", "5"});
    FiguresRow row;
    EXPECT_EQ(ParseRowText(text, static_cast<int>(nine.size()) - 1, row), -1);
}

class FiguresPageTest : public ::testing::Test {
  protected:
    FiguresPageTest() { FillBlock(block, {"1301", "1332", "1334"}); }

    int Parse(const std::string& page) {
        std::vector<char> bytes = test::Terminated(page);
        return ParseFiguresText(bytes.data(), block);
    }

    static std::string Page(const std::string& rows) {
        return "<html><body><table>\n<tr><th>code</th><th>name</th></tr>\n" +
               Row({"code", "name", "a", "b", "c", "d", "e", "f", "g", "h"}) + rows +
               "</table></body></html>\n";
    }

    CQuoteBlock block{0};
};

TEST_F(FiguresPageTest, FiguresGoToTheStockOfTheCodeAndOnlySomeAreCounted) {
    const int count = Parse(Page(FiguresRowText("1334", {"1,000.5", "12.5", "-3", "0.8", ""}) +
                                 FiguresRowText("1301", {"0", "0", "5", "0", "9"}) +
                                 FiguresRowText("1332", {"0", "0", "0", "7", "0"})));
    EXPECT_EQ(count, 2);  // figures 1, 2 or 4 above 0
    EXPECT_DOUBLE_EQ(block.m_aStocks[2].m_adFigures[0], 1000);
    EXPECT_DOUBLE_EQ(block.m_aStocks[2].m_adFigures[3], 0.8);
    EXPECT_DOUBLE_EQ(block.m_aStocks[0].m_adFigures[2], 5);  // stored though not counted
    EXPECT_DOUBLE_EQ(block.m_aStocks[0].m_adFigures[4], 9);
    EXPECT_DOUBLE_EQ(block.m_aStocks[1].m_adFigures[3], 7);
}

TEST_F(FiguresPageTest, RowsOfOtherStocksAreIgnoredAndEarlierFiguresStay) {
    block.m_aStocks[1].m_adFigures[0] = 77;
    const int count = Parse(Page(FiguresRowText("9999", {"1", "2", "3", "4", "5"}) +
                                 FiguresRowText("1301", {"1", "2", "3", "4"})));
    EXPECT_EQ(count, 0);
    EXPECT_DOUBLE_EQ(block.m_aStocks[1].m_adFigures[0], 77);
    EXPECT_DOUBLE_EQ(block.m_aStocks[0].m_adFigures[0], 0);
}

TEST_F(FiguresPageTest, RepeatedCodeIsStoredTwiceAndCountedTwice) {
    const int count = Parse(Page(FiguresRowText("1332", {"1", "2", "3", "4", "5"}) +
                                 FiguresRowText("1332", {"6", "7", "8", "9", "10"})));
    EXPECT_EQ(count, 2);
    EXPECT_DOUBLE_EQ(block.m_aStocks[1].m_adFigures[0], 6);
}

// A figure the performance file cannot hold (beyond 64 bits, infinite, 10^15 and more) leaves the
// stock's figures as they were, uncounted, and names the figure; the largest that fit are stored.
TEST_F(FiguresPageTest, FiguresTheFileCannotHoldAreNotStored) {
    struct Case {
        std::vector<std::string> figures;
        int outOfRange;  // the figure named, 0 when the row is stored
    };
    const std::string digits400(400, '9');
    const Case cases[] = {
        {{"99999999999999999999", "1", "1", "1", "1"}, 1},
        {{"1", digits400, "1", "1", "1"}, 2},
        {{"1", "1", "1", "1,000,000,000,000,000", "1"}, 4},
        {{"999,999,999,999,999", "1", "1", "1", "-999999999999999"}, 0},
    };
    for (const Case& c : cases) {
        block.m_aStocks[0].m_adFigures[0] = 77;
        std::vector<FiguresFault> faults;
        std::vector<char> page;
        const std::string text = Page(FiguresRowText("1301", c.figures));
        page.assign(text.begin(), text.end());
        page.push_back('\0');
        const int count = ParseFiguresText(page.data(), block, nullptr, &faults);
        if (c.outOfRange == 0) {
            EXPECT_EQ(count, 1);
            EXPECT_TRUE(faults.empty());
            EXPECT_DOUBLE_EQ(block.m_aStocks[0].m_adFigures[0], 999999999999999.0);
            continue;
        }
        EXPECT_EQ(count, 0) << c.outOfRange;
        EXPECT_DOUBLE_EQ(block.m_aStocks[0].m_adFigures[0], 77);
        ASSERT_EQ(faults.size(), 1u);
        EXPECT_EQ(faults[0].code, 1301);
        EXPECT_EQ(faults[0].text.rfind("figure " + std::to_string(c.outOfRange) + " (", 0), 0u)
            << faults[0].text;
    }
}

TEST_F(FiguresPageTest, StrayRowEndsAndCutPagesAreSafe) {
    EXPECT_EQ(Parse("</tr></tr>" + FiguresRowText("1301", {"1", "2", "3", "4", "5"})), 1);
    const std::string whole = FiguresRowText("1301", {"1", "2", "3", "4", "5"}) +
                              FiguresRowText("1332", {"1", "2", "3", "4", "5"});
    for (size_t cut = 0; cut <= whole.size(); ++cut) {
        CQuoteBlock cutBlock(0);
        FillBlock(cutBlock, {"1301", "1332"});
        std::vector<char> bytes = test::Terminated(whole.substr(0, cut));
        EXPECT_LE(ParseFiguresText(bytes.data(), cutBlock), 2);
    }
    // The page with every end tag stripped holds no row.
    EXPECT_EQ(Parse("<tr><td>1301<td>a<td>b<td>c<td>d<td>1<td>2<td>3<td>4<td>5<tr><td>1332"), 0);
}

class FiguresPageFileTest : public FiguresPageTest {
  protected:
    test::ScopedWorkDir dir;
};

TEST_F(FiguresPageFileTest, MissingFileIsMinusOne) {
    EXPECT_EQ(ParseFiguresPage("Webtemp/none.html", block), -1);
}

TEST_F(FiguresPageFileTest, OnlyTheFirst81920BytesAreExamined) {
    const std::string first = FiguresRowText("1301", {"1", "2", "3", "4", "5"});
    const std::string second = FiguresRowText("1332", {"1", "2", "3", "4", "5"});
    const size_t padding = kFiguresPageLimit - first.size() - second.size();
    test::WriteFileBytes("fits.html", first + std::string(padding, ' ') + second);
    EXPECT_EQ(ParseFiguresPage("fits.html", block), 2);
    test::WriteFileBytes("long.html", first + std::string(padding + 2, ' ') + second);
    EXPECT_EQ(ParseFiguresPage("long.html", block), 1);
}

}  // namespace
}  // namespace tickora
