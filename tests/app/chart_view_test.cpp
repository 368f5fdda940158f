// SPDX-License-Identifier: GPL-3.0-or-later
// The chart's price axis over every price a history file can hold: the highest price stands at
// the top of the pane and the lowest at the bottom, however close to the 32-bit limits they lie.
#include "app/chart_view.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdint>
#include <vector>

namespace tickora::gui {
namespace {

CKdtDay Day(int day, std::int32_t low, std::int32_t high) {
    CKdtDay d;
    d.m_nYear = 2026;
    d.m_nMonth = 12;
    d.m_nDay = day;
    d.m_nOpen = low;
    d.m_nHigh = high;
    d.m_nLow = low;
    d.m_nClose = high;
    d.m_nVolume = 1000;
    return d;
}

TEST(ChartView, ThePriceAxisRunsUpwardsOverEveryPriceAFileCanHold) {
    struct Case {
        const char* name;
        std::int32_t low;
        std::int32_t high;
    };
    const Case cases[] = {
        {"ordinary prices", 980, 1250},
        {"one price all along", 500, 500},
        {"up to the largest price", 1, INT32_MAX},
        {"the largest price all along", INT32_MAX, INT32_MAX},
        {"the smallest value all along", INT32_MIN, INT32_MIN},
        {"the whole 32-bit range", INT32_MIN, INT32_MAX},
        {"near the largest price", INT32_MAX - 3, INT32_MAX - 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CChartView chart;
        chart.resize(760, 420);
        chart.SetDays({Day(3, c.low, c.low), Day(4, c.low, c.high), Day(7, c.high, c.high)});
        const QRect pane = chart.PricePane();
        const double top = chart.PriceAt(pane.top());
        const double bottom = chart.PriceAt(pane.top() + pane.height());
        EXPECT_GT(top, bottom);
        EXPECT_GE(top, static_cast<double>(c.high));
        EXPECT_LE(bottom, static_cast<double>(c.low));
        // Halfway up the pane is halfway between the prices drawn.
        const double middle = chart.PriceAt(pane.top() + pane.height() / 2);
        EXPECT_NEAR(middle, (static_cast<double>(c.low) + c.high) / 2,
                    (static_cast<double>(c.high) - c.low) * 0.1 + 2);
    }
    CChartView empty;
    EXPECT_TRUE(std::isnan(empty.PriceAt(10)));
}

}  // namespace
}  // namespace tickora::gui
