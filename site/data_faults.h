// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Faults in the market's numbers rather than in the site's answers. Each breaks one rule the
// day's check looks for, for one stock on one day, and nothing else: a check over the files a
// run writes from the faulty pages should find exactly that. The model and its truth stay the
// clean market; only the pages show the fault.
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "site/market_model.h"

namespace tickora::site {

enum class DataFault : unsigned char {
    kCloseDiffers,  // the quote pages show another close for the trading day than the history
    kMissingDay,    // the history leaves out one trading day between its first and last
    kClosedDayBar,  // the history shows a bar on a weekday the exchange was closed
    kBeyondLimit,   // the trading day's close moves beyond four times the daily limit
    kWidenedLimit,  // it moves beyond the limit, up to four times it (a widened limit allows it)
    kNoQuote,       // the quote pages answer "no matching stock" for a listed stock
    kStaleHistory,  // the history ends a trading day early; the quote pages do not
};

// "close_differs", "missing_day", ...: the names the control endpoint takes.
[[nodiscard]] const char* DataFaultWord(DataFault fault);
[[nodiscard]] std::optional<DataFault> DataFaultNamed(std::string_view word);

// Where a fault shows: its stock, the day whose row differs, is missing or is added, and the
// close of that day in the clean market and on the faulty pages (0 where there is none).
struct DataFaultPlace {
    DataFault kind = DataFault::kCloseDiffers;
    const Stock* stock = nullptr;
    std::string symbol;
    int dayNumber = 0;
    double expected = 0;
    double shown = 0;
};

// Where fault goes in model: on the stock of symbol or, with no symbol, on a stock of the site's
// choosing that stays the same for the kind (a different one for each kind, each with 120 days
// of history and a trade on the trading day). Nothing when the stock is not listed or cannot
// carry the fault (an index has no limit; the close and limit faults need a trade on the trading
// day; every fault but the missing quote needs history enough for its day), or when a market
// too small holds no stock of the site's choosing.
[[nodiscard]] std::optional<DataFaultPlace> PlaceDataFault(const MarketModel& model,
                                                           DataFault fault,
                                                           std::string_view symbol = {});

// The stock's quote as the quote pages show it with faults; nothing for "no matching stock".
[[nodiscard]] std::optional<Quote> ShownQuote(const MarketModel& model, const Stock& stock,
                                              std::span<const DataFaultPlace> faults);

// The newest `count` rows of the stock's history table from day `from` to day `to` with faults,
// oldest first: what MarketModel::NewestHistory gives of the clean market.
[[nodiscard]] std::vector<DayBar> ShownHistory(const MarketModel& model, const Stock& stock,
                                               int from, int to, std::size_t count,
                                               std::span<const DataFaultPlace> faults);

}  // namespace tickora::site
