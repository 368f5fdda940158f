// SPDX-License-Identifier: GPL-3.0-or-later
// The price-history job against the simulated site on loopback: the KDT records are the days the
// site's table served, oldest first, for one stock and for all, through short histories, faults
// and Cancel.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "catalog/clock.h"
#include "pages/history_page.h"
#include "site/market_model.h"
#include "site/pages.h"
#include "site/site_server.h"
#include "tests/support/kdt_job_fixture.h"
#include "tests/support/kdt_test_pages.h"
#include "tests/support/site_histories.h"
#include "tests/support/site_options.h"

namespace tickora {
namespace {

namespace fs = std::filesystem;

constexpr int kSiteStocks = 60;
constexpr std::uint64_t kSeed = 7;
constexpr site::SiteDate kSiteDate{2026, 3, 9};

class KdtJobSite : public test::KdtJobTest {
  protected:
    KdtJobSite()
        : m_server(test::LoopbackSite(kSiteStocks, kSeed, kSiteDate)),
          m_model(kSiteStocks, kSeed, kSiteDate) {}

    void SetUp() override {
        test::KdtJobTest::SetUp();
        ASSERT_TRUE(m_server.Start());
        m_access.Site(m_server.Url());
        // The URLs carry today's date as the range end; pin it to the site's.
        SetTodayForTesting(LocalDate{kSiteDate.year, kSiteDate.month, kSiteDate.day});
        LoadList(m_server.FetchListCsv());
    }
    void TearDown() override {
        test::KdtJobTest::TearDown();
        SetTodayForTesting(std::nullopt);
        m_server.Stop();
    }

    // The newest maxDays days the site has for the stock, newest first, as the table shows them.
    std::vector<CKdtDay> Served(const site::Stock& stock, int maxDays) const {
        std::vector<CKdtDay> days = test::ServedKdtDays(m_model, stock, maxDays);
        std::reverse(days.begin(), days.end());
        return days;
    }

    // The file must hold the served days oldest first.
    void ExpectFileHolds(const std::string& path, std::vector<CKdtDay> newestFirst) {
        std::reverse(newestFirst.begin(), newestFirst.end());
        ASSERT_TRUE(fs::exists(path)) << path;
        const auto records = test::ReadKdtRecords(test::ReadFileBytes(path));
        EXPECT_EQ(fs::file_size(path) % kKdtRecordSize, 0u) << path;
        ASSERT_EQ(records.size(), newestFirst.size()) << path;
        for (size_t i = 0; i < records.size(); ++i) {
            ASSERT_TRUE(test::SameDay(records[i], newestFirst[i]))
                << path << " record " << i << ": " << test::Describe(records[i]) << " instead of "
                << test::Describe(newestFirst[i]);
        }
    }

    // The path and query of history page j of symbol, as the job must ask for it.
    static std::string Target(const std::string& symbol, int j) {
        return "/t?s=" + symbol +
               "&a=1&b=1&c=1983&d=3&e=9&f=2026&g=d&q=t&y=" + std::to_string(50 * j) + "&x=.csv";
    }

    std::vector<std::string> HistoryTargets() const {
        std::vector<std::string> targets;
        for (const auto& r : m_server.Requests()) {
            if (r.target.rfind("/t?", 0) == 0) {
                targets.push_back(r.target);
            }
        }
        return targets;
    }

    // Stocks of the site's list (not the index rows) by the length of their history.
    const site::Stock& StockWith(bool (*wanted)(int length)) const {
        for (const site::Stock& s : m_model.Listing()) {
            if (!s.isIndex && wanted(m_model.HistoryLength(s, nullptr))) {
                return s;
            }
        }
        ADD_FAILURE() << "the site's market has no such stock";
        return m_model.Listing().front();
    }
    const site::Stock& LongStock() const {
        return StockWith([](int length) { return length >= 400; });
    }
    const site::Stock& SecondLongStock() const {
        const site::Stock& first = LongStock();
        for (const site::Stock& s : m_model.Listing()) {
            if (!s.isIndex && &s != &first && m_model.HistoryLength(s, nullptr) >= 400) {
                return s;
            }
        }
        ADD_FAILURE() << "no second long history";
        return first;
    }

    static std::string OneFile(int code) { return KdtFileName(code, false); }

    site::SiteServer m_server;
    site::MarketModel m_model;
};

TEST_F(KdtJobSite, OneStockHoldsTheServedDaysOldestFirst) {
    const site::Stock& stock = LongStock();
    m_view.codeOptions = {static_cast<unsigned>(stock.code), 200, false};
    const JobOutcome report = RunJob();
    ExpectFileHolds(OneFile(stock.code), Served(stock, 200));
    EXPECT_EQ(HistoryTargets(),
              (std::vector<std::string>{Target(stock.symbol, 0), Target(stock.symbol, 1),
                                        Target(stock.symbol, 2), Target(stock.symbol, 3)}));
    EXPECT_FALSE(report.Cancelled());
    EXPECT_FALSE(report.Stopped());
    EXPECT_EQ(report.Written(), std::vector<std::string>{AbsolutePath(OneFile(stock.code))});
    EXPECT_EQ(report.unit, "pages");
    EXPECT_EQ(report.itemsDone, 4);
    EXPECT_TRUE(report.failures.empty());
    // The bar runs over the four pages; the counters stay at 0 in this mode.
    EXPECT_EQ(m_view.Count("range 4"), 1);
    EXPECT_EQ(m_view.Count("step"), 4);
    EXPECT_EQ(m_view.Calls("counts "), std::vector<std::string>{"counts 0 0"});
    EXPECT_EQ(m_view.Calls().back(), "idle");
    EXPECT_FALSE(fs::exists("DATA"));
}

struct DaysCase {
    int days;
    int pages;
};

class KdtJobSiteDays : public KdtJobSite, public ::testing::WithParamInterface<DaysCase> {};

TEST_P(KdtJobSiteDays, WholePagesAreFetchedAndWritten) {
    const site::Stock& stock = LongStock();
    m_view.codeOptions = {static_cast<unsigned>(stock.code), static_cast<unsigned>(GetParam().days),
                          false};
    RunJob();
    EXPECT_EQ(static_cast<int>(HistoryTargets().size()), GetParam().pages);
    ExpectFileHolds(OneFile(stock.code), Served(stock, 50 * GetParam().pages));
}

INSTANTIATE_TEST_SUITE_P(Days, KdtJobSiteDays,
                         ::testing::Values(DaysCase{10, 1}, DaysCase{50, 1}, DaysCase{51, 2},
                                           DaysCase{210, 5}));

TEST_F(KdtJobSite, ShortHistoryStopsAtTheFirstPageWithoutDays) {
    const site::Stock& stock = StockWith([](int length) { return length < 150; });
    const int length = m_model.HistoryLength(stock, nullptr);
    m_view.codeOptions = {static_cast<unsigned>(stock.code), 3000, false};
    const JobOutcome report = RunJob();
    ExpectFileHolds(OneFile(stock.code), Served(stock, length));
    // Every page that holds days, then the one that shows none.
    EXPECT_EQ(static_cast<int>(HistoryTargets().size()), (length - 1) / 50 + 2);
    EXPECT_FALSE(report.Stopped());
}

TEST_F(KdtJobSite, CodeNotInTheListAsksForNothingAndKeepsItsFile) {
    int code = 9999;
    while (m_model.FindCode(code) != nullptr) {
        --code;
    }
    test::WriteFileBytes(OneFile(code), "kept");
    m_view.codeOptions = {static_cast<unsigned>(code), 200, false};
    const JobOutcome report = RunJob();
    EXPECT_TRUE(HistoryTargets().empty());
    EXPECT_EQ(test::ReadFileBytes(OneFile(code)), "kept");
    EXPECT_TRUE(report.end == JobEnd::kNotRun);
    EXPECT_TRUE(report.files.empty());
    ASSERT_EQ(report.warnings.size(), 1u);
    EXPECT_NE(report.warnings[0].find(std::to_string(code) + " is not in fetchlist.csv"),
              std::string::npos)
        << report.warnings[0];
}

struct FaultCase {
    const char* name;
    site::Fault fault;
    bool pageFails;  // a failed page, not a page without days (the history's real end)
};

void PrintTo(const FaultCase& c, std::ostream* os) {
    *os << c.name;
}

class KdtJobSiteFaults : public KdtJobSite, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(KdtJobSiteFaults, FaultMidHistoryKeepsThePagesBeforeAndNoStalePage) {
    const site::Stock& stock = LongStock();
    // A page of another stock left in the work file of page 2 by an earlier run.
    fs::create_directories("Webtemp");
    const std::string stale = test::Page(test::DayRow(test::Day(2026, 3, 9, 11, 12, 10, 11, 1)) +
                                         test::DayRow(test::Day(2026, 3, 6, 21, 22, 20, 21, 2)));
    test::WriteFileBytes(HistoryPagePath(2), stale);
    m_access.Timeouts(std::chrono::seconds(2), std::chrono::seconds(1));
    m_server.SetFault(Target(stock.symbol, 2), GetParam().fault);
    m_view.codeOptions = {static_cast<unsigned>(stock.code), 200, false};
    const JobOutcome report = RunJob();
    // Without a stored history the days read are written.
    ExpectFileHolds(OneFile(stock.code), Served(stock, 100));
    EXPECT_EQ(HistoryTargets().size(), 3u);
    // The stock is the whole job: a failed page ends it.
    EXPECT_EQ(report.Stopped(), GetParam().pageFails);
    ASSERT_EQ(report.failures.size(), GetParam().pageFails ? 1u : 0u);
    if (GetParam().pageFails) {
        EXPECT_EQ(report.failures[0].where, m_server.Url() + Target(stock.symbol, 2));
        EXPECT_TRUE(report.failures[0].endedJob);
    }
}

site::Fault Fault(site::FaultKind kind, int status = 500) {
    site::Fault f;
    f.kind = kind;
    f.status = status;
    f.bytes = 4000;
    f.stall = std::chrono::seconds(5);
    return f;
}

INSTANTIATE_TEST_SUITE_P(
    Faults, KdtJobSiteFaults,
    ::testing::Values(FaultCase{"404", Fault(site::FaultKind::kStatus, 404), true},
                      FaultCase{"500", Fault(site::FaultKind::kStatus, 500), true},
                      FaultCase{"empty", Fault(site::FaultKind::kEmpty), true},
                      FaultCase{"garbage", Fault(site::FaultKind::kGarbage), true},
                      FaultCase{"noendtags", Fault(site::FaultKind::kNoEndTags), true},
                      FaultCase{"maintenance", Fault(site::FaultKind::kMaintenance), true},
                      FaultCase{"cut", Fault(site::FaultKind::kCut), true},
                      FaultCase{"stall", Fault(site::FaultKind::kStall), true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(KdtJobSite, AllStocksWriteEveryServedHistoryIntoTheDataFolders) {
    m_view.codeOptions = {0, 60, true};
    const JobOutcome report = RunJob();
    int stocks = 0;
    for (int b = 0; b < m_stocks.m_nBlocks; ++b) {
        const CQuoteBlock* block = m_stocks.GetBlock(b);
        for (int i = 0; i < block->m_nStocks; ++i) {
            const CStockRecord& record = block->m_aStocks[i];
            const site::Stock* stock = m_model.FindSymbol(record.m_szSymbol);
            ASSERT_NE(stock, nullptr) << record.m_szSymbol;
            ExpectFileHolds(KdtFileName(record.m_nCode, true), Served(*stock, 100));
            ++stocks;
        }
    }
    ASSERT_EQ(stocks, kSiteStocks + 3);
    EXPECT_EQ(static_cast<int>(report.Written().size()), stocks);
    // Two blocks: the bar covers them and steps after each; the counter counts files.
    EXPECT_EQ(m_stocks.m_nBlocks, 2);
    EXPECT_EQ(m_view.Count("range 2"), 1);
    EXPECT_EQ(m_view.Count("step"), 2);
    const auto counts = m_view.Calls("counts ");
    ASSERT_EQ(static_cast<int>(counts.size()), stocks + 1);
    for (int n = 0; n <= stocks; ++n) {
        EXPECT_EQ(counts[static_cast<size_t>(n)], "counts " + std::to_string(n) + " 0");
    }
    EXPECT_FALSE(fs::exists(OneFile(m_stocks.GetBlock(0)->m_aStocks[0].m_nCode)));
}

TEST_F(KdtJobSite, AllStocksNeverGiveOneStockAnotherStocksDays) {
    // Only two stocks, both with long histories; the second one's second page is missing.
    const site::Stock& first = LongStock();
    const site::Stock& second = SecondLongStock();
    LoadList(first.symbol + "," + std::to_string(first.code) + ",T,A\r\n" + second.symbol + "," +
             std::to_string(second.code) + ",T,B\r\n");
    m_server.SetFault(Target(second.symbol, 1), Fault(site::FaultKind::kStatus, 404));
    m_view.codeOptions = {0, 200, true};
    RunJob();
    ExpectFileHolds(KdtFileName(first.code, true), Served(first, 200));
    ExpectFileHolds(KdtFileName(second.code, true), Served(second, 50));
}

TEST_F(KdtJobSite, CancelInAllStocksModeLeavesTheStockBeingFetchedWithoutAFile) {
    const site::Stock& first = LongStock();
    const site::Stock& second = SecondLongStock();
    LoadList(first.symbol + "," + std::to_string(first.code) + ",T,A\r\n" + second.symbol + "," +
             std::to_string(second.code) + ",T,B\r\n");
    fs::create_directories("DATA/" + std::to_string(second.code / 1000 * 1000));
    test::WriteFileBytes(KdtFileName(second.code, true), "old");
    m_view.onCounts = [this](int first, int) {
        if (first == 1) {
            m_doc->CancelJob();
        }
    };
    m_view.codeOptions = {0, 200, true};
    const JobOutcome report = RunJob();
    EXPECT_TRUE(report.Cancelled());
    ExpectFileHolds(KdtFileName(first.code, true), Served(first, 200));
    EXPECT_EQ(test::ReadFileBytes(KdtFileName(second.code, true)), "old");
    // The page being fetched when Cancel came is finished; no further page is asked for.
    EXPECT_EQ(HistoryTargets().size(), 5u);
    EXPECT_EQ(report.Written().size(), 1u);
    EXPECT_EQ(m_view.Count("step"), 0);
    const auto events = m_view.Calls();
    ASSERT_GE(events.size(), 2u);
    EXPECT_EQ(events[events.size() - 2], "pos 0");
    EXPECT_EQ(events.back(), "idle");
}

TEST_F(KdtJobSite, CancelInOneStockModeWritesThePagesReadSoFarOnlyWithoutAStoredHistory) {
    const site::Stock& stock = LongStock();
    // Cancel while the second page of each run is asked for.
    m_view.onStep = [this](int steps) {
        if (steps % 2 == 0) {
            m_doc->CancelJob();
        }
    };
    m_view.codeOptions = {static_cast<unsigned>(stock.code), 200, false};
    JobOutcome report = RunJob();
    EXPECT_TRUE(report.Cancelled());
    EXPECT_EQ(HistoryTargets().size(), 2u);
    ExpectFileHolds(OneFile(stock.code), Served(stock, 100));

    test::WriteFileBytes(OneFile(stock.code), "stored");
    report = RunJob();
    EXPECT_TRUE(report.Cancelled());
    EXPECT_EQ(test::ReadFileBytes(OneFile(stock.code)), "stored");
    EXPECT_EQ(report.Kept(), std::vector<std::string>{AbsolutePath(OneFile(stock.code))});
}

TEST_F(KdtJobSite, ErrorLogIsLeftAsItWas) {
    const site::Stock& stock = LongStock();
    LoadList(stock.symbol + "," + std::to_string(stock.code) + ",T,A\r\n");
    m_server.SetFault(Target(stock.symbol, 0), Fault(site::FaultKind::kStatus, 500));
    test::WriteFileBytes("ERRORLOG.TXT", "1301 page=0\r\n");
    m_view.codeOptions = {0, 10, true};
    RunJob();
    EXPECT_EQ(test::ReadFileBytes("ERRORLOG.TXT"), "1301 page=0\r\n");
}

}  // namespace
}  // namespace tickora
