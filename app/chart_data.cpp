// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/chart_data.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "exchange/calendar_date.h"

namespace tickora::gui {
namespace {

// The key that the days of one bar share: the day itself, the Monday of its week, or its month.
int PeriodKey(const CKdtDay& d, BarPeriod period) {
    switch (period) {
        case BarPeriod::kDay:
            return DayNumber({d.m_nYear, d.m_nMonth, d.m_nDay});
        case BarPeriod::kWeek: {
            const int day = DayNumber({d.m_nYear, d.m_nMonth, d.m_nDay});
            return day - (WeekdayOf(day) + 6) % 7;
        }
        case BarPeriod::kMonth:
            return d.m_nYear * 12 + d.m_nMonth;
    }
    return 0;
}

bool HasDate(const CKdtDay& d) {
    return d.IsValid() && d.m_nMonth >= 1 && d.m_nMonth <= 12 && d.m_nDay >= 1 && d.m_nDay <= 31;
}

Bar BarOfDay(const CKdtDay& d) {
    Bar bar;
    bar.year = d.m_nYear;
    bar.month = d.m_nMonth;
    bar.day = d.m_nDay;
    bar.open = d.m_nOpen;
    bar.high = d.m_nHigh;
    bar.low = d.m_nLow;
    bar.close = d.m_nClose;
    bar.volume = d.m_nVolume;
    bar.days = 1;
    return bar;
}

void AddDay(Bar& bar, const CKdtDay& d) {
    bar.high = std::max(bar.high, static_cast<double>(d.m_nHigh));
    bar.low = std::min(bar.low, static_cast<double>(d.m_nLow));
    bar.close = d.m_nClose;
    bar.volume += d.m_nVolume;
    ++bar.days;
}

}  // namespace

std::vector<Bar> BarsOf(const std::vector<CKdtDay>& days, BarPeriod period) {
    std::vector<Bar> bars;
    int key = std::numeric_limits<int>::min();
    for (const CKdtDay& d : days) {
        if (!HasDate(d)) {
            continue;
        }
        const int dayKey = PeriodKey(d, period);
        if (bars.empty() || dayKey != key) {
            bars.push_back(BarOfDay(d));
            key = dayKey;
        } else {
            AddDay(bars.back(), d);
        }
    }
    return bars;
}

std::vector<double> MovingAverage(const std::vector<Bar>& bars, int length) {
    std::vector<double> averages(bars.size(), std::nan(""));
    if (length <= 0) {
        return averages;
    }
    double sum = 0;
    for (std::size_t i = 0; i < bars.size(); ++i) {
        sum += bars[i].close;
        if (i >= static_cast<std::size_t>(length)) {
            sum -= bars[i - static_cast<std::size_t>(length)].close;
        }
        if (i + 1 >= static_cast<std::size_t>(length)) {
            averages[i] = sum / length;
        }
    }
    return averages;
}

std::array<int, 3> AverageLengths(BarPeriod period) {
    switch (period) {
        case BarPeriod::kWeek:
            return {13, 26, 52};
        case BarPeriod::kMonth:
            return {12, 24, 60};
        case BarPeriod::kDay:
            break;
    }
    return {5, 25, 75};
}

double PriceStep(double low, double high, int most) {
    // n marks span n - 1 steps, and a range may start just after a mark.
    const double range = std::max(high - low, 1.0);
    if (!std::isfinite(range)) {
        return 1;  // no range to mark: a step of one yen, never a search without end
    }
    const double spans = std::max(most - 1, 1);
    double power = std::pow(10.0, std::floor(std::log10(range / spans)));
    for (;;) {
        for (const double factor : {1.0, 2.0, 2.5, 5.0}) {
            const double step = factor * power;
            if (step >= 1 && range / step <= spans) {
                return step;
            }
        }
        power *= 10;
    }
}

std::vector<double> PriceMarks(double low, double high, int most) {
    std::vector<double> marks;
    if (!(high >= low) || !std::isfinite(low) || !std::isfinite(high)) {
        return marks;
    }
    const double step = PriceStep(low, high, most);
    // Each mark a whole multiple of the step, never a sum that drifts from it.
    for (double k = std::ceil(low / step); k * step <= high; ++k) {
        marks.push_back(k * step);
    }
    return marks;
}

}  // namespace tickora::gui
