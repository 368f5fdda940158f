// SPDX-License-Identifier: GPL-3.0-or-later
#include "formats/quote_file_reader.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <filesystem>
#include <string>

#include "catalog/clock.h"
#include "files/local_file.h"
#include "formats/quote_file.h"
#include "tests/support/list_fixture.h"
#include "tests/support/temp_dir.h"
#include "text/sjis.h"

namespace tickora {
namespace {

using test::AddMarket;
using test::AddStock;
using test::Market;
using test::Quote;

// The day every file here is of: block 0 holds its month and day, the clock its year.
constexpr LocalDate kDay{2026, 12, 8};

CMarketTable Markets() {
    CMarketTable table;
    AddMarket(table, Market("T", 1, Utf8ToSjis(" 東証1部")));
    AddMarket(table, Market("M", 3, Utf8ToSjis(" 東証マザーズ")));
    AddMarket(table, Market("S", 3, Utf8ToSjis(" 札証")));  // shares its number
    return table;
}

// A day's stocks with what each layout holds in part: names past 12 bytes (one cut inside a
// character), a comma and a quote in names, a market known by its number only, an unknown
// market, fractions, a close alone, a fraction single precision rounds away, a stock without a
// price, and enough stocks for two blocks.
CStockList DayList(const CMarketTable& markets) {
    CStockList list;
    AddStock(list, 1301, 0, Utf8ToSjis("極洋"), Quote{3050, 3100, 3020, 3080, 41200});
    AddStock(list, 1332, 0, Utf8ToSjis("日本水産株式会社"), Quote{812.5, 820, 801.25, 815.75, 2e6});
    AddStock(list, 1333, 1, "A" + Utf8ToSjis("マルハニチロ"), Quote{2701, 2750, 2690, 2733, 5e5});
    AddStock(list, 1377, 2, "Sakata, \"Seed\" Co", Quote{4000, 4010, 3990, 4005, 100});
    AddStock(list, 1379, 3, Utf8ToSjis("ホクト"), Quote{0, 0, 0, 2345, 7});  // unknown market
    AddStock(list, 1380, 0, "No quote today", Quote{});
    AddStock(list, 1381, 0, "Tiny fraction", Quote{100, 105, 99, 102.002, 900});
    AddStock(list, 1382, 0, "Rounded away", Quote{262144.99, 262144.99, 262144.99, 262144.99, 1});
    AddStock(list, 1383, 0, std::string(31, 'N'), Quote{10, 11, 9, 10.5, 2147483647});
    for (int code = 2000; list.m_nBlocks < 2 || list.GetBlock(1)->m_nStocks < 5; ++code) {
        AddStock(list, code, code % 3, "Filler " + std::to_string(code),
                 Quote{100.0 + code % 7, 110, 90, 101.0 + code % 5, 1000.0 + code});
    }
    list.GetBlock(0)->m_nMonth = kDay.month;
    list.GetBlock(0)->m_nDay = kDay.day;
    list.GetBlock(0)->m_nExtracted = 49;
    list.GetBlock(1)->m_nExtracted = 4;
    (void)markets;
    return list;
}

// The bytes WriteQuoteFile writes for list in layout into a folder of their own.
std::string Written(const CStockList& list, int layout, const CMarketTable& markets, bool decimals,
                    const std::string& folder) {
    std::filesystem::create_directories(folder);
    const std::string path = WriteQuoteFile(list, layout, folder.c_str(), markets, decimals);
    EXPECT_FALSE(path.empty()) << folder;
    return path.empty() ? std::string() : test::ReadFileBytes(path);
}

std::string PathIn(const std::string& folder, int layout) {
    return QuoteFileName(folder.c_str(), layout, kDay.year, kDay.month, kDay.day);
}

class StoredQuoteFile : public ::testing::Test {
  protected:
    void SetUp() override { SetTodayForTesting(kDay); }
    void TearDown() override { SetTodayForTesting(std::nullopt); }
    test::ScopedWorkDir m_dir;
};

// A fetch writes layout A; the file read back and written through the same writer in layout B
// is, byte for byte, what the fetch would have written in B: every pair of layouts, with
// decimals off and on. The loaded list gives back what a layout holds in part (the fixed
// layout's names, a market by its number or by its name).
TEST_F(StoredQuoteFile, ReadBackAndWrittenAgainIsWhatTheFetchWritesInEveryLayout) {
    const CMarketTable markets = Markets();
    const CStockList list = DayList(markets);
    for (const bool decimals : {false, true}) {
        for (int from = 1; from <= 3; ++from) {
            for (int to = 1; to <= 3; ++to) {
                SCOPED_TRACE(std::to_string(from) + " to " + std::to_string(to) +
                             (decimals ? ", decimals" : ""));
                const std::string tag =
                    std::to_string(from) + std::to_string(to) + (decimals ? "d" : "w");
                Written(list, from, markets, decimals, "fetched" + tag);
                const StoredQuotes stored =
                    ReadQuoteFile(PathIn("fetched" + tag, from), markets, list);
                ASSERT_EQ(stored.fault, QuoteReadFault::kNone) << stored.line;
                EXPECT_EQ(stored.layout, from);
                EXPECT_EQ(stored.count, 53);
                EXPECT_EQ(stored.stocks, 54);  // all but the stock without a price
                EXPECT_EQ(stored.namesCut + stored.marketsUnknown, 0);
                EXPECT_EQ(Written(stored.records, to, markets, decimals, "saved" + tag),
                          Written(list, to, markets, decimals, "expected" + tag));
            }
        }
    }
}

// What one stock's line becomes when the stored file holds less than the fetch had, or the
// list that gave the rest is gone: each row says what is lost.
TEST_F(StoredQuoteFile, WhatALayoutHoldsInPartIsLostOnlyWhereNothingGivesItBack) {
    const CMarketTable markets = Markets();
    CMarketTable withoutMothers;
    AddMarket(withoutMothers, Market("T", 1, Utf8ToSjis(" 東証1部")));
    struct Case {
        const char* what;
        int from;
        bool fromDecimals;
        int to;
        bool toDecimals;
        int market;
        std::string name;
        Quote quote;
        bool listKnown;       // the loaded list still holds the stock
        bool tableKnown;      // the market table still holds its market
        std::string saved;    // its line as saved
        std::string fetched;  // its line as a fetch writes it in that layout
        int namesCut;
        int marketsUnknown;
    } cases[] = {
        {"whole numbers saved with decimals: the fractions were never stored", 3, false, 3, true, 0,
         "ABC", Quote{100.5, 105.25, 99, 102.75, 900}, true, true,
         "1301,1,ABC,100,105,99,102,900\r\n", "1301,1,ABC,100.50,105.25,99.00,102.75,900\r\n", 0,
         0},
        {"decimals saved in whole numbers: a fraction single precision rounded up", 3, true, 3,
         false, 0, "ABC", Quote{0, 0, 0, 262144.99, 900}, true, true,
         "1301,1,ABC,262145,262145,262145,262145,900\r\n",
         "1301,1,ABC,262144,262144,262144,262144,900\r\n", 0, 0},
        {"decimals kept: a fraction single precision rounded away stays in decimals", 1, true, 3,
         true, 0, "ABC", Quote{0, 0, 0, 262144.99, 900}, true, true,
         "1301,1,ABC,262145.00,262145.00,262145.00,262145.00,900\r\n",
         "1301,1,ABC,262145.00,262145.00,262145.00,262145.00,900\r\n", 0, 0},
        {"the fixed layout without the list: the name's first 12 bytes", 2, false, 3, false, 0,
         Utf8ToSjis("日本水産株式会社"), Quote{0, 0, 0, 815, 1}, false, true,
         "1301,1," + Utf8ToSjis("日本水産株式") + ",815,815,815,815,1\r\n",
         "1301,1," + Utf8ToSjis("日本水産株式会社") + ",815,815,815,815,1\r\n", 1, 0},
        {"the fixed layout without the list: a character cut in two", 2, false, 1, false, 0,
         "A" + Utf8ToSjis("日本水産株式"), Quote{0, 0, 0, 815, 1}, false, true,
         "1301\t\"" + Utf8ToSjis(" 東証1部") + "\"\t\"A" + Utf8ToSjis("日本水産株") +
             std::string(1, '\x8e') + "\"\t815\t815\t815\t815\t1\r\n",
         "1301\t\"" + Utf8ToSjis(" 東証1部") + "\"\t\"A" + Utf8ToSjis("日本水産株式") +
             "\"\t815\t815\t815\t815\t1\r\n",
         1, 0},
        {"a number two markets share, without the list: the first of them", 3, false, 1, false, 2,
         "ABC", Quote{0, 0, 0, 815, 1}, false, true,
         "1301\t\"" + Utf8ToSjis(" 東証マザーズ") + "\"\t\"ABC\"\t815\t815\t815\t815\t1\r\n",
         "1301\t\"" + Utf8ToSjis(" 札証") + "\"\t\"ABC\"\t815\t815\t815\t815\t1\r\n", 0, 0},
        {"a market the table no longer holds: the unknown market", 1, false, 3, false, 1, "ABC",
         Quote{0, 0, 0, 815, 1}, false, false, "1301,0,ABC,815,815,815,815,1\r\n",
         "1301,3,ABC,815,815,815,815,1\r\n", 0, 1},
        {"the fixed layout's rounded volume in a layout that cuts it", 2, false, 3, false, 0, "ABC",
         Quote{0, 0, 0, 815, 900.6}, true, true, "1301,1,ABC,815,815,815,815,901\r\n",
         "1301,1,ABC,815,815,815,815,900\r\n", 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        test::ScopedWorkDir dir;
        CStockList list;
        AddStock(list, 1301, c.market, c.name, c.quote);
        list.GetBlock(0)->m_nMonth = kDay.month;
        list.GetBlock(0)->m_nDay = kDay.day;
        list.GetBlock(0)->m_nExtracted = 1;
        Written(list, c.from, markets, c.fromDecimals, "fetched");
        // What the program holds when it saves: the list and the market table of that day.
        const CStockList none;
        const CMarketTable& table = c.tableKnown ? markets : withoutMothers;
        const StoredQuotes stored =
            ReadQuoteFile(PathIn("fetched", c.from), table, c.listKnown ? list : none);
        ASSERT_EQ(stored.fault, QuoteReadFault::kNone) << stored.line;
        EXPECT_EQ(stored.namesCut, c.namesCut);
        EXPECT_EQ(stored.marketsUnknown, c.marketsUnknown);
        const std::string header = QuoteFileHeader(c.to, kDay.year, kDay.month, kDay.day, 1);
        EXPECT_EQ(Written(stored.records, c.to, table, c.toDecimals, "saved"), header + c.saved);
        EXPECT_EQ(Written(list, c.to, markets, c.toDecimals, "expected"), header + c.fetched);
    }
}

// A stored file that is not one the writer wrote, or not a regular file of its own, is named
// and never read as stocks.
TEST_F(StoredQuoteFile, WhatCannotBeReadIsNamedWithItsLine) {
    const CMarketTable markets = Markets();
    const CStockList none;
    const std::string header3 = "261208\r\n2,0\r\n";
    struct Case {
        const char* what;
        std::string bytes;  // "" with a special kind below
        const char* kind;   // "file", "missing", "folder", "link", "fifo", "huge"
        QuoteReadFault fault;
        int line;
        int error;
        int stocks;  // stock lines read
    } cases[] = {
        {"header only", header3, "file", QuoteReadFault::kNone, 0, 0, 0},
        {"two stocks", header3 + "1301,1,A,1,2,1,2,3\r\n1332,1,B,1,2,1,2,3\r\n", "file",
         QuoteReadFault::kNone, 0, 0, 2},
        {"missing", "", "missing", QuoteReadFault::kCannotOpen, 0, ENOENT, 0},
        {"a folder", "", "folder", QuoteReadFault::kCannotOpen, 0, EISDIR, 0},
        {"a link", header3, "link", QuoteReadFault::kCannotOpen, 0, ELOOP, 0},
        {"a FIFO", "", "fifo", QuoteReadFault::kCannotOpen, 0, kNotRegularFile, 0},
        {"larger than any list", "", "huge", QuoteReadFault::kTooLarge, 0, 0, 0},
        {"empty", "", "file", QuoteReadFault::kNotQuoteFile, 1, 0, 0},
        {"another program's text", "hello\r\nworld\r\n", "file", QuoteReadFault::kNotQuoteFile, 1,
         0, 0},
        {"a month 13", "261308\r\n2,0\r\n", "file", QuoteReadFault::kNotQuoteFile, 1, 0, 0},
        {"LF line ends", "261208\n2,0\n", "file", QuoteReadFault::kNotQuoteFile, 1, 0, 0},
        {"cut inside a line", header3 + "1301,1,A,1,2,1,2,3\r\n1332,1,B,1,2", "file",
         QuoteReadFault::kBadLine, 4, 0, 1},
        {"a price of letters", header3 + "1301,1,A,1,x,1,2,3\r\n", "file", QuoteReadFault::kBadLine,
         3, 0, 0},
        {"a close of 0", header3 + "1301,1,A,1,2,1,0,3\r\n", "file", QuoteReadFault::kBadLine, 3, 0,
         0},
        {"too few fields", header3 + "1301,1,A,1,2,3\r\n", "file", QuoteReadFault::kBadLine, 3, 0,
         0},
        {"a name longer than a record holds",
         header3 + "1301,1," + std::string(32, 'N') + ",1,2,1,2,3\r\n", "file",
         QuoteReadFault::kBadLine, 3, 0, 0},
        {"a fixed name not of 12 bytes", "20261208\r\n1,0\r\n1301,1,AB,1,2,1,2,3\r\n", "file",
         QuoteReadFault::kBadLine, 3, 0, 0},
        {"a tabbed line without quotes",
         QuoteFileHeader(1, 2026, 12, 8, 1) + "1301\tT\tA\t1\t2\t1\t2\t3\r\n", "file",
         QuoteReadFault::kBadLine, 5, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        test::ScopedWorkDir dir;
        const std::string kind = c.kind;
        if (kind == "file") {
            test::WriteFileBytes("DS261208.DAT", c.bytes);
        } else if (kind == "folder") {
            std::filesystem::create_directory("DS261208.DAT");
        } else if (kind == "link") {
            test::WriteFileBytes("elsewhere.DAT", c.bytes);
            std::filesystem::create_symlink("elsewhere.DAT", "DS261208.DAT");
        } else if (kind == "fifo") {
            ASSERT_EQ(::mkfifo("DS261208.DAT", 0600), 0);
        } else if (kind == "huge") {
            test::WriteFileBytes("DS261208.DAT", header3 + std::string(kQuoteFileReadLimit, '\n'));
        }
        const StoredQuotes stored = ReadQuoteFile("DS261208.DAT", markets, none);
        EXPECT_EQ(stored.fault, c.fault);
        EXPECT_EQ(stored.line, c.line);
        EXPECT_EQ(stored.error, c.error);
        EXPECT_EQ(stored.stocks, c.stocks);
    }
}

}  // namespace
}  // namespace tickora
