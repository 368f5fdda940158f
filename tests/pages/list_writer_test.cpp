// SPDX-License-Identifier: GPL-3.0-or-later
// The writer of the new list and the completion of markets: sort order and line bytes, the
// backup of the user's list, the dated list of added stocks, and markets from the loaded list.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "catalog/clock.h"
#include "catalog/market_table.h"
#include "catalog/stock_list.h"
#include "pages/list_pages.h"
#include "tests/support/page_builder.h"
#include "tests/support/temp_dir.h"
#include "text/sjis.h"

namespace tickora {
namespace {

namespace fs = std::filesystem;
using test::ReadFileBytes;
using test::WriteFileBytes;

constexpr const char* kHost = "http://127.0.0.1:1";

class ListWriterTest : public ::testing::Test {
  protected:
    void SetUp() override {
        test::WriteTestMarkets();
        ASSERT_EQ(markets.Load("market.csv"), 1);
        ASSERT_TRUE(fs::create_directory("Webtemp"));
    }
    void TearDown() override { SetTodayForTesting(std::nullopt); }

    static void Put(CListPage& page, int slot, int code, const char* symbol, int marketNo,
                    const std::string& utf8Name, bool added = false) {
        CListEntry& e = page.m_aEntries[slot];
        e.m_nCode = code;
        std::strcpy(e.m_szSymbol, symbol);
        e.m_nMarketNo = marketNo;
        e.m_bAdded = added ? 1 : 0;
        std::strcpy(e.m_szName, Utf8ToSjis(utf8Name).c_str());
    }

    // Stocks spread over two pages, out of order, with an empty slot, a special row, a duplicate
    // and a row beyond the 50 slots that count.
    void FillPages() {
        CListPage& p0 = *pages.GetPage(0);
        Put(p0, 0, 1332, "1332", 2, "日本水産", true);
        Put(p0, 2, 1301, "1301", 1, "極洋");
        Put(p0, 60, 5000, "5000", 1, "見えない");
        CListPage& p1 = *pages.GetPage(1);
        Put(p1, 0, 1001, "998405", 99, "TOPIX", true);
        Put(p1, 1, 1301, "1301", 1, "極洋");
        Put(p1, 49, 9999, "9999", 0, "最後");
    }

    static std::string SortedList() {
        return Utf8ToSjis(
            "998405,1001,X,TOPIX\r\n1301,1301,T,極洋\r\n1301,1301,T,極洋\r\n"
            "1332,1332,T2,日本水産\r\n9999,9999,X,最後\r\n");
    }

    // Every file of the working folder but the fixed ones: catches a temporary file left behind.
    static std::vector<std::string> OtherFiles() {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(".")) {
            const std::string name = entry.path().filename().string();
            if (name != "market.csv" && name != "Webtemp" && name != "fetchlist.csv" &&
                name != "fetchlist.bak") {
                names.push_back(name);
            }
        }
        return names;
    }

    test::ScopedWorkDir dir;
    CMarketTable markets;
    CListPages pages{kHost};
};

TEST_F(ListWriterTest, PagesKnowTheirFilesAndListingUrls) {
    EXPECT_EQ(pages.m_nPages, 100);
    EXPECT_STREQ(pages.GetPagePath(0), "Webtemp/listtemp-000.html");
    EXPECT_STREQ(pages.GetPagePath(7), "Webtemp/listtemp-007.html");
    EXPECT_EQ(std::string(pages.GetPageUrl(0)), std::string(kHost) + "/l?s=%2a&m=1");
    EXPECT_EQ(std::string(pages.GetPageUrl(1)), std::string(kHost) + "/l?s=%2a&m=51");
    EXPECT_EQ(std::string(pages.GetPageUrl(99)), std::string(kHost) + "/l?s=%2a&m=4951");
    EXPECT_EQ(pages.GetPage(100), nullptr);
}

TEST_F(ListWriterTest, WritesEveryStockSortedByCodeWithMarketSymbols) {
    FillPages();
    const ListWriteResult r = pages.WriteList(false, markets);
    EXPECT_EQ(r.stocksWritten, 5);
    EXPECT_EQ(r.filesWritten, (std::vector<std::string>{"fetchlist.csv"}));
    EXPECT_EQ(ReadFileBytes("fetchlist.csv"), SortedList());
    EXPECT_TRUE(OtherFiles().empty());
}

TEST_F(ListWriterTest, TheReplacedListBecomesTheBackupReplacingAnOlderOne) {
    WriteFileBytes("fetchlist.csv", "1301,1301,T,OLD\r\n");
    WriteFileBytes("fetchlist.bak", "1301,1301,T,OLDER\r\n");
    FillPages();
    (void)pages.WriteList(false, markets);
    EXPECT_EQ(ReadFileBytes("fetchlist.csv"), SortedList());
    EXPECT_EQ(ReadFileBytes("fetchlist.bak"), "1301,1301,T,OLD\r\n");
    EXPECT_TRUE(OtherFiles().empty());
}

TEST_F(ListWriterTest, WithoutAnOldListAnOlderBackupStays) {
    WriteFileBytes("fetchlist.bak", "1301,1301,T,OLDER\r\n");
    FillPages();
    (void)pages.WriteList(false, markets);
    EXPECT_EQ(ReadFileBytes("fetchlist.csv"), SortedList());
    EXPECT_EQ(ReadFileBytes("fetchlist.bak"), "1301,1301,T,OLDER\r\n");
}

TEST_F(ListWriterTest, NoStockGatheredLeavesTheUsersListAndBackupAlone) {
    WriteFileBytes("fetchlist.csv", "1301,1301,T,OLD\r\n");
    WriteFileBytes("fetchlist.bak", "1301,1301,T,OLDER\r\n");
    // A stock beyond the 50 slots that count is no stock of the list.
    Put(*pages.GetPage(3), 70, 1301, "1301", 1, "X");
    const ListWriteResult r = pages.WriteList(false, markets);
    EXPECT_EQ(r.stocksWritten, 0);
    EXPECT_TRUE(r.filesWritten.empty());
    EXPECT_EQ(ReadFileBytes("fetchlist.csv"), "1301,1301,T,OLD\r\n");
    EXPECT_EQ(ReadFileBytes("fetchlist.bak"), "1301,1301,T,OLDER\r\n");
    EXPECT_TRUE(OtherFiles().empty());
}

TEST_F(ListWriterTest, WhenNoBackupCanBeMadeTheOldListIsNotReplaced) {
    WriteFileBytes("fetchlist.csv", "1301,1301,T,OLD\r\n");
    // A folder in the backup's place: the copy cannot be renamed over it.
    fs::create_directory("fetchlist.bak");
    FillPages();
    const ListWriteResult r = pages.WriteList(false, markets);
    EXPECT_TRUE(r.filesWritten.empty());
    EXPECT_EQ(ReadFileBytes("fetchlist.csv"), "1301,1301,T,OLD\r\n");
    EXPECT_TRUE(fs::is_directory("fetchlist.bak"));
    EXPECT_TRUE(OtherFiles().empty());
}

TEST_F(ListWriterTest, AddedOnlyWritesTheAddedStocksInPageOrderToTodaysAddList) {
    SetTodayForTesting(LocalDate{2026, 3, 9});
    WriteFileBytes("fetchlist.csv", "1301,1301,T,OLD\r\n");
    FillPages();
    const ListWriteResult r = pages.WriteList(true, markets);
    EXPECT_EQ(r.filesWritten, (std::vector<std::string>{"addlist-260309.csv"}));
    EXPECT_EQ(r.stocksWritten, 2);
    EXPECT_EQ(ReadFileBytes("addlist-260309.csv"),
              Utf8ToSjis("1332,1332,T2,日本水産\r\n998405,1001,X,TOPIX\r\n"));
    EXPECT_EQ(ReadFileBytes("fetchlist.csv"), "1301,1301,T,OLD\r\n");
    EXPECT_FALSE(fs::exists("fetchlist.bak"));
}

// Listing cells are page text: a comma, CR or LF in them becomes a blank in the list, so the
// next start reads the same stocks with the same columns.
TEST_F(ListWriterTest, CellsWithCommasAndLineEndsStayOneLineOfFourColumns) {
    struct Case {
        std::string firstCell;
        std::string name;  // UTF-8
        std::string line;  // as written, UTF-8
    } cases[] = {
        {"1301", "A,B", "1301,1301,T,A B"},
        {"1332", "A\r\nB", "1332,1332,T,A  B"},
        {"1333,9", "C\rD", "1333 9,1333,T,C D"},
        {"1334\n", "E\n", "1334 ,1334,T,E "},
        {"1335", "東証,大証", "1335,1335,T,東証 大証"},
    };
    std::vector<std::string> rows;
    std::string expected;
    for (const Case& c : cases) {
        rows.push_back(test::ListRow(c.firstCell, c.name));
        expected += Utf8ToSjis(c.line) + "\r\n";
    }
    WriteFileBytes("Webtemp/listtemp-000.html", test::ListPage(rows));
    ASSERT_EQ(ParseListPage("Webtemp/listtemp-000.html", *pages.GetPage(0)), 0);
    for (int s = 0; s < 5; ++s) {
        pages.GetPage(0)->m_aEntries[s].m_nMarketNo = 1;
    }
    ASSERT_EQ(pages.WriteList(false, markets).stocksWritten, 5);
    EXPECT_EQ(ReadFileBytes("fetchlist.csv"), expected);
    // Read back by the list's own reader: five stocks, none lost or split.
    CStockList reread;
    std::vector<std::string> notices;
    ASSERT_EQ(reread.Load(markets, kHost, "fetchlist.csv", &notices), 0);
    EXPECT_TRUE(notices.empty());
    ASSERT_EQ(reread.GetBlock(0)->m_nStocks, 5);
    EXPECT_EQ(reread.GetBlock(0)->m_aStocks[2].m_nCode, 1333);
    EXPECT_EQ(reread.GetBlock(0)->m_aStocks[4].m_nMarket, 0);
}

TEST_F(ListWriterTest, KnownStocksTakeTheirMarketAndTheOthersAreMarkedAdded) {
    // 1301 on market O (index 2), 1332 on a market the table does not hold (index 5).
    WriteFileBytes("fetchlist.csv", Utf8ToSjis("1301,1301,O,極洋\r\n1332,1332,Z,日本水産\r\n"));
    CStockList stocks;
    ASSERT_EQ(stocks.Load(markets, kHost), 0);
    CListPage& p = *pages.GetPage(4);
    Put(p, 0, 1301, "1301", 99, "a");
    Put(p, 1, 1332, "1332", 99, "b");
    Put(p, 2, 2001, "2001", 99, "c");
    pages.MarkKnownStocks(4, stocks);
    EXPECT_EQ(p.m_aEntries[0].m_nMarketNo, 3);
    EXPECT_EQ(p.m_aEntries[0].m_bAdded, 0);
    EXPECT_EQ(p.m_aEntries[1].m_nMarketNo, 6);
    EXPECT_EQ(p.m_aEntries[1].m_bAdded, 0);
    EXPECT_EQ(p.m_aEntries[2].m_nMarketNo, 99);
    EXPECT_EQ(p.m_aEntries[2].m_bAdded, 1);
}

}  // namespace
}  // namespace tickora
