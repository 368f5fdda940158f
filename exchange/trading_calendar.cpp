// SPDX-License-Identifier: GPL-3.0-or-later
#include "exchange/trading_calendar.h"

#include <algorithm>
#include <vector>

#include "exchange/holidays.h"
#include "text/named_values.h"

namespace tickora {
namespace {

// The whole market stood still on this day: a failure of the exchange's trading system.
constexpr CalendarDate kMarketHalts[] = {{2020, 10, 1}};

bool InYearEndClosure(const CalendarDate& date) {
    return (date.month == 12 && date.day == 31) || (date.month == 1 && date.day <= 3);
}

Closure ComputeClosure(int dayNumber) {
    if (HolidayOn(dayNumber) != Holiday::kNone) {
        return Closure::kHoliday;
    }
    if (!IsWeekday(dayNumber)) {
        return Closure::kWeekend;
    }
    const CalendarDate date = DateOfDayNumber(dayNumber);
    if (InYearEndClosure(date)) {
        return Closure::kYearEnd;
    }
    return std::find(std::begin(kMarketHalts), std::end(kMarketHalts), date) !=
                   std::end(kMarketHalts)
               ? Closure::kMarketHalt
               : Closure::kOpen;
}

// Days a count may reach: those of the years 1 to 9999, so that no step overflows.
constexpr int kFirstDomainDay = DayNumber({1, 1, 1});
constexpr int kLastDomainDay = DayNumber({9999, 12, 31});

// Weekdays from the Monday 1970-01-05 up to, not including, day (negative before it).
long long WeekdaysFromAnchor(int day) {
    const long long x = static_cast<long long>(day) - 4;
    const long long weeks = x >= 0 ? x / 7 : -((-x + 6) / 7);
    return 5 * weeks + std::min<long long>(x - 7 * weeks, 5);
}

// Trading days from first to last where no holiday is known: weekdays less the year-end closure.
long long PlainTradingDays(int first, int last) {
    if (first > last) {
        return 0;
    }
    long long count = WeekdaysFromAnchor(last + 1) - WeekdaysFromAnchor(first);
    const int firstYear = DateOfDayNumber(first).year;
    const int lastYear = DateOfDayNumber(last).year;
    for (int year = firstYear - 1; year <= lastYear; ++year) {
        const int eve = DayNumber({year, 12, 31});
        for (int day = std::max(eve, first); day <= std::min(eve + 3, last); ++day) {
            count -= IsWeekday(day) ? 1 : 0;
        }
    }
    return count;
}

// The closures of the years the holidays are known, with the count of trading days before each
// day and the trading days either side of it: a walk over decades of days steps in constant time.
class ClosureTable {
  public:
    ClosureTable()
        : m_first(DayNumber({kFirstHolidayYear, 1, 1})),
          m_last(DayNumber({kLastHolidayYear, 12, 31})) {
        const auto size = static_cast<std::size_t>(m_last - m_first + 1);
        m_closure.resize(size);
        m_tradingBefore.resize(size + 1);
        for (std::size_t i = 0; i < size; ++i) {
            m_closure[i] = ComputeClosure(m_first + static_cast<int>(i));
            m_tradingBefore[i + 1] = m_tradingBefore[i] + (m_closure[i] == Closure::kOpen ? 1 : 0);
        }
        m_previous.resize(size);
        m_next.resize(size);
        int previous = m_first - 1;
        while (ComputeClosure(previous) != Closure::kOpen) {
            --previous;
        }
        for (std::size_t i = 0; i < size; ++i) {
            m_previous[i] = previous;
            previous = m_closure[i] == Closure::kOpen ? m_first + static_cast<int>(i) : previous;
        }
        int next = m_last + 1;
        while (ComputeClosure(next) != Closure::kOpen) {
            ++next;
        }
        for (std::size_t i = size; i-- > 0;) {
            m_next[i] = next;
            next = m_closure[i] == Closure::kOpen ? m_first + static_cast<int>(i) : next;
        }
    }

    [[nodiscard]] bool Contains(int day) const { return day >= m_first && day <= m_last; }
    [[nodiscard]] Closure At(int day) const {
        return Contains(day) ? m_closure[Index(day)] : ComputeClosure(day);
    }
    // Within the table only.
    [[nodiscard]] int Previous(int day) const { return m_previous[Index(day)]; }
    [[nodiscard]] int Next(int day) const { return m_next[Index(day)]; }

    // Trading days from first to last, both counted, first <= last, both within the domain.
    [[nodiscard]] long long Count(int first, int last) const {
        long long count = PlainTradingDays(first, std::min(last, m_first - 1)) +
                          PlainTradingDays(std::max(first, m_last + 1), last);
        const int from = std::max(first, m_first);
        const int to = std::min(last, m_last);
        if (from <= to) {
            count += m_tradingBefore[Index(to) + 1] - m_tradingBefore[Index(from)];
        }
        return count;
    }

  private:
    [[nodiscard]] std::size_t Index(int day) const {
        return static_cast<std::size_t>(day - m_first);
    }

    int m_first;
    int m_last;
    std::vector<Closure> m_closure;
    std::vector<int> m_tradingBefore;
    std::vector<int> m_previous;
    std::vector<int> m_next;
};

const ClosureTable& Table() {
    static const ClosureTable table;
    return table;
}

int Clamped(int day) {
    return std::clamp(day, kFirstDomainDay, kLastDomainDay);
}

constexpr NamedValue<Closure> kClosureWords[] = {
    {Closure::kOpen, "open"},
    {Closure::kWeekend, "weekend"},
    {Closure::kHoliday, "holiday"},
    {Closure::kYearEnd, "year-end closure"},
    {Closure::kMarketHalt, "market halt"},
    {Closure::kNoSuchDay, "no such day"},
};

}  // namespace

Closure ClosureOn(int dayNumber) {
    if (dayNumber < kFirstDomainDay || dayNumber > kLastDomainDay) {
        return Closure::kNoSuchDay;
    }
    return Table().At(dayNumber);
}

Closure ClosureOn(const CalendarDate& date) {
    return IsValidDate(date) ? ClosureOn(DayNumber(date)) : Closure::kNoSuchDay;
}

const char* ClosureWord(Closure closure) {
    return NameIn(kClosureWords, closure, "");
}

bool IsTradingDay(int dayNumber) {
    return ClosureOn(dayNumber) == Closure::kOpen;
}

bool IsTradingDay(const CalendarDate& date) {
    return ClosureOn(date) == Closure::kOpen;
}

int PreviousTradingDay(int dayNumber) {
    if (Table().Contains(dayNumber)) {
        return Table().Previous(dayNumber);
    }
    int day = Clamped(dayNumber) - 1;
    while (day >= kFirstDomainDay && !IsTradingDay(day)) {
        --day;
    }
    return day;
}

int NextTradingDay(int dayNumber) {
    if (Table().Contains(dayNumber)) {
        return Table().Next(dayNumber);
    }
    int day = Clamped(dayNumber) + 1;
    while (day <= kLastDomainDay && !IsTradingDay(day)) {
        ++day;
    }
    return day;
}

int LastTradingDayOnOrBefore(int dayNumber) {
    return IsTradingDay(dayNumber) ? dayNumber : PreviousTradingDay(dayNumber);
}

int TradingDaysBetween(int first, int last) {
    if (last < first) {
        return 0;
    }
    return static_cast<int>(Table().Count(Clamped(first), Clamped(last)));
}

CalendarDate PreviousTradingDay(const CalendarDate& date) {
    return IsValidDate(date) ? DateOfDayNumber(PreviousTradingDay(DayNumber(date)))
                             : CalendarDate{};
}

CalendarDate NextTradingDay(const CalendarDate& date) {
    return IsValidDate(date) ? DateOfDayNumber(NextTradingDay(DayNumber(date))) : CalendarDate{};
}

CalendarDate LastTradingDayOnOrBefore(const CalendarDate& date) {
    return IsValidDate(date) ? DateOfDayNumber(LastTradingDayOnOrBefore(DayNumber(date)))
                             : CalendarDate{};
}

int TradingDaysBetween(const CalendarDate& first, const CalendarDate& last) {
    if (!IsValidDate(first) || !IsValidDate(last)) {
        return 0;
    }
    return TradingDaysBetween(DayNumber(first), DayNumber(last));
}

}  // namespace tickora
