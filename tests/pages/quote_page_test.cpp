// SPDX-License-Identifier: GPL-3.0-or-later
// The "&d=v2" quote page parser on hand-built pages: cells, rows matched to the stocks they
// name, the site's no-match answer, the date rules, the page limit and the error log.
#include "pages/quote_page.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/quote_test_pages.h"
#include "tests/support/temp_dir.h"
#include "text/sjis.h"

namespace tickora {
namespace {

using test::EucJp;
using test::FillBlock;
using test::QuoteCells;
using test::QuotePage;
using test::QuoteRow;
using test::Row;

CStockRecord Record(const char* symbol) {
    CStockRecord stock;
    std::strncpy(stock.m_szSymbol, symbol, sizeof stock.m_szSymbol - 1);
    stock.m_nCode = std::atoi(symbol);
    return stock;
}

bool ParseRow(const std::string& text, CStockRecord& stock) {
    std::vector<char> bytes = test::Terminated(text);
    return ParseQuoteRow(bytes.data(), static_cast<int>(text.size()), stock);
}

TEST(QuoteRow, TenCellsFillTheRecord) {
    CStockRecord stock = Record("1301");
    ASSERT_TRUE(ParseRow(QuoteRow({}), stock));
    EXPECT_TRUE(stock.m_bFound);
    EXPECT_EQ(stock.m_nMonth, 12);
    EXPECT_EQ(stock.m_nDay, 28);
    EXPECT_DOUBLE_EQ(stock.m_dClose, 1234);
    EXPECT_DOUBLE_EQ(stock.m_dVolume, 56700);
    EXPECT_DOUBLE_EQ(stock.m_dOpen, 1200);
    EXPECT_DOUBLE_EQ(stock.m_dHigh, 1250);
    EXPECT_DOUBLE_EQ(stock.m_dLow, 1190);
}

struct SymbolCase {
    const char* cell;
    const char* recordSymbol;
    bool taken;
};

class QuoteRowSymbol : public ::testing::TestWithParam<SymbolCase> {};

TEST_P(QuoteRowSymbol, TakenOnlyForTheStockItNames) {
    const SymbolCase& c = GetParam();
    CStockRecord stock = Record(c.recordSymbol);
    QuoteCells cells;
    cells.symbol = c.cell;
    EXPECT_EQ(ParseRow(QuoteRow(cells), stock), c.taken);
    EXPECT_EQ(stock.m_bFound, c.taken);
    // A row that is not taken leaves the record exactly as it was.
    EXPECT_DOUBLE_EQ(stock.m_dClose, c.taken ? 1234 : 0);
    EXPECT_EQ(stock.m_nMonth, c.taken ? 12 : 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, QuoteRowSymbol,
    ::testing::Values(SymbolCase{"1332", "1332", true}, SymbolCase{"1332", "1333", false},
                      SymbolCase{"1332.O", "1332", true}, SymbolCase{"1332.N", "1332", true},
                      SymbolCase{"1332.O", "9999", false}, SymbolCase{"1332.O", "13320", false},
                      SymbolCase{"1332.T", "9999", false}, SymbolCase{"1332.T", "1332.T", true},
                      SymbolCase{"13.O", "9999", false}, SymbolCase{"  1332 extra", "1332", true},
                      SymbolCase{"<a href=\"/q?s=1332\">1332</a>", "1332", true},
                      SymbolCase{"1332", "1332 ", false}, SymbolCase{"", "1332", false}));

TEST(QuoteRow, SymbolCellOf31BytesIsComparedWhole) {
    for (const size_t size : {30, 31}) {
        CStockRecord stock = Record("1332");
        QuoteCells cells;
        cells.symbol = "1332" + std::string(size - 4, ' ');
        EXPECT_EQ(ParseRow(QuoteRow(cells), stock), size == 30) << size;
    }
}

struct CellCase {
    const char* date;
    const char* close;
    int month;  // the record starts with 3/4
    int day;
    double expectedClose;
};

class QuoteRowCells : public ::testing::TestWithParam<CellCase> {};

TEST_P(QuoteRowCells, DateAndPriceRules) {
    const CellCase& c = GetParam();
    CStockRecord stock = Record("1301");
    stock.m_nMonth = 3;
    stock.m_nDay = 4;
    QuoteCells cells;
    cells.date = c.date;
    cells.close = c.close;
    ASSERT_TRUE(ParseRow(QuoteRow(cells), stock));
    EXPECT_EQ(stock.m_nMonth, c.month);
    EXPECT_EQ(stock.m_nDay, c.day);
    EXPECT_DOUBLE_EQ(stock.m_dClose, c.expectedClose);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, QuoteRowCells,
    ::testing::Values(CellCase{"12/28", "1,234", 12, 28, 1234}, CellCase{"1/31", "980", 1, 31, 980},
                      CellCase{"<small>2/3</small>", "12.5", 2, 3, 12.5},
                      CellCase{"15:00", "1,234.5", 3, 4, 1234.5},
                      CellCase{"13/5", "1234", 3, 4, 1234}, CellCase{"12/32", "1", 3, 4, 1},
                      CellCase{"0/5", "1", 3, 4, 1}, CellCase{"12/", "1", 3, 4, 1},
                      CellCase{"/28", "1", 3, 4, 1}, CellCase{"-", "-", 3, 4, 0},
                      // A first conversion that gives 0 is retried on the number's own bytes.
                      CellCase{"12/28", "*1,234", 12, 28, 1234},
                      CellCase{"12/28", "abc12.5xyz", 12, 28, 12.5},
                      CellCase{"12/28", "0", 12, 28, 0}, CellCase{"12/28", "+1,250", 12, 28, 1250},
                      CellCase{"12/28", " 980", 12, 28, 980}));

TEST(QuoteRow, NoMatchNameMarksTheStockNotFoundButTakesTheRow) {
    struct Case {
        const char* name;
        bool found;
    } cases[] = {
        {"一致する銘柄はありません", false},
        {"一致する銘柄です", false},  // the first six characters decide
        {"一致する銘", true},
        {"極洋", true},
    };
    for (const Case& c : cases) {
        CStockRecord stock = Record("1301");
        QuoteCells cells;
        cells.name = EucJp(c.name);
        EXPECT_TRUE(ParseRow(QuoteRow(cells), stock)) << c.name;
        EXPECT_EQ(stock.m_bFound, c.found) << c.name;
    }
}

TEST(QuoteRow, RowWithoutNameCellIsNotTaken) {
    CStockRecord stock = Record("1301");
    EXPECT_FALSE(ParseRow("<tr><td>1301</td></tr>", stock));
    EXPECT_FALSE(ParseRow("", stock));
    // Even a cut-off name cell makes the row taken.
    EXPECT_TRUE(ParseRow("<tr><td>1301</td><td", stock));
}

TEST(QuoteRow, CellSearchRunsIntoTheNextRow) {
    // A short row takes the first cell of the row after it as its next cell: here the close.
    const std::string text = Row({"1301", "ABC", "12/28"}) + Row({"777", "X"});
    CStockRecord stock = Record("1301");
    const std::string firstRow = Row({"1301", "ABC", "12/28"});
    std::vector<char> bytes = test::Terminated(text);
    // The row's length ends at its "</tr>", as the page scan passes it.
    ASSERT_TRUE(ParseQuoteRow(bytes.data(), static_cast<int>(firstRow.size()) - 1, stock));
    EXPECT_DOUBLE_EQ(stock.m_dClose, 777);
    EXPECT_DOUBLE_EQ(stock.m_dVolume, 0);  // the cell after that lies beyond the row
}

TEST(QuoteRow, CellAfterTenthIsIgnored) {
    const std::string first = QuoteRow({});
    QuoteCells next;
    next.symbol = "9999";
    const std::string text = first + QuoteRow(next);
    std::vector<char> bytes = test::Terminated(text);
    CStockRecord stock = Record("1301");
    ASSERT_TRUE(ParseQuoteRow(bytes.data(), static_cast<int>(first.size()) - 1, stock));
    EXPECT_DOUBLE_EQ(stock.m_dClose, 1234);
    EXPECT_DOUBLE_EQ(stock.m_dLow, 1190);
}

class QuotePageTest : public ::testing::Test {
  protected:
    QuotePageTest() { FillBlock(block, {"1301", "1332", "1334"}); }

    void Parse(const std::string& page) {
        std::vector<char> bytes = test::Terminated(page);
        ParseQuoteText(bytes.data(), block, outcome);
    }

    static QuoteCells Stock(const char* symbol, const char* close = "100") {
        QuoteCells cells;
        cells.symbol = symbol;
        cells.close = close;
        return cells;
    }

    CQuoteBlock block{2};
    QuotePageOutcome outcome;
};

TEST_F(QuotePageTest, RowsFillSlotsInOrderAndHeaderRowsConsumeNone) {
    QuoteCells first = Stock("1301");
    first.date = "2/11";
    const std::string rows = Row({"code", "name"}) + QuoteRow(first) + QuoteRow(Stock("1332")) +
                             QuoteRow(Stock("1334", "300"));
    Parse(QuotePage(rows));
    EXPECT_EQ(block.m_nExtracted, 3);
    EXPECT_EQ(outcome.failedCount, 0);
    EXPECT_DOUBLE_EQ(block.m_aStocks[2].m_dClose, 300);
    EXPECT_EQ(block.m_nMonth, 2);
    EXPECT_EQ(block.m_nDay, 11);
}

// Each row is taken for the first stock, from the slot after the last one taken on, that its
// symbol names; a ".O"/".N" row names the stock of its four digits. The stocks a row passes over
// are the ones the page did not answer: failed, and logged. (Rows were once matched by their
// place: a ".O" row was taken for whatever slot was next, so one row missing or echoed in
// another spelling gave every later ".O" stock of the block its neighbour's prices.)
TEST_F(QuotePageTest, RowsAreMatchedToTheStocksTheyName) {
    using Rows = std::vector<std::pair<const char*, const char*>>;  // symbol cell, close
    struct Case {
        const char* name;
        std::vector<std::string> slots;
        Rows rows;
        std::vector<double> closes;  // each slot's close afterwards; 0 for none
        std::vector<int> failed;
    };
    const std::vector<std::string> five = {"1301", "1332", "1334", "1376", "1377"};
    const Case cases[] = {
        {"in order",
         five,
         {{"1301", "1"}, {"1332", "2"}, {"1334", "3"}, {"1376", "4"}, {"1377", "5"}},
         {1, 2, 3, 4, 5},
         {}},
        {"market-qualified rows of their own codes",
         five,
         {{"1301.O", "1"}, {"1332.N", "2"}, {"1334.O", "3"}, {"1376.O", "4"}, {"1377.N", "5"}},
         {1, 2, 3, 4, 5},
         {}},
        {"a row left out",
         five,
         {{"1301", "1"}, {"1334", "3"}, {"1376", "4"}, {"1377", "5"}},
         {1, 0, 3, 4, 5},
         {1}},
        {"a row echoed in another spelling, then market-qualified rows",
         five,
         {{"1301", "1"}, {"01332", "2"}, {"1334.O", "3"}, {"1376.O", "4"}, {"1377.N", "5"}},
         {1, 0, 3, 4, 5},
         {1}},
        {"a market-qualified row of a code not in the block",
         five,
         {{"9999.O", "9"},
          {"1301", "1"},
          {"1332", "2"},
          {"1334", "3"},
          {"1376", "4"},
          {"1377", "5"}},
         {1, 2, 3, 4, 5},
         {}},
        {"a row ahead of its turn passes over the stocks between; their rows come too late",
         five,
         {{"1301", "1"}, {"1376", "4"}, {"1332", "2"}, {"1334", "3"}, {"1377", "5"}},
         {1, 0, 0, 4, 5},
         {1, 2}},
        {"a row repeated",
         five,
         {{"1301", "1"}, {"1301", "7"}, {"1332", "2"}, {"1334", "3"}, {"1376", "4"}, {"1377", "5"}},
         {1, 2, 3, 4, 5},
         {}},
        {"stocks after the last row are neither taken nor failed",
         five,
         {{"1301", "1"}, {"1332", "2"}},
         {1, 2, 0, 0, 0},
         {}},
        {"rows beyond the block's stocks are not taken",
         {"1301", "1332"},
         {{"1301", "1"}, {"1332", "2"}, {"9999.O", "9"}, {"1301.O", "8"}, {"", "7"}},
         {1, 2},
         {}},
        {"a market-qualified row names only a four-digit symbol",
         {"998405", "1301", "13010"},
         {{"9984.O", "9"}, {"1301.O", "1"}, {"1301.O", "8"}},
         {0, 1, 0},
         {0}},
        {"a stock listed twice takes its rows in turn",
         {"1301", "1332", "1301"},
         {{"1301", "1"}, {"1332", "2"}, {"1301", "3"}},
         {1, 2, 3},
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CQuoteBlock fresh(0);
        FillBlock(fresh, c.slots);
        std::string rows;
        for (const auto& [symbol, close] : c.rows) {
            rows += QuoteRow(Stock(symbol, close));
        }
        std::vector<char> bytes = test::Terminated(QuotePage(rows));
        ParseQuoteText(bytes.data(), fresh, outcome);
        std::vector<double> closes;
        for (std::size_t i = 0; i < c.slots.size(); ++i) {
            closes.push_back(fresh.m_aStocks[i].m_dClose);
        }
        EXPECT_EQ(closes, c.closes);
        EXPECT_EQ(std::vector<int>(outcome.failedSlots, outcome.failedSlots + outcome.failedCount),
                  c.failed);
        EXPECT_EQ(fresh.m_nExtracted,
                  static_cast<int>(std::count_if(c.closes.begin(), c.closes.end(),
                                                 [](double close) { return close > 0; })));
    }
}

TEST_F(QuotePageTest, MarketQualifiedRowsTakeTheStocksOfTheirDigits) {
    Parse(QuotePage(QuoteRow(Stock("1301")) + QuoteRow(Stock("1332.O", "250")) +
                    QuoteRow(Stock("1334.N", "260"))));
    EXPECT_EQ(block.m_nExtracted, 3);
    EXPECT_DOUBLE_EQ(block.m_aStocks[1].m_dClose, 250);
    EXPECT_DOUBLE_EQ(block.m_aStocks[2].m_dClose, 260);
}

TEST_F(QuotePageTest, NoMatchNoPriceAndNoCodeAreTakenButFailed) {
    QuoteCells noMatch = Stock("1332");
    noMatch.name = EucJp("一致する銘柄はありません");
    block.m_aStocks[2].m_nCode = 0;
    Parse(QuotePage(QuoteRow(Stock("1301", "-")) + QuoteRow(noMatch) + QuoteRow(Stock("1334"))));
    EXPECT_EQ(block.m_nExtracted, 0);
    ASSERT_EQ(outcome.failedCount, 3);
    EXPECT_EQ(outcome.failedSlots[0], 0);
    EXPECT_EQ(outcome.failedSlots[1], 1);
    EXPECT_EQ(outcome.failedSlots[2], 2);
    EXPECT_FALSE(block.m_aStocks[1].m_bFound);
    EXPECT_FALSE(std::filesystem::exists(kErrorLogPath));  // the text parser writes nothing
}

TEST_F(QuotePageTest, FieldsThePageDoesNotSupplyKeepTheirValues) {
    block.m_aStocks[0].m_nMonth = 5;
    block.m_aStocks[0].m_nDay = 6;
    block.m_aStocks[0].m_dVolume = 42;
    Parse(QuotePage(Row({"1301", "ABC", "15:00", "100"})));
    EXPECT_EQ(block.m_nMonth, 5);
    EXPECT_EQ(block.m_nDay, 6);
    EXPECT_DOUBLE_EQ(block.m_aStocks[0].m_dVolume, 42);
    EXPECT_EQ(block.m_nExtracted, 1);
}

TEST_F(QuotePageTest, FiftySlotsAtMost) {
    CQuoteBlock full(0);
    std::vector<std::string> symbols;
    std::string rows;
    for (int i = 0; i < 52; ++i) {
        const std::string symbol = std::to_string(2000 + i);
        if (i < kStocksPerBlock) {
            symbols.push_back(symbol);
        }
        // The two extra rows are qualified, so they would be taken if a slot were left.
        rows += QuoteRow(Stock(i < kStocksPerBlock ? symbol.c_str() : "9999.O"));
    }
    FillBlock(full, symbols);
    std::vector<char> bytes = test::Terminated(rows);
    ParseQuoteText(bytes.data(), full, outcome);
    EXPECT_EQ(full.m_nExtracted, kStocksPerBlock);
}

TEST_F(QuotePageTest, StrayEndTagsAndTruncatedPagesAreSafe) {
    Parse("</tr></tr>" + QuoteRow(Stock("1301")));
    EXPECT_EQ(block.m_nExtracted, 1);
    // Pages cut anywhere in a row: each must parse without reading past its end.
    const std::string whole = QuoteRow(Stock("1301")) + QuoteRow(Stock("1332"));
    for (size_t cut = 0; cut <= whole.size(); ++cut) {
        CQuoteBlock cutBlock(0);
        FillBlock(cutBlock, {"1301", "1332"});
        std::vector<char> bytes = test::Terminated(whole.substr(0, cut));
        ParseQuoteText(bytes.data(), cutBlock, outcome);
        EXPECT_LE(cutBlock.m_nExtracted, 2);
    }
}

TEST_F(QuotePageTest, PageWithoutEndTagsTakesNoRow) {
    Parse("<table><tr><td>1301<td>ABC<td>12/28<td>100<tr><td>1332<td>X<td>1/1<td>5</table>");
    EXPECT_EQ(block.m_nExtracted, 0);
    EXPECT_EQ(outcome.failedCount, 0);
}

class QuotePageFileTest : public QuotePageTest {
  protected:
    test::ScopedWorkDir dir;
};

TEST_F(QuotePageFileTest, MissingFileLeavesTheBlockAlone) {
    block.m_nExtracted = 7;
    block.m_nMonth = 4;
    EXPECT_FALSE(ParseQuotePage("Webtemp/none.html", block));
    EXPECT_EQ(block.m_nExtracted, 7);
    EXPECT_EQ(block.m_nMonth, 4);
}

TEST_F(QuotePageFileTest, OnlyTheFirst153599BytesAreRead) {
    const std::string first = QuoteRow(Stock("1301"));
    const std::string second = QuoteRow(Stock("1332"));
    // second's last byte (the newline after "</tr>") is byte 153,599 of the file.
    const size_t padding = kQuotePageLimit - first.size() - second.size();
    const std::string fits = first + std::string(padding, ' ') + second;
    ASSERT_EQ(fits.size(), static_cast<size_t>(kQuotePageLimit));
    test::WriteFileBytes("fits.html", fits);
    EXPECT_TRUE(ParseQuotePage("fits.html", block));
    EXPECT_EQ(block.m_nExtracted, 2);

    // Two more bytes push the ">" of the second row's "</tr>" past the limit.
    CQuoteBlock other(0);
    FillBlock(other, {"1301", "1332"});
    test::WriteFileBytes("long.html", first + std::string(padding + 2, ' ') + second);
    EXPECT_TRUE(ParseQuotePage("long.html", other));
    EXPECT_EQ(other.m_nExtracted, 1);
}

TEST_F(QuotePageFileTest, ShorterSecondPageHasNoRowOfTheFirst) {
    test::WriteFileBytes(
        "long.html", QuoteRow(Stock("1301")) + QuoteRow(Stock("1332")) + QuoteRow(Stock("1334")));
    ASSERT_TRUE(ParseQuotePage("long.html", block));
    ASSERT_EQ(block.m_nExtracted, 3);

    CQuoteBlock next(3);
    FillBlock(next, {"1301", "1332", "1334"});
    test::WriteFileBytes("short.html", QuoteRow(Stock("1301")));
    ASSERT_TRUE(ParseQuotePage("short.html", next));
    EXPECT_EQ(next.m_nExtracted, 1);
    EXPECT_DOUBLE_EQ(next.m_aStocks[1].m_dClose, 0);
}

TEST_F(QuotePageFileTest, NulByteEndsThePageText) {
    test::WriteFileBytes("nul.html",
                         QuoteRow(Stock("1301")) + std::string(1, '\0') + QuoteRow(Stock("1332")));
    ASSERT_TRUE(ParseQuotePage("nul.html", block));
    EXPECT_EQ(block.m_nExtracted, 1);
}

TEST_F(QuotePageFileTest, FailedStocksAreAppendedToTheErrorLog) {
    const std::string name = Utf8ToSjis("極洋");
    std::snprintf(block.m_aStocks[1].m_szName, sizeof block.m_aStocks[1].m_szName, "%s",
                  name.c_str());
    test::WriteFileBytes(kErrorLogPath, "earlier\r\n");
    QuoteCells noMatch = Stock("1332");
    noMatch.name = EucJp("一致する銘柄はありません");
    test::WriteFileBytes("page.html", QuotePage(QuoteRow(Stock("1301")) + QuoteRow(noMatch)));

    QuotePageOutcome seen;
    ASSERT_TRUE(ParseQuotePage("page.html", block, &seen));
    ASSERT_TRUE(ParseQuotePage("page.html", block));
    EXPECT_EQ(seen.failedCount, 1);
    const std::string line = "page=2 code=1332 name=" + name + "\r\n";
    EXPECT_EQ(test::ReadFileBytes(kErrorLogPath), "earlier\r\n" + line + line);
}

TEST(AtofC, ReadsLikeAtofInTheCLocale) {
    EXPECT_DOUBLE_EQ(AtofC("  12.5abc"), 12.5);
    EXPECT_DOUBLE_EQ(AtofC("-3"), -3);
    EXPECT_DOUBLE_EQ(AtofC("+7.25"), 7.25);
    EXPECT_DOUBLE_EQ(AtofC("1e3"), 1000);
    EXPECT_DOUBLE_EQ(AtofC("1-2.3"), 1);
    EXPECT_DOUBLE_EQ(AtofC("-"), 0);
    EXPECT_DOUBLE_EQ(AtofC("+-1"), 0);
    EXPECT_DOUBLE_EQ(AtofC(""), 0);
    EXPECT_DOUBLE_EQ(AtofC("1,5"), 1);
}

}  // namespace
}  // namespace tickora
