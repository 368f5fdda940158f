// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the end-to-end job tests share: the simulated site on a free loopback port, a
// "market.csv" that matches its markets, and a working folder loaded from both.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "catalog/market_table.h"
#include "catalog/stock_list.h"
#include "site/market_model.h"
#include "site/site_server.h"
#include "tests/support/site_access_for_test.h"
#include "tests/support/site_options.h"
#include "tests/support/site_truth.h"
#include "tests/support/temp_dir.h"
#include "text/sjis.h"

namespace tickora::test {

// The market table the site's pages name, numbered 1, 2, 3, ... in line order, each name behind
// the filler blank that the name lookup skips.
inline void WriteSiteMarkets() {
    std::string csv;
    for (const site::SiteMarket& m : site::SiteMarkets()) {
        csv += std::to_string(m.number) + "," + std::string(m.symbol) + ", " + Utf8ToSjis(m.name) +
               "\r\n";
    }
    WriteFileBytes("market.csv", csv);
}

// Every host at server, with limits that make a stalled answer fail fast.
inline SiteAccess AccessTo(const site::SiteServer& server) {
    return AccessForTest(server.Url()).Timeouts(std::chrono::seconds(5), std::chrono::seconds(2));
}

// Starts a site with `stocks` listed stocks; AccessTo reaches it.
inline std::unique_ptr<site::SiteServer> StartSite(int stocks) {
    auto server = std::make_unique<site::SiteServer>(LoopbackSite(stocks));
    if (!server->Start()) {
        ADD_FAILURE() << "the simulated site did not start";
        return nullptr;
    }
    return server;
}

// A site of stocks on date, whose young stocks count their listing from listed (so that a later
// site's histories are an earlier one's and then some), with a 1:2 split on date when asked.
inline site::SiteOptions DatedSite(int stocks, std::uint64_t seed, site::SiteDate date,
                                   site::SiteDate listed, bool splitThatDay = false) {
    site::SiteOptions options = LoopbackSite(stocks, seed, date);
    options.listedYear = listed.year;
    options.listedMonth = listed.month;
    options.listedDay = listed.day;
    if (splitThatDay) {
        options.splitYear = date.year;
        options.splitMonth = date.month;
        options.splitDay = date.day;
    }
    return options;
}

// How many requests the site received whose target starts with prefix.
inline int CountRequests(const site::SiteServer& server, const std::string& prefix) {
    int n = 0;
    for (const site::ReceivedRequest& r : server.Requests()) {
        n += r.target.rfind(prefix, 0) == 0 ? 1 : 0;
    }
    return n;
}

// A working folder with the shipped market table and the site's fetch list, loaded as start-up
// loads them, against a site serving stocks stocks for the trading day 2026-12-04.
class SiteFixture {
  public:
    explicit SiteFixture(int stocks) : server(Options(stocks)) {
        if (!server.Start()) {
            throw std::runtime_error("the site cannot start");
        }
        CopyShippedMarketTable();
        WriteFileBytes("fetchlist.csv", server.FetchListCsv());
        if (markets.Load("market.csv") != 1) {
            throw std::runtime_error("market.csv did not load");
        }
        if (list.Load(markets, server.Url().c_str(), "fetchlist.csv") != 0) {
            throw std::runtime_error("fetchlist.csv did not load");
        }
        truth = ReadTruth(server);
    }

    // The market names of "market.csv" by number, as the file holds them (with the filler).
    [[nodiscard]] std::string MarketName(int number) const {
        for (int i = 0; i < markets.m_nEntries; ++i) {
            if (markets.m_pEntries[static_cast<size_t>(i)].m_nNumber == number) {
                return markets.m_pEntries[static_cast<size_t>(i)].m_szName;
            }
        }
        return Utf8ToSjis("その他市場");
    }

    // The path and query of block b's URL in the given view.
    [[nodiscard]] std::string Target(const char* url) const {
        return std::string(url).substr(server.Url().size());
    }

    site::SiteServer server;
    CMarketTable markets;
    CStockList list;
    std::map<int, TruthRow> truth;

  private:
    static site::SiteOptions Options(int stocks) { return LoopbackSite(stocks, 7); }
};

}  // namespace tickora::test
