// SPDX-License-Identifier: GPL-3.0-or-later
// The clean market keeps the exchange's rules on every day of every stock: a bar on each trading
// day from its first to the site's, none on another day, and every price of a day within the
// daily limit of the close before it. The day's check finds nothing in it but the site's faults.
#include <gtest/gtest.h>

#include <limits>

#include "exchange/price_limits.h"
#include "exchange/trading_calendar.h"
#include "site/market_model.h"
#include "tests/support/site_options.h"

namespace tickora::site::test {
namespace {

std::string Text(int dayNumber) {
    const SiteDate d = DateOfDayNumber(dayNumber);
    return std::to_string(d.year) + "-" + std::to_string(d.month) + "-" + std::to_string(d.day);
}

// What broke the rules in the newest `days` of one stock's history; empty when nothing did.
std::string BrokenRules(const MarketModel& model, const Stock& stock, std::size_t days) {
    const std::vector<DayBar> bars =
        model.NewestHistory(stock, std::numeric_limits<int>::min(), model.TradingDay(), days);
    int first = 0;
    const int length = model.HistoryLength(stock, &first);
    const bool whole = static_cast<std::size_t>(length) <= days;
    if (bars.empty() || bars.size() != std::min(days, static_cast<std::size_t>(length)) ||
        (whole && bars.front().dayNumber != first) || bars.back().dayNumber != model.TradingDay()) {
        return "history of " + std::to_string(bars.size()) + " days, " + std::to_string(length) +
               " counted";
    }
    for (std::size_t i = 1; i < bars.size(); ++i) {
        const DayBar& bar = bars[i];
        const double previous = bars[i - 1].close;
        if (bar.dayNumber != NextTradingDay(bars[i - 1].dayNumber)) {
            return "after " + Text(bars[i - 1].dayNumber) + " comes " + Text(bar.dayNumber);
        }
        if (bar.high < std::max(bar.open, bar.close) || bar.low > std::min(bar.open, bar.close)) {
            return "a bar that does not hold its prices on " + Text(bar.dayNumber);
        }
        if (stock.isIndex) {
            continue;
        }
        for (const double price : {bar.close, bar.open, bar.high, bar.low}) {
            if (ClassifyMove(previous, price) != MoveClass::kWithin) {
                return "a move from " + std::to_string(previous) + " to " + std::to_string(price) +
                       " on " + Text(bar.dayNumber);
            }
        }
    }
    return {};
}

TEST(SiteExchangeRules, EveryStockTradesOnTheCalendarWithinItsLimits) {
    // The last year of every stock on two dates (the second the day after a Monday holiday),
    // and every 16th stock's whole history since 1983.
    const std::size_t kYear = 250;
    for (const SiteDate date : {tickora::test::kSiteFriday, SiteDate{2026, 11, 24}}) {
        const MarketModel model(3800, 1, date);
        int stocks = 0;
        for (const Stock& stock : model.Listing()) {
            const bool whole = date == tickora::test::kSiteFriday && stock.code % 16 == 0;
            const std::string broken =
                BrokenRules(model, stock, whole ? std::numeric_limits<std::size_t>::max() : kYear);
            ASSERT_TRUE(broken.empty()) << stock.symbol << ": " << broken;
            const Quote quote = model.QuoteOf(stock);
            if (!stock.isIndex && quote.tradedToday) {
                EXPECT_EQ(ClassifyMove(quote.previousClose, quote.bar.close), MoveClass::kWithin)
                    << stock.symbol;
            }
            stocks += stock.isIndex ? 0 : 1;
        }
        EXPECT_EQ(stocks, 3800);
    }
}

TEST(SiteExchangeRules, TheTradingDayIsTheLastOneOnOrBeforeTheSiteDate) {
    const struct {
        SiteDate date;
        SiteDate tradingDay;
    } cases[] = {
        {{2026, 12, 4}, {2026, 12, 4}},    // a Friday
        {{2026, 12, 6}, {2026, 12, 4}},    // a Sunday
        {{2026, 11, 23}, {2026, 11, 20}},  // a Monday holiday
        {{2027, 1, 3}, {2026, 12, 30}},    // the year-end closure
        {{2019, 5, 6}, {2019, 4, 26}},     // the ten days of 2019
        {{1980, 6, 2}, {1983, 1, 4}},      // before the site's first day
    };
    for (const auto& c : cases) {
        const MarketModel model(10, 1, c.date);
        EXPECT_EQ(model.TradingDay(), DayNumber(c.tradingDay)) << Text(DayNumber(c.date));
        const Stock* index = model.FindSymbol("998407");
        ASSERT_NE(index, nullptr);
        EXPECT_EQ(model.QuoteOf(*index).bar.dayNumber, DayNumber(c.tradingDay));
    }
}

}  // namespace
}  // namespace tickora::site::test
