// SPDX-License-Identifier: GPL-3.0-or-later
// The block job as a whole against canned pages of both kinds, the daily quotes ("&d=v2") and the
// figures ("&d=v3"): what the form is told, what is requested, the file, the error log, Cancel,
// exit after fetch, a failed download, and pages that a failed request must not bring back from an
// earlier run (for the figures, the daily fetch's page never read as figures).
#include <gtest/gtest.h>

#include <filesystem>
#include <ostream>
#include <string>
#include <tuple>
#include <vector>

#include "catalog/clock.h"
#include "files/work_folder.h"
#include "jobs/job_steps.h"
#include "jobs/tickora_doc.h"
#include "pages/quote_page.h"
#include "tests/support/job_harness.h"
#include "tests/support/quote_test_pages.h"
#include "tests/support/temp_dir.h"
#include "text/sjis.h"

namespace tickora {
namespace {

using test::EucJp;
using test::QuoteCells;
using test::QuotePage;
using test::QuoteRow;
using test::Row;

// Prices derived from the code, so that every line of the daily file can be told apart.
QuoteCells CellsOf(int code) {
    QuoteCells c;
    c.symbol = std::to_string(code);
    c.name = EucJp("銘柄");
    c.date = "12/4";
    c.close = std::to_string(code);
    c.open = std::to_string(code - 1);
    c.high = std::to_string(code + 5);
    c.low = std::to_string(code - 6);
    c.volume = std::to_string(code * 100);
    return c;
}

// Figures derived from the code: market cap, PER, growth, PBR, yield.
std::string FiguresRowOf(int code) {
    return Row({std::to_string(code), "name", "1,000", "+5", "1.2%", std::to_string(code) + ",000",
                "12.50", "-3.0", "0.80", "---"});
}

// What a run on 2026/12/7 over pages of 12/4 writes, for one page kind.
struct Kind {
    const char* name;
    bool figures;
    const char* job;           // the outcome's name of the job
    const char* file;          // the file written
    const char* header;        // its lines before the stocks', %d the stocks written
    const char* block1Target;  // the target of block 1 when blocks hold 50 stocks from 1301
    const char* busyPage;      // an error page of the site
};

// The daily file is named for the date block 0's page shows, the figures file for today.
// clang-format off
const Kind kQuotes = {"Quotes", false, "fetch", "out/DS261204.DAT", "261204\r\n%d,0\r\n",
                      "/q?s=1351&d=v2", "<html>busy</html>"};
const Kind kFigures = {"Figures", true, "performance", "out/FN261207.DAT", "261207\r\n%d\r\n",
                       "/q?s=1351&d=v3", "busy"};
// clang-format on

void PrintTo(const Kind& kind, std::ostream* os) {
    *os << kind.name;
}

class BlockJobTest : public ::testing::Test {
  protected:
    explicit BlockJobTest(const Kind& k) : kind(k) {
        SetTodayForTesting(LocalDate{2026, 12, 7});
        CreateWorkFolder();
        std::filesystem::create_directory("out");
        std::snprintf(settings.m_szOutputDir, sizeof settings.m_szOutputDir, "out");
        settings.m_nOutputFormat = 3;
        test::TwoMarkets(markets);
        doc.SetView(&view);
    }
    ~BlockJobTest() override {
        doc.WaitForJob();
        SetTodayForTesting(std::nullopt);
    }

    void Build(int stocks) { test::BuildList(list, markets, server.Url(), stocks); }

    // The page of block b with a row for every stock of it.
    std::string BlockPage(int b) const {
        const CQuoteBlock& block = *list.GetBlock(b);
        std::string rows = kind.figures ? "<table>\n<tr><th>code</th></tr>\n" : "";
        for (int i = 0; i < block.m_nStocks; ++i) {
            const int code = block.m_aStocks[i].m_nCode;
            rows += kind.figures ? FiguresRowOf(code) : QuoteRow(CellsOf(code));
        }
        return kind.figures ? rows + "</table>\n" : QuotePage(rows);
    }
    void SetUrl(int b, const std::string& url) {
        CQuoteBlock& block = *list.GetBlock(b);
        std::snprintf(kind.figures ? block.m_szFiguresUrl : block.m_szQuoteUrl,
                      sizeof block.m_szQuoteUrl, "%s", url.c_str());
    }
    std::string Target(int b) const {
        return test::TargetOf(kind.figures ? list.GetFiguresUrl(b) : list.GetQuoteUrl(b),
                              server.Url());
    }
    void ServeAll() {
        for (int b = 0; b < list.m_nBlocks; ++b) {
            server.Set(Target(b), BlockPage(b));
        }
    }

    bool Start() { return kind.figures ? doc.OnGetPerformance() : doc.OnFetch(); }
    void Run() {
        ASSERT_TRUE(Start());
        doc.WaitForJob();
    }

    std::string File() const { return test::ReadFileBytes(kind.file); }
    // The file as it must read when the stocks first to last, and only they, were written.
    std::string Expected(int first, int last) const {
        return Header(last - first + 1) + Lines(first, last);
    }
    std::string Header(int count) const {
        char header[32];
        std::snprintf(header, sizeof header, kind.header, count);
        return header;
    }
    std::string LineOf(int code) const {
        char line[128];
        if (kind.figures) {
            std::snprintf(line, sizeof line, "%04d,0,S%d,%d.00,12.50,-3.00,0.80,0.00\r\n", code,
                          code, code * 1000);
        } else {
            std::snprintf(line, sizeof line, "%04d,1,S%d,%d,%d,%d,%d,%d\r\n", code, code, code - 1,
                          code + 5, code - 6, code, code * 100);
        }
        return line;
    }
    std::string Lines(int first, int last) const {
        std::string lines;
        for (int code = first; code <= last; ++code) {
            lines += LineOf(code);
        }
        return lines;
    }
    // What the form must have shown: the daily fetch titled with the date its list last showed,
    // one bar over range blocks stepped as each block began, the last counters, and at the end
    // the bar back at 0 and the form idle.
    void ExpectForm(int range, int steps, const std::string& lastCounts) const {
        EXPECT_EQ(view.Calls("title "), kind.figures ? std::vector<std::string>{}
                                                     : std::vector<std::string>{"title 2026/12/7"});
        EXPECT_EQ(view.Calls("range "), std::vector<std::string>{"range " + std::to_string(range)});
        EXPECT_EQ(view.Count("step"), steps);
        EXPECT_EQ(view.Last("counts "), lastCounts);
        const std::vector<std::string> calls = view.Calls();
        ASSERT_GE(calls.size(), 2u);
        EXPECT_EQ(std::vector<std::string>(calls.end() - 2, calls.end()),
                  (std::vector<std::string>{"pos 0", "idle"}));
    }
    // Cancel as the step of item n begins, as a press of the Cancel button then would.
    void CancelAtStep(int n) {
        view.onStep = [this, n](int item) {
            if (item == n) {
                doc.CancelJob();
            }
        };
    }
    double Value(int b, int i) const {
        const CStockRecord& stock = list.GetBlock(b)->m_aStocks[i];
        return kind.figures ? stock.m_adFigures[0] : stock.m_dClose;
    }

    const Kind& kind;
    test::ScopedWorkDir dir;
    test::LoopbackServer server;
    CAppSettings settings;
    CMarketTable markets;
    CStockList list;
    test::RecordingView view;
    CTickoraDoc doc{settings, markets, list};
};

class RunFetchTest : public BlockJobTest {
  protected:
    RunFetchTest() : BlockJobTest(kQuotes) {}
};

class RunPerformanceTest : public BlockJobTest {
  protected:
    RunPerformanceTest() : BlockJobTest(kFigures) {}
};

class RunBlockJob : public BlockJobTest, public ::testing::WithParamInterface<Kind> {
  protected:
    RunBlockJob() : BlockJobTest(GetParam()) {}
};

std::string KindName(const ::testing::TestParamInfo<Kind>& info) {
    return info.param.name;
}

TEST_P(RunBlockJob, FetchesEveryBlockAndWritesItsFile) {
    Build(51);
    ServeAll();
    Run();

    ExpectForm(2, 2, "counts 51 0");
    EXPECT_EQ(server.Targets(), (std::vector<std::string>{Target(0), Target(1)}));
    EXPECT_EQ(Target(1), kind.block1Target);
    EXPECT_EQ(File(), Expected(1301, 1351));
    EXPECT_FALSE(std::filesystem::exists(kErrorLogPath));
    EXPECT_EQ(doc.m_bShowAllStocks, kind.figures);

    const JobOutcome report = doc.LastOutcome();
    EXPECT_EQ(report.job, kind.job);
    EXPECT_EQ(report.itemsDone, 51);
    EXPECT_EQ(report.itemsTotal, 51);
    EXPECT_EQ(report.extracted, 51);
    EXPECT_EQ(report.notExtracted, 0);
    EXPECT_FALSE(report.Cancelled() || report.Stopped());
    EXPECT_TRUE(report.failures.empty());
    EXPECT_EQ(report.Written(), std::vector<std::string>{AbsolutePath(kind.file)});
    EXPECT_FALSE(doc.m_bBusy);

    // The next fetch is titled with the date the first stock's row showed.
    if (!kind.figures) {
        view.Clear();
        Run();
        EXPECT_EQ(view.Calls().front(), "title 2026/12/4");
    }
}

TEST_P(RunBlockJob, FailedDownloadEndsTheJobAndStillWritesTheFile) {
    const int stocks = kind.figures ? 120 : 101;
    Build(stocks);
    ServeAll();
    // Nothing listens on port 1: the request for block 1 fails outright.
    const std::string where = std::string("http://127.0.0.1:1") + kind.block1Target;
    SetUrl(1, where);
    Run();

    EXPECT_EQ(server.Targets(), std::vector<std::string>{Target(0)});
    // Block 1 was begun, never counted, and block 2 never begun.
    ExpectForm(3, 2, "counts 50 0");
    EXPECT_EQ(File(), Expected(1301, 1350));
    const JobOutcome report = doc.LastOutcome();
    EXPECT_TRUE(report.Stopped());
    EXPECT_EQ(report.itemsDone, 50);
    EXPECT_EQ(report.itemsTotal, stocks);
    ASSERT_EQ(report.failures.size(), 1u);
    EXPECT_TRUE(report.failures[0].endedJob);
    EXPECT_EQ(report.failures[0].where, where);
}

// An empty list is refused the same way by both: the job does not start at all.
TEST_P(RunBlockJob, EmptyListFetchesNothingAndWritesNoFile) {
    EXPECT_FALSE(Start());
    EXPECT_EQ(doc.LastRefusal(), kEmptyListRefusal);
    EXPECT_TRUE(server.Targets().empty());
    EXPECT_TRUE(std::filesystem::is_empty("out"));
    EXPECT_TRUE(view.Calls().empty());
    EXPECT_FALSE(doc.m_bBusy);
}

INSTANTIATE_TEST_SUITE_P(Kinds, RunBlockJob, ::testing::Values(kQuotes, kFigures), KindName);

class StaleBlockPage : public BlockJobTest,
                       public ::testing::WithParamInterface<std::tuple<Kind, int>> {
  protected:
    StaleBlockPage() : BlockJobTest(std::get<0>(GetParam())) {}
    static int Status() { return std::get<1>(GetParam()); }
};

TEST_P(StaleBlockPage, AnswerWithoutPageNeverBringsBackAnEarlierOne) {
    Build(51);
    // Yesterday's run left block 1's page in the work file, with a price for its stock; for the
    // figures, the daily fetch stores the other view of each block's page under the same name,
    // whose rows have a code in cell 0 and numbers in cells 5 to 9.
    test::WriteFileBytes(
        list.GetPagePath(1),
        kind.figures ? Row({"1351", "n", "12/4", "100", "+1", "+1%", "5,000", "99", "105", "98"})
                     : BlockPage(1));
    server.Set(Target(0), BlockPage(0));
    server.Set(Target(1), kind.busyPage, Status());
    Run();

    EXPECT_EQ(File(), Expected(1301, 1350));
    EXPECT_EQ(view.Calls("counts "), (std::vector<std::string>{"counts 50 0", "counts 50 1"}));
    EXPECT_EQ(list.GetBlock(1)->m_nExtracted, 0);
    EXPECT_DOUBLE_EQ(Value(1, 0), 0);
    EXPECT_FALSE(std::filesystem::exists(list.GetPagePath(1)));
    const JobOutcome outcome = doc.LastOutcome();
    EXPECT_FALSE(outcome.Stopped());
    ASSERT_EQ(outcome.failures.size(), 1u);
    EXPECT_EQ(outcome.failures[0].cause, "HTTP " + std::to_string(Status()));
    EXPECT_EQ(outcome.failures[0].codes, std::vector<int>{1351});
}

INSTANTIATE_TEST_SUITE_P(Statuses, StaleBlockPage,
                         ::testing::Combine(::testing::Values(kQuotes, kFigures),
                                            ::testing::Values(404, 500)),
                         [](const ::testing::TestParamInfo<std::tuple<Kind, int>>& info) {
                             return std::get<0>(info.param).name +
                                    std::to_string(std::get<1>(info.param));
                         });

TEST_F(RunFetchTest, EachLayoutIsWrittenUnderItsName) {
    Build(3);
    ServeAll();
    const struct {
        int format;
        const char* file;
        const char* firstLine;
    } cases[] = {{1, "out/DS261204.DAT", "\"2026年\"\t\"12月\"\t\"04日\"\r\n"},
                 {2, "out/DS202612.04", "20261204\r\n"},
                 {3, "out/DS261204.DAT", "261204\r\n"},
                 {0, "out/DS261204.DAT", "261204\r\n"}};
    for (const auto& c : cases) {
        settings.m_nOutputFormat = c.format;
        std::filesystem::remove_all("out");
        std::filesystem::create_directory("out");
        Run();
        const std::string bytes = test::ReadFileBytes(c.file);
        const std::string firstLine = Utf8ToSjis(c.firstLine);
        EXPECT_EQ(bytes.substr(0, firstLine.size()), firstLine) << c.format;
        EXPECT_EQ(doc.LastOutcome().Written(), std::vector<std::string>{AbsolutePath(c.file)});
    }
}

TEST_F(RunFetchTest, BlockWithoutPageThisTimeDoesNotCountAsExtracted) {
    Build(51);
    ServeAll();
    Run();
    ASSERT_EQ(list.GetBlock(1)->m_nExtracted, 1);
    server.Set(Target(1), "gone", 404);
    view.Clear();
    Run();
    EXPECT_EQ(view.Calls("counts "), (std::vector<std::string>{"counts 50 0", "counts 50 1"}));
    EXPECT_EQ(doc.LastOutcome().extracted, 50);
}

TEST_F(RunPerformanceTest, FiguresOfAnEarlierRunAreNeitherWrittenNorCounted) {
    Build(3);
    ServeAll();
    Run();
    server.Set(Target(0), "<table>\n" + FiguresRowOf(1301) + "</table>\n");
    Run();
    // 1302 and 1303 had figures in the first run only: this run's file is its own.
    EXPECT_EQ(File(), Expected(1301, 1301));
    EXPECT_EQ(view.Last("counts "), "counts 1 2");
}

class CancelledFetch : public RunFetchTest, public ::testing::WithParamInterface<bool> {};

TEST_P(CancelledFetch, CancelTakesEffectAfterTheCurrentBlock) {
    settings.m_bExitAfterFetch = GetParam() ? 1 : 0;
    Build(200);
    ServeAll();
    CancelAtStep(2);
    Run();

    EXPECT_EQ(server.Targets(), (std::vector<std::string>{Target(0), Target(1)}));
    EXPECT_EQ(File(), Expected(1301, 1400));
    std::vector<std::string> tail = {"counts 100 0", "pos 0", "idle"};
    if (GetParam()) {
        tail.push_back("quit");
    }
    const std::vector<std::string> calls = view.Calls();
    ASSERT_GE(calls.size(), tail.size());
    EXPECT_EQ(std::vector<std::string>(calls.end() - static_cast<long>(tail.size()), calls.end()),
              tail);
    EXPECT_TRUE(doc.LastOutcome().Cancelled());
    EXPECT_EQ(doc.LastOutcome().itemsDone, 100);
}

INSTANTIATE_TEST_SUITE_P(ExitAfterFetch, CancelledFetch, ::testing::Bool());

TEST_F(RunPerformanceTest, CancelDuringTheFirstBlockFetchesExactlyOne) {
    Build(120);
    ServeAll();
    // Cancel as the first page is answered. Cancelled as the step begins, a machine slow enough
    // to hold that page past the grace would rightly drop the block, and the case would flake.
    const std::string first = Target(0);
    server.AddRoute(first.substr(0, first.find('?')),
                    [this, page = BlockPage(0)](const auto&, httplib::Response& res) {
                        doc.CancelJob();
                        res.set_content(page, "text/html; charset=EUC-JP");
                    });
    Run();
    EXPECT_EQ(server.Targets(), std::vector<std::string>{Target(0)});
    EXPECT_EQ(File(), Expected(1301, 1350));
    EXPECT_TRUE(doc.LastOutcome().Cancelled());
    EXPECT_EQ(view.Calls().back(), "idle");
}

TEST_F(RunFetchTest, ExitAfterFetchQuitsOnlyAfterTheEndSteps) {
    settings.m_bExitAfterFetch = 1;
    Build(3);
    ServeAll();
    Run();
    const std::vector<std::string> calls = view.Calls();
    ASSERT_GE(calls.size(), 3u);
    EXPECT_EQ(std::vector<std::string>(calls.end() - 3, calls.end()),
              (std::vector<std::string>{"pos 0", "idle", "quit"}));
    EXPECT_TRUE(std::filesystem::exists("out/DS261204.DAT"));
}

TEST_F(RunFetchTest, FailedStocksAreLoggedWithTheirBlockAcrossRuns) {
    Build(103);
    ServeAll();
    QuoteCells noMatch = CellsOf(1402);
    noMatch.name = EucJp("一致する銘柄はありません");
    // 1403's row is missing: its slot is never reached, so it is not logged, but it fails.
    server.Set(Target(2), QuotePage(QuoteRow(CellsOf(1401)) + QuoteRow(noMatch)));
    Run();
    Run();

    const std::string line = "page=2 code=1402 name=S1402\r\n";
    EXPECT_EQ(test::ReadFileBytes(kErrorLogPath), line + line);
    EXPECT_EQ(doc.LastOutcome().notExtractedCodes, std::vector<int>{1402});
    EXPECT_EQ(view.Calls().back(), "idle");
    EXPECT_EQ(doc.LastOutcome().extracted, 101);
    EXPECT_EQ(doc.LastOutcome().notExtracted, 2);
}

// Rows of the figures page whose stock is not in the list, or whose figures are not numbers.
TEST_F(RunPerformanceTest, RowsOfStocksNotFoundCountAsNotExtracted) {
    Build(3);
    server.Set(Target(0), "<table>\n" + Row({"1301", "n", "a", "b", "c", "0", "0", "5", "0", "9"}) +
                              FiguresRowOf(1303) + FiguresRowOf(4000) + "</table>\n");
    Run();
    EXPECT_EQ(view.Calls("counts "), std::vector<std::string>{"counts 1 2"});
    EXPECT_EQ(File(), Header(1) + LineOf(1303));
    EXPECT_DOUBLE_EQ(list.GetBlock(0)->m_aStocks[0].m_adFigures[4], 9);
}

// A figure the file cannot hold: the stock is named as not extracted, and its line is not written
// from that row (nor wrapped to fit).
TEST_F(RunPerformanceTest, AFigureTheFileCannotHoldIsNamedAndNotWritten) {
    Build(3);
    server.Set(Target(0),
               "<table>\n" +
                   Row({"1301", "n", "a", "b", "c", "99999999999999999999", "1", "1", "1", "1"}) +
                   FiguresRowOf(1302) + FiguresRowOf(1303) + "</table>\n");
    Run();
    EXPECT_EQ(File(), Expected(1302, 1303));
    const JobOutcome report = doc.LastOutcome();
    ASSERT_EQ(report.failures.size(), 1u);
    EXPECT_EQ(report.failures[0].what, "stock 1301 of block 0");
    EXPECT_EQ(report.failures[0].cause.rfind("figure 1 (", 0), 0u) << report.failures[0].cause;
    EXPECT_EQ(report.failures[0].codes, std::vector<int>{1301});
    EXPECT_EQ(report.notExtracted, 1);
    EXPECT_EQ(ExitStatusOf(report), kExitItemsFailed);
}

// Page values against the daily file's 32-bit fields: a value the file cannot hold keeps its stock
// out of the file and names it; one that fits but cannot be true is written and named as a warning.
TEST_F(RunFetchTest, NumbersTheFileCannotHoldAreNotExtractedAndImplausibleOnesAreNamed) {
    struct Case {
        const char* name;
        QuoteCells cells;    // stock 1301's row; the other two stocks are ordinary
        const char* line;    // 1301's line in the daily file, or nullptr when it has none
        const char* failed;  // part of the failure's cause, or nullptr when none
        const char* warned;  // part of the warning, or nullptr when none
    };
    auto cells = [](const char* close, const char* volume, const char* open, const char* high,
                    const char* low) {
        QuoteCells c = CellsOf(1301);
        c.close = close;
        c.volume = volume;
        c.open = open;
        c.high = high;
        c.low = low;
        return c;
    };
    const Case cases[] = {
        {"ordinary", CellsOf(1301), "1301,1,S1301,1300,1306,1295,1301,130100\r\n", nullptr,
         nullptr},
        {"20-digit close", cells("99999999999999999999", "100", "1", "2", "1"), nullptr,
         "the close 1e+20 does not fit", nullptr},
        {"volume of ten digits", cells("1,301", "9,999,999,999", "1,300", "1,306", "1,295"),
         nullptr, "the volume 9999999999 does not fit", nullptr},
        {"high beyond 32 bits", cells("1,301", "100", "1,300", "3,000,000,000", "1,295"), nullptr,
         "the high 3000000000 does not fit", nullptr},
        {"largest volume", cells("1,301", "2,147,483,647", "1,300", "1,306", "1,295"),
         "1301,1,S1301,1300,1306,1295,1301,2147483647\r\n", nullptr, nullptr},
        {"negative volume", cells("1,301", "-500", "1,300", "1,306", "1,295"),
         "1301,1,S1301,1300,1306,1295,1301,-500\r\n", nullptr, "a negative volume (-500)"},
        {"close above the high", cells("1,400", "100", "1,300", "1,306", "1,295"),
         "1301,1,S1301,1300,1306,1295,1400,100\r\n", nullptr,
         "the close 1400 outside the low 1295 and the high 1306"},
        {"high below the low", cells("1,301", "100", "1,300", "1,200", "1,295"),
         "1301,1,S1301,1300,1200,1295,1301,100\r\n", nullptr, "the high 1200 below the low 1295"},
        {"no open: close alone", cells("1,400", "100", "-", "1,306", "1,295"),
         "1301,1,S1301,1400,1400,1400,1400,100\r\n", nullptr, nullptr},
    };
    Build(3);
    std::string log;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        server.Set(Target(0), QuotePage(QuoteRow(c.cells) + QuoteRow(CellsOf(1302)) +
                                        QuoteRow(CellsOf(1303))));
        Run();
        const JobOutcome report = doc.LastOutcome();
        const std::string others = Lines(1302, 1303);
        EXPECT_EQ(File(), std::string("261204\r\n") + (c.line != nullptr ? "3" : "2") + ",0\r\n" +
                              (c.line != nullptr ? c.line : "") + others);
        EXPECT_EQ(report.extracted, c.line != nullptr ? 3 : 2);
        if (c.failed != nullptr) {
            log += "page=0 code=1301 name=S1301\r\n";
            ASSERT_EQ(report.failures.size(), 1u);
            EXPECT_NE(report.failures[0].cause.find(c.failed), std::string::npos)
                << report.failures[0].cause;
            EXPECT_EQ(report.failures[0].codes, std::vector<int>{1301});
            EXPECT_EQ(report.notExtractedCodes, std::vector<int>{1301});
            EXPECT_EQ(ExitStatusOf(report), kExitItemsFailed);
        } else {
            EXPECT_TRUE(report.failures.empty());
            EXPECT_EQ(ExitStatusOf(report), kExitDone);
        }
        EXPECT_EQ(std::filesystem::exists(kErrorLogPath) ? test::ReadFileBytes(kErrorLogPath) : "",
                  log);
        if (c.warned != nullptr) {
            ASSERT_EQ(report.warnings.size(), 1u);
            EXPECT_NE(report.warnings[0].find("stock 1301 of block 0: " + std::string(c.warned)),
                      std::string::npos)
                << report.warnings[0];
        } else {
            EXPECT_TRUE(report.warnings.empty()) << report.warnings.front();
        }
    }
}

}  // namespace
}  // namespace tickora
