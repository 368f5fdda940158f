// SPDX-License-Identifier: GPL-3.0-or-later
// The price-history job where no site answers, or a canned page: the dialog's choices, the files
// it must not touch, and numbers its file cannot hold.
#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "pages/history_page.h"
#include "tests/support/job_harness.h"
#include "tests/support/kdt_job_fixture.h"
#include "tests/support/kdt_test_pages.h"

namespace tickora {
namespace {

namespace fs = std::filesystem;

using KdtJobOffline = test::KdtJobTest;

// Port 1 on loopback: nothing listens, so every download fails at once.
constexpr const char* kDeadSite = "http://127.0.0.1:1";

// A day with a number the KDT file cannot hold keeps the stock's stored history (or gives it no
// file) and names the value; an implausible day is written and named as a warning.
TEST_F(KdtJobOffline, NumbersTheFileCannotHoldKeepTheStoredHistory) {
    struct Case {
        const char* name;
        const char* volume;  // of the second day
        bool stored;         // a history is stored before
        int status;
        const char* failed;  // part of the failure, or nullptr
        const char* warned;  // part of the warning, or nullptr
    };
    const Case cases[] = {
        {"too large, stored", "9,999,999,999", true, kExitItemsFailed,
         "2026/12/3: the volume 9999999999 does not fit", nullptr},
        {"too large, none stored", "9,999,999,999", false, kExitEndedEarly,
         "2026/12/3: the volume 9999999999 does not fit", nullptr},
        {"negative", "-5", true, kExitDone, nullptr,
         "the history of 1301: 1 implausible day, 2026/12/3: a negative volume (-5)"},
    };
    test::LoopbackServer server;
    m_access.Site(server.Url());
    LoadList("1301,1301,T,Kyokuyo\r\n");
    const std::string stored = std::string(26, '\x07');
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove("KD1301.KDT");
        if (c.stored) {
            test::WriteFileBytes("KD1301.KDT", stored);
        }
        const std::string second = test::DayRow(test::Day(2026, 12, 3, 500, 510, 490, 500, 1));
        const std::string bad = second.substr(0, second.rfind("<small>1</small>")) + "<small>" +
                                c.volume + "</small></td></tr>\n";
        const CKdtRequest request("1301", 1301, 10, server.Url());
        server.Set(test::TargetOf(request.GetPageUrl(0), server.Url()),
                   test::Page(test::DayRow(test::Day(2026, 12, 4, 500, 510, 490, 500, 9)) + bad));
        m_view.codeOptions = {1301, 10, false};
        const JobOutcome report = RunJob();
        EXPECT_EQ(ExitStatusOf(report), c.status);
        if (c.failed != nullptr) {
            ASSERT_EQ(report.failures.size(), 1u);
            EXPECT_NE(report.failures[0].cause.find(c.failed), std::string::npos)
                << report.failures[0].cause;
            EXPECT_EQ(report.failures[0].codes, std::vector<int>{1301});
            EXPECT_EQ(fs::exists("KD1301.KDT"), c.stored);
            if (c.stored) {
                EXPECT_EQ(test::ReadFileBytes("KD1301.KDT"), stored);
            }
        } else {
            EXPECT_TRUE(report.failures.empty());
            EXPECT_EQ(test::ReadFileBytes("KD1301.KDT").size(), 2u * kKdtRecordSize);
        }
        if (c.warned != nullptr) {
            ASSERT_EQ(report.warnings.size(), 1u);
            EXPECT_NE(report.warnings[0].find(c.warned), std::string::npos) << report.warnings[0];
        } else {
            EXPECT_TRUE(report.warnings.empty());
        }
    }
}

TEST_F(KdtJobOffline, DialogAskedOnTheWorkerWithItsStartValues) {
    m_view.answersDialogs = false;
    const JobOutcome report = RunJob();
    const auto asked = m_view.CodeDialogs();
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].shown.code, 1301u);
    EXPECT_EQ(asked[0].shown.days, 200u);
    EXPECT_FALSE(asked[0].shown.allStocks);
    EXPECT_TRUE(asked[0].showAllStocks);
    EXPECT_NE(asked[0].thread, std::this_thread::get_id());
    EXPECT_TRUE(report.end == JobEnd::kNotRun);
}

TEST_F(KdtJobOffline, CancelledDialogFetchesAndWritesNothing) {
    m_access.Site(kDeadSite);
    test::WriteFileBytes("ERRORLOG.TXT", "earlier line\r\n");
    m_view.answersDialogs = false;
    const JobOutcome report = RunJob();
    EXPECT_TRUE(report.end == JobEnd::kNotRun);
    EXPECT_EQ(m_view.Count("ask code"), 1);
    EXPECT_FALSE(m_view.Contains("range ") || m_view.Contains("counts ")) << "nothing began";
    EXPECT_EQ(m_view.Last(), "idle");
    EXPECT_TRUE(fs::is_empty("Webtemp"));
    EXPECT_FALSE(fs::exists("DATA"));
    EXPECT_EQ(test::ReadFileBytes("ERRORLOG.TXT"), "earlier line\r\n");
}

TEST_F(KdtJobOffline, FailedDownloadKeepsTheStocksFileAndEndsIdle) {
    m_access.Site(kDeadSite);
    LoadList("1301,1301,T,Kyokuyo\r\n");
    test::WriteFileBytes("KD1301.KDT", std::string(26, '\x07'));
    test::WriteFileBytes("ERRORLOG.TXT", "earlier line\r\n");
    m_view.codeOptions = {1301, 200, false};
    const JobOutcome report = RunJob();
    EXPECT_TRUE(report.Stopped());
    EXPECT_TRUE(report.Written().empty());
    EXPECT_EQ(report.Kept(), std::vector<std::string>{AbsolutePath("KD1301.KDT")});
    ASSERT_EQ(report.failures.size(), 1u);
    EXPECT_TRUE(report.failures[0].endedJob);
    EXPECT_EQ(test::ReadFileBytes("KD1301.KDT"), std::string(26, '\x07'));
    EXPECT_EQ(test::ReadFileBytes("ERRORLOG.TXT"), "earlier line\r\n");
    // One page tried: the bar was set to the 4 pages of 200 days and stepped once.
    EXPECT_EQ(m_view.Calls("range "), std::vector<std::string>{"range 4"});
    EXPECT_EQ(m_view.Count("step"), 1);
    EXPECT_EQ(m_view.Last(), "idle");
}

TEST_F(KdtJobOffline, AllStocksGoOnPastAFailedStockButStopAfterThreeInARow) {
    m_access.Site(kDeadSite);
    LoadList("1301,1301,T,A\r\n1332,1332,T,B\r\n9983,9983,T,C\r\n9984,9984,T,D\r\n");
    fs::create_directories("DATA/9000");
    test::WriteFileBytes("DATA/9000/KD9983.KDT", "old history");
    test::WriteFileBytes("DATA/9000/KD9984.KDT", "old history");
    m_view.codeOptions = {0, 10, true};
    const JobOutcome report = RunJob();
    // The network is gone after three stocks in a row: the fourth is never asked for.
    EXPECT_TRUE(report.Stopped());
    EXPECT_EQ(report.itemsDone, 3);
    EXPECT_EQ(report.itemsTotal, 4);
    ASSERT_EQ(report.failures.size(), 3u);
    EXPECT_FALSE(report.failures[1].endedJob);
    EXPECT_TRUE(report.failures[2].endedJob);
    EXPECT_EQ(report.failures[2].codes, std::vector<int>{9983});
    EXPECT_EQ(ExitStatusOf(report), kExitEndedEarly);
    EXPECT_TRUE(report.Written().empty());
    EXPECT_EQ(report.Kept(), std::vector<std::string>{AbsolutePath("DATA/9000/KD9983.KDT")});
    EXPECT_TRUE(fs::is_directory("DATA/1000"));
    EXPECT_FALSE(fs::exists("DATA/1000/KD1301.KDT"));
    EXPECT_EQ(test::ReadFileBytes("DATA/9000/KD9983.KDT"), "old history");
    EXPECT_EQ(test::ReadFileBytes("DATA/9000/KD9984.KDT"), "old history");
    // One block, never finished: the bar covers 1 item and is not stepped.
    EXPECT_EQ(m_view.Count("range 1"), 1);
    EXPECT_EQ(m_view.Count("step"), 0);
}

TEST_F(KdtJobOffline, OptionsOutsideTheDialogsRangesRunNothing) {
    m_access.Site(kDeadSite);
    LoadList("1301,1301,T,A\r\n");
    const JobOptions refused[] = {
        {10000, 200, false}, {1301, 9, false}, {1301, 3001, false}, {0, 0, true}};
    for (const JobOptions& options : refused) {
        m_view.codeOptions = options;
        const JobOutcome report = RunJob();
        EXPECT_TRUE(report.end == JobEnd::kNotRun) << options.code << " " << options.days;
    }
    EXPECT_EQ(m_view.Count("step"), 0);
    EXPECT_EQ(m_view.Count("counts 0 0"), 0);
    EXPECT_TRUE(fs::is_empty("Webtemp"));
    EXPECT_FALSE(fs::exists("DATA"));
}

}  // namespace
}  // namespace tickora
