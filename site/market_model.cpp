// SPDX-License-Identifier: GPL-3.0-or-later
#include "site/market_model.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <ctime>
#include <limits>
#include <set>

#include "exchange/price_limits.h"
#include "exchange/trading_calendar.h"
#include "site/company_words.h"
#include "text/sjis.h"
#include "text/text_scan.h"

namespace tickora::site {
namespace {

using namespace std::string_view_literals;

constexpr std::array kMarkets = {
    SiteMarket{"T"sv, 1, "東証1部"sv},      SiteMarket{"T2"sv, 2, "東証2部"sv},
    SiteMarket{"M"sv, 3, "東証マザーズ"sv}, SiteMarket{"J"sv, 4, "ジャスダック"sv},
    SiteMarket{"O"sv, 5, "大証1部"sv},      SiteMarket{"O2"sv, 6, "大証2部"sv},
    SiteMarket{"H"sv, 7, "ヘラクレス"sv},   SiteMarket{"N"sv, 8, "名証1部"sv},
    SiteMarket{"N2"sv, 9, "名証2部"sv},     SiteMarket{"C"sv, 10, "セントレックス"sv},
    SiteMarket{"S"sv, 11, "札証"sv},        SiteMarket{"F"sv, 12, "福証"sv},
};
// How many of every 1,000 stocks each market lists, in the order above.
constexpr std::array kMarketShare = {400, 140, 60, 220, 50, 30, 40, 25, 10, 10, 8, 7};

// Who is listed does not depend on the seed: a fetch list stays valid whatever the prices are.
constexpr std::uint64_t kUniverse = 0x7469636B6F726121ULL;
constexpr int kFirstCode = 1301;
constexpr int kLastCode = 9997;
constexpr int kMaxStocks = 4997;  // 100 listing pages of 50 rows, less the three index rows

std::uint64_t Mix(std::uint64_t x) {
    x += 0x9E3779B97F4A7C15ULL;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
    return x ^ (x >> 31);
}

std::uint64_t Hash(std::uint64_t seed, std::uint64_t a, std::uint64_t b = 0, std::uint64_t c = 0) {
    return Mix(seed ^ Mix(a ^ Mix(b ^ Mix(c))));
}

double Uniform(std::uint64_t h) {
    return static_cast<double>(h >> 11) * 0x1.0p-53;
}

// A standard normal variate, closely enough: four 16-bit uniforms summed (no libm involved, so
// the walk is bit-for-bit the same on every build).
double Gauss(std::uint64_t h) {
    double sum = 0;
    for (int i = 0; i < 4; ++i) {
        sum += static_cast<double>((h >> (16 * i)) & 0xFFFF) / 65536.0;
    }
    return (sum - 2.0) * 1.7320508075688772;
}

std::size_t Pick(std::uint64_t h, std::size_t n) {
    return static_cast<std::size_t>(h % n);
}

}  // namespace

double TickOf(double price, int decimals) {
    if (decimals > 0) {
        return 0.01;
    }
    if (price > 50000) {
        return 100;
    }
    if (price > 30000) {
        return 50;
    }
    if (price > 5000) {
        return 10;
    }
    return price > 3000 ? 5 : 1;
}

double RoundToTick(double price, int decimals) {
    if (decimals > 0) {
        return std::max(0.01, std::round(price * 100.0) / 100.0);
    }
    const double tick = TickOf(price, decimals);
    return std::max(tick, std::round(price / tick) * tick);
}

namespace {

// The band a stock's prices keep on a day: the daily limit around the previous close, its ends
// rounded inwards to prices a quote can show. The steps nest (each divides the next), so a price
// on the step of the band's end is on the step of its own price too. The index rows have none.
struct PriceBand {
    double low = 0;
    double high = std::numeric_limits<double>::max();

    [[nodiscard]] double Keep(double price) const { return std::clamp(price, low, high); }
};

PriceBand BandOf(const Stock& stock, double previousClose, int decimals) {
    const std::optional<double> limit = DailyPriceLimit(previousClose);
    if (stock.isIndex || !limit) {
        return {};
    }
    PriceBand band;
    const double top = previousClose + *limit;
    band.high = std::floor(top / TickOf(top, decimals)) * TickOf(top, decimals);
    const double bottom = previousClose - *limit;
    if (bottom > 0) {
        band.low = std::ceil(bottom / TickOf(bottom, decimals)) * TickOf(bottom, decimals);
    }
    return band;
}

// No band is narrower than 14% of its previous close (700 yen below 5,000): a price nearer than
// this to the previous close needs no band worked out.
constexpr double kSurelyWithinLimit = 0.13;

// price, or the end of the day's band it lies beyond. Asked on every day of every walk, so the
// common case stays a comparison.
inline double KeepWithinLimit(const Stock& stock, double previousClose, double price,
                              int decimals) {
    if (stock.isIndex || std::fabs(price - previousClose) <= kSurelyWithinLimit * previousClose) {
        return price;
    }
    return BandOf(stock, previousClose, decimals).Keep(price);
}

int FirstTradingDayOf1983() {
    return NextTradingDay(DayNumber({1982, 12, 31}));
}

int TradingDaysBack(int from, int count) {
    int dn = from;
    for (; count > 0; --count) {
        dn = PreviousTradingDay(dn);
    }
    return dn;
}

std::string ListNameOf(const std::string& utf8) {
    std::string sjis = Utf8ToSjis(utf8);
    sjis.push_back('\0');
    sjis.push_back('\0');
    (void)CutAtCharBoundary(sjis.data(), 30);
    return SjisToUtf8(sjis.c_str());
}

std::string FeatureOf(const Stock& s, std::uint64_t h) {
    const auto products = IndustryProducts(s.industry);
    const auto regions = Regions();
    const std::string_view p1 = products[Pick(Mix(h + 1), products.size())];
    const std::string_view p2 = products[Pick(Mix(h + 2), products.size())];
    const std::string_view region = regions[Pick(Mix(h + 3), regions.size())];
    std::string text;
    switch (Pick(Mix(h + 4), 4)) {
        case 0:
            text = std::string(region) + "地盤の" + std::string(p1) + "大手。";
            break;
        case 1:
            text = std::string(p1) + "の中堅。" + std::string(region) + "に強い。";
            break;
        case 2:
            text = std::string(p1) + "で国内首位級。海外展開を強化。";
            break;
        default:
            text = std::string(region) + "が本拠。" + std::string(p1) + "が主力。";
            break;
    }
    if (p2 != p1) {
        text += std::string(p2) + "も育成中";
    } else {
        text += "財務堅実";
    }
    // A few companies describe themselves at length; the profile reader keeps only the start.
    if (Uniform(Mix(h + 5)) < 0.02) {
        while (text.size() < 420) {
            text += "。" + std::string(regions[Pick(Mix(h + text.size()), regions.size())]) + "で" +
                    std::string(products[Pick(Mix(h + 7 * text.size()), products.size())]) +
                    "の新工場を計画";
        }
    }
    return text;
}

std::string BusinessOf(const Stock& s, std::uint64_t h) {
    if (s.fundsMarker) {
        const long long deposits = 50000 + static_cast<long long>(Uniform(Mix(h + 11)) * 5e6);
        const long long loans = deposits * 7 / 10;
        return "預金" + std::to_string(deposits) + "億円、貸出金" + std::to_string(loans) + "億円";
    }
    const auto products = IndustryProducts(s.industry);
    const int first = 40 + static_cast<int>(Pick(Mix(h + 12), 50));
    const int second = (100 - first) * 2 / 3;
    const int rest = 100 - first - second;
    std::string text = std::string(products[Pick(Mix(h + 13), products.size())]) +
                       std::to_string(first) + "、" +
                       std::string(products[Pick(Mix(h + 14), products.size())]) +
                       std::to_string(second) + "、他" + std::to_string(rest);
    if (Uniform(Mix(h + 15)) < 0.3) {
        text += "【海外】" + std::to_string(5 + Pick(Mix(h + 16), 40));
    }
    return text;
}

int MarketOfDraw(double u) {
    int cumulative = 0;
    for (std::size_t i = 0; i < kMarketShare.size(); ++i) {
        cumulative += kMarketShare[i];
        if (u * 1000.0 < cumulative) {
            return static_cast<int>(i);
        }
    }
    return 0;
}

// Most companies sit in the code band of their sector; a few service and IT firms do not.
int IndustryOf(int code, std::uint64_t h) {
    const double scatter = Uniform(Mix(h + 1));
    return scatter < 0.04 ? 33 : scatter < 0.08 ? 25 : IndustryOfCodeBand(code);
}

Stock MakeIndexRow(const char* symbol, int code, const char* name, double base, double volume) {
    Stock s;
    s.code = code;
    s.symbol = symbol;
    s.isIndex = true;
    s.name = name;
    s.listName = ListNameOf(s.name);
    s.basePrice = base;
    s.sigma = 0.011;
    s.baseVolume = volume;
    s.volumeUnit = 1000;
    // An index has a page of its own on the profile host too, though no company stands behind
    // it: its sector and market read "指数", which name no sector and no market.
    s.feature = std::string(name) + "の値動きを示す指数";
    s.business = "算出対象銘柄の時価総額または株価から算出";
    return s;
}

}  // namespace

std::span<const SiteMarket> SiteMarkets() {
    return kMarkets;
}

SiteDate TodayLocal() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday};
}

namespace {

// The trading day on or before date, and never before the first one of 1983.
int TradingDayOnOrBefore(const SiteDate& date, int first1983) {
    return LastTradingDayOnOrBefore(std::max(DayNumber(date), first1983));
}

// The listed codes: the lowest ranks of a fixed shuffle, so that a larger market holds every
// stock of a smaller one.
std::vector<int> ListedCodes(int stocks) {
    const int count = std::clamp(stocks, 1, kMaxStocks);
    std::vector<int> codes;
    for (int code = kFirstCode; code <= kLastCode; ++code) {
        codes.push_back(code);
    }
    std::stable_sort(codes.begin(), codes.end(), [](int a, int b) {
        return Hash(kUniverse, static_cast<std::uint64_t>(a)) <
               Hash(kUniverse, static_cast<std::uint64_t>(b));
    });
    codes.resize(static_cast<std::size_t>(count));
    std::sort(codes.begin(), codes.end());
    return codes;
}

// The name of one code: the first draw that no earlier code took, or the stem and the code.
std::string DrawName(int code, std::span<const std::string_view> stems,
                     std::set<std::string>& names) {
    const std::uint64_t h = Hash(kUniverse, static_cast<std::uint64_t>(code), 1);
    const auto suffixes = IndustrySuffixes(IndustryOf(code, h));
    const bool holdings = Uniform(Mix(h + 2)) < 0.07;
    for (int attempt = 0; attempt < 40; ++attempt) {
        const std::uint64_t a = Mix(h + 100 + static_cast<std::uint64_t>(attempt));
        std::string name = std::string(stems[Pick(a, stems.size())]);
        if (attempt >= 20) {
            name += stems[Pick(Mix(a), stems.size())];
        }
        name += suffixes[Pick(a >> 32, suffixes.size())];
        if (holdings) {
            name += "ホールディングス";
        }
        if (names.insert(name).second) {
            return name;
        }
    }
    return std::string(stems[Pick(h, stems.size())]) + std::to_string(code);
}

// Names are drawn for every possible code in code order, so that a stock keeps its name
// whatever else is listed beside it.
std::vector<std::string> NamesOfCodes() {
    const auto stems = NameStems();
    std::vector<std::string> nameOfCode(kLastCode + 1);
    std::set<std::string> names;
    for (int code = kFirstCode; code <= kLastCode; ++code) {
        nameOfCode[static_cast<std::size_t>(code)] = DrawName(code, stems, names);
    }
    return nameOfCode;
}

// What the listing says of a stock: it depends on the code alone, never on the seed.
Stock MakeListedStock(int code, std::string name, int listingDay) {
    const std::uint64_t h = Hash(kUniverse, static_cast<std::uint64_t>(code), 1);
    Stock s;
    s.code = code;
    s.symbol = std::to_string(code);
    s.industry = IndustryOf(code, h);
    s.name = std::move(name);
    s.listName = ListNameOf(s.name);
    const double kabu = Uniform(Mix(h + 3));
    s.kabu = kabu < 0.5 ? KabuMark::kBefore : kabu < 0.95 ? KabuMark::kAfter : KabuMark::kNone;
    s.market = MarketOfDraw(Uniform(Mix(h + 4)));
    s.dualListed = s.market == 0 && Uniform(Mix(h + 5)) < 0.15;
    s.showsTime = Uniform(Mix(h + 6)) < 0.04;
    s.fundsMarker = s.industry >= 28 && s.industry <= 30;
    s.emptyBusiness = s.fundsMarker && Uniform(Mix(h + 7)) < 0.5;
    const double age = Uniform(Mix(h + 8));
    if (age < 0.04) {
        s.firstDay = TradingDaysBack(listingDay, 20 + static_cast<int>(Pick(Mix(h + 9), 180)));
    } else if (age < 0.12) {
        s.firstDay = TradingDaysBack(listingDay, 200 + static_cast<int>(Pick(Mix(h + 9), 5800)));
    }
    s.feature = FeatureOf(s, Mix(h + 10));
    s.business = BusinessOf(s, Mix(h + 11));
    return s;
}

// The figures that trading moves: they follow the seed.
void DrawFigures(Stock& s, std::uint64_t seed) {
    const std::uint64_t h = Hash(seed, static_cast<std::uint64_t>(s.code), 2);
    // Prices between about 60 and 30,000 yen, most in the hundreds and low thousands.
    const double level = Uniform(Mix(h + 1));
    s.basePrice = 60.0 * std::pow(500.0, level * level);
    s.sigma = 0.010 + 0.025 * Uniform(Mix(h + 2));
    s.volumeUnit = s.basePrice > 5000 ? 1 : 100;
    s.baseVolume = s.volumeUnit * (10 + 3000 * Uniform(Mix(h + 3)) * Uniform(Mix(h + 4)));
    s.sharesMillions = 5 + 800 * Uniform(Mix(h + 5)) * Uniform(Mix(h + 6));
    const double per = 6 + 40 * Uniform(Mix(h + 7));
    s.eps = s.basePrice / per * (Uniform(Mix(h + 8)) < 0.12 ? -0.3 : 1.0);
    s.bps = s.basePrice / (0.3 + 3.5 * Uniform(Mix(h + 9)));
    s.dividend =
        Uniform(Mix(h + 10)) < 0.15 ? 0 : s.basePrice * (0.004 + 0.04 * Uniform(Mix(h + 11)));
    s.growth = -60 + 180 * Uniform(Mix(h + 12));
}

}  // namespace

MarketModel::MarketModel(int stocks, std::uint64_t seed, SiteDate date, SiteDate listedAsOf)
    : m_seed(seed) {
    if (date.year == 0) {
        date = TodayLocal();
    }
    m_date = date;
    const int first1983 = FirstTradingDayOf1983();
    m_tradingDay = TradingDayOnOrBefore(date, first1983);
    for (int day = first1983; day <= m_tradingDay; day = NextTradingDay(day)) {
        m_tradingDays.push_back(day);
    }
    const int listingDay =
        listedAsOf.year != 0 ? TradingDayOnOrBefore(listedAsOf, first1983) : m_tradingDay;

    m_listing.push_back(MakeIndexRow("998405", 1001, "東証株価指数", 1500, 1.8e6));
    m_listing.push_back(MakeIndexRow("23337", 1002, "東証二部株価指数", 4000, 6e4));
    std::vector<std::string> nameOfCode = NamesOfCodes();
    for (const int code : ListedCodes(stocks)) {
        m_listing.push_back(MakeListedStock(
            code, std::move(nameOfCode[static_cast<std::size_t>(code)]), listingDay));
    }
    m_listing.push_back(MakeIndexRow("998407", 1010, "日経平均株価", 18000, 1.2e6));
    m_listing.back().endOfList = true;

    m_indexOfCode.assign(10000, -1);
    for (std::size_t i = 0; i < m_listing.size(); ++i) {
        Stock& s = m_listing[i];
        s.firstDay = std::clamp(s.firstDay, first1983, std::max(first1983, m_tradingDay));
        m_indexOfCode[static_cast<std::size_t>(s.code)] = static_cast<int>(i);
        m_indexOfSymbol.emplace(s.symbol, static_cast<int>(i));
        if (!s.isIndex) {
            DrawFigures(s, seed);
        }
    }
    m_quotes.resize(m_listing.size());
}

const Stock* MarketModel::FindSymbol(std::string_view symbol) const {
    const auto it = m_indexOfSymbol.find(std::string(symbol));
    return it == m_indexOfSymbol.end() ? nullptr : &m_listing[static_cast<std::size_t>(it->second)];
}

const Stock* MarketModel::FindCode(int code) const {
    if (code < 0 || code >= static_cast<int>(m_indexOfCode.size())) {
        return nullptr;
    }
    const int i = m_indexOfCode[static_cast<std::size_t>(code)];
    return i < 0 ? nullptr : &m_listing[static_cast<std::size_t>(i)];
}

// One trading day of the walk: enough to build its bar later, so that a caller who needs only
// the last days pays for the close path alone. On a day the stock did not trade the close stays
// the previous one.
struct MarketModel::TradeStep {
    int dayNumber = 0;
    std::uint64_t hash = 0;
    double move = 0;
    double close = 0;
    double previousClose = 0;
    bool traded = true;
};

namespace {

// How many walks of whole histories a model keeps.
constexpr std::size_t kRecentSteps = 8;

// Whether the stock traded on a trading day of its walk: the day's hash alone decides. The first
// day of a history always trades.
bool Trades(const Stock& stock, int dayNumber, std::uint64_t hash) {
    return stock.isIndex || dayNumber == stock.firstDay || (hash >> 40) % 1000 >= 4;
}

std::uint64_t DayHash(std::uint64_t key, int dayNumber) {
    return Mix(key ^ (static_cast<std::uint64_t>(dayNumber) * 0xD1B54A32D192ED03ULL));
}

// A day without trades shows the previous close throughout and no volume, as data sources that
// keep a row for every trading day show it.
template <typename Step>
DayBar BarOf(const Stock& stock, const Step& step, int decimals) {
    DayBar bar;
    bar.dayNumber = step.dayNumber;
    bar.close = step.close;
    if (!step.traded) {
        bar.open = bar.high = bar.low = step.close;
        return bar;
    }
    const std::uint64_t h = step.hash;
    const auto keep = [&](double price) {
        return KeepWithinLimit(stock, step.previousClose, RoundToTick(price, decimals), decimals);
    };
    bar.open = keep(step.previousClose * (1.0 + 0.3 * stock.sigma * Gauss(Mix(h ^ 2))));
    const double up = 1.0 + 0.5 * stock.sigma * std::fabs(Gauss(Mix(h ^ 3)));
    const double down = 1.0 - 0.5 * stock.sigma * std::fabs(Gauss(Mix(h ^ 4)));
    bar.high = std::max({keep(std::max(bar.open, bar.close) * up), bar.open, bar.close});
    bar.low = std::min({keep(std::min(bar.open, bar.close) * down), bar.open, bar.close});
    const double activity =
        (0.2 + 1.6 * Uniform(Mix(h ^ 5))) * (1.0 + 2.0 * std::fabs(step.move) / stock.sigma);
    const double units = std::max(1.0, std::round(stock.baseVolume * activity / stock.volumeUnit));
    bar.volume = static_cast<long long>(units) * stock.volumeUnit;
    return bar;
}

}  // namespace

template <typename Visit>
void MarketModel::Walk(const Stock& stock, Visit&& visit) const {
    const int decimals = Decimals(stock);
    const auto code = static_cast<std::uint64_t>(stock.code);
    const std::uint64_t key = Hash(m_seed, code, 4);
    double price = stock.basePrice * (0.6 + 0.8 * Uniform(Hash(m_seed, code, 3)));
    double previousClose = RoundToTick(price, decimals);
    constexpr double kPull = 0.004;
    const auto first = std::lower_bound(m_tradingDays.begin(), m_tradingDays.end(), stock.firstDay);
    for (auto day = first; day != m_tradingDays.end(); ++day) {
        const int dn = *day;
        const std::uint64_t h = DayHash(key, dn);
        const double move = stock.sigma * Gauss(h);
        const double pull = std::clamp(kPull * (stock.basePrice / price - 1.0), -0.02, 0.02);
        price = std::max(price * (1.0 + move + pull), stock.basePrice * 0.02);
        TradeStep step{dn, h, move, previousClose, previousClose};
        // Now and then a stock does not trade all day.
        step.traded = Trades(stock, dn, h);
        if (step.traded) {
            const double rounded = RoundToTick(price, decimals);
            step.close = KeepWithinLimit(stock, previousClose, rounded, decimals);
            if (step.close != rounded) {
                price = step.close;  // held at its limit, the stock goes on from there
            }
        }
        visit(step);
        previousClose = step.close;
    }
}

int MarketModel::HistoryLength(const Stock& stock, int* firstDay) const {
    const int count = TradingDaysBetween(stock.firstDay, m_tradingDay);
    if (count > 0 && firstDay != nullptr) {
        *firstDay = stock.firstDay;
    }
    return count;
}

std::shared_ptr<const MarketModel::Steps> MarketModel::StepsOf(const Stock& stock) const {
    {
        std::lock_guard lock(m_cacheMutex);
        for (auto it = m_recentSteps.begin(); it != m_recentSteps.end(); ++it) {
            if (it->first == &stock) {
                m_recentSteps.splice(m_recentSteps.begin(), m_recentSteps, it);
                return it->second;
            }
        }
    }
    auto steps = std::make_shared<Steps>();
    steps->reserve(static_cast<std::size_t>(TradingDaysBetween(stock.firstDay, m_tradingDay)));
    Walk(stock, [&](const TradeStep& step) { steps->push_back(step); });
    std::lock_guard lock(m_cacheMutex);
    m_recentSteps.emplace_front(&stock, steps);
    if (m_recentSteps.size() > kRecentSteps) {
        m_recentSteps.pop_back();
    }
    return steps;
}

std::vector<DayBar> MarketModel::History(const Stock& stock) const {
    return NewestHistory(stock, std::numeric_limits<int>::min(), std::numeric_limits<int>::max(),
                         std::numeric_limits<std::size_t>::max());
}

std::vector<DayBar> MarketModel::NewestHistory(const Stock& stock, int from, int to,
                                               std::size_t count) const {
    const std::shared_ptr<const Steps> steps = StepsOf(stock);
    const auto end =
        std::upper_bound(steps->begin(), steps->end(), to,
                         [](int day, const TradeStep& step) { return day < step.dayNumber; });
    const auto begin =
        std::lower_bound(steps->begin(), end, from,
                         [](const TradeStep& step, int day) { return step.dayNumber < day; });
    const auto first = static_cast<std::size_t>(end - begin) > count
                           ? end - static_cast<std::ptrdiff_t>(count)
                           : begin;
    std::vector<DayBar> bars;
    bars.reserve(static_cast<std::size_t>(end - first));
    const int decimals = Decimals(stock);
    for (auto it = first; it != end; ++it) {
        bars.push_back(BarOf(stock, *it, decimals));
    }
    return bars;
}

Quote MarketModel::QuoteOf(const Stock& stock) const {
    const auto slot = static_cast<std::size_t>(&stock - m_listing.data());
    {
        std::lock_guard lock(m_cacheMutex);
        if (slot < m_quotes.size() && m_quotes[slot]) {
            return *m_quotes[slot];
        }
    }
    TradeStep last;
    int seen = 0;
    Walk(stock, [&](const TradeStep& step) {
        if (step.traded) {
            last = step;
            ++seen;
        }
    });
    Quote quote;
    quote.bar = BarOf(stock, last, Decimals(stock));
    quote.previousClose = seen > 1 ? last.previousClose : quote.bar.open;
    quote.tradedToday = seen > 0 && last.dayNumber == m_tradingDay;
    std::lock_guard lock(m_cacheMutex);
    if (slot < m_quotes.size()) {
        m_quotes[slot] = quote;
    }
    return quote;
}

Figures MarketModel::FiguresOf(const Stock& stock) const {
    Figures f;
    if (stock.isIndex) {
        return f;
    }
    const double close = QuoteOf(stock).bar.close;
    f.valid = true;
    f.marketCap = static_cast<long long>(std::llround(close * stock.sharesMillions));
    f.hasPer = stock.eps > 0;
    f.per = f.hasPer ? std::round(close / stock.eps * 100.0) / 100.0 : 0;
    f.growth = std::round(stock.growth * 10.0) / 10.0;
    f.pbr = std::round(close / stock.bps * 100.0) / 100.0;
    f.hasYield = stock.dividend > 0;
    f.yield = f.hasYield ? std::round(stock.dividend / close * 10000.0) / 100.0 : 0;
    return f;
}

}  // namespace tickora::site
