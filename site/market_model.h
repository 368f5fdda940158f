// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The synthetic market behind the simulated site. Who is listed (codes, names, markets,
// industries, how far back each history goes) is fixed, so the shipped fetch list fits every
// seed; the seed drives the prices, volumes and figures. All numbers come from counter-based
// hashes and plain double arithmetic, so the same seed and date give the same bytes every run.
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "exchange/calendar_date.h"

namespace tickora::site {

struct SiteMarket {
    std::string_view symbol;
    int number = 0;
    std::string_view name;  // UTF-8, without the filler byte "market.csv" puts before it
};

// The markets of the shipped "market.csv", in its line order.
[[nodiscard]] std::span<const SiteMarket> SiteMarkets();

// The site counts its days as the rest of the program does.
using SiteDate = CalendarDate;
using tickora::DateOfDayNumber;
using tickora::DayNumber;
using tickora::IsWeekday;

[[nodiscard]] SiteDate TodayLocal();

// The price step of quotes at a price, and the price on that step nearest to price (never below
// one step); decimals 2 for the index rows, which move by hundredths.
[[nodiscard]] double TickOf(double price, int decimals);
[[nodiscard]] double RoundToTick(double price, int decimals);

enum class KabuMark { kNone, kBefore, kAfter };

struct Stock {
    int code = 0;  // 1000 to 9999; the index rows carry the codes the fetch list gives them
    std::string symbol;
    bool isIndex = false;  // the three special listing rows
    bool endOfList = false;
    int market = -1;  // index into SiteMarkets(); -1 for the index rows
    bool dualListed = false;
    int industry = 0;      // 1 to 33; 0 for the index rows
    std::string name;      // UTF-8, without "(株)"
    std::string listName;  // UTF-8: the name cut where a fetch list cuts it (30 Shift-JIS bytes)
    KabuMark kabu = KabuMark::kNone;
    bool fundsMarker = false;  // the profile names its business "資金】" instead of "事業】"
    bool emptyBusiness = false;  // ... and carries an empty "事業】" cell before it
    bool showsTime = false;      // the quote page shows "15:00" instead of the date
    int firstDay = 0;            // day number of the first day of its history
    std::string feature;         // UTF-8 profile texts
    std::string business;
    // Price model, from the seed.
    double basePrice = 0;
    double sigma = 0;
    double baseVolume = 0;
    int volumeUnit = 100;
    double sharesMillions = 0;
    double eps = 0;
    double bps = 0;
    double dividend = 0;
    double growth = 0;
};

struct DayBar {
    int dayNumber = 0;
    double open = 0;
    double high = 0;
    double low = 0;
    double close = 0;
    long long volume = 0;
};

struct Quote {
    DayBar bar;                // the last day the stock traded, up to the site's trading day
    double previousClose = 0;  // the close of the trade before it
    bool tradedToday = false;  // false: no trade on the trading day, open/high/low show "---"
};

struct Figures {
    bool valid = false;       // the index rows have none
    long long marketCap = 0;  // millions of yen
    bool hasPer = false;
    double per = 0;     // two decimals
    double growth = 0;  // percent, one decimal, may be negative
    double pbr = 0;     // two decimals
    bool hasYield = false;
    double yield = 0;  // percent, two decimals
};

class MarketModel {
  public:
    // Young stocks were listed a number of trading days before listedAsOf (year 0: before the
    // site's date). Two sites with the same listedAsOf show histories that only grow from the
    // earlier date to the later one; a site date before listedAsOf lists them from that date.
    MarketModel(int stocks, std::uint64_t seed, SiteDate date, SiteDate listedAsOf = {});

    // Listing order: the two index rows, the stocks by code, the end-of-list row.
    [[nodiscard]] const std::vector<Stock>& Listing() const { return m_listing; }
    [[nodiscard]] const Stock* FindSymbol(std::string_view symbol) const;
    [[nodiscard]] const Stock* FindCode(int code) const;

    [[nodiscard]] SiteDate Date() const { return m_date; }
    // The last trading day on or before the site's date: the day the quotes are of.
    [[nodiscard]] int TradingDay() const { return m_tradingDay; }
    [[nodiscard]] int Decimals(const Stock& stock) const { return stock.isIndex ? 2 : 0; }

    // Every trading day from the stock's first, oldest first, up to the trading day; a day it did
    // not trade shows the close before it and no volume.
    [[nodiscard]] std::vector<DayBar> History(const Stock& stock) const;
    // The newest `count` of those days between the day numbers from and to, oldest first: what
    // one history page shows, without making the bars of the decades before it.
    [[nodiscard]] std::vector<DayBar> NewestHistory(const Stock& stock, int from, int to,
                                                    std::size_t count) const;
    // How many days History gives, and the first of them, without building the bars.
    [[nodiscard]] int HistoryLength(const Stock& stock, int* firstDay) const;
    [[nodiscard]] Quote QuoteOf(const Stock& stock) const;
    [[nodiscard]] Figures FiguresOf(const Stock& stock) const;

  private:
    struct TradeStep;
    using Steps = std::vector<TradeStep>;

    template <typename Visit>
    void Walk(const Stock& stock, Visit&& visit) const;
    // The walk of a stock, kept for the few stocks asked for last: a job reads a history page
    // after page of one stock, and each page would otherwise walk its decades again.
    [[nodiscard]] std::shared_ptr<const Steps> StepsOf(const Stock& stock) const;

    std::uint64_t m_seed;
    SiteDate m_date;
    int m_tradingDay = 0;
    std::vector<int> m_tradingDays;  // from the first of 1983 to m_tradingDay: what walks step over
    std::vector<Stock> m_listing;
    std::vector<int> m_indexOfCode;  // code -> position in m_listing, -1 when unlisted
    std::unordered_map<std::string, int> m_indexOfSymbol;
    mutable std::mutex m_cacheMutex;
    mutable std::vector<std::optional<Quote>> m_quotes;
    mutable std::list<std::pair<const Stock*, std::shared_ptr<const Steps>>> m_recentSteps;
};

}  // namespace tickora::site
