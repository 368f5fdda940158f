// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the chart draws, worked out apart from the drawing: the bars of a day, a week or a month,
// their moving averages and the round prices the axis is marked at.
#include <array>
#include <cstdint>
#include <vector>

#include "formats/kdt_file.h"

namespace tickora::gui {

enum class BarPeriod { kDay, kWeek, kMonth };

// One candle: a day, or the trading days of a week (from Monday) or of a month. Prices and the
// volume are summed and compared in wider types than a file's day holds: a month's volume
// outgrows 32 bits.
struct Bar {
    int year = 0;  // the bar's first trading day
    int month = 0;
    int day = 0;
    double open = 0;
    double high = 0;
    double low = 0;
    double close = 0;
    std::int64_t volume = 0;
    int days = 0;  // trading days in it
};

// The days, oldest first as the file keeps them, as bars of the period. A day without a valid
// date is left out.
[[nodiscard]] std::vector<Bar> BarsOf(const std::vector<CKdtDay>& days, BarPeriod period);

// The averages of the closes of the last length bars, one a bar; NaN until length bars are there.
[[nodiscard]] std::vector<double> MovingAverage(const std::vector<Bar>& bars, int length);

// The lengths of the three moving averages of a period, as Japanese charts draw them: 5, 25 and
// 75 days; 13, 26 and 52 weeks; 12, 24 and 60 months.
[[nodiscard]] std::array<int, 3> AverageLengths(BarPeriod period);

// The step between two marks of the price axis: the smallest of 1, 2, 2.5 and 5 times a power of
// ten (at least 1 yen) that puts at most `most` marks on the range.
[[nodiscard]] double PriceStep(double low, double high, int most);

// The marks themselves: the multiples of PriceStep within low..high, from the lowest.
[[nodiscard]] std::vector<double> PriceMarks(double low, double high, int most);

}  // namespace tickora::gui
