// SPDX-License-Identifier: GPL-3.0-or-later
// The performance job as a whole against canned "&d=v3" pages: counters, progress, the FN file,
// Cancel, a failed download, and the daily fetch's page never read as figures.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "catalog/clock.h"
#include "jobs/job_steps.h"
#include "jobs/tickora_doc.h"
#include "tests/jobs/job_harness.h"
#include "tests/pages/quote_test_pages.h"
#include "tests/support/temp_dir.h"
#include "files/work_folder.h"

namespace tickora {
namespace {

using test::Row;

// Figures derived from the code: market cap, PER, growth, PBR, yield.
std::string FiguresRowOf(int code) {
    return Row({std::to_string(code), "name", "1,000", "+5", "1.2%", std::to_string(code) + ",000",
                "12.50", "-3.0", "0.80", "---"});
}

std::string LineOf(int code) {
    char line[128];
    std::snprintf(line, sizeof line, "%04d,0,S%d,%d.00,12.50,-3.00,0.80,0.00\r\n", code, code,
                  code * 1000);
    return line;
}

class RunPerformanceTest : public ::testing::Test {
  protected:
    RunPerformanceTest() {
        SetTodayForTesting(LocalDate{2026, 12, 7});
        CreateWorkFolder();
        std::filesystem::create_directory("out");
        std::snprintf(settings.m_szOutputDir, sizeof settings.m_szOutputDir, "out");
        test::TwoMarkets(markets);
        doc.SetView(&view);
    }
    ~RunPerformanceTest() override {
        doc.WaitForJob();
        SetTodayForTesting(std::nullopt);
    }

    void Build(int stocks) { test::BuildList(list, markets, server.Url(), stocks); }
    std::string Target(int b) const { return test::TargetOf(list.GetFiguresUrl(b), server.Url()); }
    std::string BlockPage(int b) const {
        const CQuoteBlock& block = *list.GetBlock(b);
        std::string rows = "<table>\n<tr><th>code</th></tr>\n";
        for (int i = 0; i < block.m_nStocks; ++i) {
            rows += FiguresRowOf(block.m_aStocks[i].m_nCode);
        }
        return rows + "</table>\n";
    }
    void ServeAll() {
        for (int b = 0; b < list.m_nBlocks; ++b) {
            server.Set(Target(b), BlockPage(b));
        }
    }
    void Run() {
        ASSERT_TRUE(doc.OnGetPerformance());
        doc.WaitForJob();
    }
    std::string Lines(int first, int last) const {
        std::string lines;
        for (int code = first; code <= last; ++code) {
            lines += LineOf(code);
        }
        return lines;
    }
    static std::string FiguresFile() { return test::ReadFileBytes("out/FN261207.DAT"); }

    test::ScopedWorkDir dir;
    test::LoopbackServer server;
    CAppSettings settings;
    CMarketTable markets;
    CStockList list;
    test::RecordingView view;
    CTickoraDoc doc{settings, markets, list};
};

TEST_F(RunPerformanceTest, FetchesEveryBlockAndWritesTheFiguresFile) {
    Build(51);
    ServeAll();
    Run();

    const std::vector<std::string> expected = {"running",     "range 2",     "setstep 1",
                                               "step",        "counts 50 0", "step",
                                               "counts 51 0", "pos 0",       "idle"};
    EXPECT_EQ(view.Calls(), expected);
    EXPECT_EQ(server.Targets(), (std::vector<std::string>{Target(0), Target(1)}));
    EXPECT_EQ(Target(1), "/q?s=1351&d=v3");
    EXPECT_EQ(FiguresFile(), "261207\r\n51\r\n" + Lines(1301, 1351));
    EXPECT_TRUE(doc.m_bShowAllStocks);
    const JobOutcome report = doc.LastOutcome();
    EXPECT_EQ(report.job, "performance");
    EXPECT_EQ(report.extracted, 51);
    EXPECT_EQ(report.itemsDone, 51);
    EXPECT_TRUE(report.failures.empty());
    EXPECT_EQ(report.Written(), std::vector<std::string>{AbsolutePath("out/FN261207.DAT")});
}

TEST_F(RunPerformanceTest, RowsOfStocksNotFoundCountAsNotExtracted) {
    Build(3);
    server.Set(Target(0), "<table>\n" +
                              Row({"1301", "n", "a", "b", "c", "0", "0", "5", "0", "9"}) +
                              FiguresRowOf(1303) + FiguresRowOf(4000) + "</table>\n");
    Run();
    EXPECT_EQ(view.Calls()[4], "counts 1 2");
    EXPECT_EQ(FiguresFile(), "261207\r\n1\r\n" + LineOf(1303));
    EXPECT_DOUBLE_EQ(list.GetBlock(0)->m_aStocks[0].m_adFigures[4], 9);
}

class StaleFiguresPage : public RunPerformanceTest, public ::testing::WithParamInterface<int> {};

TEST_P(StaleFiguresPage, DailyPageLeftInTheWorkFileIsNotReadAsFigures) {
    Build(51);
    // The daily fetch stores the other view of each block's page under the same name; its rows
    // have a code in cell 0 and numbers in cells 5 to 9.
    test::WriteFileBytes(list.GetPagePath(1), Row({"1351", "n", "12/4", "100", "+1", "+1%", "5,000",
                                                   "99", "105", "98"}));
    server.Set(Target(0), BlockPage(0));
    server.Set(Target(1), "busy", GetParam());
    Run();

    EXPECT_EQ(view.Calls()[6], "counts 50 1");
    EXPECT_EQ(FiguresFile(), "261207\r\n50\r\n" + Lines(1301, 1350));
    EXPECT_DOUBLE_EQ(list.GetBlock(1)->m_aStocks[0].m_adFigures[0], 0);
    EXPECT_FALSE(std::filesystem::exists(list.GetPagePath(1)));
    const JobOutcome outcome = doc.LastOutcome();
    ASSERT_EQ(outcome.failures.size(), 1u);
    EXPECT_EQ(outcome.failures[0].cause, "HTTP " + std::to_string(GetParam()));
}

INSTANTIATE_TEST_SUITE_P(Statuses, StaleFiguresPage, ::testing::Values(404, 500));

// A figure the file cannot hold: the stock is named as not extracted, and its line is not written
// from that row (nor wrapped to fit).
TEST_F(RunPerformanceTest, AFigureTheFileCannotHoldIsNamedAndNotWritten) {
    Build(3);
    server.Set(Target(0),
               "<table>\n" +
                   Row({"1301", "n", "a", "b", "c", "99999999999999999999", "1", "1", "1", "1"}) +
                   FiguresRowOf(1302) + FiguresRowOf(1303) + "</table>\n");
    Run();
    EXPECT_EQ(FiguresFile(), "261207\r\n2\r\n" + Lines(1302, 1303));
    const JobOutcome report = doc.LastOutcome();
    ASSERT_EQ(report.failures.size(), 1u);
    EXPECT_EQ(report.failures[0].what, "stock 1301 of block 0");
    EXPECT_EQ(report.failures[0].cause.rfind("figure 1 (", 0), 0u) << report.failures[0].cause;
    EXPECT_EQ(report.failures[0].codes, std::vector<int>{1301});
    EXPECT_EQ(report.notExtracted, 1);
    EXPECT_EQ(ExitStatusOf(report), kExitItemsFailed);
}

TEST_F(RunPerformanceTest, FiguresOfAnEarlierRunAreNeitherWrittenNorCounted) {
    Build(3);
    ServeAll();
    Run();
    server.Set(Target(0), "<table>\n" + FiguresRowOf(1301) + "</table>\n");
    Run();
    // 1302 and 1303 had figures in the first run only: this run's file is its own.
    EXPECT_EQ(FiguresFile(), "261207\r\n1\r\n" + Lines(1301, 1301));
    EXPECT_EQ(view.Calls()[view.Calls().size() - 3], "counts 1 2");
}

TEST_F(RunPerformanceTest, CancelDuringTheFirstBlockFetchesExactlyOne) {
    Build(120);
    ServeAll();
    view.onStep = [this](int item) {
        if (item == 1) {
            doc.CancelJob();
        }
    };
    Run();
    EXPECT_EQ(server.Targets(), std::vector<std::string>{Target(0)});
    EXPECT_EQ(FiguresFile(), "261207\r\n50\r\n" + Lines(1301, 1350));
    EXPECT_TRUE(doc.LastOutcome().Cancelled());
    EXPECT_EQ(view.Calls().back(), "idle");
}

TEST_F(RunPerformanceTest, FailedDownloadEndsTheJobAndStillWritesTheFile) {
    Build(120);
    ServeAll();
    std::snprintf(list.GetBlock(1)->m_szFiguresUrl, sizeof list.GetBlock(1)->m_szFiguresUrl,
                  "http://127.0.0.1:1/q?s=1351&d=v3");
    Run();
    EXPECT_EQ(server.Targets(), std::vector<std::string>{Target(0)});
    EXPECT_EQ(FiguresFile(), "261207\r\n50\r\n" + Lines(1301, 1350));
    const JobOutcome outcome = doc.LastOutcome();
    EXPECT_TRUE(outcome.Stopped());
    EXPECT_EQ(outcome.itemsDone, 50);
    EXPECT_EQ(outcome.itemsTotal, 120);
    ASSERT_EQ(outcome.failures.size(), 1u);
    EXPECT_TRUE(outcome.failures[0].endedJob);
}

// An empty list is refused as the daily fetch refuses it: the job does not start at all.
TEST_F(RunPerformanceTest, EmptyListFetchesNothingAndWritesNoFile) {
    EXPECT_FALSE(doc.OnGetPerformance());
    EXPECT_EQ(doc.LastRefusal(), kEmptyListRefusal);
    EXPECT_TRUE(server.Targets().empty());
    EXPECT_TRUE(std::filesystem::is_empty("out"));
    EXPECT_TRUE(view.Calls().empty());
}

}  // namespace
}  // namespace tickora
