// SPDX-License-Identifier: GPL-3.0-or-later
// What the site does to look like a real one far away: every answer late by a set latency, many
// connections answered at once, and histories that grow from one site date to a later one.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

#include "site/market_model.h"
#include "tests/support/site_test_util.h"

namespace tickora::site::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

TEST(SiteDistance, EveryAnswerIsLateAndSixteenConnectionsAreAnsweredAtOnce) {
    SiteOptions options = FridaySite(3);
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
