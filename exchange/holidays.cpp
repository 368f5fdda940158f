// SPDX-License-Identifier: GPL-3.0-or-later
#include "exchange/holidays.h"

#include <array>
#include <cstdint>

#include "text/named_values.h"
#include "text/sjis.h"

namespace tickora {
namespace {

// One line of the law: a holiday on a fixed date (day), or on the nth Monday of its month
// (nthMonday, with day 0), in the years from and to. `national` is false for the days of their
// own laws that were declared days off without becoming national holidays: they move no
// substitute and make no citizens' holiday.
struct Rule {
    Holiday holiday;
    int from;
    int to;
    int month;
    int day;
    int nthMonday = 0;
    bool national = true;
};

using enum Holiday;

constexpr Rule kRules[] = {
    {kNewYearsDay, 1949, 2099, 1, 1},
    {kComingOfAgeDay, 1949, 1999, 1, 15},
    {kComingOfAgeDay, 2000, 2099, 1, 0, 2},
    {kFoundationDay, 1967, 2099, 2, 11},
    {kEmperorsBirthday, 1949, 1988, 4, 29},
    {kEmperorsBirthday, 1989, 2018, 12, 23},
    // 2019 has none: one emperor abdicated before his 23 December, and the other's 23 February
    // had passed when he acceded.
    {kEmperorsBirthday, 2020, 2099, 2, 23},
    {kGreeneryDay, 1989, 2006, 4, 29},
    {kShowaDay, 2007, 2099, 4, 29},
    {kConstitutionDay, 1949, 2099, 5, 3},
    {kGreeneryDay, 2007, 2099, 5, 4},
    {kChildrensDay, 1949, 2099, 5, 5},
    {kMarineDay, 1996, 2002, 7, 20},
    {kMarineDay, 2003, 2019, 7, 0, 3},
    {kMarineDay, 2020, 2020, 7, 23},  // moved to the eve of the Olympic opening
    {kMarineDay, 2021, 2021, 7, 22},  // and again when the games were held a year late
    {kMarineDay, 2022, 2099, 7, 0, 3},
    {kMountainDay, 2016, 2019, 8, 11},
    {kMountainDay, 2020, 2020, 8, 10},  // the day after the closing ceremony
    {kMountainDay, 2021, 2021, 8, 8},
    {kMountainDay, 2022, 2099, 8, 11},
    {kRespectForTheAgedDay, 1966, 2002, 9, 15},
    {kRespectForTheAgedDay, 2003, 2099, 9, 0, 3},
    {kHealthSportsDay, 1966, 1999, 10, 10},
    {kHealthSportsDay, 2000, 2019, 10, 0, 2},
    {kSportsDay, 2020, 2020, 7, 24},  // the day of the Olympic opening
    {kSportsDay, 2021, 2021, 7, 23},
    {kSportsDay, 2022, 2099, 10, 0, 2},
    {kCultureDay, 1949, 2099, 11, 3},
    {kLabourThanksgivingDay, 1949, 2099, 11, 23},
    {kCrownPrinceAkihitoWedding, 1959, 1959, 4, 10, 0, false},
    {kEmperorShowaFuneral, 1989, 1989, 2, 24, 0, false},
    {kEnthronementCeremony, 1990, 1990, 11, 12, 0, false},
    {kCrownPrinceNaruhitoWedding, 1993, 1993, 6, 9, 0, false},
    // The law for the accession of 2019 made both its days national holidays, so 30 April and
    // 2 May became citizens' holidays between them and their neighbours.
    {kEnthronementDay, 2019, 2019, 5, 1},
    {kEnthronementCeremony, 2019, 2019, 10, 22},
};

constexpr CalendarDate kFirstSubstituteRule{1973, 4, 12};
constexpr int kSubstituteToNextFreeDay = 2007;  // before: only the Monday after a Sunday holiday
constexpr CalendarDate kFirstCitizensRule{1985, 12, 27};

// The day of March and September the Sun crosses the equator, in Japan's time, by the formula
// the Observatory's announcements agree with: the year's drift of 0.242194 days, taken back by
// the leap days. Its two pieces hold for 1900-1979 and 1980-2099; the quotient is truncated
// towards zero, as the formula is written, also for the years before 1983.
int EquinoxDay(int year, double base1900, double base1980) {
    const int y = year - 1980;
    const double base = year < 1980 ? base1900 : base1980;
    const int leapDays = year < 1980 ? (year - 1983) / 4 : y / 4;
    return static_cast<int>(base + 0.242194 * y - leapDays);
}

int NthMonday(int year, int month, int n) {
    const int first = DayNumber({year, month, 1});
    const int toMonday = (1 - WeekdayOf(first) + 7) % 7;
    return first + toMonday + 7 * (n - 1);
}

// The days of one year, from January 1; national marks the national holidays among them.
struct YearHolidays {
    int firstDay = 0;
    int days = 0;
    std::array<Holiday, 366> holiday{};
    std::array<bool, 366> national{};

    [[nodiscard]] bool Contains(int day) const { return day >= firstDay && day < firstDay + days; }
    [[nodiscard]] bool IsNational(int day) const {
        return Contains(day) && national[static_cast<std::size_t>(day - firstDay)];
    }
    [[nodiscard]] Holiday At(int day) const {
        return Contains(day) ? holiday[static_cast<std::size_t>(day - firstDay)] : kNone;
    }
    void Set(int day, Holiday h, bool isNational) {
        holiday[static_cast<std::size_t>(day - firstDay)] = h;
        national[static_cast<std::size_t>(day - firstDay)] = isNational;
    }
};

void AddRules(int year, YearHolidays& y) {
    for (const Rule& rule : kRules) {
        if (year < rule.from || year > rule.to) {
            continue;
        }
        const int day = rule.nthMonday > 0 ? NthMonday(year, rule.month, rule.nthMonday)
                                           : DayNumber({year, rule.month, rule.day});
        y.Set(day, rule.holiday, rule.national);
    }
    y.Set(DayNumber({year, 3, EquinoxDay(year, 20.8357, 20.8431)}), kVernalEquinoxDay, true);
    y.Set(DayNumber({year, 9, EquinoxDay(year, 23.2588, 23.2488)}), kAutumnalEquinoxDay, true);
}

// A national holiday on a Sunday gives the next day off; from 2007 the next day that is no
// national holiday itself (a Sunday 3 May gives 6 May).
void AddSubstitutes(int year, YearHolidays& y) {
    const int firstRuleDay = DayNumber(kFirstSubstituteRule);
    for (int day = y.firstDay; day < y.firstDay + y.days; ++day) {
        if (!y.IsNational(day) || WeekdayOf(day) != 0 || day < firstRuleDay) {
            continue;
        }
        int off = day + 1;
        while (year >= kSubstituteToNextFreeDay && y.IsNational(off)) {
            ++off;
        }
        if (y.Contains(off) && y.At(off) == kNone) {
            y.Set(off, kSubstituteHoliday, false);
        }
    }
}

// A day between two national holidays is a day off too. A substitute holiday keeps its name;
// until 2006 a Sunday stayed a Sunday.
void AddCitizensHolidays(int year, YearHolidays& y) {
    const int firstRuleDay = DayNumber(kFirstCitizensRule);
    for (int day = y.firstDay + 1; day + 1 < y.firstDay + y.days; ++day) {
        if (day < firstRuleDay || y.At(day) != kNone || !y.IsNational(day - 1) ||
            !y.IsNational(day + 1)) {
            continue;
        }
        if (year >= kSubstituteToNextFreeDay || WeekdayOf(day) != 0) {
            y.Set(day, kCitizensHoliday, false);
        }
    }
}

YearHolidays ComputeYear(int year) {
    YearHolidays y;
    y.firstDay = DayNumber({year, 1, 1});
    y.days = DayNumber({year + 1, 1, 1}) - y.firstDay;
    AddRules(year, y);
    AddSubstitutes(year, y);
    AddCitizensHolidays(year, y);
    return y;
}

// Every day of the years the calendar knows, computed once: the trading calendar asks a day at a
// time over decades of histories.
class HolidayTable {
  public:
    HolidayTable() : m_firstDay(DayNumber({kFirstHolidayYear, 1, 1})) {
        m_days.resize(
            static_cast<std::size_t>(DayNumber({kLastHolidayYear + 1, 1, 1}) - m_firstDay));
        for (int year = kFirstHolidayYear; year <= kLastHolidayYear; ++year) {
            const YearHolidays y = ComputeYear(year);
            for (int i = 0; i < y.days; ++i) {
                m_days[static_cast<std::size_t>(y.firstDay - m_firstDay + i)] =
                    y.holiday[static_cast<std::size_t>(i)];
            }
        }
    }

    [[nodiscard]] Holiday At(int dayNumber) const {
        const long offset = static_cast<long>(dayNumber) - m_firstDay;
        return offset < 0 || offset >= static_cast<long>(m_days.size())
                   ? kNone
                   : m_days[static_cast<std::size_t>(offset)];
    }

  private:
    int m_firstDay;
    std::vector<Holiday> m_days;
};

const HolidayTable& Table() {
    static const HolidayTable table;
    return table;
}

struct HolidayNames {
    Holiday holiday;
    const char* english;
    const char* japanese;  // UTF-8 here; handed out in Shift-JIS
};

constexpr HolidayNames kNames[] = {
    {kNone, "", ""},
    {kNewYearsDay, "New Year's Day", "元日"},
    {kComingOfAgeDay, "Coming of Age Day", "成人の日"},
    {kFoundationDay, "National Foundation Day", "建国記念の日"},
    {kEmperorsBirthday, "The Emperor's Birthday", "天皇誕生日"},
    {kVernalEquinoxDay, "Vernal Equinox Day", "春分の日"},
    {kGreeneryDay, "Greenery Day", "みどりの日"},
    {kShowaDay, "Showa Day", "昭和の日"},
    {kConstitutionDay, "Constitution Memorial Day", "憲法記念日"},
    {kChildrensDay, "Children's Day", "こどもの日"},
    {kMarineDay, "Marine Day", "海の日"},
    {kMountainDay, "Mountain Day", "山の日"},
    {kRespectForTheAgedDay, "Respect for the Aged Day", "敬老の日"},
    {kAutumnalEquinoxDay, "Autumnal Equinox Day", "秋分の日"},
    {kHealthSportsDay, "Health and Sports Day", "体育の日"},
    {kSportsDay, "Sports Day", "スポーツの日"},
    {kCultureDay, "Culture Day", "文化の日"},
    {kLabourThanksgivingDay, "Labour Thanksgiving Day", "勤労感謝の日"},
    {kSubstituteHoliday, "Substitute Holiday", "振替休日"},
    {kCitizensHoliday, "Citizens' Holiday", "国民の休日"},
    {kCrownPrinceAkihitoWedding, "Wedding of Crown Prince Akihito", "皇太子明仁親王の結婚の儀"},
    {kEmperorShowaFuneral, "Funeral of Emperor Showa", "昭和天皇の大喪の礼"},
    {kEnthronementCeremony, "Enthronement Ceremony", "即位礼正殿の儀"},
    {kCrownPrinceNaruhitoWedding, "Wedding of Crown Prince Naruhito", "皇太子徳仁親王の結婚の儀"},
    {kEnthronementDay, "Enthronement Day", "天皇の即位の日"},
};

const HolidayNames& NamesOf(Holiday holiday) {
    for (const HolidayNames& names : kNames) {
        if (names.holiday == holiday) {
            return names;
        }
    }
    return kNames[0];
}

}  // namespace

Holiday HolidayOn(int dayNumber) {
    return Table().At(dayNumber);
}

Holiday HolidayOn(const CalendarDate& date) {
    return IsValidDate(date) ? HolidayOn(DayNumber(date)) : kNone;
}

std::vector<DatedHoliday> HolidaysOfYear(int year) {
    std::vector<DatedHoliday> holidays;
    if (year < kFirstHolidayYear || year > kLastHolidayYear) {
        return holidays;
    }
    for (int day = DayNumber({year, 1, 1}); day < DayNumber({year + 1, 1, 1}); ++day) {
        if (const Holiday holiday = HolidayOn(day); holiday != kNone) {
            holidays.push_back({DateOfDayNumber(day), holiday});
        }
    }
    return holidays;
}

const char* HolidayWord(Holiday holiday) {
    return NamesOf(holiday).english;
}

std::string HolidayNameSjis(Holiday holiday) {
    return Utf8ToSjis(NamesOf(holiday).japanese);
}

}  // namespace tickora
