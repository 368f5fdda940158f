// SPDX-License-Identifier: GPL-3.0-or-later
// The trading calendar on the days its rules turn on: the special days of 2019 to 2021, the
// substitute and citizens' holidays under both of their laws, the year-end closure, and the steps
// and counts between trading days.
#include "exchange/trading_calendar.h"

#include <gtest/gtest.h>

#include <string>

#include "exchange/holidays.h"
#include "text/sjis.h"

namespace tickora {
namespace {

std::string Text(const CalendarDate& date) {
    char text[16];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", date.year, date.month, date.day);
    return text;
}

TEST(TradingCalendar, ClosesOnTheDaysItsRulesName) {
    using enum Holiday;
    struct Case {
        CalendarDate date;
        Closure closure;
        Holiday holiday;
    } cases[] = {
        {{2026, 12, 4}, Closure::kOpen, kNone},
        {{2026, 12, 5}, Closure::kWeekend, kNone},
        {{2026, 11, 23}, Closure::kHoliday, kLabourThanksgivingDay},
        // The accession of 2019: its two days, and the citizens' holidays beside the first.
        {{2019, 4, 30}, Closure::kHoliday, kCitizensHoliday},
        {{2019, 5, 1}, Closure::kHoliday, kEnthronementDay},
        {{2019, 5, 2}, Closure::kHoliday, kCitizensHoliday},
        {{2019, 5, 6}, Closure::kHoliday, kSubstituteHoliday},
        {{2019, 10, 22}, Closure::kHoliday, kEnthronementCeremony},
        {{2019, 12, 23}, Closure::kOpen, kNone},  // no emperor's birthday that year
        {{2020, 2, 24}, Closure::kHoliday, kSubstituteHoliday},
        // The Olympic year: three holidays moved, and their usual days are trading days.
        {{2020, 7, 23}, Closure::kHoliday, kMarineDay},
        {{2020, 7, 24}, Closure::kHoliday, kSportsDay},
        {{2020, 8, 10}, Closure::kHoliday, kMountainDay},
        {{2020, 7, 20}, Closure::kOpen, kNone},
        {{2020, 8, 11}, Closure::kOpen, kNone},
        {{2020, 10, 12}, Closure::kOpen, kNone},
        {{2020, 10, 1}, Closure::kMarketHalt, kNone},
        // And again a year later, Mountain Day on a Sunday moving its substitute to Monday.
        {{2021, 7, 22}, Closure::kHoliday, kMarineDay},
        {{2021, 7, 23}, Closure::kHoliday, kSportsDay},
        {{2021, 8, 8}, Closure::kHoliday, kMountainDay},
        {{2021, 8, 9}, Closure::kHoliday, kSubstituteHoliday},
        {{2021, 7, 19}, Closure::kOpen, kNone},
        {{2021, 8, 11}, Closure::kOpen, kNone},
        {{2021, 10, 11}, Closure::kOpen, kNone},
        // Days of their own laws.
        {{1959, 4, 10}, Closure::kHoliday, kCrownPrinceAkihitoWedding},
        {{1989, 2, 24}, Closure::kHoliday, kEmperorShowaFuneral},
        {{1990, 11, 12}, Closure::kHoliday, kEnthronementCeremony},
        {{1993, 6, 9}, Closure::kHoliday, kCrownPrinceNaruhitoWedding},
        // The substitute holiday: none before 12 April 1973; until 2006 the Monday after, even
        // when it falls between two holidays; from 2007 the first day that is no holiday.
        {{1967, 1, 16}, Closure::kOpen, kNone},
        {{1973, 4, 30}, Closure::kHoliday, kSubstituteHoliday},
        {{1974, 5, 6}, Closure::kHoliday, kSubstituteHoliday},
        {{1998, 5, 4}, Closure::kHoliday, kSubstituteHoliday},
        {{2008, 5, 6}, Closure::kHoliday, kSubstituteHoliday},
        {{2015, 5, 6}, Closure::kHoliday, kSubstituteHoliday},
        // The citizens' holiday from 1986 on, in May until 2006 and in September since.
        {{1985, 5, 4}, Closure::kWeekend, kNone},
        {{1988, 5, 4}, Closure::kHoliday, kCitizensHoliday},
        {{2006, 5, 4}, Closure::kHoliday, kCitizensHoliday},
        {{2007, 5, 4}, Closure::kHoliday, kGreeneryDay},
        {{2009, 9, 22}, Closure::kHoliday, kCitizensHoliday},
        {{2026, 9, 22}, Closure::kHoliday, kCitizensHoliday},
        // The Monday holidays and the older fixed dates.
        {{1999, 1, 15}, Closure::kHoliday, kComingOfAgeDay},
        {{2000, 1, 10}, Closure::kHoliday, kComingOfAgeDay},
        {{2002, 7, 20}, Closure::kHoliday, kMarineDay},  // a Saturday, named for its holiday
        {{2003, 7, 21}, Closure::kHoliday, kMarineDay},
        {{1966, 2, 11}, Closure::kOpen, kNone},
        {{1967, 2, 11}, Closure::kHoliday, kFoundationDay},
        {{1988, 4, 29}, Closure::kHoliday, kEmperorsBirthday},
        {{1989, 4, 29}, Closure::kHoliday, kGreeneryDay},
        // The year-end closure, whatever the weekday.
        {{2019, 12, 30}, Closure::kOpen, kNone},
        {{2019, 12, 31}, Closure::kYearEnd, kNone},
        {{2020, 1, 1}, Closure::kHoliday, kNewYearsDay},
        {{2020, 1, 2}, Closure::kYearEnd, kNone},
        {{2020, 1, 3}, Closure::kYearEnd, kNone},
        {{2020, 1, 6}, Closure::kOpen, kNone},
        {{2022, 1, 3}, Closure::kYearEnd, kNone},
        {{2023, 12, 29}, Closure::kOpen, kNone},
        // Outside the holidays law's years only the weekends and the closure are known.
        {{1948, 1, 2}, Closure::kYearEnd, kNone},
        {{1948, 11, 3}, Closure::kOpen, kNone},
        {{2100, 1, 4}, Closure::kOpen, kNone},
        {{2100, 12, 31}, Closure::kYearEnd, kNone},
        {{2026, 2, 29}, Closure::kNoSuchDay, kNone},
        {{2026, 13, 1}, Closure::kNoSuchDay, kNone},
        {{0, 1, 1}, Closure::kNoSuchDay, kNone},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ClosureOn(c.date), c.closure) << Text(c.date);
        EXPECT_EQ(IsTradingDay(c.date), c.closure == Closure::kOpen) << Text(c.date);
        EXPECT_EQ(HolidayOn(c.date), c.holiday) << Text(c.date);
        if (IsValidDate(c.date)) {
            EXPECT_EQ(ClosureOn(DayNumber(c.date)), c.closure) << Text(c.date);
        }
    }
}

TEST(TradingCalendar, StepsAndCountsBetweenTradingDays) {
    struct Case {
        CalendarDate date;
        CalendarDate previous;
        CalendarDate next;
        CalendarDate onOrBefore;
    } cases[] = {
        {{2026, 12, 4}, {2026, 12, 3}, {2026, 12, 7}, {2026, 12, 4}},
        {{2026, 12, 6}, {2026, 12, 4}, {2026, 12, 7}, {2026, 12, 4}},
        // Across the year end: the last session on 30 December, the first on 4 January.
        {{2027, 1, 3}, {2026, 12, 30}, {2027, 1, 4}, {2026, 12, 30}},
        {{2026, 12, 30}, {2026, 12, 29}, {2027, 1, 4}, {2026, 12, 30}},
        // The ten days off of the accession's Golden Week.
        {{2019, 5, 1}, {2019, 4, 26}, {2019, 5, 7}, {2019, 4, 26}},
        {{2019, 5, 7}, {2019, 4, 26}, {2019, 5, 8}, {2019, 5, 7}},
        {{2020, 10, 1}, {2020, 9, 30}, {2020, 10, 2}, {2020, 9, 30}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(PreviousTradingDay(c.date), c.previous) << Text(c.date);
        EXPECT_EQ(NextTradingDay(c.date), c.next) << Text(c.date);
        EXPECT_EQ(LastTradingDayOnOrBefore(c.date), c.onOrBefore) << Text(c.date);
    }
    EXPECT_EQ(TradingDaysBetween(CalendarDate{2019, 4, 26}, CalendarDate{2019, 5, 7}), 2);
    EXPECT_EQ(TradingDaysBetween(CalendarDate{2026, 12, 4}, CalendarDate{2026, 12, 4}), 1);
    EXPECT_EQ(TradingDaysBetween(CalendarDate{2026, 12, 5}, CalendarDate{2026, 12, 6}), 0);
    EXPECT_EQ(TradingDaysBetween(CalendarDate{2026, 12, 7}, CalendarDate{2026, 12, 4}), 0);
    EXPECT_EQ(TradingDaysBetween(CalendarDate{2026, 2, 30}, CalendarDate{2026, 12, 4}), 0);
    EXPECT_EQ(PreviousTradingDay(CalendarDate{2026, 2, 30}), CalendarDate{});
    EXPECT_EQ(NextTradingDay(CalendarDate{2026, 0, 1}), CalendarDate{});
}

// The counts and steps come from running totals and links over the known years and from
// arithmetic beyond them; a day-by-day walk of the same ranges must agree, also where a range
// crosses the table's ends.
TEST(TradingCalendar, CountsAgreeWithCountingDayByDay) {
    const struct {
        CalendarDate first, last;
    } ranges[] = {
        {{1983, 1, 1}, {2026, 12, 4}},  {{1940, 3, 7}, {1951, 6, 1}},
        {{2095, 12, 30}, {2104, 1, 5}}, {{1948, 12, 1}, {1949, 1, 10}},
        {{1, 1, 1}, {1, 1, 31}},        {{9999, 12, 1}, {9999, 12, 31}},
        {{2019, 1, 1}, {2019, 12, 31}},
    };
    for (const auto& r : ranges) {
        int counted = 0;
        int previous = PreviousTradingDay(DayNumber(r.first));
        for (int day = DayNumber(r.first); day <= DayNumber(r.last); ++day) {
            ASSERT_EQ(PreviousTradingDay(day), previous) << Text(DateOfDayNumber(day));
            if (IsTradingDay(day)) {
                ASSERT_EQ(NextTradingDay(previous), day) << Text(DateOfDayNumber(day));
                previous = day;
                ++counted;
            }
        }
        EXPECT_EQ(TradingDaysBetween(r.first, r.last), counted) << Text(r.first);
    }
    // Far beyond any date: clamped to the calendar's years, never a day's step overflowing.
    EXPECT_EQ(TradingDaysBetween(-2000000000, 2000000000),
              TradingDaysBetween(CalendarDate{1, 1, 1}, CalendarDate{9999, 12, 31}));
    EXPECT_FALSE(IsTradingDay(2000000000));
    EXPECT_LT(PreviousTradingDay(-2000000000), DayNumber({1, 1, 1}));
}

TEST(TradingCalendar, NamesEveryClosureAndHoliday) {
    EXPECT_STREQ(ClosureWord(Closure::kYearEnd), "year-end closure");
    EXPECT_STREQ(HolidayWord(Holiday::kVernalEquinoxDay), "Vernal Equinox Day");
    EXPECT_EQ(SjisToUtf8(HolidayNameSjis(Holiday::kSportsDay)), "スポーツの日");
    EXPECT_EQ(SjisToUtf8(HolidayNameSjis(Holiday::kEnthronementDay)), "天皇の即位の日");
    for (int value = 1; value <= static_cast<int>(Holiday::kEnthronementDay); ++value) {
        const auto holiday = static_cast<Holiday>(value);
        EXPECT_STRNE(HolidayWord(holiday), "") << value;
        const std::string japanese = HolidayNameSjis(holiday);
        EXPECT_FALSE(japanese.empty()) << value;
        EXPECT_EQ(japanese.find('?'), std::string::npos) << value;  // every character converted
    }
    for (int value = 0; value <= static_cast<int>(Closure::kNoSuchDay); ++value) {
        EXPECT_STRNE(ClosureWord(static_cast<Closure>(value)), "") << value;
    }
}

}  // namespace
}  // namespace tickora
