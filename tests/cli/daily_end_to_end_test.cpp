// SPDX-License-Identifier: GPL-3.0-or-later
// The built tickora-cli daily against the built tickora-site, as a timer runs it: a Cancel in the
// pause before the retry round, and a run killed in the middle followed by the next one.
#include <gtest/gtest.h>

#if defined(TICKORA_SITE_BINARY) && defined(TICKORA_CLI_BINARY)

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "catalog/work_lock.h"
#include "jobs/run_history.h"
#include "tests/support/processes.h"
#include "tests/support/temp_dir.h"

namespace tickora::cli {
namespace {

using namespace std::chrono_literals;
using test::CliProcess;
using test::SiteProcess;

class DailyEndToEnd : public ::testing::Test {
  protected:
    void SetUp() override {
        test::CopyShippedMarketTable(m_dir.Path());
        const int devNull = open("/dev/null", O_WRONLY);
        const pid_t pid =
            test::Spawn({TICKORA_SITE_BINARY, "--stocks", std::to_string(kStocks),
                         "--write-fetchlist", (m_dir.Path() / "fetchlist.csv").string()},
                        devNull, devNull);
        close(devNull);
        ASSERT_EQ(test::WaitExit(pid, 30s), 0);
        ASSERT_TRUE(m_site.Running());
    }
    std::vector<std::string> Daily(std::vector<std::string> options) const {
        std::vector<std::string> args{"--workdir", m_dir.Path().string(), "--site", m_site.Url(),
                                      "daily"};
        args.insert(args.end(), options.begin(), options.end());
        return args;
    }
    // Asks the site for a fault through its control endpoint, as a test from outside would.
    void SetFault(const std::string& query) const {
        const int devNull = open("/dev/null", O_WRONLY);
        const pid_t pid = test::Spawn(
            {"/usr/bin/curl", "-sf", m_site.Url() + "/_control/fault?" + query}, devNull, devNull);
        close(devNull);
        ASSERT_EQ(test::WaitExit(pid, 30s), 0) << query;
    }
    std::vector<std::string> HistoryJobs() const {
        std::vector<std::string> jobs;
        for (const RunRecord& record : ReadRunHistory((m_dir.Path() / kRunHistoryName).string())) {
            jobs.push_back(record.outcome.job);
        }
        return jobs;
    }

    static constexpr int kStocks = 120;
    test::ScopedWorkDir m_dir;
    SiteProcess m_site{kStocks};
};

TEST_F(DailyEndToEnd, SigintInThePauseEndsTheRoutineAtOnceWithoutTheRetryOrTheCheck) {
    // One history page answers 500 once: the retry round has a stock to ask again.
    SetFault("prefix=%2Ft%3F&kind=status&status=500&times=1");
    CliProcess cli(m_dir.Path(), Daily({"--skip", "performance", "--retry-pause", "600"}));
    ASSERT_TRUE(cli.WaitForErr("tickora-cli: daily: retry round in 600 s: kdt (1 stock)", 120s))
        << cli.Err();
    kill(cli.Pid(), SIGINT);
    // Far less than the pause: the test's own limit ends a pause that did not hear the Cancel.
    EXPECT_EQ(cli.Wait(60s), 1) << cli.Err();
    const std::string out = cli.Out();
    EXPECT_TRUE(
        out.starts_with("daily: status 1, cancelled; ran fetch, kdt; left out "
                        "performance; not reached check; not retried kdt (1 stock)\n"))
        << out;
    EXPECT_NE(out.find("\n  check: not run, the routine was cancelled before it\n"),
              std::string::npos)
        << out;
    EXPECT_EQ(HistoryJobs(), (std::vector<std::string>{"fetch", "kdt"}));
    EXPECT_TRUE(TryLockWorkFolder(m_dir.Path().string()).Taken());
}

TEST_F(DailyEndToEnd, ARunKilledInTheMiddleLeavesTheNextOneAWholeDay) {
    CliProcess killed(m_dir.Path(), Daily({"--pace", "20"}));
    ASSERT_TRUE(killed.WaitForErr("kdt: 30/", 120s)) << killed.Err();
    kill(killed.Pid(), SIGKILL);
    ASSERT_EQ(killed.Wait(30s), 128 + SIGKILL);
    EXPECT_EQ(HistoryJobs(), (std::vector<std::string>{"fetch", "performance"}));

    CliProcess next(m_dir.Path(), Daily({"--retry-pause", "0"}));
    EXPECT_EQ(next.Wait(120s), 0) << next.Out() << next.Err();
    const std::string out = next.Out();
    EXPECT_TRUE(
        out.starts_with("daily: status 0; ran fetch, performance, kdt, check; nothing to retry\n"))
        << out;
    EXPECT_NE(out.find(", no finding"), std::string::npos) << out;
    // No temporary file of the killed run is left beside the files it was writing.
    for (const auto& entry : std::filesystem::recursive_directory_iterator(m_dir.Path())) {
        EXPECT_EQ(entry.path().filename().string().find(".tmp"), std::string::npos) << entry.path();
    }
}

}  // namespace
}  // namespace tickora::cli

#endif
