// SPDX-License-Identifier: GPL-3.0-or-later
// The day's check over a whole market under Google Benchmark: 3,800 stocks and the three
// indices, each with its line in the day file and a history of 200 days, as the day's jobs leave
// them. The files are written once from the simulated market into a temporary working folder
// (the histories as tests/support/site_histories.h writes them, the day file through the
// program's writer); every iteration checks them all, reading each file, from the page cache.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "catalog/clock.h"
#include "catalog/market_table.h"
#include "catalog/stock_list.h"
#include "checks/day_check.h"
#include "formats/quote_file.h"
#include "site/market_model.h"
#include "site/truth.h"
#include "tests/support/site_histories.h"

namespace tickora::bench {
namespace {

constexpr site::SiteDate kDate{2026, 12, 4};
constexpr int kStocks = 3800;
constexpr int kDays = 200;

struct Market {
    CMarketTable markets;
    CStockList list;
};

// Each stock's quote of the day as a fetch fills its record: a stock without a trade has its
// last price alone.
void FillQuotes(const site::MarketModel& model, CStockList& list) {
    for (int b = 0; b < list.m_nBlocks; ++b) {
        CQuoteBlock& block = *list.GetBlock(b);
        block.m_nExtracted = block.m_nStocks;
        block.m_nMonth = kDate.month;
        block.m_nDay = kDate.day;
        for (int i = 0; i < block.m_nStocks; ++i) {
            CStockRecord& record = block.m_aStocks[i];
            const site::Quote q = model.QuoteOf(*model.FindCode(record.m_nCode));
            record.m_dClose = q.bar.close;
            record.m_dOpen = q.tradedToday ? q.bar.open : 0;
            record.m_dHigh = q.tradedToday ? q.bar.high : 0;
            record.m_dLow = q.tradedToday ? q.bar.low : 0;
            record.m_dVolume = q.tradedToday ? static_cast<double>(q.bar.volume) : 0;
        }
    }
}

Market Prepare() {
    const auto dir = std::filesystem::temp_directory_path() / "tickora-bench-check";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir / "out");
    std::filesystem::current_path(dir);
    std::filesystem::copy_file(TICKORA_SOURCE_DIR "/data/market.csv", dir / "market.csv");
    SetTodayForTesting(kDate);
    const site::MarketModel model(kStocks, 1, kDate);
    std::ofstream(dir / "fetchlist.csv", std::ios::binary) << site::FetchListOf(model);
    Market market;
    if (market.markets.Load() == 0 || market.list.Load(market.markets, "") != 0) {
        throw std::runtime_error("cannot load the bench market or list");
    }
    CStockList quotes;
    (void)quotes.Load(market.markets, "");
    FillQuotes(model, quotes);
    if (WriteQuoteFile(quotes, kFormatModoki, "out", market.markets, true).empty() ||
        !test::WriteServedHistories(model, kDays)) {
        throw std::runtime_error("cannot write the bench market's files");
    }
    return market;
}

const Market& Prepared() {
    static const Market market = Prepare();
    return market;
}

void RunCheck(benchmark::State& state, const CheckInputs& inputs) {
    CheckResult result;
    for (auto _ : state) {
        result = CheckDay(inputs);
        benchmark::DoNotOptimize(result.findings.data());
    }
    // A check that found something, or could not read a file, did other work than a clean one.
    if (!result.findings.empty() || !result.unread.empty() || result.histories != result.stocks ||
        result.quotes != result.stocks) {
        state.SkipWithError("the bench market did not check clean");
    }
    state.counters["stocks"] = result.stocks;
    state.counters["days"] = kDays;
    state.SetItemsProcessed(state.iterations() * result.stocks);
}

// With the list and the markets loaded, as after the day's jobs.
void BM_CheckDay(benchmark::State& state) {
    const Market& market = Prepared();
    CheckInputs inputs;
    inputs.date = kDate;
    inputs.outputFolder = "out";
    inputs.markets = &market.markets;
    inputs.stocks = &market.list;
    RunCheck(state, inputs);
}

// Loading "market.csv" and "fetchlist.csv" as well, as a check on its own does.
void BM_CheckDayLoadingTheList(benchmark::State& state) {
    (void)Prepared();
    CheckInputs inputs;
    inputs.date = kDate;
    inputs.outputFolder = "out";
    RunCheck(state, inputs);
}

BENCHMARK(BM_CheckDay)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CheckDayLoadingTheList)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tickora::bench

BENCHMARK_MAIN();
