// SPDX-License-Identifier: GPL-3.0-or-later
// The performance job end to end against the simulated site: the FN file equals the figures the
// site says each stock showed; Cancel; and faults of one block's page after a daily fetch left
// that block's other view in the work file.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "catalog/clock.h"
#include "jobs/tickora_doc.h"
#include "tests/jobs/job_harness.h"
#include "tests/jobs/site_truth.h"
#include "text/sjis.h"
#include "files/work_folder.h"

namespace tickora {
namespace {

using test::TruthRow;

bool HasFigures(const TruthRow& t) {
    return t.figures[0] > 0 || t.figures[1] > 0 || t.figures[3] > 0;
}

std::string LineOf(const TruthRow& t) {
    char line[256];
    std::snprintf(line, sizeof line, "%04d,0,%s,%.2f,%.2f,%.2f,%.2f,%.2f\r\n", t.code,
                  Utf8ToSjis(t.listName).c_str(), t.figures[0], t.figures[1], t.figures[2],
                  t.figures[3], t.figures[4]);
    return line;
}

class SitePerformanceTest : public ::testing::Test {
  protected:
    SitePerformanceTest() {
        SetTodayForTesting(LocalDate{2026, 12, 7});
        CreateWorkFolder();
        std::filesystem::create_directory("out");
        std::snprintf(settings.m_szOutputDir, sizeof settings.m_szOutputDir, "out");
        doc.SetView(&view);
    }
    ~SitePerformanceTest() override {
        doc.WaitForJob();
        SetTodayForTesting(std::nullopt);
    }

    void Run() {
        ASSERT_TRUE(doc.OnGetPerformance());
        doc.WaitForJob();
    }

    // The FN file the truth calls for when the blocks in done got their pages.
    std::string Expected(const char* date, const std::vector<int>& done) const {
        std::string lines;
        int count = 0;
        for (int b = 0; b < site.list.m_nBlocks; ++b) {
            const bool fetched = std::find(done.begin(), done.end(), b) != done.end();
            const CQuoteBlock& block = *site.list.GetBlock(b);
            for (int i = 0; i < block.m_nStocks; ++i) {
                const TruthRow& t = site.truth.at(block.m_aStocks[i].m_nCode);
                if (fetched && t.code >= 1000 && t.code <= 9999 && HasFigures(t)) {
                    ++count;
                    lines += LineOf(t);
                }
            }
        }
        return std::string(date) + "\r\n" + std::to_string(count) + "\r\n" + lines;
    }

    std::string Target(int b) const { return site.Target(site.list.GetFiguresUrl(b)); }

    test::ScopedWorkDir dir;
    test::SiteFixture site{140};
    CAppSettings settings;
    test::RecordingView view;
    CTickoraDoc doc{settings, site.markets, site.list};
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
    ASSERT_TRUE(doc.OnFetch());
    doc.WaitForJob();
    const CQuoteBlock& block0 = *site.list.GetBlock(0);
    char date[16];
    std::snprintf(date, sizeof date, "26%02d%02d", block0.m_nMonth != 0 ? block0.m_nMonth : 12,
                  block0.m_nDay != 0 ? block0.m_nDay : 7);
    Run();
    EXPECT_EQ(test::ReadFileBytes(std::string("out/FN") + date + ".DAT"),
              Expected(date, {0, 1, 2}));
}

TEST_F(SitePerformanceTest, CancelDuringTheFirstBlockFetchesExactlyOne) {
    view.onStep = [this](int) { doc.CancelJob(); };
    Run();
    EXPECT_EQ(site.server.Requests().size(), 1u);
    EXPECT_EQ(test::ReadFileBytes("out/FN261207.DAT"), Expected("261207", {0}));
    EXPECT_TRUE(doc.LastOutcome().Cancelled());
}

struct FaultCase {
    const char* name;
    site::FaultKind kind;
    int status;
    bool endsJob;
};

void PrintTo(const FaultCase& c, std::ostream* os) {
    *os << c.name;
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
    ASSERT_TRUE(doc.OnFetch());
    doc.WaitForJob();
    view.onStep = nullptr;
    ASSERT_TRUE(std::filesystem::exists(site.list.GetPagePath(1)));
    const CQuoteBlock& block0 = *site.list.GetBlock(0);
    char date[16];
    std::snprintf(date, sizeof date, "26%02d%02d", block0.m_nMonth != 0 ? block0.m_nMonth : 12,
                  block0.m_nDay != 0 ? block0.m_nDay : 7);

    site::Fault fault;
    fault.kind = c.kind;
    fault.status = c.status;
    fault.bytes = 5000;
    site.server.SetFault(Target(1), fault);
    site.server.ClearRequests();
    Run();

    EXPECT_EQ(doc.LastOutcome().Stopped(), c.endsJob);
    EXPECT_EQ(site.server.Requests().size(), c.endsJob ? 2u : 3u);
    const std::vector<int> done = c.endsJob ? std::vector<int>{0} : std::vector<int>{0, 2};
    EXPECT_EQ(test::ReadFileBytes(std::string("out/FN") + date + ".DAT"), Expected(date, done));
    for (int i = 0; i < site.list.GetBlock(1)->m_nStocks; ++i) {
        EXPECT_DOUBLE_EQ(site.list.GetBlock(1)->m_aStocks[i].m_adFigures[0], 0) << i;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Faults, SitePerformanceFault,
    ::testing::Values(FaultCase{"status404", site::FaultKind::kStatus, 404, false},
                      FaultCase{"status500", site::FaultKind::kStatus, 500, false},
                      FaultCase{"empty", site::FaultKind::kEmpty, 200, false},
                      FaultCase{"garbage", site::FaultKind::kGarbage, 200, false},
                      FaultCase{"noEndTags", site::FaultKind::kNoEndTags, 200, false},
                      // The page ends after 5,000 bytes, inside its table, or holds a NUL there:
                      // none of its rows is taken, not even those before the break.
                      FaultCase{"truncated", site::FaultKind::kTruncated, 200, false},
                      FaultCase{"nulInside", site::FaultKind::kNulInside, 200, false},
                      FaultCase{"cut", site::FaultKind::kCut, 200, true}),
    [](const ::testing::TestParamInfo<FaultCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tickora
