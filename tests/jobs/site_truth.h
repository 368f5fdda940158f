// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The simulated site in-process for the end-to-end job tests: a small market on a free port, the
// shipped "market.csv", the site's own fetch list, and what the site says each stock shows.
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "catalog/market_table.h"
#include "catalog/stock_list.h"
#include "site/site_server.h"
#include "tests/support/site_options.h"
#include "tests/support/site_truth.h"
#include "tests/support/temp_dir.h"
#include "text/sjis.h"

namespace tickora::test {

// One stock as the site's truth gives it.
struct TruthRow {
    int code = 0;
    std::string symbol;
    int marketNumber = 0;
    std::string listName;  // UTF-8
    int quoteMonth = 0;
    int quoteDay = 0;
    double close = 0;
    double open = 0;
    double high = 0;
    double low = 0;
    double volume = 0;
    double figures[5] = {};
};

// The truth by code, from the site's model.
inline std::map<int, TruthRow> ReadTruth(const site::SiteServer& server) {
    std::map<int, TruthRow> rows;
    for (const site::TruthRow& f : SiteTruth(server)) {
        auto text = [&](const char* name) { return f.at(name); };
        auto number = [&](const char* name) { return std::atof(text(name).c_str()); };
        TruthRow row;
        row.code = std::atoi(text("code").c_str());
        row.symbol = text("symbol");
        row.marketNumber = std::atoi(text("market_number").c_str());
        row.listName = text("list_name");
        row.quoteMonth = std::atoi(text("quote_month").c_str());
        row.quoteDay = std::atoi(text("quote_day").c_str());
        row.close = number("close");
        row.open = number("open");
        row.high = number("high");
        row.low = number("low");
        row.volume = number("volume");
        const char* figures[5] = {"fig1", "fig2", "fig3", "fig4", "fig5"};
        for (int i = 0; i < 5; ++i) {
            row.figures[i] = number(figures[i]);
        }
        rows[row.code] = row;
    }
    return rows;
}

// A working folder with the shipped market table and the site's fetch list, loaded as start-up
// loads them, against a site serving stocks stocks for the trading day 2026-12-04.
class SiteFixture {
  public:
    explicit SiteFixture(int stocks) : server(Options(stocks)) {
        if (!server.Start()) {
            throw std::runtime_error("the site cannot start");
        }
        WriteFileBytes("market.csv", ReadFileBytes(SourcePath("data/market.csv")));
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
    static site::SiteOptions Options(int stocks) {
        return LoopbackSite(stocks, 7);
    }
};

}  // namespace tickora::test
