// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The Tokyo market's trading days: the weekdays that are no national holiday (exchange/
// holidays.h), less the exchange's year-end closure from 31 December to 3 January and the one
// day its systems kept the whole market shut (1 October 2020).
//
// The closure and the weekdays are today's rules, kept for every year: the Saturday sessions the
// exchange held until 1989 and its older year-end custom are not the calendar's. Outside the
// years of the holidays law it knows (1949 to 2099) it knows no holidays, only the weekends and
// the year-end closure.
//
// Every function has a form on day numbers (exchange/calendar_date.h), which the ones on dates
// wrap; a lookup is a table read, so a check may ask about every day of decades of histories.
#include "exchange/calendar_date.h"

namespace tickora {

// Why the exchange does not trade on a day.
enum class Closure : unsigned char {
    kOpen,  // a trading day
    kWeekend,
    kHoliday,     // a national holiday, on a weekday or not (HolidayOn names it)
    kYearEnd,     // 31 December to 3 January on a weekday that is no holiday
    kMarketHalt,  // a weekday the exchange did not trade at all
    kNoSuchDay,   // a date that names no day
};

[[nodiscard]] Closure ClosureOn(int dayNumber);
[[nodiscard]] Closure ClosureOn(const CalendarDate& date);
// "weekend", "holiday", ...: for the terminal and JSON.
[[nodiscard]] const char* ClosureWord(Closure closure);

[[nodiscard]] bool IsTradingDay(int dayNumber);
[[nodiscard]] bool IsTradingDay(const CalendarDate& date);  // false for a date that is no day

// The trading day before day, and the one after it. The calendar ends with the years 1 and
// 9999: beyond them there is none, and the steps end on the day just past them.
[[nodiscard]] int PreviousTradingDay(int dayNumber);
[[nodiscard]] int NextTradingDay(int dayNumber);
// day itself when it is a trading day, else the trading day before it: the day whose prices a
// site shows on that date.
[[nodiscard]] int LastTradingDayOnOrBefore(int dayNumber);
// How many trading days lie from first to last, both counted; 0 when last is before first.
[[nodiscard]] int TradingDaysBetween(int first, int last);

// The same on dates; a date that names no day gives CalendarDate{} and a count of 0.
[[nodiscard]] CalendarDate PreviousTradingDay(const CalendarDate& date);
[[nodiscard]] CalendarDate NextTradingDay(const CalendarDate& date);
[[nodiscard]] CalendarDate LastTradingDayOnOrBefore(const CalendarDate& date);
[[nodiscard]] int TradingDaysBetween(const CalendarDate& first, const CalendarDate& last);

}  // namespace tickora
