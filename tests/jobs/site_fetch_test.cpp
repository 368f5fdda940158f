// SPDX-License-Identifier: GPL-3.0-or-later
// The daily fetch and the performance job end to end against the simulated site: the file of every
// layout equals what the site says each stock showed; Cancel; and faults of one block's page.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "catalog/clock.h"
#include "files/work_folder.h"
#include "jobs/tickora_doc.h"
#include "pages/quote_page.h"
#include "tests/support/job_harness.h"
#include "tests/support/site_access_for_test.h"
#include "tests/support/site_fixture.h"
#include "text/sjis.h"
#include "web/download.h"

namespace tickora {
namespace {

using test::TruthRow;

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* format, ...) {
    char text[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    return text;
}

class SiteFetchTest : public ::testing::Test {
  protected:
    SiteFetchTest() {
        SetTodayForTesting(LocalDate{2026, 12, 7});
        CreateWorkFolder();
        std::filesystem::create_directory("out");
        std::snprintf(settings.m_szOutputDir, sizeof settings.m_szOutputDir, "out");
        doc.SetView(&view);
    }
    ~SiteFetchTest() override {
        doc.WaitForJob();
        SetTodayForTesting(std::nullopt);
    }

    void Fetch() {
        ASSERT_TRUE(doc.OnFetch());
        doc.WaitForJob();
    }

    // The daily file as the site's truth says it must read, for the stocks of blocks [0, blocks).
    std::string Expected(int format, bool decimals, int blocks) const {
        const TruthRow& first = site.truth.at(site.list.GetBlock(0)->m_aStocks[0].m_nCode);
        const int month = first.quoteMonth != 0 ? first.quoteMonth : 12;
        const int day = first.quoteDay != 0 ? first.quoteDay : 7;
        std::string lines;
        int extracted = 0;
        for (int b = 0; b < blocks; ++b) {
            const CQuoteBlock& block = *site.list.GetBlock(b);
            for (int i = 0; i < block.m_nStocks; ++i) {
                const TruthRow& t = site.truth.at(block.m_aStocks[i].m_nCode);
                if (t.close <= 0) {
                    continue;
                }
                ++extracted;
                lines += Line(t, format, decimals);
            }
        }
        std::string header;
        if (format == 1) {
            header = Utf8ToSjis(Format("\"%d年\"\t\"%02d月\"\t\"%02d日\"\r\n", 2026, month, day) +
                                Format("\"銘柄数\"\t%d\r\n", extracted) + "\"エラー数\"\t0\r\n" +
                                "\"銘柄コード\"\t\"市場\"\t\"銘柄名\"\t\"始値\"\t\"高値\"\t"
                                "\"安値\"\t\"終値\"\t\"出来高\"\r\n");
        } else if (format == 2) {
            header = Format("2026%02d%02d\r\n%d,0\r\n", month, day, extracted);
        } else {
            header = Format("26%02d%02d\r\n%d,0\r\n", month, day, extracted);
        }
        return header + lines;
    }

    std::string Line(const TruthRow& t, int format, bool decimals) const {
        const std::string name = Utf8ToSjis(t.listName);
        const bool allPrices = t.open > 0 && t.high > 0 && t.low > 0;
        const double p[4] = {allPrices ? t.open : t.close, allPrices ? t.high : t.close,
                             allPrices ? t.low : t.close, t.close};
        bool decimalMode = false;
        for (const double v : {t.open, t.high, t.low, t.close}) {
            decimalMode = decimalMode || (decimals && v - std::trunc(v) > 0.001);
        }
        auto f = [](double v) { return static_cast<double>(static_cast<float>(v)); };
        auto w = [](double v) { return static_cast<long>(std::trunc(v)); };
        if (format == 1) {
            const std::string market = site.MarketName(t.marketNumber);
            return decimalMode ? Format("%04d\t\"%s\"\t\"%s\"\t%.2f\t%.2f\t%.2f\t%.2f\t%ld\r\n",
                                        t.code, market.c_str(), name.c_str(), f(p[0]), f(p[1]),
                                        f(p[2]), f(p[3]), w(t.volume))
                               : Format("%04d\t\"%s\"\t\"%s\"\t%ld\t%ld\t%ld\t%ld\t%ld\r\n", t.code,
                                        market.c_str(), name.c_str(), w(p[0]), w(p[1]), w(p[2]),
                                        w(p[3]), w(t.volume));
        }
        if (format == 2) {
            const std::string shortName = name.substr(0, 12);
            return decimalMode ? Format("%04d,%01d,%-12s,%7.2f,%7.2f,%7.2f,%7.2f,%10.f\r\n", t.code,
                                        t.marketNumber, shortName.c_str(), f(p[0]), f(p[1]),
                                        f(p[2]), f(p[3]), t.volume)
                               : Format("%04d,%01d,%-12s,%7ld,%7ld,%7ld,%7ld,%10.f\r\n", t.code,
                                        t.marketNumber, shortName.c_str(), w(p[0]), w(p[1]),
                                        w(p[2]), w(p[3]), t.volume);
        }
        return decimalMode
                   ? Format("%04d,%d,%s,%.2f,%.2f,%.2f,%.2f,%ld\r\n", t.code, t.marketNumber,
                            name.c_str(), f(p[0]), f(p[1]), f(p[2]), f(p[3]), w(t.volume))
                   : Format("%04d,%d,%s,%ld,%ld,%ld,%ld,%ld\r\n", t.code, t.marketNumber,
                            name.c_str(), w(p[0]), w(p[1]), w(p[2]), w(p[3]), w(t.volume));
    }

    std::string DailyFile() const {
        const std::vector<std::string> written = doc.LastOutcome().Written();
        return written.size() == 1 ? test::ReadFileBytes(written[0]) : std::string();
    }

    int Blocks() const { return site.list.m_nBlocks; }
    // From now on the page at target answers with the fault (the cut ones after 5,000 bytes), and
    // the site's requests are counted afresh.
    void BreakPage(const std::string& target, site::FaultKind kind, int status) {
        site::Fault fault;
        fault.kind = kind;
        fault.status = status;
        fault.bytes = 5000;
        site.server.SetFault(target, fault);
        site.server.ClearRequests();
    }
    std::string Target(int b) const { return site.Target(site.list.GetQuoteUrl(b)); }

    test::ScopedWorkDir dir;
    test::SiteFixture site{140};
    CAppSettings settings;
    test::RecordingView view;
    CTickoraDoc doc{settings, site.markets, site.list};
};

struct Layout {
    int format;
    bool decimals;
};

class SiteFetchLayout : public SiteFetchTest, public ::testing::WithParamInterface<Layout> {};

TEST_P(SiteFetchLayout, DailyFileEqualsTheSiteTruth) {
    settings.m_nOutputFormat = GetParam().format;
    settings.m_bAverageDecimals = GetParam().decimals ? 1 : 0;
    ASSERT_GE(Blocks(), 3);
    Fetch();
    EXPECT_EQ(DailyFile(), Expected(GetParam().format, GetParam().decimals, Blocks()));
    const JobOutcome report = doc.LastOutcome();
    const int stocks =
        (Blocks() - 1) * kStocksPerBlock + site.list.GetBlock(Blocks() - 1)->m_nStocks;
    EXPECT_EQ(report.itemsDone, stocks);
    EXPECT_EQ(report.itemsTotal, stocks);
    EXPECT_EQ(report.notExtracted, 0);
    EXPECT_EQ(report.extracted, stocks);
    EXPECT_TRUE(report.failures.empty());
    EXPECT_TRUE(report.notExtractedCodes.empty());
    EXPECT_FALSE(std::filesystem::exists(kErrorLogPath));
    // One request per block, each the block's own URL.
    const std::vector<site::ReceivedRequest> requests = site.server.Requests();
    ASSERT_EQ(static_cast<int>(requests.size()), Blocks());
    for (int b = 0; b < Blocks(); ++b) {
        EXPECT_EQ(requests[static_cast<size_t>(b)].target, Target(b));
    }
}

INSTANTIATE_TEST_SUITE_P(Layouts, SiteFetchLayout,
                         ::testing::Values(Layout{1, false}, Layout{2, false}, Layout{3, false},
                                           Layout{1, true}, Layout{2, true}, Layout{3, true}));

TEST_F(SiteFetchTest, CancelWritesTheBlocksDone) {
    settings.m_nOutputFormat = 3;
    view.onStep = [this](int item) {
        if (item == 2) {
            doc.CancelJob();
        }
    };
    Fetch();
    EXPECT_EQ(site.server.Requests().size(), 2u);
    EXPECT_TRUE(doc.LastOutcome().Cancelled());
    EXPECT_EQ(DailyFile(), Expected(3, false, 2));
    EXPECT_EQ(view.Calls().back(), "idle");
}

// Faults of block 1's page: what each leaves in the daily file. A stale copy of the block's page
// from an earlier run lies in the work file every time; it must never come back.
struct FaultCase {
    const char* name;
    site::FaultKind kind;
    int status;
    bool endsFetch;  // the download reports failure, so later blocks are not fetched
};

void PrintTo(const FaultCase& c, std::ostream* os) {
    *os << c.name;
}

class SiteFetchFault : public SiteFetchTest, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(SiteFetchFault, FaultOfOneBlockNeverReusesAnEarlierPage) {
    const FaultCase& c = GetParam();
    settings.m_nOutputFormat = 3;
    ASSERT_EQ(Blocks(), 3);
    // Yesterday's run: every page fetched, block 1's page left behind in its work file.
    Fetch();
    const std::string stale = test::ReadFileBytes(site.list.GetPagePath(1));
    ASSERT_FALSE(stale.empty());

    // Today's run starts from a freshly loaded list, as a new start of the program does.
    CStockList today;
    ASSERT_EQ(today.Load(site.markets, site.server.Url().c_str(), "fetchlist.csv"), 0);
    CTickoraDoc todayDoc(settings, site.markets, today);
    test::RecordingView todayView;
    todayDoc.SetView(&todayView);
    BreakPage(Target(1), c.kind, c.status);
    ASSERT_TRUE(todayDoc.OnFetch());
    todayDoc.WaitForJob();

    const JobOutcome report = todayDoc.LastOutcome();
    EXPECT_EQ(report.Stopped(), c.endsFetch);
    EXPECT_EQ(static_cast<int>(site.server.Requests().size()), c.endsFetch ? 2 : Blocks());
    // Block 1 extracted nothing today, and none of its stocks has a price.
    EXPECT_EQ(today.GetBlock(1)->m_nExtracted, 0);
    for (int i = 0; i < today.GetBlock(1)->m_nStocks; ++i) {
        EXPECT_DOUBLE_EQ(today.GetBlock(1)->m_aStocks[i].m_dClose, 0) << i;
    }
    EXPECT_EQ(report.extracted, today.GetBlock(0)->m_nExtracted +
                                    (c.endsFetch ? 0 : today.GetBlock(2)->m_nExtracted));
    const std::string file = test::ReadFileBytes(report.Written().at(0));
    const TruthRow& firstOfBlock1 = site.truth.at(today.GetBlock(1)->m_aStocks[0].m_nCode);
    EXPECT_EQ(file.find(Line(firstOfBlock1, 3, false)), std::string::npos);
    EXPECT_EQ(file.find(Line(site.truth.at(today.GetBlock(0)->m_aStocks[0].m_nCode), 3, false)) !=
                  std::string::npos,
              true);
}

// The same faults befall the figures page of block 1 below.
const FaultCase kBlockFaults[] = {
    {"status404", site::FaultKind::kStatus, 404, false},
    {"status500", site::FaultKind::kStatus, 500, false},
    {"empty", site::FaultKind::kEmpty, 200, false},
    {"garbage", site::FaultKind::kGarbage, 200, false},
    {"noEndTags", site::FaultKind::kNoEndTags, 200, false},
    // The page ends after 5,000 bytes, inside its table, or holds a NUL there: none of its rows
    // is taken, not even those before the break.
    {"truncated", site::FaultKind::kTruncated, 200, false},
    {"nulInside", site::FaultKind::kNulInside, 200, false},
    {"cut", site::FaultKind::kCut, 200, true}};

std::string FaultName(const ::testing::TestParamInfo<FaultCase>& info) {
    return info.param.name;
}

INSTANTIATE_TEST_SUITE_P(Faults, SiteFetchFault, ::testing::ValuesIn(kBlockFaults), FaultName);

TEST_F(SiteFetchTest, HugePageIsReadUpToItsLimit) {
    settings.m_nOutputFormat = 3;
    site::Fault fault;
    fault.kind = site::FaultKind::kHuge;
    fault.bytes = 400000;
    site.server.SetFault(Target(0), fault);
    Fetch();
    EXPECT_GT(std::filesystem::file_size(site.list.GetPagePath(0)), 153599u);
    EXPECT_EQ(DailyFile(), Expected(3, false, Blocks()));
}

TEST_F(SiteFetchTest, StockTheSiteDoesNotKnowIsLoggedAndCountedAsFailed) {
    settings.m_nOutputFormat = 3;
    // A stock in the middle of block 1 that the site has never listed.
    std::string csv = test::ReadFileBytes("fetchlist.csv");
    size_t at = 0;
    for (int line = 0; line < kStocksPerBlock + 10; ++line) {
        at = csv.find('\n', at) + 1;
    }
    csv.insert(at, "9998,9998,T,NoSuch\r\n");
    test::WriteFileBytes("fetchlist.csv", csv);
    ASSERT_EQ(site.list.Load(site.markets, site.server.Url().c_str(), "fetchlist.csv"), 0);
    ASSERT_EQ(site.list.GetBlock(1)->m_aStocks[10].m_nCode, 9998);
    site.truth[9998].code = 9998;  // no price: the expected file leaves it out
    Fetch();

    EXPECT_EQ(test::ReadFileBytes(kErrorLogPath), "page=1 code=9998 name=NoSuch\r\n");
    const JobOutcome report = doc.LastOutcome();
    EXPECT_EQ(report.notExtractedCodes, std::vector<int>{9998});
    EXPECT_EQ(report.notExtracted, 1);
    EXPECT_EQ(site.list.GetBlock(1)->m_nExtracted, kStocksPerBlock - 1);
    // The stocks after it in the block still get their own rows.
    EXPECT_EQ(DailyFile(), Expected(3, false, Blocks()));
}

TEST_F(SiteFetchTest, StalledPageEndsTheFetchLikeAFailedDownload) {
    settings.m_nOutputFormat = 3;
    doc.SetSiteAccess(test::AccessForTest(site.server.Url())
                          .Timeouts(std::chrono::seconds(5), std::chrono::seconds(1)));
    site::Fault fault;
    fault.kind = site::FaultKind::kStall;
    fault.stall = std::chrono::seconds(20);
    site.server.SetFault(Target(1), fault);
    Fetch();

    const JobOutcome report = doc.LastOutcome();
    EXPECT_TRUE(report.Stopped());
    EXPECT_EQ(report.itemsDone, kStocksPerBlock);
    ASSERT_EQ(report.failures.size(), 1u);
    EXPECT_TRUE(report.failures[0].endedJob);
    EXPECT_EQ(report.failures[0].where, site.list.GetQuoteUrl(1));
    EXPECT_EQ(DailyFile(), Expected(3, false, 1));
    EXPECT_FALSE(std::filesystem::exists(site.list.GetPagePath(1)));
}

// The performance job end to end: the FN file equals the figures the site says each stock showed;
// Cancel; and faults of one block's page after a daily fetch left that block's other view in the
// work file.
bool HasFigures(const TruthRow& t) {
    return t.figures[0] > 0 || t.figures[1] > 0 || t.figures[3] > 0;
}

std::string FiguresLineOf(const TruthRow& t) {
    return Format("%04d,0,%s,%.2f,%.2f,%.2f,%.2f,%.2f\r\n", t.code, Utf8ToSjis(t.listName).c_str(),
                  t.figures[0], t.figures[1], t.figures[2], t.figures[3], t.figures[4]);
}

class SitePerformanceTest : public SiteFetchTest {
  protected:
    void Run() {
        ASSERT_TRUE(doc.OnGetPerformance());
        doc.WaitForJob();
    }

    // The FN file the truth calls for when the blocks in done got their pages.
    std::string Expected(const std::string& date, const std::vector<int>& done) const {
        std::string lines;
        int count = 0;
        for (int b = 0; b < site.list.m_nBlocks; ++b) {
            const bool fetched = std::find(done.begin(), done.end(), b) != done.end();
            const CQuoteBlock& block = *site.list.GetBlock(b);
            for (int i = 0; i < block.m_nStocks; ++i) {
                const TruthRow& t = site.truth.at(block.m_aStocks[i].m_nCode);
                if (fetched && t.code >= 1000 && t.code <= 9999 && HasFigures(t)) {
                    ++count;
                    lines += FiguresLineOf(t);
                }
            }
        }
        return date + "\r\n" + std::to_string(count) + "\r\n" + lines;
    }
    // The date of the daily fetch's pages, which names the FN file after it.
    std::string QuoteDate() const {
        const CQuoteBlock& block0 = *site.list.GetBlock(0);
        return Format("26%02d%02d", block0.m_nMonth != 0 ? block0.m_nMonth : 12,
                      block0.m_nDay != 0 ? block0.m_nDay : 7);
    }

    std::string Target(int b) const { return site.Target(site.list.GetFiguresUrl(b)); }
};

TEST_F(SitePerformanceTest, FiguresFileEqualsTheSiteTruth) {
    ASSERT_EQ(site.list.m_nBlocks, 3);
    Run();
    EXPECT_EQ(test::ReadFileBytes("out/FN261207.DAT"), Expected("261207", {0, 1, 2}));
    const std::vector<site::ReceivedRequest> requests = site.server.Requests();
    ASSERT_EQ(requests.size(), 3u);
    for (int b = 0; b < 3; ++b) {
        EXPECT_EQ(requests[static_cast<size_t>(b)].target, Target(b));
    }
    // Only the three index rows lack figures, and the outcome names them as the fetch does.
    const JobOutcome report = doc.LastOutcome();
    EXPECT_EQ(report.notExtracted, 3);
    EXPECT_EQ(report.extracted, 140);
    std::vector<int> withoutFigures;
    for (int b = 0; b < site.list.m_nBlocks; ++b) {
        const CQuoteBlock& block = *site.list.GetBlock(b);
        for (int i = 0; i < block.m_nStocks; ++i) {
            if (!HasFigures(site.truth.at(block.m_aStocks[i].m_nCode))) {
                withoutFigures.push_back(block.m_aStocks[i].m_nCode);
            }
        }
    }
    EXPECT_EQ(withoutFigures.size(), 3u);
    EXPECT_EQ(report.notExtractedCodes, withoutFigures);
}

TEST_F(SitePerformanceTest, AfterTheDailyFetchTheFileCarriesTheQuoteDate) {
    settings.m_nOutputFormat = 3;
    Fetch();
    const std::string date = QuoteDate();
    Run();
    EXPECT_EQ(test::ReadFileBytes("out/FN" + date + ".DAT"), Expected(date, {0, 1, 2}));
}

TEST_F(SitePerformanceTest, CancelDuringTheFirstBlockFetchesExactlyOne) {
    view.onStep = [this](int) { doc.CancelJob(); };
    Run();
    EXPECT_EQ(site.server.Requests().size(), 1u);
    EXPECT_EQ(test::ReadFileBytes("out/FN261207.DAT"), Expected("261207", {0}));
    EXPECT_TRUE(doc.LastOutcome().Cancelled());
}

class SitePerformanceFault : public SitePerformanceTest,
                             public ::testing::WithParamInterface<FaultCase> {};

TEST_P(SitePerformanceFault, DailyPageInTheWorkFileIsNeverReadAsFigures) {
    const FaultCase& c = GetParam();
    settings.m_nOutputFormat = 3;
    // Cut the daily fetch short after block 1, so its "&d=v2" pages stay in the work files.
    view.onStep = [this](int item) {
        if (item == 2) {
            doc.CancelJob();
        }
    };
    Fetch();
    view.onStep = nullptr;
    ASSERT_TRUE(std::filesystem::exists(site.list.GetPagePath(1)));
    const std::string date = QuoteDate();

    BreakPage(Target(1), c.kind, c.status);
    Run();

    EXPECT_EQ(doc.LastOutcome().Stopped(), c.endsFetch);
    EXPECT_EQ(site.server.Requests().size(), c.endsFetch ? 2u : 3u);
    const std::vector<int> done = c.endsFetch ? std::vector<int>{0} : std::vector<int>{0, 2};
    EXPECT_EQ(test::ReadFileBytes("out/FN" + date + ".DAT"), Expected(date, done));
    for (int i = 0; i < site.list.GetBlock(1)->m_nStocks; ++i) {
        EXPECT_DOUBLE_EQ(site.list.GetBlock(1)->m_aStocks[i].m_adFigures[0], 0) << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Faults, SitePerformanceFault, ::testing::ValuesIn(kBlockFaults),
                         FaultName);

}  // namespace
}  // namespace tickora
