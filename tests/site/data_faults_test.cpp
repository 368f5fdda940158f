// SPDX-License-Identifier: GPL-3.0-or-later
// Each data fault breaks its one rule for its one stock on its one day, as the pages show it,
// and nothing else: the rules are judged here on the pages as the day's check judges the files
// written from them.
#include "site/data_faults.h"

#include <gtest/gtest.h>

#include <set>

#include "exchange/price_limits.h"
#include "exchange/splits.h"
#include "exchange/trading_calendar.h"
#include "tests/support/site_test_util.h"

namespace tickora::site::test {
namespace {

// What one stock's pages break: a rule and the day it is broken on.
struct Finding {
    std::string rule;
    int dayNumber = 0;
    friend auto operator<=>(const Finding&, const Finding&) = default;
};

std::string Text(const Finding& f) {
    const SiteDate d = DateOfDayNumber(f.dayNumber);
    return f.rule + " " + std::to_string(d.year) + "-" + std::to_string(d.month) + "-" +
           std::to_string(d.day);
}

void PrintTo(const Finding& f, std::ostream* os) {
    *os << Text(f);
}

std::string Texts(const std::set<Finding>& findings) {
    std::string text;
    for (const Finding& f : findings) {
        text += Text(f) + "; ";
    }
    return text;
}

// The stock's quote row: nothing when the page says no stock matches. The close, and the day its
// date cell names ("15:00" names the trading day).
struct QuoteRow {
    double close = 0;
    int dayNumber = 0;
};

std::optional<QuoteRow> ReadQuote(const SiteServer& server, const Stock& stock) {
    const Fetched f = Get(server, "/q?s=" + stock.symbol + "&d=v2");
    const std::vector<PageRow> rows = RowsOf(f.body);
    if (rows.size() != 2 || EucCellToUtf8(rows[1].cells.at(1)) == "一致する銘柄はありません") {
        return std::nullopt;
    }
    QuoteRow quote;
    quote.close = CellNumber(rows[1].cells.at(3));
    const std::string date = rows[1].cells.at(2);
    int month = 0;
    int day = 0;
    const SiteDate tradingDay = DateOfDayNumber(server.Model().TradingDay());
    quote.dayNumber = std::sscanf(date.c_str(), "%d/%d", &month, &day) == 2
                          ? DayNumber({tradingDay.year, month, day})
                          : server.Model().TradingDay();
    return quote;
}

// The day's rules on the quote row and the first two history pages of a stock.
std::set<Finding> BrokenRules(const SiteServer& server, const Stock& stock) {
    std::set<Finding> findings;
    const int tradingDay = server.Model().TradingDay();
    const std::optional<QuoteRow> quote = ReadQuote(server, stock);
    if (!quote) {
        findings.insert({"no_quote", tradingDay});
    }
    std::vector<HistoryDay> days = HistoryPageDays(server, stock.symbol, 0);
    for (const HistoryDay& d : HistoryPageDays(server, stock.symbol, 50)) {
        days.push_back(d);
    }
    if (days.empty() || DayOf(days.front()) < tradingDay) {
        findings.insert({"stale_history", tradingDay});
    }
    const HistoryDay* newer = nullptr;  // the newest trading-day row seen
    for (const HistoryDay& d : days) {
        const int day = DayOf(d);
        // The history reader keeps whole yen of the index rows' hundredths, as this one does.
        if (quote && day == quote->dayNumber && d.close != static_cast<int>(quote->close)) {
            findings.insert({"close_differs", day});
        }
        if (!IsTradingDay(day)) {
            findings.insert({"closed_day_bar", day});
            continue;
        }
        if (newer != nullptr) {
            for (int gap = NextTradingDay(day); gap < DayOf(*newer); gap = NextTradingDay(gap)) {
                findings.insert({"missing_day", gap});
            }
            // Only a move from the trading day just before is a day's move.
            const std::optional<MoveClass> move = ClassifyMove(d.close, newer->close);
            if (!stock.isIndex && NextTradingDay(day) == DayOf(*newer) &&
                move != MoveClass::kWithin) {
                findings.insert({move == MoveClass::kWarning ? "beyond_limit" : "widened_limit",
                                 DayOf(*newer)});
            }
        }
        newer = &d;
    }
    return findings;
}

TEST(SiteDataFaults, EachBreaksItsRuleOnceOnItsStockAndDay) {
    SiteServer server(FridaySite());
    ASSERT_TRUE(server.Start());
    std::set<std::string> stocks;
    for (int value = 0; value <= static_cast<int>(DataFault::kStaleHistory); ++value) {
        const auto kind = static_cast<DataFault>(value);
        SCOPED_TRACE(DataFaultWord(kind));
        const std::optional<DataFaultPlace> place = server.SetDataFault(kind);
        ASSERT_TRUE(place.has_value());
        const Stock& stock = *place->stock;
        EXPECT_EQ(place->symbol, stock.symbol);
        EXPECT_TRUE(stocks.insert(stock.symbol).second) << "each kind picks a stock of its own";
        const std::set<Finding> expected = {{DataFaultWord(kind), place->dayNumber}};
        EXPECT_EQ(BrokenRules(server, stock), expected) << Texts(BrokenRules(server, stock));
        // The stock listed after it keeps every rule.
        const Stock& next = *(&stock + 1);
        EXPECT_EQ(BrokenRules(server, next), std::set<Finding>{}) << next.symbol;
        server.ClearDataFaults();
        EXPECT_EQ(BrokenRules(server, stock), std::set<Finding>{});
    }
}

TEST(SiteDataFaults, APlaceSaysWhatTheCleanMarketAndThePagesShow) {
    SiteServer server(FridaySite());
    ASSERT_TRUE(server.Start());
    const MarketModel& model = server.Model();
    const auto closeOn = [&](const Stock& stock, int day) {
        const std::vector<DayBar> bars = model.NewestHistory(stock, day, day, 1);
        return bars.empty() ? 0.0 : bars.front().close;
    };
    for (const DataFault kind :
         {DataFault::kCloseDiffers, DataFault::kBeyondLimit, DataFault::kWidenedLimit}) {
        const DataFaultPlace place = *server.SetDataFault(kind);
        EXPECT_EQ(place.dayNumber, model.TradingDay());
        EXPECT_EQ(place.expected, closeOn(*place.stock, place.dayNumber));
        EXPECT_NE(place.shown, place.expected);
        EXPECT_EQ(ReadQuote(server, *place.stock)->close, place.shown) << DataFaultWord(kind);
        // No split explains the limit faults' moves: their ratio is no whole number.
        const double ratio = place.shown / model.QuoteOf(*place.stock).previousClose;
        if (kind != DataFault::kCloseDiffers) {
            EXPECT_GT(std::fabs(ratio - std::round(ratio)), 0.05) << DataFaultWord(kind);
            EXPECT_FALSE(SplitExplaining(model.QuoteOf(*place.stock).previousClose, place.shown))
                << DataFaultWord(kind);
        }
    }
    const DataFaultPlace closed = *server.SetDataFault(DataFault::kClosedDayBar);
    EXPECT_TRUE(IsWeekday(closed.dayNumber));
    EXPECT_EQ(closed.expected, 0);
    EXPECT_EQ(closed.shown, closeOn(*closed.stock, PreviousTradingDay(closed.dayNumber)));
    const DataFaultPlace missing = *server.SetDataFault(DataFault::kMissingDay);
    EXPECT_EQ(TradingDaysBetween(missing.dayNumber, model.TradingDay()), 6);
    EXPECT_EQ(missing.expected, closeOn(*missing.stock, missing.dayNumber));
}

TEST(SiteDataFaults, LaterPagesShiftByTheRowAFaultTakesOrAdds) {
    SiteServer server(FridaySite());
    ASSERT_TRUE(server.Start());
    const struct {
        DataFault kind;
        int shift;  // rows the table gains before the fault's day
    } cases[] = {{DataFault::kMissingDay, -1},
                 {DataFault::kClosedDayBar, 1},
                 {DataFault::kStaleHistory, -1}};
    for (const auto& c : cases) {
        const DataFaultPlace place = *server.SetDataFault(c.kind);
        const std::vector<HistoryDay> faulty = HistoryPageDays(server, place.symbol, 100);
        server.ClearDataFaults();
        const std::vector<HistoryDay> clean = HistoryPageDays(server, place.symbol, 100 - c.shift);
        ASSERT_EQ(faulty.size(), 50u);
        ASSERT_EQ(clean.size(), 50u);
        for (std::size_t i = 0; i < faulty.size(); ++i) {
            EXPECT_EQ(DayOf(faulty[i]), DayOf(clean[i])) << DataFaultWord(c.kind) << " " << i;
            EXPECT_EQ(faulty[i].close, clean[i].close);
        }
    }
}

TEST(SiteDataFaults, ANamedStockCarriesTheFaultOrIsRefused) {
    SiteServer server(FridaySite());
    ASSERT_TRUE(server.Start());
    const MarketModel& model = server.Model();
    const Stock* traded = nullptr;
    for (const Stock& stock : model.Listing()) {
        if (!stock.isIndex && model.QuoteOf(stock).tradedToday &&
            model.HistoryLength(stock, nullptr) > 200 && stock.code > 5000) {
            traded = &stock;
            break;
        }
    }
    ASSERT_NE(traded, nullptr);
    const std::optional<DataFaultPlace> place =
        server.SetDataFault(DataFault::kBeyondLimit, traded->symbol);
    ASSERT_TRUE(place.has_value());
    EXPECT_EQ(place->stock, traded);
    EXPECT_EQ(BrokenRules(server, *traded),
              (std::set<Finding>{{"beyond_limit", model.TradingDay()}}));
    // An index has no limit; a symbol nobody is listed under carries nothing.
    EXPECT_FALSE(server.SetDataFault(DataFault::kWidenedLimit, "998405").has_value());
    EXPECT_TRUE(server.SetDataFault(DataFault::kMissingDay, "998405").has_value());
    EXPECT_FALSE(server.SetDataFault(DataFault::kNoQuote, "1000").has_value());
}

TEST(SiteDataFaults, TheControlEndpointSetsNamesAndClearsThem) {
    SiteServer server(FridaySite());
    ASSERT_TRUE(server.Start());
    const std::optional<DataFaultPlace> expected =
        PlaceDataFault(server.Model(), DataFault::kStaleHistory);
    ASSERT_TRUE(expected.has_value());
    const Fetched set = Get(server, "/_control/data_fault?kind=stale_history");
    EXPECT_EQ(set.status, 200);
    EXPECT_EQ(set.body, "symbol=" + expected->symbol + " date=2026-12-04 expected=" +
                            std::to_string(static_cast<long long>(expected->expected)) +
                            " shown=0\n");
    const Stock& stock = *expected->stock;
    EXPECT_EQ(BrokenRules(server, stock),
              (std::set<Finding>{{"stale_history", server.Model().TradingDay()}}));
    EXPECT_EQ(Get(server, "/_control/clear").status, 200);
    EXPECT_EQ(BrokenRules(server, stock), std::set<Finding>{});

    const Fetched named = Get(server, "/_control/data_fault?kind=no_quote&symbol=" + stock.symbol);
    EXPECT_EQ(named.status, 200);
    EXPECT_EQ(named.body.rfind("symbol=" + stock.symbol + " date=2026-12-04 ", 0), 0u);
    EXPECT_EQ(BrokenRules(server, stock),
              (std::set<Finding>{{"no_quote", server.Model().TradingDay()}}));
    for (const char* refused :
         {"/_control/data_fault?kind=bogus", "/_control/data_fault?kind=beyond_limit&symbol=998407",
          "/_control/data_fault?kind=no_quote&symbol=1000", "/_control/data_fault?symbol=1301"}) {
        EXPECT_EQ(Get(server, refused).status, 400) << refused;
    }
}

TEST(SiteDataFaults, TheCleanSiteBreaksNoRule) {
    SiteServer server(FridaySite());
    ASSERT_TRUE(server.Start());
    for (const Stock& stock : server.Model().Listing()) {
        EXPECT_EQ(BrokenRules(server, stock), std::set<Finding>{})
            << stock.symbol << ": " << Texts(BrokenRules(server, stock));
    }
}

}  // namespace
}  // namespace tickora::site::test
