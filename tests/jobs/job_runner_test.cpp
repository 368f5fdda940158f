// SPDX-License-Identifier: GPL-3.0-or-later
// The runner's steps that both programs share: a step run to its end under a lock its caller
// keeps (as a sequence of jobs runs each of its steps), the Cancel a front-end's watch asks for,
// what the loaded working folder refuses, and the working folder entered and left.
#include "jobs/job_runner.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <vector>

#include "catalog/work_lock.h"
#include "jobs/run_history.h"
#include "jobs/tickora_doc.h"
#include "jobs/workdir.h"
#include "tests/support/job_harness.h"
#include "tests/support/fake_view.h"
#include "tests/support/loopback_server.h"
#include "tests/support/site_access_for_test.h"
#include "tests/support/temp_dir.h"

namespace tickora {
namespace {

// A working folder with a list of stocks whose every page the site answers with 404.
class JobRunnerTest : public ::testing::Test {
  protected:
    JobRunnerTest() {
        std::filesystem::create_directory("Webtemp");
        test::TwoMarkets(m_markets);
        test::BuildList(m_stocks, m_markets, m_site.Url(), 60);
        m_doc.SetView(&m_view);
        m_doc.SetSiteAccess(test::AccessForTest(m_site.Url()));
    }

    static JobRequest OneStock() {
        JobOptions options;
        options.code = 1301;
        return {Job::kKdt, options};
    }

    test::ScopedWorkDir m_dir;
    test::LoopbackServer m_site;
    CAppSettings m_settings;
    CMarketTable m_markets;
    CStockList m_stocks;
    test::FakeView m_view;
    CTickoraDoc m_doc{m_settings, m_markets, m_stocks};
};

TEST_F(JobRunnerTest, StepsUnderOneHoldEachLeaveTheirLineAndTheFolderHeld) {
    WorkLockResult held = TryLockWorkFolder(".");
    ASSERT_TRUE(held.Taken());
    const JobRequest steps[] = {OneStock(), {Job::kProfiles, JobOptions{}}, OneStock()};
    for (const JobRequest& step : steps) {
        SCOPED_TRACE(JobName(step.job));
        const std::optional<JobOutcome> outcome = RunStep(m_doc, step, &held.lock, RunWatch{});
        ASSERT_TRUE(outcome) << m_doc.LastRefusal();
        EXPECT_EQ(outcome->job, JobName(step.job));
        EXPECT_NE(outcome->end, JobEnd::kNotRun);
        EXPECT_EQ(TryLockWorkFolder(".").status, WorkLockStatus::kBusy)
            << "the step leaves the folder to the one who holds it";
    }
    const std::vector<RunRecord> runs = ReadRunHistory();
    ASSERT_EQ(runs.size(), std::size(steps));
    for (std::size_t i = 0; i < runs.size(); ++i) {
        EXPECT_EQ(runs[i].outcome.job, JobName(steps[i].job));
        EXPECT_FALSE(runs[i].retry);
    }
    held.lock.Release();
    EXPECT_TRUE(TryLockWorkFolder(".").Taken());
}

TEST_F(JobRunnerTest, AStepWithoutTheFolderHeldIsRefusedAndLeavesNoLine) {
    const WorkLock none;
    EXPECT_FALSE(RunStep(m_doc, OneStock(), &none, RunWatch{}));
    EXPECT_FALSE(m_doc.LastRefusal().empty());
    EXPECT_FALSE(m_doc.IsJobRunning());
    EXPECT_TRUE(ReadRunHistory().empty());
    EXPECT_EQ(m_site.Requests(), 0);
}

// The watch's wish to stop is the Cancel button, told once; a retry narrows the step to its
// stocks and marks its line.
TEST_F(JobRunnerTest, TheWatchCancelsTheStepOnceAndARetryIsMarked) {
    WorkLockResult held = TryLockWorkFolder(".");
    ASSERT_TRUE(held.Taken());
    int told = 0;
    RunWatch watch;
    watch.cancelRequested = [] { return true; };
    watch.cancelling = [&told] { ++told; };
    JobOptions all;
    all.allStocks = true;
    JobRequest retry{Job::kKdt, all};
    retry.only = std::vector<int>{1302, 1340};
    const std::optional<JobOutcome> outcome = RunStep(m_doc, retry, &held.lock, watch);
    ASSERT_TRUE(outcome);
    EXPECT_TRUE(outcome->Cancelled());
    EXPECT_EQ(told, 1);
    EXPECT_LE(outcome->itemsTotal, 2);
    const std::vector<RunRecord> runs = ReadRunHistory();
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_TRUE(runs[0].retry);
}

TEST(JobRunner, TheLoadedFolderRefusesWhatCannotStart) {
    test::ScopedWorkDir dir;
    struct Case {
        const char* what;
        void (*arrange)(StartupObjects&);
        JobRequest request;
        StartupRefusal expected;
    };
    JobOptions all;
    all.allStocks = true;
    const auto listed = [](StartupObjects& o) {
        o.marketLoaded = true;
        test::TwoMarkets(o.markets);
        test::BuildList(o.stocks, o.markets, "http://127.0.0.1:1", 3);
    };
    const Case cases[] = {
        {"a listed folder", +listed, {Job::kFetch}, StartupRefusal::kNone},
        {"an irregular file first",
         [](StartupObjects& o) { o.irregularFile = "Tickora.ini: not a regular file"; },
         {Job::kFetchList},
         StartupRefusal::kIrregularFile},
        {"no market table", [](StartupObjects&) {}, {Job::kFetchList}, StartupRefusal::kNoMarket},
        {"URLs that do not fit",
         [](StartupObjects& o) {
             o.marketLoaded = true;
             o.cannotRun = "the site's URL is too long";
         },
         {Job::kFetchList},
         StartupRefusal::kCannotRun},
        {"an empty list for the fetch",
         [](StartupObjects& o) { o.marketLoaded = true; },
         {Job::kFetch},
         StartupRefusal::kEmptyList},
        {"an empty list for kdt --all",
         [](StartupObjects& o) { o.marketLoaded = true; },
         {Job::kKdt, all},
         StartupRefusal::kEmptyList},
        {"an empty list for one stock's history",
         [](StartupObjects& o) { o.marketLoaded = true; },
         {Job::kKdt, JobOptions{}},
         StartupRefusal::kNone},
        {"an empty list for the list job",
         [](StartupObjects& o) { o.marketLoaded = true; },
         {Job::kFetchList},
         StartupRefusal::kNone},
        {"no output folder for the performance job",
         [](StartupObjects& o) {
             o.marketLoaded = true;
             test::TwoMarkets(o.markets);
             test::BuildList(o.stocks, o.markets, "http://127.0.0.1:1", 3);
             std::strcpy(o.settings.m_szOutputDir, "missing");
         },
         {Job::kPerformance},
         StartupRefusal::kNoOutputFolder},
        {"no output folder for the profile job",
         [](StartupObjects& o) {
             o.marketLoaded = true;
             test::TwoMarkets(o.markets);
             test::BuildList(o.stocks, o.markets, "http://127.0.0.1:1", 3);
             std::strcpy(o.settings.m_szOutputDir, "missing");
         },
         {Job::kProfiles},
         StartupRefusal::kNone},
    };
    for (const Case& c : cases) {
        StartupObjects objects;
        c.arrange(objects);
        EXPECT_EQ(RefusalOf(objects, c.request), c.expected) << c.what;
    }
}

TEST(JobRunner, TheWorkingFolderIsEnteredAndLeft) {
    test::ScopedWorkDir dir;
    const std::filesystem::path start = std::filesystem::current_path();
    std::filesystem::create_directory("folder");

    EnteredWorkdir entered = EnterWorkdir("folder");
    ASSERT_TRUE(entered.Ok());
    EXPECT_EQ(std::filesystem::current_path(), start / "folder");
    LeaveWorkdir(entered);
    EXPECT_EQ(std::filesystem::current_path(), start);

    // A folder that is not there is chosen, as the command line names it, and not entered.
    entered = EnterWorkdir("missing");
    EXPECT_TRUE(entered.choice.ok);
    EXPECT_TRUE(entered.enterError);
    EXPECT_FALSE(entered.Ok());
    LeaveWorkdir(entered);
    EXPECT_EQ(std::filesystem::current_path(), start);
}

}  // namespace
}  // namespace tickora
