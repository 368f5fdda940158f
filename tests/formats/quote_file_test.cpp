// SPDX-License-Identifier: GPL-3.0-or-later
#include "formats/quote_file.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "catalog/clock.h"
#include "tests/support/list_fixture.h"
#include "tests/support/temp_dir.h"
#include "text/sjis.h"

namespace tickora {
namespace {

using test::AddMarket;
using test::AddStock;
using test::Market;
using test::Quote;

constexpr int kKnown = 0;    // market "T", number 1, name MKT
constexpr int kUnknown = 1;  // one past the last entry

CMarketTable OneMarket() {
    CMarketTable table;
    AddMarket(table, Market("T", 1, "MKT"));
    return table;
}

// The bytes one stock line comes out as, through a memory stream.
std::string LineOf(const CStockRecord& stock, int format, bool decimals) {
    const CMarketTable markets = OneMarket();
    char* data = nullptr;
    std::size_t size = 0;
    std::FILE* out = open_memstream(&data, &size);
    WriteQuoteLine(stock, out, format, markets, decimals);
    std::fclose(out);
    std::string bytes(data, size);
    std::free(data);
    return bytes;
}

CStockRecord Stock(const Quote& quote, const std::string& name = "ABC", int market = kKnown,
                   int code = 1301) {
    CStockList list;
    return AddStock(list, code, market, name, quote);
}

struct LineCase {
    const char* what;
    int format;
    bool decimals;
    Quote quote;
    std::string expected;
};

TEST(QuoteLine, EachLayoutAndMode) {
    const Quote whole{100, 105, 99, 102, 900};
    const Quote fractions{100.5, 105.25, 99, 102.75, 900};
    const LineCase cases[] = {
        {"plain whole", 3, false, whole, "1301,1,ABC,100,105,99,102,900\r\n"},
        {"plain decimal", 3, true, fractions, "1301,1,ABC,100.50,105.25,99.00,102.75,900\r\n"},
        {"plain, decimals off cut the fraction", 3, false, fractions,
         "1301,1,ABC,100,105,99,102,900\r\n"},
        {"plain, decimals on but whole prices", 3, true, whole,
         "1301,1,ABC,100,105,99,102,900\r\n"},
        {"tabbed whole", 1, false, whole, "1301\t\"MKT\"\t\"ABC\"\t100\t105\t99\t102\t900\r\n"},
        {"tabbed decimal", 1, true, fractions,
         "1301\t\"MKT\"\t\"ABC\"\t100.50\t105.25\t99.00\t102.75\t900\r\n"},
        {"fixed whole", 2, false, whole,
         "1301,1,ABC         ,    100,    105,     99,    102,       900\r\n"},
        {"fixed decimal", 2, true, fractions,
         "1301,1,ABC         , 100.50, 105.25,  99.00, 102.75,       900\r\n"},
        {"fixed, decimals off", 2, false, fractions,
         "1301,1,ABC         ,    100,    105,     99,    102,       900\r\n"},
        {"empty settings item", 0, false, whole, "1301,1,ABC,100,105,99,102,900\r\n"},
        {"no selection", -1, true, fractions, "1301,1,ABC,100.50,105.25,99.00,102.75,900\r\n"},
        {"no open: close four times",
         3,
         false,
         {0, 260, 240, 250, 900},
         "1301,1,ABC,250,250,250,250,900\r\n"},
        {"no high: close four times",
         1,
         false,
         {245, 0, 240, 250, 900},
         "1301\t\"MKT\"\t\"ABC\"\t250\t250\t250\t250\t900\r\n"},
        {"no low: close four times",
         2,
         false,
         {245, 260, 0, 250, 900},
         "1301,1,ABC         ,    250,    250,    250,    250,       900\r\n"},
        {"a tiny fraction stays whole",
         3,
         true,
         {100.0005, 105, 99, 102, 900},
         "1301,1,ABC,100,105,99,102,900\r\n"},
        {"a fraction of the close alone switches the line",
         3,
         true,
         {100, 105, 99, 102.002, 900},
         "1301,1,ABC,100.00,105.00,99.00,102.00,900\r\n"},
        {"a fraction of an unused open still switches",
         3,
         true,
         {0.5, 0, 0, 250, 900},
         "1301,1,ABC,250.00,250.00,250.00,250.00,900\r\n"},
        // 150000.01 is 150000.015625 in single precision, which prints as .02.
        {"single precision, plain",
         3,
         true,
         {0, 0, 0, 150000.01, 900},
         "1301,1,ABC,150000.02,150000.02,150000.02,150000.02,900\r\n"},
        {"single precision, fixed",
         2,
         true,
         {0, 0, 0, 150000.01, 900},
         "1301,1,ABC         ,150000.02,150000.02,150000.02,150000.02,       900\r\n"},
        {"volume cut in the plain layout",
         3,
         false,
         {100, 105, 99, 102, 900.9},
         "1301,1,ABC,100,105,99,102,900\r\n"},
        {"volume cut in the tabbed layout",
         1,
         false,
         {100, 105, 99, 102, 900.9},
         "1301\t\"MKT\"\t\"ABC\"\t100\t105\t99\t102\t900\r\n"},
        {"volume rounded in the fixed layout",
         2,
         false,
         {100, 105, 99, 102, 900.6},
         "1301,1,ABC         ,    100,    105,     99,    102,       901\r\n"},
        {"seven-digit volume",
         2,
         false,
         {100, 105, 99, 102, 1234567},
         "1301,1,ABC         ,    100,    105,     99,    102,   1234567\r\n"},
        {"no close", 3, false, {100, 105, 99, 0, 900}, ""},
        {"negative close", 1, false, {100, 105, 99, -5, 900}, ""},
    };
    for (const LineCase& c : cases) {
        EXPECT_EQ(LineOf(Stock(c.quote), c.format, c.decimals), c.expected) << c.what;
    }
}

TEST(QuoteLine, NamesGoOutAsStoredOrCutToTwelveBytes) {
    const Quote q{100, 105, 99, 102, 900};
    const std::string kabu = "\x8A\x94";                                         // 株 in Shift-JIS
    const std::string japanese = "A" + kabu + kabu + kabu + kabu + kabu + kabu;  // 13 bytes
    struct Case {
        int format;
        std::string name;
        std::string expected;
    } cases[] = {
        {2, "ABCDE", "1301,1,ABCDE       ,    100,    105,     99,    102,       900\r\n"},
        {2, "ABCDEFGHIJKLMNOPQRST",
         "1301,1,ABCDEFGHIJKL,    100,    105,     99,    102,       900\r\n"},
        // The fixed column takes 12 bytes even when that divides the last character.
        {2, japanese,
         "1301,1,A" + kabu + kabu + kabu + kabu + kabu +
             "\x8A,    100,    105,     99,    102,       900\r\n"},
        {2, "", "1301,1,            ,    100,    105,     99,    102,       900\r\n"},
        {3, "AB,C\tD\"E", "1301,1,AB,C\tD\"E,100,105,99,102,900\r\n"},
        {1, "AB\"C", "1301\t\"MKT\"\t\"AB\"C\"\t100\t105\t99\t102\t900\r\n"},
        {3, japanese, "1301,1," + japanese + ",100,105,99,102,900\r\n"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(LineOf(Stock(q, c.name), c.format, false), c.expected) << c.name;
    }
}

TEST(QuoteLine, UnknownMarketGivesZeroOrTheOtherMarketName) {
    const Quote q{100, 105, 99, 102, 900};
    const CStockRecord stock = Stock(q, "ABC", kUnknown, 5);
    EXPECT_EQ(LineOf(stock, 3, false), "0005,0,ABC,100,105,99,102,900\r\n");
    EXPECT_EQ(LineOf(stock, 2, false),
              "0005,0,ABC         ,    100,    105,     99,    102,       900\r\n");
    EXPECT_EQ(LineOf(stock, 1, false),
              Utf8ToSjis("0005\t\"その他市場\"\t\"ABC\"\t100\t105\t99\t102\t900\r\n"));
}

class QuoteFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        SetTodayForTesting(LocalDate{2008, 2, 11});
        markets_ = OneMarket();
    }
    void TearDown() override { SetTodayForTesting(std::nullopt); }

    // Two blocks: 50 + 2 stocks; four of them have a close, three were extracted last time.
    void FillList() {
        for (int i = 0; i < 52; ++i) {
            AddStock(list_, 1301 + i, kKnown, "S" + std::to_string(i));
        }
        list_.m_ppBlocks[0]->m_aStocks[0].m_dClose = 102;
        list_.m_ppBlocks[0]->m_aStocks[0].m_dOpen = 100;
        list_.m_ppBlocks[0]->m_aStocks[0].m_dHigh = 105;
        list_.m_ppBlocks[0]->m_aStocks[0].m_dLow = 99;
        list_.m_ppBlocks[0]->m_aStocks[0].m_dVolume = 900;
        list_.m_ppBlocks[0]->m_aStocks[7].m_dClose = 250;
        list_.m_ppBlocks[0]->m_aStocks[7].m_dVolume = 10;
        list_.m_ppBlocks[0]->m_aStocks[49].m_dClose = 3000;
        list_.m_ppBlocks[1]->m_aStocks[1].m_dClose = 77;
        list_.m_ppBlocks[0]->m_nExtracted = 2;
        list_.m_ppBlocks[1]->m_nExtracted = 1;
    }

    std::string Write(int format, const char* folder = ".") {
        return WriteQuoteFile(list_, format, folder, markets_, false);
    }

    test::ScopedWorkDir dir_;
    CMarketTable markets_;
    CStockList list_;
};

constexpr const char* kPlainBody =
    "1301,1,S0,100,105,99,102,900\r\n"
    "1308,1,S7,250,250,250,250,10\r\n"
    "1350,1,S49,3000,3000,3000,3000,0\r\n"
    "1352,1,S51,77,77,77,77,0\r\n";

TEST_F(QuoteFileTest, PlainLayoutHeaderAndLinesInListOrder) {
    FillList();
    EXPECT_EQ(Write(3), "./DS080211.DAT");
    EXPECT_EQ(test::ReadFileBytes("DS080211.DAT"), std::string("080211\r\n3,0\r\n") + kPlainBody);
}

TEST_F(QuoteFileTest, OtherFormatValuesWriteThePlainLayout) {
    FillList();
    ASSERT_FALSE(Write(3).empty());
    const std::string plain = test::ReadFileBytes("DS080211.DAT");
    for (int format : {0, -1, 4, 99}) {
        std::filesystem::remove("DS080211.DAT");
        EXPECT_EQ(Write(format), "./DS080211.DAT") << format;
        EXPECT_EQ(test::ReadFileBytes("DS080211.DAT"), plain) << format;
    }
}

TEST_F(QuoteFileTest, TabbedLayoutHasFourHeaderLines) {
    FillList();
    EXPECT_EQ(Write(1), "./DS080211.DAT");
    const std::string expected = Utf8ToSjis(
        "\"2008年\"\t\"02月\"\t\"11日\"\r\n"
        "\"銘柄数\"\t3\r\n"
        "\"エラー数\"\t0\r\n"
        "\"銘柄コード\"\t\"市場\"\t\"銘柄名\"\t\"始値\"\t\"高値\"\t\"安値\"\t\"終値\"\t\"出来高\"\r"
        "\n"
        "1301\t\"MKT\"\t\"S0\"\t100\t105\t99\t102\t900\r\n"
        "1308\t\"MKT\"\t\"S7\"\t250\t250\t250\t250\t10\r\n"
        "1350\t\"MKT\"\t\"S49\"\t3000\t3000\t3000\t3000\t0\r\n"
        "1352\t\"MKT\"\t\"S51\"\t77\t77\t77\t77\t0\r\n");
    EXPECT_EQ(test::ReadFileBytes("DS080211.DAT"), expected);
}

TEST_F(QuoteFileTest, FixedLayoutNamesTheFileByYearAndMonthWithTheDayAsExtension) {
    FillList();
    EXPECT_EQ(Write(2), "./DS200802.11");
    EXPECT_EQ(test::ReadFileBytes("DS200802.11"),
              "20080211\r\n3,0\r\n"
              "1301,1,S0          ,    100,    105,     99,    102,       900\r\n"
              "1308,1,S7          ,    250,    250,    250,    250,        10\r\n"
              "1350,1,S49         ,   3000,   3000,   3000,   3000,         0\r\n"
              "1352,1,S51         ,     77,     77,     77,     77,         0\r\n");
}

TEST_F(QuoteFileTest, ListWithoutQuotesGivesTheHeaderOnly) {
    for (int i = 0; i < 3; ++i) {
        AddStock(list_, 1301 + i, kKnown, "S");
    }
    list_.m_ppBlocks[0]->m_nExtracted = 2;
    ASSERT_FALSE(Write(3).empty());
    EXPECT_EQ(test::ReadFileBytes("DS080211.DAT"), "080211\r\n2,0\r\n");
}

TEST_F(QuoteFileTest, DateComesFromBlockZeroWithTheYearOfTheClock) {
    SetTodayForTesting(LocalDate{2009, 1, 2});
    FillList();
    list_.m_ppBlocks[0]->m_nMonth = 12;
    list_.m_ppBlocks[0]->m_nDay = 30;
    list_.m_ppBlocks[1]->m_nMonth = 1;  // only block 0 counts
    list_.m_ppBlocks[1]->m_nDay = 2;
    EXPECT_EQ(Write(3), "./DS091230.DAT");
    EXPECT_EQ(test::ReadFileBytes("DS091230.DAT").substr(0, 8), "091230\r\n");
}

TEST_F(QuoteFileTest, InvalidBlockDateFallsBackToToday) {
    FillList();
    list_.m_ppBlocks[0]->m_nMonth = 13;
    list_.m_ppBlocks[0]->m_nDay = 32;
    EXPECT_EQ(Write(3), "./DS080211.DAT");
}

TEST_F(QuoteFileTest, NothingIsWrittenWithoutAListAValidYearOrAFolder) {
    EXPECT_EQ(Write(3), "");
    FillList();
    SetTodayForTesting(LocalDate{2000, 2, 11});
    EXPECT_EQ(Write(3), "");
    SetTodayForTesting(LocalDate{2008, 2, 11});
    EXPECT_EQ(Write(3, "no-such-folder"), "");
    EXPECT_TRUE(std::filesystem::is_empty("."));
}

TEST_F(QuoteFileTest, WritesIntoTheFolderAndKeepsTheFileItReplacesAsBackup) {
    FillList();
    std::filesystem::create_directory("out");
    test::WriteFileBytes("out/DS080211.DAT", std::string(5000, 'x'));
    EXPECT_EQ(Write(3, "out"), "out/DS080211.DAT");
    EXPECT_EQ(test::ReadFileBytes("out/DS080211.DAT"),
              std::string("080211\r\n3,0\r\n") + kPlainBody);
    // The day's earlier file stays whole beside it, and nothing else is left in the folder but
    // the marks that tell the whole files.
    EXPECT_EQ(test::ReadFileBytes("out/DS080211.DAT.bak"), std::string(5000, 'x'));
    int entries = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("out")) {
        ++entries;
    }
    EXPECT_EQ(entries, 3);
    EXPECT_TRUE(std::filesystem::is_regular_file("out/.DS080211.DAT.partial"));
    // The next replacement keeps the file just replaced. The file before it was marked by
    // nothing, so nothing tells that it was not the day's whole one: it stays, under a number.
    list_.m_ppBlocks[0]->m_aStocks[0].m_dClose = 103;
    EXPECT_EQ(Write(3, "out"), "out/DS080211.DAT");
    EXPECT_EQ(test::ReadFileBytes("out/DS080211.DAT.bak"),
              std::string("080211\r\n3,0\r\n") + kPlainBody);
    EXPECT_EQ(test::ReadFileBytes("out/DS080211.DAT.bak.1"), std::string(5000, 'x'));
}

// The folder is stored in Shift-JIS; the files go to the folder of that name on this system,
// whose name is UTF-8, and the path returned is that real path.
TEST_F(QuoteFileTest, AJapaneseOutputFolderIsUsedUnderItsRealName) {
    FillList();
    std::filesystem::create_directory("株価");
    struct Case {
        std::string storedFolder;  // as the settings record holds it
        std::string expected;
    } cases[] = {
        {Utf8ToSjis("株価"), "株価/DS080211.DAT"},
        {Utf8ToSjis("./株価"), "./株価/DS080211.DAT"},
        {"\x8A", ""},  // half a character: no folder can be told from it
    };
    for (const Case& c : cases) {
        EXPECT_EQ(QuoteFileName(c.storedFolder.c_str(), 3, 2008, 2, 11), c.expected);
        EXPECT_EQ(Write(3, c.storedFolder.c_str()), c.expected);
        if (!c.expected.empty()) {
            EXPECT_TRUE(std::filesystem::exists(c.expected)) << c.expected;
        }
    }
    EXPECT_FALSE(std::filesystem::exists(Utf8ToSjis("株価")));
}

TEST_F(QuoteFileTest, EmptyFolderMeansTheWorkingFolder) {
    FillList();
    EXPECT_EQ(Write(3, ""), "./DS080211.DAT");
    EXPECT_TRUE(std::filesystem::exists("DS080211.DAT"));
}

TEST_F(QuoteFileTest, DecimalModeIsDecidedPerStock) {
    AddStock(list_, 1301, kKnown, "A", {100.5, 105.25, 99, 102.75, 900});
    AddStock(list_, 1302, kKnown, "B", {100, 105, 99, 102, 900});
    ASSERT_FALSE(WriteQuoteFile(list_, 3, ".", markets_, true).empty());
    EXPECT_EQ(test::ReadFileBytes("DS080211.DAT"),
              "080211\r\n0,0\r\n"
              "1301,1,A,100.50,105.25,99.00,102.75,900\r\n"
              "1302,1,B,100,105,99,102,900\r\n");
}

TEST(QuoteFileName, FormsOfTheName) {
    EXPECT_EQ(QuoteFileName("out", 1, 2008, 2, 11), "out/DS080211.DAT");
    EXPECT_EQ(QuoteFileName("out", 2, 2008, 2, 11), "out/DS200802.11");
    EXPECT_EQ(QuoteFileName("out", 3, 2012, 12, 1), "out/DS121201.DAT");
    EXPECT_EQ(QuoteFileName("out", 0, 2008, 2, 11), "out/DS080211.DAT");
    EXPECT_EQ(QuoteFileName("/", 3, 2008, 2, 11), "//DS080211.DAT");
}

}  // namespace
}  // namespace tickora
