// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the day's check finds in the stored files: one rule of the exchange that a stock's day
// file line or price history breaks, on one day. A finding is never a failure of the run that
// found it: the data is the site's, and the program wrote it as the site gave it.
#include <optional>
#include <string>
#include <string_view>

#include "exchange/calendar_date.h"
#include "exchange/holidays.h"
#include "exchange/trading_calendar.h"

namespace tickora {

enum class FindingKind : unsigned char {
    kCloseDiffers,  // the day file's close is not the history's close of the same day
    kMissingDay,    // trading days between a history's first and last day that it has no row for
    kClosedDayBar,  // a history row on a day the exchange was closed
    kBeyondLimit,   // a day's move beyond four times the daily limit, and no split explains it
    kWidenedLimit,  // a day's move beyond the limit, up to four times it (a widened limit)
    kNoQuote,       // a stock of the list without a line in the day file of a trading day
    kStaleHistory,  // a history whose last day is older than the day checked
};
inline constexpr int kFindingKinds = 7;

enum class Severity : unsigned char {
    kNotice,   // worth a look; a rule of the exchange may allow it
    kWarning,  // no rule allows it, or the files disagree with each other
};

// What each field holds, by kind (prices in yen, as the files hold them):
//
//   kind            date                     expected                 found
//   close_differs   the day                  the history's close      the day file's close
//   missing_day     the first day missing    trading days missing     0 (rows found)
//                   (otherDay: the last)
//   closed_day_bar  the day of the row       0 (rows expected)        the row's close
//   beyond_limit,   the day of the move      the furthest close the   the close
//   widened_limit   (previousClose: the      limit allows
//                   close it moved from)
//   no_quote        the day checked          0                        the history's volume that
//                                                                     day; -1 with no row
//   stale_history   the day checked          0                        0 (otherDay: the history's
//                                                                     last day)
struct CheckFinding {
    FindingKind kind = FindingKind::kCloseDiffers;
    Severity severity = Severity::kWarning;
    int code = 0;
    CalendarDate date;
    double expected = 0;
    double found = 0;
    double previousClose = 0;
    CalendarDate otherDay;
    // stale_history: the update that ran before the check reported the history current.
    bool reportedCurrent = false;
};

// "close_differs", "missing_day", ...: the words of the terminal, JSON and the simulated site's
// data faults, which break the rules one kind each.
[[nodiscard]] const char* FindingKindWord(FindingKind kind);
[[nodiscard]] std::optional<FindingKind> FindingKindNamed(std::string_view word);
// "notice", "warning".
[[nodiscard]] const char* SeverityWord(Severity severity);
[[nodiscard]] std::optional<Severity> SeverityNamed(std::string_view word);

// "2026-12-04": the dates of findings, as --date takes them. A history may hold a row dated
// 2026-02-30, and its finding names that date: DateOfIso reads any month 1 to 12 and day 1 to 31
// (IsValidDate tells whether it is a day); nothing for text of another form.
[[nodiscard]] std::string IsoDate(const CalendarDate& date);
[[nodiscard]] std::optional<CalendarDate> DateOfIso(std::string_view text);

// The numbers of a finding as every language shows them, so that the terminal, JSON and the
// desktop program phrase the same facts: prices as the files hold them ("1523", "1523.45"),
// dates as IsoDate gives them.
struct FindingFacts {
    std::string code;                  // "1301"
    std::string date;                  // the finding's day
    std::string expected;              // the field's number, as a price
    std::string found;                 // likewise
    std::string previousClose;         // limit moves
    std::string limit;                 // limit moves: the daily limit of previousClose
    std::string lowest;                // limit moves: the lowest close the limit allows
    std::string highest;               // and the highest
    std::string times;                 // limit moves: the move in limits, one decimal ("5.0")
    std::string otherDay;              // missing_day: the last day missing; stale_history: last day
    int missingDays = 0;               // missing_day
    Closure closure = Closure::kOpen;  // closed_day_bar: why the exchange was closed
    Holiday holiday = Holiday::kNone;  // closed_day_bar on a holiday: which (HolidayWord...)
    long long volume = -1;             // no_quote: the history's volume that day; -1 without a row
};
[[nodiscard]] FindingFacts FactsOf(const CheckFinding& finding);

// A price as the files hold it: whole yen without decimals, hundredths otherwise.
[[nodiscard]] std::string PriceWord(double price);

}  // namespace tickora
