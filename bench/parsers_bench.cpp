// SPDX-License-Identifier: GPL-3.0-or-later
// The page parsers and the scanning toolkit on pages of the simulated site, in bytes per second.
// The parsers that read their page from a work file are measured with that read included: it is
// part of every page the jobs parse.
#include <benchmark/benchmark.h>

#include <fstream>

#include "bench/bench_pages.h"
#include "catalog/market_table.h"
#include "catalog/stock_list.h"
#include "formats/dictionary.h"
#include "pages/figures_page.h"
#include "pages/history_page.h"
#include "pages/list_pages.h"
#include "pages/profile_page.h"
#include "pages/quote_page.h"
#include "text/text_scan.h"
#include "web/hosts.h"

namespace tickora::bench {
namespace {

const BenchPages& Pages() {
    static const BenchPages pages = RenderBenchPages(3800);
    return pages;
}

const char* WritePage(const char* path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return path;
}

CQuoteBlock& LoadedBlock() {
    static CMarketTable markets;
    static CStockList list;
    static const bool loaded =
        markets.Load() != 0 && list.Load(markets, "http://127.0.0.1:8053") == 0;
    (void)loaded;
    return *list.GetBlock(1);
}

void ParseQuote(benchmark::State& state, const std::string& page) {
    CQuoteBlock& block = LoadedBlock();
    QuotePageOutcome outcome;
    for (auto _ : state) {
        outcome.failedCount = 0;
        ParseQuoteText(page.c_str(), block, outcome);
        benchmark::DoNotOptimize(block.m_nExtracted);
    }
    if (block.m_nExtracted < 40) {
        state.SkipWithError("the quote page did not parse");
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * page.size()));
}

void BM_QuotePage(benchmark::State& state) { ParseQuote(state, Pages().quote); }
void BM_QuotePageAtLimit(benchmark::State& state) { ParseQuote(state, Pages().quoteAtLimit); }

void BM_FiguresPage(benchmark::State& state) {
    CQuoteBlock& block = LoadedBlock();
    int rows = 0;
    for (auto _ : state) {
        rows = ParseFiguresText(Pages().figures.c_str(), block);
        benchmark::DoNotOptimize(rows);
    }
    if (rows < 40) {
        state.SkipWithError("the figures page did not parse");
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * Pages().figures.size()));
}

void BM_ListingPage(benchmark::State& state) {
    const char* path = WritePage("listing.html", Pages().listing);
    CListPage page(1, "http://127.0.0.1:8053");
    int result = 0;
    for (auto _ : state) {
        result = ParseListPage(path, page);
        benchmark::DoNotOptimize(page.m_aEntries[0].m_nCode);
    }
    if (result == -1 || page.m_aEntries[0].m_nCode == 0) {
        state.SkipWithError("the listing page did not parse");
    }
    state.SetBytesProcessed(static_cast<int64_t>(
        state.iterations() * std::min<std::size_t>(Pages().listing.size(), kListPageLimit)));
}

void BM_HistoryPage(benchmark::State& state) {
    const char* path = WritePage("history.html", Pages().history);
    CKdtPage page("1301", 0, kDefaultSite);
    int result = 0;
    for (auto _ : state) {
        result = ParseHistoryPage(path, page);
        benchmark::DoNotOptimize(page.m_aDays[0]);
    }
    if (result != 0) {
        state.SkipWithError("the history page did not parse");
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * Pages().history.size()));
}

void BM_ProfilePage(benchmark::State& state) {
    const char* path = WritePage("profile.html", Pages().profile);
    CompanyProfile profile{};
    for (auto _ : state) {
        benchmark::DoNotOptimize(ParseProfilePage(path, profile));
    }
    if (profile.m_szMarket[0] == '\0') {
        state.SkipWithError("the profile page did not parse");
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * Pages().profile.size()));
}

// A miss scans the whole text: the worst case of every row and cell search.
void BM_FindTextMiss150KB(benchmark::State& state) {
    const std::string& page = Pages().quoteAtLimit;
    for (auto _ : state) {
        benchmark::DoNotOptimize(FindText(page.c_str(), "<tr class=\"absent\">"));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * page.size()));
}

void BM_FindTextLastRow150KB(benchmark::State& state) {
    const std::string& page = Pages().quoteAtLimit;
    const std::size_t last = page.rfind("</tr>");
    for (auto _ : state) {
        benchmark::DoNotOptimize(FindText(page.c_str() + last - 64, "</tr>"));
        benchmark::DoNotOptimize(FindText(page.c_str(), "</table>"));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * page.size()));
}

BENCHMARK(BM_QuotePage);
BENCHMARK(BM_QuotePageAtLimit);
BENCHMARK(BM_FiguresPage);
BENCHMARK(BM_ListingPage);
BENCHMARK(BM_HistoryPage);
BENCHMARK(BM_ProfilePage);
BENCHMARK(BM_FindTextMiss150KB);
BENCHMARK(BM_FindTextLastRow150KB);

}  // namespace
}  // namespace tickora::bench

BENCHMARK_MAIN();
