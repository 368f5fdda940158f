// SPDX-License-Identifier: GPL-3.0-or-later
// The day's check on files written by hand in a working folder: the day file in each layout
// against the histories of both layouts, stocks without a quote told apart from stocks that did
// not trade, files that cannot be read, and the day that is checked.
#include "checks/day_check.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "catalog/clock.h"
#include "formats/kdt_file.h"
#include "formats/quote_file.h"
#include "tests/support/kdt_days.h"
#include "tests/support/list_fixture.h"
#include "tests/support/temp_dir.h"

namespace tickora {
namespace {

namespace fs = std::filesystem;

constexpr CalendarDate kFriday{2026, 12, 4};

// A stock's line in the day file: open 0 is a day without trade, which the file writes at the
// close alone.
struct Line {
    int code = 0;
    double close = 0;
    double volume = 1000;
    double open = -1;  // -1: the close
};

// A history row at one price all day.
struct Row {
    CalendarDate date;
    int close = 0;
    int volume = 1000;
};

std::string Text(const CheckFinding& f) {
    return std::string(FindingKindWord(f.kind)) + " " + SeverityWord(f.severity) + " " +
           IsoDate(f.date) + " expected " + PriceWord(f.expected) + " found " + PriceWord(f.found);
}

class DayCheckTest : public ::testing::Test {
  protected:
    void SetUp() override {
        // The day file's year comes from the clock.
        SetTodayForTesting(LocalDate{2026, 12, 7});
        test::AddMarket(m_markets, test::Market("T", 1, " M1"));
        fs::create_directory("out");
        CreateKdtFolders();
    }
    void TearDown() override { SetTodayForTesting(std::nullopt); }

    void List(const std::vector<int>& codes) {
        for (const int code : codes) {
            test::AddStock(m_list, code, 0, "S" + std::to_string(code));
        }
    }

    // The day file of kFriday in format's layout, as a fetch writes it.
    void WriteDay(const std::vector<Line>& lines, int format, const CalendarDate& day = kFriday) {
        CStockList list;
        for (const Line& l : lines) {
            const double open = l.open < 0 ? l.close : l.open;
            test::AddStock(
                list, l.code, 0, "S" + std::to_string(l.code),
                {open, open > 0 ? l.close : 0, open > 0 ? l.close : 0, l.close, l.volume});
        }
        list.GetBlock(0)->m_nMonth = day.month;
        list.GetBlock(0)->m_nDay = day.day;
        list.GetBlock(0)->m_nExtracted = static_cast<int>(lines.size());
        ASSERT_FALSE(WriteQuoteFile(list, format, "out", m_markets, true).empty());
    }

    static void WriteHistory(int code, const std::vector<Row>& rows, bool inDataFolder = true) {
        std::vector<CKdtDay> days;
        for (const Row& r : rows) {
            days.push_back(test::Day(r.date.year, r.date.month, r.date.day, r.close, r.close,
                                     r.close, r.close, r.volume));
        }
        ASSERT_TRUE(WriteKdtDays(code, inDataFolder, days));
    }

    // Monday to Friday of the week checked, closing at close, with volume on the Friday.
    static std::vector<Row> Week(int close, int fridayVolume = 1000) {
        return {{{2026, 11, 30}, close},
                {{2026, 12, 1}, close},
                {{2026, 12, 2}, close},
                {{2026, 12, 3}, close},
                {kFriday, close, fridayVolume}};
    }

    // The same week without its Friday.
    static std::vector<Row> StaleWeek(int close) {
        std::vector<Row> rows = Week(close);
        rows.pop_back();
        return rows;
    }

    CheckResult Check(int format = 3, std::optional<CalendarDate> date = kFriday) {
        CheckInputs inputs;
        inputs.date = date;
        inputs.outputFolder = "out";
        inputs.outputFormat = format;
        inputs.markets = &m_markets;
        inputs.stocks = &m_list;
        return CheckDay(inputs);
    }

    // Each stock's findings, by code.
    static std::map<int, std::vector<std::string>> ByCode(const CheckResult& result) {
        std::map<int, std::vector<std::string>> texts;
        for (const CheckFinding& f : result.findings) {
            texts[f.code].push_back(Text(f));
        }
        return texts;
    }

    test::ScopedWorkDir m_dir;
    CMarketTable m_markets;
    CStockList m_list;
};

TEST_F(DayCheckTest, TheDayFileInEachLayoutAgainstTheHistories) {
    const std::vector<Row> staleWeek = StaleWeek(800);
    for (const int format : {1, 2, 3}) {
        SCOPED_TRACE(format);
        const struct {
            int code;
            std::optional<Line> line;
            std::vector<Row> history;  // none: no file
            std::vector<std::string> expected;
        } cases[] = {
            {1301, Line{1301, 1523}, Week(1523), {}},
            {1302,
             Line{1302, 1533},
             Week(1523),
             {"close_differs warning 2026-12-04 expected 1523 found 1533"}},
            // The history keeps an index's whole yen.
            {1001, Line{1001, 1523.45}, Week(1523), {}},
            {1002,
             Line{1002, 1523.45},
             Week(1522),
             {"close_differs warning 2026-12-04 expected 1522 found 1523.45"}},
            {1303, {}, Week(900, 500), {"no_quote warning 2026-12-04 expected 0 found 500"}},
            {1304, {}, Week(900, 0), {"no_quote warning 2026-12-04 expected 0 found 0"}},
            {1305, {}, {}, {"no_quote warning 2026-12-04 expected 0 found -1"}},
            // Listed after the day: nothing to quote.
            {1306, {}, {{{2026, 12, 7}, 300}}, {}},
            // A day without trade: the last price, no volume, in both files.
            {1307, Line{1307, 250, 0, 0}, Week(250, 0), {}},
            {1308,
             Line{1308, 800},
             staleWeek,
             {"stale_history notice 2026-12-04 expected 0 found 0"}},
        };
        fs::remove_all("DATA");
        CreateKdtFolders();
        m_list = CStockList{};
        std::vector<Line> lines;
        for (const auto& c : cases) {
            List({c.code});
            if (c.line) {
                lines.push_back(*c.line);
            }
            if (!c.history.empty()) {
                WriteHistory(c.code, c.history);
            }
        }
        WriteDay(lines, format);
        const CheckResult result = Check(format);
        EXPECT_TRUE(result.unread.empty());
        EXPECT_EQ(result.date, kFriday);
        EXPECT_EQ(result.stocks, 10);
        EXPECT_EQ(result.quotes, 6);
        EXPECT_EQ(result.histories, 9);
        EXPECT_EQ(result.withoutHistory, std::vector<int>{1305});
        auto found = ByCode(result);
        for (const auto& c : cases) {
            EXPECT_EQ(found[c.code], c.expected) << c.code;
        }
    }
}

TEST_F(DayCheckTest, TheNewerOfAStocksTwoHistoriesIsChecked) {
    List({1301, 1302});
    WriteDay({{1301, 800}, {1302, 800}}, 3);
    const std::vector<Row> stale = StaleWeek(800);
    // The all-stocks history is behind, the one-stock history current; then the other way.
    WriteHistory(1301, stale, true);
    WriteHistory(1301, Week(800), false);
    WriteHistory(1302, Week(800), true);
    WriteHistory(1302, stale, false);
    const CheckResult result = Check();
    EXPECT_TRUE(result.findings.empty()) << Text(result.findings.front());
    EXPECT_EQ(result.histories, 2);
}

TEST_F(DayCheckTest, AHistoryThatCannotBeReadIsNamedAndTheOthersAreChecked) {
    List({1301, 1302, 1303, 1304, 1305});
    WriteDay({{1301, 800}, {1302, 800}, {1303, 800}, {1304, 800}, {1305, 800}}, 3);
    WriteHistory(1305, Week(700));
    // A FIFO would hold the read for ever, a link lead elsewhere.
    ASSERT_EQ(mkfifo(KdtFileName(1301, true).c_str(), 0600), 0);
    WriteHistory(9999, Week(800), false);
    fs::create_symlink(fs::absolute(KdtFileName(9999, false)), KdtFileName(1302, true));
    test::WriteFileBytes(KdtFileName(1303, true), std::string(27, '\1'));
    fs::create_directory(KdtFileName(1304, true));
    const CheckResult result = Check();
    std::map<int, std::string> unread;
    for (const UnreadFile& file : result.unread) {
        unread[file.code] = file.path + ": " + file.cause;
    }
    ASSERT_EQ(unread.size(), 4u);
    EXPECT_EQ(unread[1301].rfind("DATA/1000/KD1301.KDT: ", 0), 0u) << unread[1301];
    EXPECT_NE(unread[1302].find("link"), std::string::npos) << unread[1302];
    EXPECT_EQ(unread[1303], "DATA/1000/KD1303.KDT: not a price history this program writes");
    EXPECT_EQ(unread[1304].rfind("DATA/1000/KD1304.KDT: ", 0), 0u) << unread[1304];
    EXPECT_EQ(result.histories, 1);
    EXPECT_TRUE(result.withoutHistory.empty()) << "a history that cannot be read is no missing one";
    for (const UnreadFile& file : result.unread) {
        EXPECT_EQ(file.what, Unread::kHistory) << file.path;
    }
    ASSERT_EQ(result.findings.size(), 1u);
    EXPECT_EQ(Text(result.findings[0]), "close_differs warning 2026-12-04 expected 700 found 800");
}

TEST_F(DayCheckTest, TheDayFileIsFoundUnderEitherNameAndNamedWhenItCannotBe) {
    List({1301});
    WriteHistory(1301, Week(800));
    // Written in the fixed layout, checked with the settings of another.
    WriteDay({{1301, 810}}, 2);
    CheckResult result = Check(3);
    EXPECT_TRUE(result.unread.empty());
    EXPECT_EQ(fs::path(result.dayFile).filename(), "DS202612.04");
    EXPECT_EQ(ByCode(result)[1301],
              std::vector<std::string>{"close_differs warning 2026-12-04 expected 800 found 810"});

    fs::remove(result.dayFile);
    result = Check(3);
    ASSERT_EQ(result.unread.size(), 1u);
    EXPECT_EQ(result.unread[0].path, "out/DS261204.DAT");
    EXPECT_EQ(result.unread[0].cause, "no day file of 2026-12-04");
    EXPECT_EQ(result.unread[0].what, Unread::kDayFile);
    EXPECT_EQ(result.quotes, 0);
    EXPECT_TRUE(result.findings.empty()) << "no day file, so no stock can lack a line in it";
    EXPECT_EQ(result.histories, 1);

    // A file under the day's name that holds another day's quotes is no file of that day.
    WriteDay({{1301, 800}}, 3, {2026, 12, 3});
    fs::rename("out/DS261203.DAT", "out/DS261204.DAT");
    result = Check(3);
    ASSERT_EQ(result.unread.size(), 1u);
    EXPECT_EQ(result.unread[0].cause, "holds the quotes of 2026-12-03");
    EXPECT_TRUE(result.dayFile.empty());

    test::WriteFileBytes("out/DS261204.DAT", "garbage\r\n");
    result = Check(3);
    ASSERT_EQ(result.unread.size(), 1u);
    EXPECT_EQ(result.unread[0].cause, "not a day file: its header is none this program writes");
}

TEST_F(DayCheckTest, TheDayCheckedIsTheLastTradingDayOnOrBeforeTheDate) {
    List({1301});
    const struct {
        std::optional<CalendarDate> date;
        LocalDate today;
        CalendarDate checked;
    } cases[] = {
        {std::nullopt, {2026, 12, 5}, kFriday},  // a Saturday: the Friday's prices
        {std::nullopt, {2026, 12, 4}, kFriday},
        {CalendarDate{2026, 11, 23}, {2026, 12, 7}, {2026, 11, 20}},  // a holiday
        {CalendarDate{2027, 1, 3}, {2026, 12, 7}, {2026, 12, 30}},    // the year-end closure
    };
    for (const auto& c : cases) {
        SetTodayForTesting(c.today);
        EXPECT_EQ(Check(3, c.date).date, c.checked) << IsoDate(c.checked);
    }
    const CheckResult none = Check(3, CalendarDate{2026, 2, 30});
    ASSERT_EQ(none.unread.size(), 1u);
    EXPECT_EQ(none.unread[0].cause, "the date to check names no day");
    EXPECT_EQ(none.unread[0].what, Unread::kDate);
    EXPECT_EQ(none.stocks, 0);
}

TEST_F(DayCheckTest, WithoutAListGivenTheWorkingFoldersFilesAreLoaded) {
    CheckInputs inputs;
    inputs.date = kFriday;
    inputs.outputFolder = "out";
    CheckResult result = CheckDay(inputs);
    ASSERT_EQ(result.unread.size(), 1u);
    EXPECT_EQ(result.unread[0].path, "market.csv");
    test::WriteFileBytes("market.csv", "1,T, M1\r\n");
    result = CheckDay(inputs);
    ASSERT_EQ(result.unread.size(), 1u);
    EXPECT_EQ(result.unread[0].path, "fetchlist.csv");
    EXPECT_EQ(result.stocks, 0);

    test::WriteFileBytes("fetchlist.csv", "1301,1301,T,ABC\r\n1332,1332,T,DEF\r\n");
    WriteHistory(1301, Week(800));
    WriteDay({{1301, 800}}, 3);
    result = CheckDay(inputs);
    EXPECT_TRUE(result.unread.empty());
    EXPECT_EQ(result.stocks, 2);
    EXPECT_EQ(ByCode(result)[1332],
              std::vector<std::string>{"no_quote warning 2026-12-04 expected 0 found -1"});
}

}  // namespace
}  // namespace tickora
