// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalog/stock_list.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "catalog/clock.h"
#include "tests/support/temp_dir.h"
#include "text/sjis.h"

namespace tickora {
namespace {

constexpr const char* kHost = "http://quotes.test";

// Lines "code,code,market,Name code" for codes from first on.
std::string ListLines(int first, int count, const char* market = "T", const char* end = "\r\n") {
    std::string out;
    for (int i = 0; i < count; ++i) {
        const std::string code = std::to_string(first + i);
        out += code + "," + code + "," + market + ",Name " + code + end;
    }
    return out;
}

class StockListTest : public ::testing::Test {
  protected:
    void SetUp() override {
        test::WriteFileBytes("market.csv", "1,T, Tokyo\r\n2,O, Osaka\r\n3,N, Nagoya\r\n");
        ASSERT_EQ(markets_.Load(), 1);
    }
    int Load(const std::string& bytes) {
        test::WriteFileBytes("fetchlist.csv", bytes);
        return list_.Load(markets_, kHost);
    }
    const CStockRecord& Stock(int block, int slot) const {
        return list_.GetBlock(block)->m_aStocks[slot];
    }

    test::ScopedWorkDir dir_;
    CMarketTable markets_;
    CStockList list_;
};

TEST_F(StockListTest, FiftyStocksABlock) {
    struct Case {
        int lines;
        int blocks;
        int lastBlockStocks;
    } cases[] = {{1, 1, 1}, {49, 1, 49}, {50, 1, 50}, {51, 2, 1}, {100, 2, 50}, {101, 3, 1}};
    for (const Case& c : cases) {
        ASSERT_EQ(Load(ListLines(1000, c.lines)), 0) << c.lines;
        ASSERT_EQ(list_.m_nBlocks, c.blocks) << c.lines;
        EXPECT_EQ(list_.GetBlock(c.blocks - 1)->m_nStocks, c.lastBlockStocks) << c.lines;
        for (int b = 0; b + 1 < c.blocks; ++b) {
            EXPECT_EQ(list_.GetBlock(b)->m_nStocks, 50);
        }
        EXPECT_EQ(list_.GetBlock(c.blocks), nullptr);
        // Stocks keep the order of the file across blocks.
        EXPECT_EQ(Stock(c.blocks - 1, c.lastBlockStocks - 1).m_nCode, 1000 + c.lines - 1);
    }
}

TEST_F(StockListTest, FieldsOfALine) {
    ASSERT_EQ(Load("1301,1301,O,ABC,DEF\r\n1332 , 1332,X,Name\r\n"), 0);
    const CStockRecord& a = Stock(0, 0);
    EXPECT_STREQ(a.m_szSymbol, "1301");
    EXPECT_EQ(a.m_nCode, 1301);
    EXPECT_EQ(a.m_nMarket, 1);
    EXPECT_STREQ(a.m_szName, "ABC,DEF");  // commas in the name stay
    const CStockRecord& b = Stock(0, 1);
    EXPECT_STREQ(b.m_szSymbol, "1332 ");  // blanks before the first comma stay
    EXPECT_EQ(b.m_nCode, 1332);
    EXPECT_EQ(b.m_nMarket, 3);  // unknown market: the entry count
    EXPECT_STREQ(b.m_szName, "Name");
    EXPECT_STREQ(list_.GetPagePath(0), "Webtemp/webtemp-000.html");
    EXPECT_EQ(b.m_dClose, 0);
    EXPECT_EQ(list_.GetBlock(0)->m_nExtracted, 0);
}

TEST_F(StockListTest, ThreeLineEndingsLoadIdenticalRecords) {
    ASSERT_EQ(Load(ListLines(1000, 60, "T", "\r\n")), 0);
    CStockList crlf;
    std::swap(crlf.m_ppBlocks, list_.m_ppBlocks);
    crlf.m_nBlocks = list_.m_nBlocks;
    for (const char* end : {"\n", "\r"}) {
        ASSERT_EQ(Load(ListLines(1000, 60, "T", end)), 0);
        ASSERT_EQ(list_.m_nBlocks, crlf.m_nBlocks);
        for (int b = 0; b < list_.m_nBlocks; ++b) {
            const CQuoteBlock& x = *list_.GetBlock(b);
            const CQuoteBlock& y = *crlf.GetBlock(b);
            ASSERT_EQ(x.m_nStocks, y.m_nStocks);
            EXPECT_STREQ(x.m_szQuoteUrl, y.m_szQuoteUrl);
            for (int k = 0; k < x.m_nStocks; ++k) {
                EXPECT_STREQ(x.m_aStocks[k].m_szSymbol, y.m_aStocks[k].m_szSymbol);
                EXPECT_EQ(x.m_aStocks[k].m_nCode, y.m_aStocks[k].m_nCode);
                EXPECT_EQ(x.m_aStocks[k].m_nMarket, y.m_aStocks[k].m_nMarket);
                EXPECT_STREQ(x.m_aStocks[k].m_szName, y.m_aStocks[k].m_szName);
            }
        }
    }
}

TEST_F(StockListTest, UnterminatedLastLine) {
    ASSERT_EQ(Load("1301,1301,T,A\r\n1332,1332,T,B"), 0);
    EXPECT_EQ(list_.GetBlock(0)->m_nStocks, 1);
    ASSERT_EQ(Load("1301,1301,T,A\n1332,1332,T,B"), 0);
    EXPECT_EQ(list_.GetBlock(0)->m_nStocks, 1);
    ASSERT_EQ(Load("1301,1301,T,A\r1332,1332,T,B"), 0);
    ASSERT_EQ(list_.GetBlock(0)->m_nStocks, 2);
    EXPECT_STREQ(Stock(0, 1).m_szName, "B");
}

TEST_F(StockListTest, EmptyOrMissingFileLeavesNoList) {
    EXPECT_EQ(list_.Load(markets_, kHost, "missing.csv"), -1);
    EXPECT_EQ(Load(""), -1);
    EXPECT_EQ(list_.m_nBlocks, 0);
    EXPECT_EQ(list_.GetBlock(0), nullptr);
    EXPECT_STREQ(list_.GetQuoteUrl(0), "");
    // A loaded list is dropped by a failed reload rather than kept half.
    ASSERT_EQ(Load(ListLines(1000, 3)), 0);
    EXPECT_EQ(Load("1301,1301,T,A"), -1);
    EXPECT_EQ(list_.m_nBlocks, 0);
}

TEST_F(StockListTest, NamesAreCutAtThirtyBytesOnACharacterBoundary) {
    const std::string kanji = Utf8ToSjis("株");
    struct Case {
        std::string name;
        std::string expected;
    } cases[] = {
        {std::string(30, 'a'), std::string(30, 'a')},
        {std::string(31, 'a'), std::string(30, 'a')},
        {std::string(60, 'a'), std::string(30, 'a')},
        // A double-byte character whose first byte is the 30th stays whole: 31 bytes.
        {std::string(29, 'a') + kanji + "bb", std::string(29, 'a') + kanji},
        {std::string(28, 'a') + kanji + kanji, std::string(28, 'a') + kanji},
        {std::string(15, 'a') + kanji + kanji + kanji + kanji + kanji + kanji + kanji + kanji,
         std::string(15, 'a') + kanji + kanji + kanji + kanji + kanji + kanji + kanji + kanji},
        {"", ""},
    };
    std::string file;
    for (const Case& c : cases) {
        file += "1301,1301,T," + c.name + "\r\n";
    }
    ASSERT_EQ(Load(file), 0);
    for (int k = 0; k < static_cast<int>(std::size(cases)); ++k) {
        EXPECT_EQ(std::string(Stock(0, k).m_szName), cases[k].expected) << k;
    }
}

TEST_F(StockListTest, OverlongAndBrokenLinesDoNotDisturbTheOthers) {
    const std::string longLine = "1302,1302,T," + std::string(200, 'z') + "\r\n";
    ASSERT_EQ(Load("1301,1301,T,A\r\n" + longLine +
                   "\r\n"                   // blank
                   "1303\r\n"               // one column
                   ",1304,T,NoSymbol\r\n"   // empty first column
                   "1305,abc,T,NoCode\r\n"  // no code
                   "1306,1306,T\r\n"        // two commas
                   "1307,1307,O,G\r\n"),
              0);
    const CQuoteBlock& block = *list_.GetBlock(0);
    ASSERT_EQ(block.m_nStocks, 3);
    EXPECT_EQ(Stock(0, 0).m_nCode, 1301);
    EXPECT_EQ(Stock(0, 1).m_nCode, 1302);
    EXPECT_EQ(std::string(Stock(0, 1).m_szName), std::string(30, 'z'));
    EXPECT_EQ(Stock(0, 2).m_nCode, 1307);
    EXPECT_STREQ(Stock(0, 2).m_szName, "G");
}

// Hand-edited lists: mixed line ends, UTF-8 text, and lines the record could hold only changed.
// Every stock of the file is read, or a notice names the line that was not and says why.
TEST_F(StockListTest, HandEditedListsLoseNoStockSilently) {
    const std::string kUtf8 = "fetchlist.csv: UTF-8 text, read as Shift-JIS";
    struct Case {
        const char* name;
        std::string bytes;
        std::vector<int> codes;
        std::vector<std::string> notices;
    } cases[] = {
        {"a line appended with LF to a CR LF list",
         "1301,1301,T,A\r\n1332,1332,T,B\r\n1336,1336,T,added\n",
         {1301, 1332, 1336},
         {}},
        {"LF lines in the middle of a CR LF list",
         "1301,1301,T,A\r\n1332,1332,T,B\n1333,1333,T,C\n1334,1334,T,D\r\n",
         {1301, 1332, 1333, 1334},
         {}},
        {"a UTF-8 list", "1301,1301,T,極洋\n1332,1332,T,日本水産\n", {1301, 1332}, {kUtf8}},
        {"a UTF-8 line without a Shift-JIS form",
         "1301,1301,T,極洋\n1302,1302,T,😀\n1303,1303,T,C\n",
         {1301, 1303},
         {kUtf8, "fetchlist.csv line 2: a character has no Shift-JIS form; the line is not read"}},
        {"a symbol longer than its field",
         "ABCDEFGHIJKLMNOP,1301,T,A\r\nABCDEFGHIJKLMNO,1332,T,B\r\n",
         {1332},
         {"fetchlist.csv line 1: the symbol \"ABCDEFGHIJKLMNOP\" is longer than 15 bytes; the "
          "line is not read"}},
        {"a code beyond int",
         "1301,99999999999,T,A\r\n1332,1332,T,B\r\n",
         {1332},
         {"fetchlist.csv line 1: the code 99999999999 is out of range; the line is not read"}},
        {"a broken line, a blank line",
         "1301,1301\r\n\r\n1332,1332,T,B\r\n",
         {1332},
         {"fetchlist.csv line 1: not a line of symbol, code, market and name; not read"}},
    };
    for (const Case& c : cases) {
        test::WriteFileBytes("fetchlist.csv", c.bytes);
        std::vector<std::string> notices;
        ASSERT_EQ(list_.Load(markets_, kHost, "fetchlist.csv", &notices), 0) << c.name;
        std::vector<int> codes;
        for (int k = 0; k < list_.GetBlock(0)->m_nStocks; ++k) {
            codes.push_back(Stock(0, k).m_nCode);
        }
        EXPECT_EQ(codes, c.codes) << c.name;
        EXPECT_EQ(notices, c.notices) << c.name;
    }
    // The UTF-8 list's names are the Shift-JIS ones a Shift-JIS list gives.
    test::WriteFileBytes("fetchlist.csv", "1301,1301,T,極洋\n");
    ASSERT_EQ(Load(test::ReadFileBytes("fetchlist.csv")), 0);
    EXPECT_EQ(std::string(Stock(0, 0).m_szName), Utf8ToSjis("極洋"));
}

TEST_F(StockListTest, QuoteUrlsCarryTheMarketSuffixes) {
    ASSERT_EQ(Load("1301,1301,T,A\r\n1332,1332,O,B\r\n1334,1334,N,C\r\n1335,1335,X,D\r\n"), 0);
    EXPECT_STREQ(list_.GetQuoteUrl(0), "http://quotes.test/q?s=1301+1332.O+1334.N+1335&d=v2");
    EXPECT_STREQ(list_.GetFiguresUrl(0), "http://quotes.test/q?s=1301+1332.O+1334.N+1335&d=v3");
}

TEST_F(StockListTest, QuoteUrlsStopAtTheirField) {
    // Fifty 15-byte symbols need far more than the 511 bytes of a URL field.
    std::string file;
    for (int i = 0; i < 50; ++i) {
        file += "ABCDEFGHIJK" + std::to_string(1000 + i) + "," + std::to_string(1000 + i) +
                ",O,Name\r\n";
    }
    ASSERT_EQ(Load(file), 0);
    const CQuoteBlock& block = *list_.GetBlock(0);
    ASSERT_EQ(block.m_nStocks, 50);
    for (const char* url : {block.m_szQuoteUrl, block.m_szFiguresUrl}) {
        const std::size_t length = strnlen(url, sizeof block.m_szQuoteUrl);
        ASSERT_LT(length, sizeof block.m_szQuoteUrl);
        EXPECT_GT(length, 400u);
        const std::string text(url);
        EXPECT_EQ(text.rfind("http://quotes.test/q?s=ABCDEFGHIJK1000.O+ABCDEFGHIJK1001.O", 0), 0u);
        EXPECT_EQ(text.find("+&"), std::string::npos);
    }
    // The composition says that it had to stop, and how long the whole URL would be.
    CQuoteBlock copy = block;
    EXPECT_FALSE(copy.BuildUrls(markets_, kHost));
    EXPECT_EQ(
        copy.WholeQuoteUrlLength(markets_, kHost),
        std::strlen(kHost) + 5 + 50 * 17 + 49 + 5);  // "/q?s=", 50 x "...1000.O", "+"s, "&d=v2"
    copy.m_nStocks = 3;
    EXPECT_TRUE(copy.BuildUrls(markets_, kHost));
    EXPECT_EQ(std::string(block.m_szQuoteUrl).substr(strlen(block.m_szQuoteUrl) - 5), "&d=v2");
    EXPECT_EQ(std::string(block.m_szFiguresUrl).substr(strlen(block.m_szFiguresUrl) - 5), "&d=v3");
}

TEST_F(StockListTest, LookupsByCode) {
    ASSERT_EQ(Load(ListLines(1000, 50) + "1001,1001,N,Later\r\n1001,1001,O,Later still\r\n"), 0);
    EXPECT_EQ(list_.MarketOfCode(1000), 1);  // index 0 + 1
    EXPECT_EQ(list_.MarketOfCode(1001), 3);  // the first match of the later block wins
    EXPECT_EQ(list_.MarketOfCode(4000), 99);
    char symbol[16] = "garbage";
    list_.SymbolOfCode(1049, symbol);
    EXPECT_STREQ(symbol, "1049");
    list_.SymbolOfCode(4000, symbol);
    EXPECT_STREQ(symbol, "");
    const CQuoteBlock& second = *list_.GetBlock(1);
    EXPECT_EQ(second.IndexOfCode(1001), 0);
    EXPECT_EQ(second.IndexOfCode(0), 2);  // unused slots hold code 0
    EXPECT_EQ(list_.GetBlock(0)->IndexOfCode(0), -1);
    EXPECT_EQ(second.IndexOfCode(1049), -1);
}

TEST_F(StockListTest, QuoteDateFallsBackToTodayAndTakesTheYearFromTheClock) {
    SetTodayForTesting(LocalDate{2009, 1, 2});
    CQuoteBlock block(0);
    struct Case {
        int month;
        int day;
        int expectedMonth;
        int expectedDay;
    } cases[] = {{0, 0, 1, 2}, {12, 30, 12, 30}, {13, 15, 1, 15}, {6, 32, 6, 2}, {-1, 31, 1, 31}};
    for (const Case& c : cases) {
        block.m_nMonth = c.month;
        block.m_nDay = c.day;
        int y = 0;
        int m = 0;
        int d = 0;
        block.GetQuoteDate(&y, &m, &d);
        EXPECT_EQ(y, 2009);
        EXPECT_EQ(m, c.expectedMonth) << c.month;
        EXPECT_EQ(d, c.expectedDay) << c.day;
    }
    SetTodayForTesting(std::nullopt);
}

}  // namespace
}  // namespace tickora
