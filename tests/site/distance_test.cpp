// What the site does to look like a real one far away: every answer late by a set latency, many
// connections answered at once, and a history rewritten by a split.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

#include "site/market_model.h"
#include "tests/site/site_test_util.h"

namespace tickora::site::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

SiteOptions Options() {
    SiteOptions options;
    options.port = 0;
    options.stocks = 200;
    options.seed = 3;
    options.year = 2026;
    options.month = 12;
    options.day = 4;
    return options;
}

TEST(SiteDistance, EveryAnswerIsLateAndSixteenConnectionsAreAnsweredAtOnce) {
    SiteOptions options = Options();
    options.latency = 300ms;
    SiteServer server(options);
    ASSERT_TRUE(server.Start());

    constexpr int kClients = 16;
    std::vector<Fetched> answers(kClients);
    std::vector<Clock::duration> took(kClients);
    std::vector<std::thread> clients;
    for (int i = 0; i < kClients; ++i) {
        clients.emplace_back([&, i] {
            const auto start = Clock::now();
            answers[i] = Get(server, "/l?s=%2a&m=" + std::to_string(1 + 50 * (i % 4)));
            took[i] = Clock::now() - start;
        });
    }
    for (auto& client : clients) {
        client.join();
    }
    for (int i = 0; i < kClients; ++i) {
        EXPECT_TRUE(answers[i].ok && answers[i].status == 200) << i;
        EXPECT_GE(took[i], 300ms) << i;
    }
    // Were the answers queued behind one another, fewer would be in progress at once.
    EXPECT_EQ(server.PeakConcurrentRequests(), kClients);
    server.ClearRequests();
    EXPECT_EQ(server.PeakConcurrentRequests(), 0);
}

struct ShownDay {
    std::string date;
    double open, high, low, close, volume;
};

std::vector<ShownDay> HistoryOf(const SiteServer& server, const std::string& symbol, int offset) {
    const Fetched page =
        Get(server, "/t?s=" + symbol + "&a=1&b=1&c=1983&d=12&e=4&f=2026&g=d&q=t&y=" +
                        std::to_string(offset) + "&x=.csv");
    std::vector<ShownDay> days;
    for (const PageRow& row : RowsOf(page.body)) {
        if (row.cells.size() == 7) {
            days.push_back({row.cells[0], CellNumber(row.cells[1]), CellNumber(row.cells[2]),
                            CellNumber(row.cells[3]), CellNumber(row.cells[4]),
                            CellNumber(row.cells[5])});
        }
    }
    return days;
}

TEST(SiteDistance, ASplitHalvesThePricesAndDoublesTheVolumesOfTheDaysBeforeIt) {
    SiteServer plain(Options());
    SiteOptions options = Options();
    options.splitYear = 2026;
    options.splitMonth = 11;
    options.splitDay = 2;  // a Monday, 25 weekdays before the site's date
    SiteServer split(options);
    ASSERT_TRUE(plain.Start());
    ASSERT_TRUE(split.Start());

    const MarketModel model(200, 3, {2026, 12, 4});
    const Stock& stock = model.Listing()[2];
    const std::vector<DayBar> bars = model.History(stock);
    ASSERT_GE(bars.size(), 50u);
    const std::vector<ShownDay> before = HistoryOf(plain, stock.symbol, 0);
    const std::vector<ShownDay> after = HistoryOf(split, stock.symbol, 0);
    ASSERT_EQ(before.size(), 50u);
    ASSERT_EQ(after.size(), before.size());
    int adjusted = 0;
    for (std::size_t i = 0; i < before.size(); ++i) {
        ASSERT_EQ(after[i].date, before[i].date);
        // The split day itself trades at the new prices.
        const bool older = bars[bars.size() - 1 - i].dayNumber < DayNumber({2026, 11, 2});
        const double scale = older ? 0.5 : 1.0;
        for (const auto field :
             {&ShownDay::open, &ShownDay::high, &ShownDay::low, &ShownDay::close}) {
            EXPECT_NEAR(after[i].*field, before[i].*field * scale, older ? 0.5 : 0.0) << i;
        }
        EXPECT_EQ(after[i].volume, before[i].volume / scale) << i;
        adjusted += older ? 1 : 0;
    }
    // About five weeks of the page lie after the split, the rest before it.
    EXPECT_GE(adjusted, 20);
    EXPECT_LE(adjusted, 25);
}

TEST(SiteDistance, WithOneListingDateEveryHistoryOnlyGrowsWithTheSiteDate) {
    const MarketModel then(600, 5, {2026, 12, 4}, {2026, 12, 4});
    const MarketModel later(600, 5, {2026, 12, 10}, {2026, 12, 4});
    int young = 0;
    for (const Stock& stock : then.Listing()) {
        const std::vector<DayBar> before = then.History(stock);
        const std::vector<DayBar> after = later.History(*later.FindSymbol(stock.symbol));
        ASSERT_GE(after.size(), before.size() + 3) << stock.symbol;
        for (std::size_t i = 0; i < before.size(); ++i) {
            ASSERT_EQ(after[i].dayNumber, before[i].dayNumber) << stock.symbol;
            ASSERT_EQ(after[i].close, before[i].close) << stock.symbol;
            ASSERT_EQ(after[i].volume, before[i].volume) << stock.symbol;
        }
        young += before.size() < 200 ? 1 : 0;
    }
    EXPECT_GT(young, 0);
}

}  // namespace
}  // namespace tickora::site::test
