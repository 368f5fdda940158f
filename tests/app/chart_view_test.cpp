// SPDX-License-Identifier: GPL-3.0-or-later
// The chart: days, weeks and months of a stored history, their moving averages, the price axis at
// round prices over every price a history file can hold, and a long history read a screen at a
// time.
#include "app/chart_view.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTest>
#include <QWheelEvent>
#include <climits>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "app/chart_data.h"
#include "app/chart_window.h"
#include "exchange/calendar_date.h"

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

namespace tickora::gui {
namespace {

CKdtDay DayOn(int year, int month, int day, std::int32_t open, std::int32_t high, std::int32_t low,
              std::int32_t close, std::int32_t volume) {
    CKdtDay d;
    d.m_nYear = year;
    d.m_nMonth = month;
    d.m_nDay = day;
    d.m_nOpen = open;
    d.m_nHigh = high;
    d.m_nLow = low;
    d.m_nClose = close;
    d.m_nVolume = volume;
    return d;
}

// Trading days from 2026/1/5 on, Monday to Friday, with prices that rise and fall.
std::vector<CKdtDay> History(int count) {
    std::vector<CKdtDay> days;
    int dayNumber = DayNumber({2026, 1, 5});
    while (static_cast<int>(days.size()) < count) {
        if (IsWeekday(dayNumber)) {
            const CalendarDate date = DateOfDayNumber(dayNumber);
            const auto i = static_cast<std::int32_t>(days.size());
            const std::int32_t close = 1000 + (i * 37) % 400;
            days.push_back(DayOn(date.year, date.month, date.day, close - 10, close + 25,
                                 close - 30, close, 100000 + i));
        }
        ++dayNumber;
    }
    return days;
}

TEST(ChartData, DaysMakeWeeksFromMondayAndMonths) {
    const std::vector<CKdtDay> days = {
        DayOn(2026, 11, 26, 100, 110, 95, 105, 2000000000),   // Thursday
        DayOn(2026, 11, 27, 105, 130, 100, 120, 2000000000),  // Friday
        DayOn(2026, 11, 30, 120, 125, 90, 95, 10),            // Monday of the next week
        DayOn(2026, 12, 1, 95, 140, 94, 139, 20),             // Tuesday, another month
        DayOn(2026, 0, 1, 1, 1, 1, 1, 1),                     // no date: left out
    };
    struct Case {
        BarPeriod period;
        std::vector<std::vector<double>> bars;  // day, open, high, low, close, volume, days
    };
    const Case cases[] = {
        {BarPeriod::kDay,
         {{26, 100, 110, 95, 105, 2e9, 1},
          {27, 105, 130, 100, 120, 2e9, 1},
          {30, 120, 125, 90, 95, 10, 1},
          {1, 95, 140, 94, 139, 20, 1}}},
        {BarPeriod::kWeek, {{26, 100, 130, 95, 120, 4e9, 2}, {30, 120, 140, 90, 139, 30, 2}}},
        {BarPeriod::kMonth, {{26, 100, 130, 90, 95, 4e9 + 10, 3}, {1, 95, 140, 94, 139, 20, 1}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.period));
        const std::vector<Bar> bars = BarsOf(days, c.period);
        ASSERT_EQ(bars.size(), c.bars.size());
        for (std::size_t i = 0; i < bars.size(); ++i) {
            const std::vector<double>& want = c.bars[i];
            EXPECT_EQ(bars[i].day, want[0]);
            EXPECT_EQ(bars[i].open, want[1]);
            EXPECT_EQ(bars[i].high, want[2]);
            EXPECT_EQ(bars[i].low, want[3]);
            EXPECT_EQ(bars[i].close, want[4]);
            EXPECT_EQ(static_cast<double>(bars[i].volume), want[5]) << "summed beyond 32 bits";
            EXPECT_EQ(bars[i].days, want[6]);
        }
    }
}

TEST(ChartData, MovingAveragesStartOnceTheirDaysAreThere) {
    std::vector<Bar> bars(6);
    for (std::size_t i = 0; i < bars.size(); ++i) {
        bars[i].close = 10.0 * static_cast<double>(i + 1);  // 10, 20, ... 60
    }
    const std::vector<double> three = MovingAverage(bars, 3);
    ASSERT_EQ(three.size(), 6u);
    EXPECT_TRUE(std::isnan(three[0]));
    EXPECT_TRUE(std::isnan(three[1]));
    EXPECT_DOUBLE_EQ(three[2], 20);
    EXPECT_DOUBLE_EQ(three[5], 50);
    EXPECT_TRUE(std::isnan(MovingAverage(bars, 7)[5]));
    EXPECT_EQ(AverageLengths(BarPeriod::kDay), (std::array<int, 3>{5, 25, 75}));
}

// The axis is marked at round prices: steps of 1, 2, 2.5 or 5 times a power of ten.
TEST(ChartData, PriceMarksStandOnRoundPrices) {
    struct Case {
        double low;
        double high;
        int most;
        double step;
    };
    const Case cases[] = {
        {1370, 1591, 6, 50},
        {980, 1250, 6, 100},
        {1, 9, 10, 1},
        {3120, 3150, 8, 5},
        {38000, 39000, 6, 200},
        {100, 100.5, 5, 1},
        {1, 2147483647.0, 10, 250000000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.low) + ".." + std::to_string(c.high));
        EXPECT_DOUBLE_EQ(PriceStep(c.low, c.high, c.most), c.step);
        const std::vector<double> marks = PriceMarks(c.low, c.high, c.most);
        EXPECT_LE(static_cast<int>(marks.size()), c.most);
        for (const double mark : marks) {
            EXPECT_GE(mark, c.low);
            EXPECT_LE(mark, c.high);
            EXPECT_DOUBLE_EQ(std::fmod(mark, c.step), 0.0) << mark;
        }
    }
    EXPECT_TRUE(PriceMarks(5, 1, 5).empty());
    // No range at all: an answer, not a search without end.
    EXPECT_EQ(PriceStep(std::nan(""), 10, 5), 1);
    EXPECT_EQ(PriceStep(0, HUGE_VAL, 5), 1);
    EXPECT_TRUE(PriceMarks(0, HUGE_VAL, 5).empty());
}

TEST(ChartView, TheAxisIsMarkedAtRoundPricesOfTheBarsInView) {
    CChartView chart;
    chart.resize(760, 420);
    chart.SetDays(History(300));
    const std::vector<double> marks = chart.PriceMarksShown();
    ASSERT_GE(marks.size(), 2u);
    const double step = marks[1] - marks[0];
    for (const double mark : marks) {
        EXPECT_DOUBLE_EQ(std::fmod(mark, step), 0.0) << mark;
    }
    const double mantissa = step / std::pow(10.0, std::floor(std::log10(step)));
    EXPECT_TRUE(mantissa == 1 || mantissa == 2 || mantissa == 2.5 || mantissa == 5) << step;
}

// A long history is read a screen at a time: the latest bars first, then anywhere by keys, wheel
// and scroll bar, wider or narrower, by day, week or month.
TEST(ChartView, ALongHistoryScrollsAndZoomsByKeysWheelAndScrollBar) {
    CChartWindow window;
    window.resize(900, 560);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    CChartView* chart = window.Chart();
    window.SetPeriod(BarPeriod::kDay);
    chart->SetDays(History(2000));
    QCoreApplication::processEvents();
    const int visible = chart->VisibleCount();
    ASSERT_LT(visible, 2000);
    EXPECT_EQ(chart->FirstVisible(), 2000 - visible) << "the latest days first";
    EXPECT_EQ(window.ScrollBar()->maximum(), 2000 - visible);
    EXPECT_EQ(window.ScrollBar()->value(), chart->FirstVisible());

    // The pointer stays still over the chart as it scrolls: the readout follows the bar under it.
    const QPoint still = chart->PricePane().center();
    QMouseEvent move(QEvent::MouseMove, QPointF(still), chart->mapToGlobal(QPointF(still)),
                     Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(chart, &move);
    const QString before = chart->Readout();
    chart->setFocus();
    QTest::keyClick(chart, Qt::Key_Home);
    EXPECT_EQ(chart->FirstVisible(), 0);
    EXPECT_NE(chart->Readout(), before);
    const Bar& pointed = chart->Bars()[static_cast<std::size_t>(chart->DayAt(still.x()))];
    EXPECT_TRUE(chart->Readout().startsWith(QStringLiteral("%1/%2/%3")
                                                .arg(pointed.year)
                                                .arg(pointed.month, 2, 10, QLatin1Char('0'))
                                                .arg(pointed.day, 2, 10, QLatin1Char('0'))))
        << chart->Readout().toStdString();
    QTest::keyClick(chart, Qt::Key_PageDown);
    EXPECT_EQ(chart->FirstVisible(), visible - 1);
    QTest::keyClick(chart, Qt::Key_Right);
    EXPECT_EQ(chart->FirstVisible(), visible);
    EXPECT_EQ(window.ScrollBar()->value(), visible) << "the scroll bar follows";
    window.ScrollBar()->setValue(500);
    EXPECT_EQ(chart->FirstVisible(), 500) << "and leads";

    // The wheel goes back in time; with Ctrl it zooms, the bar under the pointer staying put.
    const QPoint middle = chart->PricePane().center();
    QWheelEvent back(middle, chart->mapToGlobal(middle), QPoint(), QPoint(0, 120), Qt::NoButton,
                     Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(chart, &back);
    EXPECT_LT(chart->FirstVisible(), 500);
    const int under = chart->DayAt(middle.x());
    const double width = chart->BarWidth();
    QWheelEvent zoom(middle, chart->mapToGlobal(middle), QPoint(), QPoint(0, 240), Qt::NoButton,
                     Qt::ControlModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(chart, &zoom);
    EXPECT_GT(chart->BarWidth(), width);
    EXPECT_LT(chart->VisibleCount(), visible);
    EXPECT_NEAR(chart->DayAt(middle.x()), under, 1);
    QTest::keyClick(chart, Qt::Key_End);
    EXPECT_EQ(chart->FirstVisible() + chart->VisibleCount(), 2000);

    // Weeks and months: fewer, wider bars over the same days, the latest in view.
    window.SetPeriod(BarPeriod::kWeek);
    EXPECT_EQ(chart->Bars().size(), 400u);
    EXPECT_EQ(chart->FirstVisible() + chart->VisibleCount(), 400);
    EXPECT_EQ(window.AverageBox(0)->text().toStdString(), "13週");
    window.SetPeriod(BarPeriod::kMonth);
    EXPECT_LT(chart->Bars().size(), 100u);
    EXPECT_EQ(window.AverageBox(2)->text().toStdString(), "60か月");
    window.SetPeriod(BarPeriod::kDay);
    EXPECT_EQ(window.AverageBox(1)->text().toStdString(), "25日");
}

// The averages are drawn when switched on, in their colours, and not when switched off.
TEST(ChartView, MovingAveragesAreDrawnWhenSwitchedOn) {
    CChartWindow window;
    window.resize(900, 560);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    window.SetPeriod(BarPeriod::kDay);
    window.Chart()->SetDays(History(400));
    const auto colourCount = [&](int which) {
        const QImage picture = window.Chart()->grab().toImage();
        int count = 0;
        const QRect pane = window.Chart()->PricePane();
        for (int y = pane.top(); y <= pane.bottom(); ++y) {
            for (int x = pane.left(); x <= pane.right(); ++x) {
                count += QColor(picture.pixel(x, y)) == AverageColour(which) ? 1 : 0;
            }
        }
        return count;
    };
    for (int which = 0; which < 3; ++which) {
        SCOPED_TRACE(which);
        window.AverageBox(which)->setChecked(true);
        EXPECT_TRUE(window.Chart()->AverageShown(which));
        EXPECT_GT(colourCount(which), 100);
        window.AverageBox(which)->setChecked(false);
        EXPECT_FALSE(window.Chart()->AverageShown(which));
        EXPECT_EQ(colourCount(which), 0);
        window.AverageBox(which)->setChecked(true);
    }
}

}  // namespace
}  // namespace tickora::gui
