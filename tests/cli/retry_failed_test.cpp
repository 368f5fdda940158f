// SPDX-License-Identifier: GPL-3.0-or-later
// --retry-failed against the simulated site: a run in which some stocks fail (and one that stops
// before the end), the site recovers, and the retry asks only those stocks and leaves the files
// a clean full run writes, byte for byte.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "catalog/clock.h"
#include "formats/kdt_file.h"
#include "jobs/outcome_json.h"
#include "jobs/run_history.h"
#include "pages/profile_page.h"
#include "tests/support/cli_run.h"
#include "tests/support/site_fixture.h"
#include "tests/support/special_files.h"
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

// A retry is the run it follows, narrowed: the options that run was given hold for the stocks it
// failed, unless the command line names others.
TEST(RetryFailedOptions, TheRetryRunsWithTheOptionsOfTheRunItFollowsUnlessTheyAreNamed) {
    enum class Check { kSameFileAsFull, kUpdatedFromPageZero, kPageKept };
    struct Case {
        const char* name;
        std::vector<std::string> first;  // the run in which one stock fails
        std::vector<std::string> retry;  // options named with --retry-failed
        std::vector<std::string> full;   // a clean run the retried stock's file must equal
        Check check;
    };
    const Case cases[] = {
        {"kdt --days 120",
         {"kdt", "--all", "--days", "120"},
         {},
         {"kdt", "--all", "--days", "120"},
         Check::kSameFileAsFull},
        {"kdt --days 120, the retry naming --days 60",
         {"kdt", "--all", "--days", "120"},
         {"--days", "60"},
         {"kdt", "--all", "--days", "60"},
         Check::kSameFileAsFull},
        {"kdt --update",
         {"kdt", "--all", "--days", "60", "--update"},
         {},
         {},
         Check::kUpdatedFromPageZero},
        {"profiles --keep-html", {"profiles", "--keep-html"}, {}, {}, Check::kPageKept},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::ScopedWorkDir dir;
        SetTodayForTesting(LocalDate{2026, 12, 4});
        test::SiteFixture site(8);
        const int code = site.list.GetBlock(0)->m_aStocks[2].m_nCode;
        const std::vector<std::string> withSite{"--site", site.server.Url()};
        const auto run = [&withSite](const std::string& workdir, std::vector<std::string> args) {
            args.insert(args.begin(), withSite.begin(), withSite.end());
            args.insert(args.begin(), {"--workdir", workdir});
            return RunCli(args);
        };
        if (c.check == Check::kUpdatedFromPageZero) {
            // Every stock has a stored history that page 0 brings up to date.
            ASSERT_EQ(run(".", {"kdt", "--all", "--days", "60"}).status, kExitDone);
        }
        const std::string page = c.first[0] == "kdt"
                                     ? "/t?s=" + site.truth.at(code).symbol + "&"
                                     : "/biz/fundamental/" + std::to_string(code) + ".html";
        site.server.SetFault(page, {.kind = site::FaultKind::kStatus, .status = 500});
        ASSERT_EQ(run(".", c.first).status, kExitItemsFailed);
        site.server.ClearFaults();

        std::vector<std::string> retry = {c.first[0]};
        if (c.first[0] == "kdt") {
            retry.push_back("--all");
        }
        retry.insert(retry.end(), {"--retry-failed", "--json"});
        retry.insert(retry.end(), c.retry.begin(), c.retry.end());
        const CliRun retried = run(".", retry);
        ASSERT_EQ(retried.status, kExitDone) << retried.out << retried.err;
        const std::optional<JobOutcome> outcome = OutcomeFromJson(retried.out);
        ASSERT_TRUE(outcome.has_value()) << retried.out;
        EXPECT_EQ(outcome->itemsTotal, 1);
        switch (c.check) {
            case Check::kSameFileAsFull: {
                fs::create_directory("full");
                fs::copy_file("market.csv", "full/market.csv");
                fs::copy_file("fetchlist.csv", "full/fetchlist.csv");
                ASSERT_EQ(run("full", c.full).status, kExitDone);
                const std::string file = KdtFileName(code, true);
                EXPECT_EQ(ReadFileBytes(file).size(),
                          ReadFileBytes(fs::path("full") / file).size());
                EXPECT_TRUE(ReadFileBytes(file) == ReadFileBytes(fs::path("full") / file));
                break;
            }
            case Check::kUpdatedFromPageZero:
                EXPECT_EQ(outcome->historiesUpdated, 1);
                break;
            case Check::kPageKept:
                EXPECT_TRUE(fs::exists(KeptProfilePath(code))) << KeptProfilePath(code);
                break;
        }
        SetTodayForTesting(std::nullopt);
    }
}

// When the line of the last run of the job cannot be read (a full disk cut it, or the history is
// no file of its own), nobody can tell what that run left to do: the retry says so and exits 1,
// and never takes it for a run that failed nothing.
TEST(RetryFailedOptions, ALastRunThatCannotBeReadIsNeverNothingToRetry) {
    using namespace std::chrono_literals;
    enum class Plant { kTornLine, kFifo, kLinkToDevZero };
    struct Case {
        const char* name;
        Plant plant;
    };
    const Case cases[] = {{"the newest kdt line torn", Plant::kTornLine},
                          {"a FIFO", Plant::kFifo},
                          {"a link to /dev/zero", Plant::kLinkToDevZero}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::ScopedWorkDir dir;
        test::SiteFixture site(4);
        // A clean run: its line says that nothing failed.
        ASSERT_EQ(RunCli({"--site", site.server.Url(), "kdt", "--all", "--days", "10"}).status,
                  kExitDone);
        const std::string clean = ReadFileBytes(kRunHistoryName);
        switch (c.plant) {
            case Plant::kTornLine:
                // A later run that failed a stock, its line cut by a full disk.
                test::WriteFileBytes(kRunHistoryName, clean + clean.substr(0, clean.size() / 2));
                break;
            case Plant::kFifo:
                ASSERT_TRUE(test::PlantAt(kRunHistoryName, test::Plant::kFifo, {}));
                break;
            case Plant::kLinkToDevZero:
                ASSERT_TRUE(test::PlantAt(kRunHistoryName, test::Plant::kLinkToDevZero, {}));
                break;
        }
        site.server.ClearRequests();
        CliRun run;
        EXPECT_TRUE(test::EndsWithin(
            30s,
            [&] {
                run = RunCli({"--site", site.server.Url(), "kdt", "--all", "--retry-failed"});
            },
            {kRunHistoryName}));
        EXPECT_EQ(run.status, kExitEndedEarly) << run.err;
        EXPECT_NE(run.err.find("cannot be read"), std::string::npos) << run.err;
        EXPECT_EQ(run.err.find("nothing to retry"), std::string::npos) << run.err;
        EXPECT_TRUE(site.server.Requests().empty());
    }
}

}  // namespace
}  // namespace tickora
