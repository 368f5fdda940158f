// SPDX-License-Identifier: GPL-3.0-or-later
#include "site/data_faults.h"

#include <algorithm>
#include <cmath>

#include "exchange/price_limits.h"
#include "exchange/splits.h"
#include "exchange/trading_calendar.h"
#include "text/named_values.h"

namespace tickora::site {
namespace {

using enum DataFault;

constexpr NamedValue<DataFault> kFaultWords[] = {
    {kCloseDiffers, "close_differs"},  {kMissingDay, "missing_day"},
    {kClosedDayBar, "closed_day_bar"}, {kBeyondLimit, "beyond_limit"},
    {kWidenedLimit, "widened_limit"},  {kNoQuote, "no_quote"},
    {kStaleHistory, "stale_history"},
};

// A stock the site picks for a fault has this much history, so that the fault's day lies well
// inside it (a weekday holiday comes at least every 60 trading days).
constexpr int kChosenHistory = 120;
// The day a history leaves out: this many trading days before the trading day, on page 0.
constexpr int kMissingDayBack = 5;

bool IsLimitFault(DataFault fault) {
    return fault == kBeyondLimit || fault == kWidenedLimit;
}

// The newest weekday after the stock's first day and before the trading day that the exchange
// was closed on; 0 when there is none.
int NewestClosedWeekday(const MarketModel& model, const Stock& stock) {
    for (int day = model.TradingDay() - 1; day > stock.firstDay; --day) {
        if (IsWeekday(day) && !IsTradingDay(day)) {
            return day;
        }
    }
    return 0;
}

bool CanCarry(const MarketModel& model, const Stock& stock, DataFault fault) {
    if (fault == kNoQuote) {
        return true;
    }
    const int days = model.HistoryLength(stock, nullptr);
    switch (fault) {
        case kMissingDay:
            return days > kMissingDayBack + 1;
        case kClosedDayBar:
            return NewestClosedWeekday(model, stock) != 0;
        case kStaleHistory:
            return days > 1;
        default:
            break;
    }
    // The close of the trading day itself differs: the stock must have one and, for a limit, a
    // previous close to move from.
    const Quote quote = model.QuoteOf(stock);
    return quote.tradedToday && days > 1 && !(IsLimitFault(fault) && stock.isIndex);
}

// The site's own choice: the kind's place in the list of listed stocks that can carry any fault.
const Stock* ChosenStock(const MarketModel& model, DataFault fault) {
    int skip = static_cast<int>(fault);
    for (const Stock& stock : model.Listing()) {
        if (stock.isIndex || model.HistoryLength(stock, nullptr) < kChosenHistory ||
            !model.QuoteOf(stock).tradedToday) {
            continue;
        }
        if (skip-- == 0) {
            return &stock;
        }
    }
    return nullptr;
}

double CloseOn(const MarketModel& model, const Stock& stock, int day) {
    const std::vector<DayBar> bars = model.NewestHistory(stock, day, day, 1);
    return bars.empty() ? 0 : bars.front().close;
}

// A close ten price steps from the real one, towards the previous close so that the move stays
// within the limit (ten steps are at most a third of any limit); a step when ten are too many.
double OtherClose(const Stock& stock, const Quote& quote, int decimals) {
    const double close = quote.bar.close;
    const double tick = TickOf(close, decimals);
    const double toward = close > quote.previousClose ? -1 : 1;
    for (const double shown : {close + toward * 10 * tick, close - toward * 10 * tick,
                               close + toward * tick, close - toward * tick}) {
        const std::optional<MoveClass> move = ClassifyMove(quote.previousClose, shown);
        if (shown >= tick && (stock.isIndex || move == MoveClass::kWithin)) {
            return shown;
        }
    }
    return close + tick;
}

// A close that rises from the previous one by a multiple of the limit that puts it in the class
// the fault asks for, and whose ratio to the previous close is no whole number and near no
// split's: a split or a reverse split would explain a close of twice or three times the one
// before (exchange/splits.h).
double LimitBreakingClose(double previousClose, DataFault fault, int decimals) {
    const double limit = DailyPriceLimit(previousClose).value_or(0);
    const MoveClass wanted = fault == kBeyondLimit ? MoveClass::kWarning : MoveClass::kNotice;
    const double start = fault == kBeyondLimit ? 5 : 2;
    for (double times = start; times < start + 3; times += 0.5) {
        const double shown = RoundToTick(previousClose + times * limit, decimals);
        const double ratio = shown / previousClose;
        if (ClassifyMove(previousClose, shown) == wanted &&
            std::fabs(ratio - std::round(ratio)) > 0.05 && !SplitExplaining(previousClose, shown)) {
            return shown;
        }
    }
    return RoundToTick(previousClose + start * limit, decimals);
}

void FillPlace(const MarketModel& model, DataFaultPlace& place) {
    const Stock& stock = *place.stock;
    const Quote quote = model.QuoteOf(stock);
    const int decimals = model.Decimals(stock);
    place.dayNumber = model.TradingDay();
    place.expected = CloseOn(model, stock, place.dayNumber);
    switch (place.kind) {
        case kCloseDiffers:
            place.shown = OtherClose(stock, quote, decimals);
            return;
        case kBeyondLimit:
        case kWidenedLimit:
            place.shown = LimitBreakingClose(quote.previousClose, place.kind, decimals);
            return;
        case kMissingDay:
            for (int back = 0; back < kMissingDayBack; ++back) {
                place.dayNumber = PreviousTradingDay(place.dayNumber);
            }
            place.expected = CloseOn(model, stock, place.dayNumber);
            return;
        case kClosedDayBar:
            place.dayNumber = NewestClosedWeekday(model, stock);
            place.expected = 0;
            place.shown = CloseOn(model, stock, PreviousTradingDay(place.dayNumber));
            return;
        case kNoQuote:
        case kStaleHistory:
            return;
    }
}

bool Touches(const DataFaultPlace& fault, const Stock& stock) {
    return fault.stock == &stock;
}

// The bar of a day whose close the pages show otherwise, its range widened to hold it.
void ShowClose(DayBar& bar, double close) {
    bar.close = close;
    bar.high = std::max(bar.high, close);
    bar.low = std::min(bar.low, close);
}

// A copy of the newest bar before day, dated day; nothing changes when the window holds none.
void InsertBar(std::vector<DayBar>& bars, int day) {
    const auto at = std::lower_bound(bars.begin(), bars.end(), day,
                                     [](const DayBar& bar, int d) { return bar.dayNumber < d; });
    if (at == bars.begin() || (at != bars.end() && at->dayNumber == day)) {
        return;
    }
    DayBar added = *(at - 1);
    added.dayNumber = day;
    bars.insert(at, added);
}

}  // namespace

const char* DataFaultWord(DataFault fault) {
    return NameIn(kFaultWords, fault, "");
}

std::optional<DataFault> DataFaultNamed(std::string_view word) {
    return ValueNamed(kFaultWords, word);
}

std::optional<DataFaultPlace> PlaceDataFault(const MarketModel& model, DataFault fault,
                                             std::string_view symbol) {
    const Stock* stock = symbol.empty() ? ChosenStock(model, fault) : model.FindSymbol(symbol);
    if (stock == nullptr || !CanCarry(model, *stock, fault)) {
        return std::nullopt;
    }
    DataFaultPlace place;
    place.kind = fault;
    place.stock = stock;
    place.symbol = stock->symbol;
    FillPlace(model, place);
    return place;
}

std::optional<Quote> ShownQuote(const MarketModel& model, const Stock& stock,
                                std::span<const DataFaultPlace> faults) {
    Quote quote = model.QuoteOf(stock);
    for (const DataFaultPlace& fault : faults) {
        if (!Touches(fault, stock)) {
            continue;
        }
        if (fault.kind == kNoQuote) {
            return std::nullopt;
        }
        if (fault.kind == kCloseDiffers || IsLimitFault(fault.kind)) {
            ShowClose(quote.bar, fault.shown);
        }
    }
    return quote;
}

std::vector<DayBar> ShownHistory(const MarketModel& model, const Stock& stock, int from, int to,
                                 std::size_t count, std::span<const DataFaultPlace> faults) {
    // A day left out takes one more row from further back.
    std::size_t extra = 0;
    for (const DataFaultPlace& fault : faults) {
        if (!Touches(fault, stock)) {
            continue;
        }
        if (fault.kind == kStaleHistory && fault.dayNumber <= to) {
            to = PreviousTradingDay(fault.dayNumber);
        }
        extra += fault.kind == kMissingDay ? 1 : 0;
    }
    std::vector<DayBar> bars = model.NewestHistory(stock, from, to, count + extra);
    for (const DataFaultPlace& fault : faults) {
        if (!Touches(fault, stock)) {
            continue;
        }
        const auto at = std::find_if(bars.begin(), bars.end(), [&](const DayBar& bar) {
            return bar.dayNumber == fault.dayNumber;
        });
        if (fault.kind == kMissingDay && at != bars.end()) {
            bars.erase(at);
        } else if (IsLimitFault(fault.kind) && at != bars.end()) {
            ShowClose(*at, fault.shown);
        } else if (fault.kind == kClosedDayBar && fault.dayNumber >= from &&
                   fault.dayNumber <= to) {
            InsertBar(bars, fault.dayNumber);
        }
    }
    if (bars.size() > count) {
        bars.erase(bars.begin(), bars.end() - static_cast<std::ptrdiff_t>(count));
    }
    return bars;
}

}  // namespace tickora::site
