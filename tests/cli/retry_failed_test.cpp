// SPDX-License-Identifier: GPL-3.0-or-later
// --retry-failed against the simulated site: a run in which some stocks fail (and one that stops
// before the end), the site recovers, and the retry asks only those stocks and leaves the files
// a clean full run writes, byte for byte.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "catalog/clock.h"
#include "jobs/outcome_json.h"
#include "jobs/run_history.h"
#include "tests/cli/cli_run.h"
#include "tests/jobs/site_truth.h"
#include "web/download.h"

namespace tickora {
namespace {

namespace fs = std::filesystem;
using test::CliRun;
using test::ReadFileBytes;
using test::RunCli;

// Every regular file below root, by its path relative to root, with its bytes.
std::map<std::string, std::string> FilesBelow(const fs::path& root) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (entry.is_regular_file()) {
            files[fs::relative(entry.path(), root).string()] = ReadFileBytes(entry.path());
        }
    }
    return files;
}

struct RetryCase {
    const char* name;
    std::vector<std::string> job;  // the command and its options
    const char* output;            // what the job writes, a file or a folder
    // The stocks (by their place in the list) whose pages fail, and how.
    std::vector<int> failing;
    site::FaultKind fault;
    int firstStatus;
};

class RetryFailed : public ::testing::TestWithParam<RetryCase> {
  protected:
    void SetUp() override {
        SetTodayForTesting(LocalDate{2026, 12, 4});
        for (int b = 0; b < m_site.list.m_nBlocks; ++b) {
            const CQuoteBlock& block = *m_site.list.GetBlock(b);
            for (int s = 0; s < block.m_nStocks; ++s) {
                m_codes.push_back(block.m_aStocks[s].m_nCode);
            }
        }
    }
    void TearDown() override { SetTodayForTesting(std::nullopt); }

    // The path and query that ask for the stock's pages of the job.
    std::string PagePrefix(const std::vector<std::string>& job, int code) const {
        if (job[0] == "kdt") {
            return "/t?s=" + m_site.truth.at(code).symbol + "&";
        }
        char path[64];
        std::snprintf(path, sizeof path, "/biz/fundamental/%04d.html", code);
        return path;
    }

    CliRun Run(const std::string& workdir, std::vector<std::string> job) {
        std::vector<std::string> args{"--workdir", workdir, "--site", m_site.server.Url()};
        args.insert(args.end(), job.begin(), job.end());
        return RunCli(args);
    }

    test::ScopedWorkDir m_dir;
    test::SiteFixture m_site{120};
    std::vector<int> m_codes;  // in list order
};

TEST_P(RetryFailed, AsksOnlyTheStocksThatFailedAndWritesWhatAFullRunWrites) {
    const RetryCase& c = GetParam();
    // A clean full run in a folder of its own is what the retry must reach.
    fs::create_directory("full");
    fs::copy_file("market.csv", "full/market.csv");
    fs::copy_file("fetchlist.csv", "full/fetchlist.csv");
    ASSERT_EQ(Run("full", c.job).status, kExitDone);

    std::vector<int> failing;
    for (const int index : c.failing) {
        const int code = m_codes.at(static_cast<std::size_t>(index));
        failing.push_back(code);
        m_site.server.SetFault(PagePrefix(c.job, code), {.kind = c.fault, .status = 500});
    }
    CliRun run = Run(".", c.job);
    ASSERT_EQ(run.status, c.firstStatus) << run.out << run.err;
    const std::optional<RunRecord> first =
        LastRunOf(c.job[0] == "kdt" ? RetryJob::kKdtAll : RetryJob::kProfiles);
    ASSERT_TRUE(first.has_value());
    const std::vector<int> retried = StocksToRetry(first->outcome);
    for (const int code : failing) {
        EXPECT_NE(std::find(retried.begin(), retried.end(), code), retried.end()) << code;
    }

    m_site.server.ClearFaults();
    m_site.server.ClearRequests();
    std::vector<std::string> retry = c.job;
    retry.push_back("--retry-failed");
    retry.push_back("--json");
    run = Run(".", retry);
    ASSERT_EQ(run.status, kExitDone) << run.out << run.err;
    int status = -1;
    const std::optional<JobOutcome> outcome = OutcomeFromJson(run.out, &status);
    ASSERT_TRUE(outcome.has_value()) << run.out;
    EXPECT_EQ(status, kExitDone);
    EXPECT_EQ(outcome->itemsTotal, static_cast<int>(retried.size()));
    EXPECT_EQ(outcome->itemsDone, static_cast<int>(retried.size()));
    // No page of a stock that had succeeded was asked again.
    for (const site::ReceivedRequest& request : m_site.server.Requests()) {
        bool ofARetriedStock = false;
        for (const int code : retried) {
            ofARetriedStock |= request.target.rfind(PagePrefix(c.job, code), 0) == 0;
        }
        EXPECT_TRUE(ofARetriedStock) << request.target;
    }
    if (fs::is_directory(c.output)) {
        EXPECT_EQ(FilesBelow(c.output), FilesBelow(fs::path("full") / c.output));
    } else {
        EXPECT_EQ(ReadFileBytes(c.output), ReadFileBytes(fs::path("full") / c.output));
    }

    const std::vector<RunRecord> history = ReadRunHistory();
    ASSERT_EQ(history.size(), 2u);
    EXPECT_FALSE(history[0].retry);
    EXPECT_TRUE(history[1].retry);
    EXPECT_EQ(history[0].exitStatus, c.firstStatus);
    // Nothing failed this time: another retry has nothing to do, and says so with status 0.
    run = Run(".", retry);
    EXPECT_EQ(run.status, kExitDone);
    EXPECT_NE(run.err.find("nothing to retry"), std::string::npos) << run.err;
    EXPECT_NE(run.out.find("\"end\":\"not run\""), std::string::npos) << run.out;
}

const RetryCase kRetryCases[] = {
    {"kdt stocks answered 500, the job ran to its end",
     {"kdt", "--all", "--days", "30"}, "DATA", {3, 70}, site::FaultKind::kStatus, kExitItemsFailed},
    {"kdt cut three times in a row: stopped, the rest never asked",
     {"kdt", "--all", "--days", "30", "--update"}, "DATA", {5, 6, 7}, site::FaultKind::kCut,
     kExitEndedEarly},
    {"profiles answered 500", {"profiles"}, "VorlaneEx.DIC", {0, 64, 119},
     site::FaultKind::kStatus, kExitItemsFailed},
};

INSTANTIATE_TEST_SUITE_P(Jobs, RetryFailed, ::testing::ValuesIn(kRetryCases),
                         [](const auto& info) { return "Case" + std::to_string(info.index); });

TEST(RetryFailedRefusal, WithoutAnEarlierRunNothingRuns) {
    test::ScopedWorkDir dir;
    test::SiteFixture site(60);
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"kdt", "--all", "--retry-failed"},
          std::vector<std::string>{"profiles", "--retry-failed"}}) {
        const CliRun run = RunCli(args);
        EXPECT_EQ(run.status, kExitEndedEarly) << args[0];
        EXPECT_NE(run.err.find("nothing can be retried"), std::string::npos) << run.err;
        EXPECT_TRUE(site.server.Requests().empty());
    }
    // A run of one stock is no run of all of them.
    const std::string code = std::to_string(site.list.GetBlock(0)->m_aStocks[3].m_nCode);
    ASSERT_EQ(RunCli({"--site", site.server.Url(), "kdt", "--code", code, "--days", "10"}).status,
              kExitDone);
    EXPECT_EQ(RunCli({"kdt", "--all", "--retry-failed"}).status, kExitEndedEarly);
}

}  // namespace
}  // namespace tickora
