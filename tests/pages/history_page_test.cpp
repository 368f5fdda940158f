// SPDX-License-Identifier: GPL-3.0-or-later
#include "pages/history_page.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "catalog/clock.h"
#include "pages/number_range.h"
#include "tests/support/kdt_test_pages.h"
#include "tests/support/site_access_for_test.h"
#include "tests/support/temp_dir.h"

namespace tickora {
namespace {

using test::Cell;
using test::DayRow;
using test::EucJp;
using test::Page;

// Parses the first row of text: the row runs to the end of its first "</tr>"; whatever follows
// stays visible to the cell search, as it is on a page.
int ParseFirstRow(const std::string& text, CKdtDay& slot) {
    const size_t close = text.find("</tr>");
    const int length =
        close == std::string::npos ? static_cast<int>(text.size()) : static_cast<int>(close + 5);
    return ParseHistoryRow(text.c_str(), length, slot);
}

std::string DateRow(const std::string& utf8Date, const std::string& moreCells) {
    return "<tr>" + Cell(EucJp(utf8Date)) + moreCells + "</tr>";
}

const std::string kFiveNumbers =
    Cell("1,000") + Cell("1,050") + Cell("990") + Cell("1,010") + Cell("2,500");

TEST(ParseHistoryRow, ReadsDateAndFiveNumbersWithThousandsSeparators) {
    CKdtDay slot;
    ASSERT_EQ(ParseFirstRow(DateRow("2008年2月8日", kFiveNumbers), slot), 0);
    EXPECT_TRUE(test::SameDay(slot, test::Day(2008, 2, 8, 1000, 1050, 990, 1010, 2500)))
        << test::Describe(slot);
}

TEST(ParseHistoryRow, MarkupInsideCellsIsIgnored) {
    CKdtDay slot;
    const std::string row = "<tr align=right><td nowrap><small>" + EucJp("2008年12月31日") +
                            "</small></td><td><b>12,345,678</b></td><td>12,400,000</td>"
                            "<td>12,300,000</td><td>12,350,000</td><td>1,234,567,890</td></tr>";
    ASSERT_EQ(ParseFirstRow(row, slot), 0);
    EXPECT_TRUE(test::SameDay(
        slot, test::Day(2008, 12, 31, 12345678, 12400000, 12300000, 12350000, 1234567890)))
        << test::Describe(slot);
}

// Numbers against the KDT file's 32-bit fields: a day that holds one that does not fit is not
// taken, and the fault names the day and the value; one that fits is taken however implausible,
// and named by DayImplausibility.
TEST(ParseHistoryRow, NumbersBeyondThirtyTwoBitsAreRefusedAndImplausibleDaysNamed) {
    struct Case {
        const char* cells[5];  // open, high, low, close, volume
        const char* fault;     // the start of the fault, or nullptr when the day is taken
        const char* implausible;
    };
    const Case cases[] = {
        {{"1,000", "1,050", "990", "1,010", "9,999,999,999"},
         "2008/2/8: the volume 9999999999 does not fit",
         nullptr},
        {{"1,000", "1,050", "990", "99999999999999999999", "5"},
         "2008/2/8: the close 99999999999999999999 does not fit",
         nullptr},
        {{"3000000000", "1,050", "990", "1,010", "5"}, "2008/2/8: the open 3000000000", nullptr},
        {{"1,000", "1,050", "990", "1,010", "2,147,483,647"}, nullptr, nullptr},
        {{"1,000", "1,050", "990", "1,010", "-5"}, nullptr, "a negative volume (-5)"},
        {{"1,000", "1,050", "990", "1,100", "5"},
         nullptr,
         "the close 1100 outside the low 990 and the high 1050"},
        {{"1,000", "980", "990", "985", "5"}, nullptr, "the high 980 below the low 990"},
    };
    for (const Case& c : cases) {
        std::string cells;
        for (const char* cell : c.cells) {
            cells += Cell(cell);
        }
        const std::string text = DateRow("2008年2月8日", cells);
        CKdtDay slot;
        std::string fault;
        const int result =
            ParseHistoryRow(text.c_str(), static_cast<int>(text.size()), slot, &fault);
        if (c.fault != nullptr) {
            EXPECT_EQ(result, -1) << c.fault;
            EXPECT_FALSE(slot.IsValid()) << "the slot stays untouched";
            EXPECT_EQ(fault.rfind(c.fault, 0), 0u) << fault;
            continue;
        }
        EXPECT_EQ(result, 0) << c.cells[4];
        EXPECT_TRUE(fault.empty()) << fault;
        EXPECT_EQ(DayImplausibility(slot), c.implausible != nullptr ? c.implausible : "");
    }
}

struct DateCase {
    const char* text;  // UTF-8, converted to EUC-JP for the page
    int year;          // 0: the row is not a day
    int month;
    int day;
};

class HistoryDates : public ::testing::TestWithParam<DateCase> {};

TEST_P(HistoryDates, TakesOnlyFourDigitYearMonthDayDates) {
    const DateCase& c = GetParam();
    CKdtDay slot = test::Day(1999, 9, 9, 9, 9, 9, 9, 9);  // must stay as it is when refused
    const int result = ParseFirstRow(DateRow(c.text, kFiveNumbers), slot);
    if (c.year == 0) {
        EXPECT_EQ(result, -1);
        EXPECT_TRUE(test::SameDay(slot, test::Day(1999, 9, 9, 9, 9, 9, 9, 9)));
    } else {
        ASSERT_EQ(result, 0);
        EXPECT_EQ(slot.m_nYear, c.year);
        EXPECT_EQ(slot.m_nMonth, c.month);
        EXPECT_EQ(slot.m_nDay, c.day);
        EXPECT_EQ(slot.m_nOpen, 1000);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Dates, HistoryDates,
    ::testing::Values(DateCase{"2008年2月8日", 2008, 2, 8},
                      DateCase{"2008年12月31日", 2008, 12, 31},
                      DateCase{"1983年1月4日", 1983, 1, 4}, DateCase{"2026年10月1日", 2026, 10, 1},
                      DateCase{"1901年1月1日", 1901, 1, 1}, DateCase{"2008年02月08日", 2008, 2, 8},
                      // refused
                      DateCase{"1900年1月1日", 0, 0, 0}, DateCase{"2008年13月1日", 0, 0, 0},
                      DateCase{"2008年0月1日", 0, 0, 0}, DateCase{"2008年2月0日", 0, 0, 0},
                      DateCase{"2008年2月32日", 0, 0, 0}, DateCase{"2008年月8日", 0, 0, 0},
                      DateCase{"2008年2月", 0, 0, 0}, DateCase{"08年2月8日", 0, 0, 0},
                      DateCase{"2008/02/08", 0, 0, 0}, DateCase{"日付", 0, 0, 0},
                      DateCase{"", 0, 0, 0}));

TEST(ParseHistoryRow, OneNumberIsAllFourPricesWithNoVolume) {
    CKdtDay slot;
    ASSERT_EQ(ParseFirstRow(DateRow("2008年2月8日", Cell("1,234")), slot), 0);
    EXPECT_TRUE(test::SameDay(slot, test::Day(2008, 2, 8, 1234, 1234, 1234, 1234, 0)))
        << test::Describe(slot);
}

TEST(ParseHistoryRow, TwoNumbersBeforeFurtherCellsKeepOnlyTheFirstPrice) {
    CKdtDay slot;
    const std::string text = DateRow("2008年2月8日", Cell("1,234") + Cell("1,300")) + "\n" +
                             DateRow("2008年2月7日", kFiveNumbers);
    ASSERT_EQ(ParseFirstRow(text, slot), 0);
    EXPECT_TRUE(test::SameDay(slot, test::Day(2008, 2, 8, 1234, 1234, 1234, 1234, 0)))
        << test::Describe(slot);
}

TEST(ParseHistoryRow, ShortRowDoesNotTakeCellsOfTheNextRow) {
    CKdtDay slot;
    const std::string text = DateRow("2008年2月8日", Cell("500") + Cell("510") + Cell("490")) +
                             DateRow("2008年2月7日", kFiveNumbers);
    ASSERT_EQ(ParseFirstRow(text, slot), 0);
    EXPECT_TRUE(test::SameDay(slot, test::Day(2008, 2, 8, 500, 510, 490, 500, 0)))
        << test::Describe(slot);
}

TEST(ParseHistoryRow, CellsAfterTheVolumeAreNotRead) {
    CKdtDay slot;
    ASSERT_EQ(
        ParseFirstRow(DateRow("2008年2月8日", kFiveNumbers + Cell("9,999") + Cell("8")), slot), 0);
    EXPECT_TRUE(test::SameDay(slot, test::Day(2008, 2, 8, 1000, 1050, 990, 1010, 2500)))
        << test::Describe(slot);
}

TEST(ParseHistoryRow, RowsWithoutAnOpeningPriceAreNotDays) {
    const std::string rows[] = {
        DateRow("2008年2月8日", Cell("0") + Cell("1,050") + Cell("990") + Cell("1,010")),
        DateRow("2008年2月8日", Cell("-") + Cell("1,050") + Cell("990") + Cell("1,010")),
        DateRow("2008年2月8日", Cell("") + Cell("1,050")),
        // A date alone would be a day at price 0 in the chart.
        DateRow("2008年2月8日", ""),
        "<tr><td colspan=6>" + EucJp("株式分割 1:2") + "</td></tr>",
        "<tr></tr>",
    };
    for (const std::string& row : rows) {
        CKdtDay slot;
        EXPECT_EQ(ParseFirstRow(row, slot), -1) << row;
        EXPECT_FALSE(slot.IsValid()) << row;
    }
}

TEST(ParseHistoryRow, UnclosedCellHoldsNoValue) {
    CKdtDay slot;
    EXPECT_EQ(ParseFirstRow("<tr><td>" + EucJp("2008年2月8日") + "<td>1,000", slot), -1);
    EXPECT_FALSE(slot.IsValid());
}

class HistoryPageFile : public ::testing::Test {
  protected:
    void SetUp() override { std::filesystem::create_directory("Webtemp"); }

    int Parse(const std::string& bytes, CKdtPage& page) {
        test::WriteFileBytes("Webtemp/kdttemp-000.html", bytes);
        return ParseHistoryPage("Webtemp/kdttemp-000.html", page);
    }

    test::ScopedWorkDir m_dir;
};

std::string Rows(int first, int count, CKdtDay (*make)(int)) {
    std::string rows;
    for (int i = first; i < first + count; ++i) {
        rows += DayRow(make(i));
    }
    return rows;
}

// Row i of a made-up history: distinct dates and prices, newest first.
CKdtDay NthDay(int i) {
    return test::Day(2020 - i / 300, 12 - (i / 25) % 12, 28 - i % 25, 1000 + i, 1100 + i, 900 + i,
                     1050 + i, 10000 + i);
}

TEST_F(HistoryPageFile, FillsSlotsInRowOrderAndSkipsTheHeader) {
    CKdtPage page("1301", 0, kDefaultSite);
    ASSERT_EQ(Parse(Page(Rows(0, 3, NthDay)), page), 0);
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(test::SameDay(page.m_aDays[i], NthDay(i))) << i;
    }
    EXPECT_FALSE(page.m_aDays[3].IsValid());
}

TEST_F(HistoryPageFile, PagesWithoutDaysAndMissingFilesYieldMinusOne) {
    const std::string pages[] = {
        Page(""),
        "",
        "<html><body>" + EucJp("該当するデータはありません") + "</body></html>",
        // Every end tag gone: no row can close.
        "<table><tr><td>" + EucJp("2008年2月8日") + "<td>1,000<td>1,010<td>990<td>1,000<td>5",
    };
    for (const std::string& bytes : pages) {
        CKdtPage page("1301", 0, kDefaultSite);
        EXPECT_EQ(Parse(bytes, page), -1) << bytes;
        EXPECT_FALSE(page.m_aDays[0].IsValid());
    }
    CKdtPage page("1301", 0, kDefaultSite);
    EXPECT_EQ(ParseHistoryPage("Webtemp/no-such-page.html", page), -1);
}

TEST_F(HistoryPageFile, MoreThanFiftyRowsFillOnlyTheFiftySlots) {
    CKdtPage page("1301", 0, kDefaultSite);
    ASSERT_EQ(Parse(Page(Rows(0, 60, NthDay)), page), 0);
    for (int i = 0; i < kKdtDaysPerPage; ++i) {
        EXPECT_TRUE(test::SameDay(page.m_aDays[i], NthDay(i))) << i;
    }
}

TEST_F(HistoryPageFile, RowsBetweenNonDayRowsKeepTheirOrder) {
    CKdtPage page("1301", 0, kDefaultSite);
    const std::string rows = DayRow(NthDay(0)) + "<tr><td colspan=6>" + EucJp("分割") +
                             "</td></tr>\n" + DayRow(NthDay(1)) + "<tr></tr>" + DayRow(NthDay(2));
    ASSERT_EQ(Parse(Page(rows), page), 0);
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(test::SameDay(page.m_aDays[i], NthDay(i))) << i;
    }
    EXPECT_FALSE(page.m_aDays[3].IsValid());
}

TEST_F(HistoryPageFile, OnlyTheFirst102399BytesCount) {
    const std::string first = DayRow(NthDay(0));
    const std::string second = DayRow(NthDay(1));
    // Padding such that the second row's "</tr>" ends exactly at the last byte read ...
    std::string head = "<table>" + first;
    std::string pad(size_t{102399} - head.size() - second.size() + 1, ' ');
    std::string inside = head + pad + second;  // second's "\n" is byte 102399, not read
    CKdtPage page("1301", 0, kDefaultSite);
    ASSERT_EQ(Parse(inside + DayRow(NthDay(2)), page), 0);
    EXPECT_TRUE(test::SameDay(page.m_aDays[1], NthDay(1)));
    EXPECT_FALSE(page.m_aDays[2].IsValid());

    // ... and one byte more pushes that "</tr>" past the limit: the row is not read.
    CKdtPage shifted("1301", 0, kDefaultSite);
    ASSERT_EQ(Parse(head + pad + " " + second + DayRow(NthDay(2)), shifted), 0);
    EXPECT_TRUE(test::SameDay(shifted.m_aDays[0], NthDay(0)));
    EXPECT_FALSE(shifted.m_aDays[1].IsValid());
}

TEST_F(HistoryPageFile, ShortPageAfterLongOneSeesNothingOfIt) {
    CKdtPage longPage("1301", 0, kDefaultSite);
    ASSERT_EQ(Parse(Page(Rows(0, 50, NthDay)), longPage), 0);
    CKdtPage shortPage("1301", 1, kDefaultSite);
    ASSERT_EQ(Parse(Page(Rows(50, 2, NthDay)), shortPage), 0);
    EXPECT_TRUE(test::SameDay(shortPage.m_aDays[1], NthDay(51)));
    EXPECT_FALSE(shortPage.m_aDays[2].IsValid());

    // A page cut in the middle of a row: the rows before it count, the cut one does not.
    CKdtPage cut("1301", 0, kDefaultSite);
    const std::string whole = Page(Rows(0, 3, NthDay));
    const std::string third = DayRow(NthDay(2));
    ASSERT_EQ(Parse(whole.substr(0, whole.find(third) + third.size() / 2), cut), 0);
    EXPECT_TRUE(test::SameDay(cut.m_aDays[1], NthDay(1)));
    EXPECT_FALSE(cut.m_aDays[2].IsValid());
}

struct PagesCase {
    int days;
    int pages;
};

class KdtRequestPages : public ::testing::TestWithParam<PagesCase> {};

TEST_P(KdtRequestPages, AsksForEnoughPagesOfFiftyRows) {
    SetTodayForTesting(LocalDate{2026, 3, 9});
    const SiteAccess access = test::AccessForTest().Hosts(
        {"http://q.example", "http://t.example:81/", "http://p.example"});
    const PagesCase& c = GetParam();
    CKdtRequest request("1301", 1301, c.days, access.hosts.table);
    ASSERT_EQ(request.m_nPages, c.pages);
    for (int j = 0; j < c.pages; ++j) {
        char url[256];
        std::snprintf(url, sizeof url,
                      "http://t.example:81/t?s=1301&a=1&b=1&c=1983&d=3&e=9&f=2026&g=d&q=t&y=%d"
                      "&x=.csv",
                      50 * j);
        EXPECT_STREQ(request.GetPageUrl(j), url);
        char path[64];
        std::snprintf(path, sizeof path, "Webtemp/kdttemp-%03d.html", j);
        EXPECT_STREQ(request.GetPagePath(j), path);
    }
    SetTodayForTesting(std::nullopt);
}

INSTANTIATE_TEST_SUITE_P(Days, KdtRequestPages,
                         ::testing::Values(PagesCase{10, 1}, PagesCase{49, 1}, PagesCase{50, 1},
                                           PagesCase{51, 2}, PagesCase{200, 4}, PagesCase{210, 5},
                                           PagesCase{3000, 60}));

TEST(KdtRequest, LongSymbolsAreNeitherCutNorOverrun) {
    // The longest symbol the list holds.
    CKdtRequest request("ABCDEFGHIJKLMNO", 1301, 10, kDefaultSite);
    EXPECT_STREQ(request.m_szSymbol, "ABCDEFGHIJKLMNO");
    EXPECT_NE(std::strstr(request.GetPageUrl(0), "s=ABCDEFGHIJKLMNO&"), nullptr);
}

TEST_F(HistoryPageFile, RequestWritesOldestDayFirstAndKeepsFileWithoutDays) {
    CKdtRequest request("1301", 1301, 120, kDefaultSite);
    ASSERT_EQ(request.m_nPages, 3);
    ASSERT_EQ(Parse(Page(Rows(0, 50, NthDay)), request.GetPage(0)), 0);
    ASSERT_EQ(Parse(Page(Rows(50, 50, NthDay)), request.GetPage(1)), 0);
    ASSERT_EQ(Parse(Page(Rows(100, 7, NthDay)), request.GetPage(2)), 0);
    ASSERT_TRUE(request.WriteKdtFile(false));
    const auto records = test::ReadKdtRecords(test::ReadFileBytes("KD1301.KDT"));
    ASSERT_EQ(records.size(), 107u);
    for (size_t i = 0; i < records.size(); ++i) {
        EXPECT_TRUE(test::SameDay(records[i], NthDay(106 - static_cast<int>(i))))
            << i << ": " << test::Describe(records[i]);
    }

    CKdtRequest empty("1301", 1301, 120, kDefaultSite);
    EXPECT_FALSE(empty.WriteKdtFile(false));
    EXPECT_EQ(test::ReadKdtRecords(test::ReadFileBytes("KD1301.KDT")).size(), 107u);
}

}  // namespace
}  // namespace tickora
