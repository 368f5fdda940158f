// SPDX-License-Identifier: GPL-3.0-or-later
#include "bench/bench_pages.h"

#include <fstream>
#include <stdexcept>
#include <string_view>

#include "catalog/market_table.h"
#include "catalog/stock_list.h"
#include "pages/quote_page.h"
#include "site/pages.h"
#include "site/site_server.h"

namespace tickora::bench {
namespace {

constexpr site::SiteDate kBenchDate{2026, 12, 4};

void WriteFile(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// The symbols part of a quote URL: what follows "s=" up to "&d=".
std::string_view SymbolsOf(std::string_view url) {
    const auto from = url.find("s=");
    const auto to = url.find("&d=");
    if (from == std::string_view::npos || to == std::string_view::npos || to < from) {
        throw std::runtime_error("unexpected quote URL");
    }
    return url.substr(from + 2, to - from - 2);
}

}  // namespace

BenchPages RenderBenchPages(int stocks) {
    const auto dir = std::filesystem::temp_directory_path() / "tickora-bench-pages";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    std::filesystem::current_path(dir);
    std::filesystem::copy_file(TICKORA_SOURCE_DIR "/data/market.csv", dir / "market.csv");

    site::SiteServer server(site::SiteOptions{.port = 0, .stocks = stocks, .seed = 1,
                                              .year = kBenchDate.year,
                                              .month = kBenchDate.month,
                                              .day = kBenchDate.day});
    WriteFile(dir / "fetchlist.csv", server.FetchListCsv());

    CMarketTable markets;
    CStockList list;
    if (markets.Load() == 0 || list.Load(markets, "http://127.0.0.1:8053") != 0) {
        throw std::runtime_error("cannot load the bench market or list");
    }
    const site::MarketModel model(stocks, 1, kBenchDate);
    // Block 1: block 0 starts with the special index rows, which are not typical stocks.
    const CQuoteBlock* block = list.GetBlock(1);
    const std::string_view symbols = SymbolsOf(block->m_szQuoteUrl);

    BenchPages pages;
    pages.quote = site::QuotePage(model, symbols, false);
    pages.figures = site::QuotePage(model, symbols, true);
    // Padding where a real page carries its scripts and advertising: before the table.
    pages.quoteAtLimit = pages.quote;
    const auto table = pages.quoteAtLimit.find("<table");
    const std::size_t padding = static_cast<std::size_t>(kQuotePageLimit) - pages.quote.size();
    pages.quoteAtLimit.insert(table, "<!--" + std::string(padding - 7, 'x') + "-->");
    pages.listing = site::ListingPage(model, 51);
    const site::Stock& stock = model.Listing()[100];
    site::HistoryRequest request;
    request.symbol = stock.symbol;
    pages.history = site::HistoryPage(model, request);
    pages.profile = site::ProfilePage(model, stock.code).value_or(std::string());
    return pages;
}

}  // namespace tickora::bench
