// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Pages as the simulated site renders them, for the parser benchmarks: one market, one date, so
// every run measures the same bytes.
#include <filesystem>
#include <string>

namespace tickora::bench {

struct BenchPages {
    std::string quote;        // a full 50-stock quote page ("&d=v2")
    std::string quoteAtLimit; // the same rows padded to the parser's byte limit
    std::string figures;      // the "&d=v3" view of the same block
    std::string listing;      // one listing page of 50 rows
    std::string history;      // one price-history page of 50 days
    std::string profile;      // one company profile
};

// Renders the pages from a market of `stocks` stocks. The working folder becomes a fresh
// temporary folder holding "market.csv" and "fetchlist.csv", so the list's URLs are the real ones.
BenchPages RenderBenchPages(int stocks);

}  // namespace tickora::bench
