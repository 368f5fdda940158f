// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Japan's national holidays by the holidays law as it stood in each year from 1949, its first
// whole year, to 2099: the fixed dates and the Monday holidays with the years each held, the
// equinoxes by their astronomical formula, the substitute holiday (from 12 April 1973; from 2007
// the first day after a Sunday holiday that is no holiday itself), the citizens' holiday between
// two holidays (from 27 December 1985), and the days of one year set by laws of their own: the
// imperial weddings, funeral and enthronements, and the Olympic moves of 2020 and 2021.
//
// The equinox days are fixed by an announcement the February before; the formula gives every
// announced day so far and is the best forecast for the years after.
#include <string>
#include <vector>

#include "exchange/calendar_date.h"

namespace tickora {

inline constexpr int kFirstHolidayYear = 1949;
inline constexpr int kLastHolidayYear = 2099;

enum class Holiday : unsigned char {
    kNone,
    kNewYearsDay,
    kComingOfAgeDay,
    kFoundationDay,
    kEmperorsBirthday,
    kVernalEquinoxDay,
    kGreeneryDay,
    kShowaDay,
    kConstitutionDay,
    kChildrensDay,
    kMarineDay,
    kMountainDay,
    kRespectForTheAgedDay,
    kAutumnalEquinoxDay,
    kHealthSportsDay,  // the October holiday until 2019
    kSportsDay,        // its name from 2020
    kCultureDay,
    kLabourThanksgivingDay,
    kSubstituteHoliday,
    kCitizensHoliday,
    kCrownPrinceAkihitoWedding,   // 1959-04-10
    kEmperorShowaFuneral,         // 1989-02-24
    kEnthronementCeremony,        // 1990-11-12 and 2019-10-22
    kCrownPrinceNaruhitoWedding,  // 1993-06-09
    kEnthronementDay,             // 2019-05-01
};

// The holiday on a day; kNone on a working day, and on every day outside kFirstHolidayYear to
// kLastHolidayYear, of which the calendar knows no holidays.
[[nodiscard]] Holiday HolidayOn(int dayNumber);
[[nodiscard]] Holiday HolidayOn(const CalendarDate& date);  // kNone for a date that is no day

struct DatedHoliday {
    CalendarDate date;
    Holiday holiday = Holiday::kNone;
};
// The holidays of one year in date order; none outside kFirstHolidayYear to kLastHolidayYear.
[[nodiscard]] std::vector<DatedHoliday> HolidaysOfYear(int year);

// The holiday's English name for the terminal and JSON ("Vernal Equinox Day").
[[nodiscard]] const char* HolidayWord(Holiday holiday);
// Its Japanese name as the law or the custom says it, in Shift-JIS ("春分の日").
[[nodiscard]] std::string HolidayNameSjis(Holiday holiday);

}  // namespace tickora
