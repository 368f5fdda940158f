// SPDX-License-Identifier: GPL-3.0-or-later
// The rules of one price history on histories built by hand: a row for every trading day and
// none on another, the daily limit at the edges of its bands with the splits that explain a
// jump, indices without a limit, a day without trade, and a history that stops short.
#include "checks/history_rules.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "exchange/calendar_date.h"
#include "tests/support/kdt_days.h"

namespace tickora {
namespace {

// A day of the history at one price all day.
struct Row {
    CalendarDate date;
    int close = 0;
    int volume = 1000;
};

std::vector<CKdtDay> History(const std::vector<Row>& rows) {
    std::vector<CKdtDay> days;
    for (const Row& r : rows) {
        days.push_back(test::Day(r.date.year, r.date.month, r.date.day, r.close, r.close, r.close,
                                 r.close, r.volume));
    }
    return days;
}

// What a test expects of a finding, in the words the terminal prints.
std::string Text(const CheckFinding& f) {
    std::string text = std::string(FindingKindWord(f.kind)) + " " + SeverityWord(f.severity) + " " +
                       IsoDate(f.date) + " expected " + PriceWord(f.expected) + " found " +
                       PriceWord(f.found);
    if (f.previousClose != 0) {
        text += " from " + PriceWord(f.previousClose);
    }
    if (f.otherDay.year != 0) {
        text += " to " + IsoDate(f.otherDay);
    }
    return text;
}

std::vector<std::string> Found(const std::vector<Row>& rows, bool index = false,
                               CalendarDate checked = {}, bool reportedCurrent = false) {
    HistoryCheck check;
    check.code = index ? 1001 : 1301;
    check.index = index;
    // By default the day checked is the history's last, so that only the rows speak.
    check.checkedDay = DayNumber(checked.year != 0 ? checked : rows.back().date);
    check.reportedCurrent = reportedCurrent;
    std::vector<CheckFinding> findings;
    CheckHistory(check, History(rows), findings);
    std::vector<std::string> texts;
    for (const CheckFinding& f : findings) {
        EXPECT_EQ(f.code, check.code);
        texts.push_back(Text(f));
    }
    return texts;
}

using Texts = std::vector<std::string>;

// Friday 20 November 2026; Monday the 23rd is Labour Thanksgiving Day.
constexpr CalendarDate kFri{2026, 11, 20};
constexpr CalendarDate kSat{2026, 11, 21};
constexpr CalendarDate kHoliday{2026, 11, 23};
constexpr CalendarDate kTue{2026, 11, 24};
constexpr CalendarDate kWed{2026, 11, 25};
constexpr CalendarDate kThu{2026, 11, 26};
constexpr CalendarDate kFri2{2026, 11, 27};
constexpr CalendarDate kMon{2026, 11, 30};
constexpr CalendarDate kTue2{2026, 12, 1};

TEST(HistoryRules, ARowForEveryTradingDayAndNoneOnAnother) {
    const struct {
        const char* what;
        std::vector<Row> rows;
        Texts expected;
    } cases[] = {
        {"a week across a holiday", {{kFri, 500}, {kTue, 505}, {kWed, 500}}, {}},
        {"a bar on the holiday",
         {{kFri, 500}, {kHoliday, 500}, {kTue, 505}},
         {"closed_day_bar warning 2026-11-23 expected 0 found 500"}},
        {"a bar on a Saturday",
         {{kFri, 500}, {kSat, 501}, {kTue, 505}},
         {"closed_day_bar warning 2026-11-21 expected 0 found 501"}},
        {"a bar in the year-end closure",
         {{{2026, 12, 30}, 500}, {{2026, 12, 31}, 502}, {{2027, 1, 4}, 505}},
         {"closed_day_bar warning 2026-12-31 expected 0 found 502"}},
        {"one day missing",
         {{kTue, 500}, {kThu, 505}},
         {"missing_day warning 2026-11-25 expected 1 found 0 to 2026-11-25"}},
        {"a run of days missing is one finding, across a weekend",
         {{kTue, 500}, {kTue2, 505}},
         {"missing_day warning 2026-11-25 expected 4 found 0 to 2026-11-30"}},
        {"a day without trade at the close before, with no volume",
         {{kTue, 500}, {kWed, 500, 0}, {kThu, 510}},
         {}},
        {"a row on a date that names no day",
         {{{2026, 2, 27}, 500}, {{2026, 2, 30}, 501}, {{2026, 3, 2}, 505}},
         {"closed_day_bar warning 2026-02-30 expected 0 found 501"}},
        {"a holiday bar and a gap after it",
         {{kFri, 500}, {kHoliday, 500}, {kWed, 505}},
         {"closed_day_bar warning 2026-11-23 expected 0 found 500",
          "missing_day warning 2026-11-24 expected 1 found 0 to 2026-11-24"}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Found(c.rows), c.expected) << c.what;
    }
}

TEST(HistoryRules, AMoveBeyondTheLimitIsANoticeUpToFourTimesItAndAWarningBeyond) {
    const struct {
        int previous;
        int close;
        Texts expected;
    } cases[] = {
        {1000, 1300, {}},  // at the limit: a stop-high close
        {1000, 700, {}},
        {1000, 1301, {"widened_limit notice 2026-11-25 expected 1300 found 1301 from 1000"}},
        {1000, 699, {"widened_limit notice 2026-11-25 expected 700 found 699 from 1000"}},
        {1000, 2200, {"widened_limit notice 2026-11-25 expected 1300 found 2200 from 1000"}},
        {1000, 2201, {"beyond_limit warning 2026-11-25 expected 1300 found 2201 from 1000"}},
        // The band of the previous close decides: 99 has 30, 100 has 50.
        {99, 129, {}},
        {99, 130, {"widened_limit notice 2026-11-25 expected 129 found 130 from 99"}},
        {100, 150, {}},
        {100, 151, {"widened_limit notice 2026-11-25 expected 150 found 151 from 100"}},
        {999, 1149, {}},
        {1000, 1150, {}},
        {1499, 1799, {}},
        {1500, 1900, {}},
        {1500, 1901, {"widened_limit notice 2026-11-25 expected 1900 found 1901 from 1500"}},
        {100000, 130000, {}},
        {100000,
         130001,
         {"widened_limit notice 2026-11-25 expected 130000 found 130001 from 100000"}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Found({{kTue, c.previous}, {kWed, c.close}}), c.expected)
            << c.previous << " -> " << c.close;
    }
}

TEST(HistoryRules, ASplitsRatioExplainsAJumpAndNothingElseDoes) {
    const struct {
        const char* what;
        int previous;
        int close;
        bool explained;
    } cases[] = {
        {"1:2, the close on the halved price", 2000, 1000, true},
        {"1:2 and a day's move of 4% up", 2000, 1040, true},
        {"1:2 and 4% down", 2000, 960, true},
        {"1:2 and 6% up: more than a day's move", 2000, 1060, false},
        {"1:3", 3000, 1010, true},
        {"2:3", 3000, 2000, true},
        {"1:4", 4000, 1000, true},
        {"1:5", 5000, 990, true},
        {"1:10", 5000, 505, true},
        {"a reverse split 2:1", 400, 800, true},
        {"a reverse split 5:1", 100, 502, true},
        {"a reverse split 10:1", 50, 500, true},
        {"two and a half times: no split", 400, 1000, false},
        {"0.4 times: no split", 5000, 2000, false},
        {"a fall to 0.3: between 1:3 and 1:4", 10000, 3000, false},
    };
    for (const auto& c : cases) {
        const Texts found = Found({{kTue, c.previous}, {kWed, c.close}});
        EXPECT_EQ(found.empty(), c.explained) << c.what << ": " << testing::PrintToString(found);
    }
}

TEST(HistoryRules, AnIndexHasNoLimitButKeepsTheCalendar) {
    EXPECT_EQ(Found({{kTue, 1500}, {kWed, 3700}}, true), Texts{});
    EXPECT_EQ(Found({{kTue, 1500}, {kThu, 1510}}, true),
              Texts{"missing_day warning 2026-11-25 expected 1 found 0 to 2026-11-25"});
    // The same move of a stock is a warning.
    EXPECT_EQ(Found({{kTue, 1500}, {kWed, 3700}}),
              Texts{"beyond_limit warning 2026-11-25 expected 1900 found 3700 from 1500"});
}

TEST(HistoryRules, OnlyAMoveFromTheTradingDayJustBeforeIsHeldAgainstTheLimit) {
    const struct {
        const char* what;
        std::vector<Row> rows;
        Texts expected;
    } cases[] = {
        {"across a gap the limits of the days between are unknown",
         {{kTue, 1000}, {kThu, 2500}},
         {"missing_day warning 2026-11-25 expected 1 found 0 to 2026-11-25"}},
        {"a bar on a closed day is no previous close",
         {{kFri, 1000}, {kHoliday, 5000}, {kTue, 1010}},
         {"closed_day_bar warning 2026-11-23 expected 0 found 5000"}},
        {"the trading day before the bar is",
         {{kFri, 1000}, {kHoliday, 1000}, {kTue, 2500}},
         {"closed_day_bar warning 2026-11-23 expected 0 found 1000",
          "beyond_limit warning 2026-11-24 expected 1300 found 2500 from 1000"}},
        {"after a day without trade, from its close",
         {{kTue, 1000}, {kWed, 1000, 0}, {kThu, 1350}},
         {"widened_limit notice 2026-11-26 expected 1300 found 1350 from 1000"}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Found(c.rows), c.expected) << c.what;
    }
}

TEST(HistoryRules, AHistoryEndingBeforeTheDayCheckedIsStale) {
    const std::vector<Row> rows = {{kThu, 500}, {kFri2, 505}};
    const struct {
        const char* what;
        CalendarDate checked;
        bool reportedCurrent;
        Texts expected;
    } cases[] = {
        {"current", kFri2, false, {}},
        {"the day checked is older than its end", kThu, false, {}},
        {"a trading day short, with no word of an update",
         kMon,
         false,
         {"stale_history notice 2026-11-30 expected 0 found 0 to 2026-11-27"}},
        {"a trading day short, though the update reported it current",
         kMon,
         true,
         {"stale_history warning 2026-11-30 expected 0 found 0 to 2026-11-27"}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Found(rows, false, c.checked, c.reportedCurrent), c.expected) << c.what;
    }
}

TEST(CheckFinding, DatesReadBackAsFindingsWriteThemEvenWhereTheyNameNoDay) {
    const struct {
        const char* text;
        std::optional<CalendarDate> date;
    } cases[] = {
        {"2026-12-04", CalendarDate{2026, 12, 4}},
        {"2026-02-30", CalendarDate{2026, 2, 30}},
        {"0999-01-01", CalendarDate{999, 1, 1}},
        {"2026-13-01", std::nullopt},
        {"2026-12-00", std::nullopt},
        {"2026-12-32", std::nullopt},
        {"2026-1-04", std::nullopt},
        {"2026/12/04", std::nullopt},
        {"2026-12-0x", std::nullopt},
        {"+026-12-04", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DateOfIso(c.text), c.date) << c.text;
        if (c.date) {
            EXPECT_EQ(IsoDate(*c.date), c.text);
        }
    }
}

}  // namespace
}  // namespace tickora
