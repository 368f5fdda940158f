// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A day of the civil calendar as the rest of the program writes it (year, month, day), and day
// numbers: days since 1970-01-01, for stepping and counting without a calendar in the way.
#include <chrono>
#include <compare>

namespace tickora {

struct CalendarDate {
    int year = 0;   // with century
    int month = 0;  // 1..12
    int day = 0;    // 1..31

    friend constexpr auto operator<=>(const CalendarDate&, const CalendarDate&) = default;
};

// Whether date names a day of the proleptic Gregorian calendar in the years 1 to 9999.
[[nodiscard]] constexpr bool IsValidDate(const CalendarDate& date) {
    using namespace std::chrono;
    return date.year >= 1 && date.year <= 9999 && date.month >= 1 && date.month <= 12 &&
           date.day >= 1 && date.day <= 31 &&
           year_month_day{year{date.year}, month{static_cast<unsigned>(date.month)},
                          day{static_cast<unsigned>(date.day)}}
               .ok();
}

// Days since 1970-01-01 (negative before it); date must be valid.
[[nodiscard]] constexpr int DayNumber(const CalendarDate& date) {
    using namespace std::chrono;
    const year_month_day ymd{year{date.year}, month{static_cast<unsigned>(date.month)},
                             day{static_cast<unsigned>(date.day)}};
    return static_cast<int>(sys_days{ymd}.time_since_epoch().count());
}

[[nodiscard]] constexpr CalendarDate DateOfDayNumber(int dayNumber) {
    using namespace std::chrono;
    const year_month_day ymd{sys_days{days{dayNumber}}};
    return {static_cast<int>(ymd.year()), static_cast<int>(static_cast<unsigned>(ymd.month())),
            static_cast<int>(static_cast<unsigned>(ymd.day()))};
}

// 0 for Sunday to 6 for Saturday.
[[nodiscard]] constexpr int WeekdayOf(int dayNumber) {
    return ((dayNumber % 7) + 7 + 4) % 7;  // 1970-01-01 was a Thursday
}

[[nodiscard]] constexpr bool IsWeekday(int dayNumber) {
    const int weekday = WeekdayOf(dayNumber);
    return weekday != 0 && weekday != 6;
}

}  // namespace tickora
