// SPDX-License-Identifier: GPL-3.0-or-later
// tickora-cli daily and check against the simulated site, in-process: the steps in their order
// with a section and a history line each, a step that fails while the others run, the retry round
// that mends a page that failed once, what refuses the whole routine, --skip, the JSON document,
// and the check alone on a clean and on a faulty market.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <tuple>
#include <vector>

#include "catalog/clock.h"
#include "catalog/work_lock.h"
#include "formats/kdt_file.h"
#include "jobs/outcome_json.h"
#include "jobs/run_history.h"
#include "site/data_faults.h"
#include "tests/support/cli_run.h"
#include "tests/support/secure_front.h"
#include "tests/support/site_fixture.h"
#include "tests/support/site_truth.h"
#include "tests/support/special_files.h"
#include "tests/support/tcp_relay.h"

namespace tickora {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using test::CliRun;
using test::RunCli;

constexpr int kStocks = 60;

class DailyCommand : public ::testing::Test {
  protected:
    void SetUp() override { SetTodayForTesting(LocalDate{2026, 12, 4}); }
    void TearDown() override { SetTodayForTesting(std::nullopt); }

    CliRun Run(std::vector<std::string> args) {
        if (m_wire) {
            args.insert(args.begin(), {"--site", "http://127.0.0.1:" + std::to_string(m_wire->Port()),
                                       "--http2", "prior-knowledge"});
        } else {
            args.insert(args.begin(), {"--site", m_site.server.Url()});
        }
        return RunCli(args);
    }
    // From now on the commands reach the site over HTTP/2 with the default connection settings
    // (one connection of 16 streams): nghttpx in h2c in front of it, and a relay in front of
    // nghttpx that counts the connections. False when nghttpx is not installed.
    [[nodiscard]] bool OverHttp2() {
        if (test::NghttpxBinary().empty()) {
            return false;
        }
        m_front = std::make_unique<test::Http2Front>(m_site.server.Port(), nullptr);
        std::string why;
        EXPECT_TRUE(m_front->Start(why)) << why;
        m_wire = std::make_unique<test::TcpRelay>(test::RelayOptions{.upstreamPort = m_front->Port()});
        EXPECT_TRUE(m_wire->Start());
        return true;
    }
    // daily --json, its document parsed.
    json Daily(std::vector<std::string> options, int expectedStatus) {
        std::vector<std::string> args{"daily", "--json", "--retry-pause", "0"};
        args.insert(args.end(), options.begin(), options.end());
        const CliRun run = Run(args);
        EXPECT_EQ(run.status, expectedStatus) << run.out << run.err;
        json doc = json::parse(run.out, nullptr, false);
        EXPECT_FALSE(doc.is_discarded()) << run.out;
        EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 1) << "one line";
        return doc;
    }
    std::string FiguresPage(int block) const {
        return m_site.Target(m_site.list.GetBlock(block)->m_szFiguresUrl);
    }
    std::string QuotePage(int block) const {
        return m_site.Target(m_site.list.GetBlock(block)->m_szQuoteUrl);
    }
    std::string HistoryPages(int code) const {
        return "/t?s=" + m_site.truth.at(code).symbol + "&";
    }
    int Code(int index) const { return m_site.list.GetBlock(0)->m_aStocks[index].m_nCode; }
    // The stocks of the list: the site's listed stocks and its indices.
    int Listed() const {
        int n = 0;
        for (int b = 0; b < m_site.list.m_nBlocks; ++b) {
            n += m_site.list.GetBlock(b)->m_nStocks;
        }
        return n;
    }
    std::string Of(const char* words) const {
        std::string text = words;
        for (std::size_t at = text.find('#'); at != std::string::npos; at = text.find('#')) {
            text.replace(at, 1, std::to_string(Listed()));
        }
        return text;
    }

    test::ScopedWorkDir m_dir;
    test::SiteFixture m_site{kStocks};
    std::unique_ptr<test::Http2Front> m_front;
    std::unique_ptr<test::TcpRelay> m_wire;
};

// "step:job state status" of each step of the document.
std::vector<std::string> Steps(const json& doc) {
    std::vector<std::string> steps;
    for (const json& step : doc["steps"]) {
        steps.push_back(step["step"].get<std::string>() + ":" + step["job"].get<std::string>() +
                        " " + step["state"].get<std::string>() + " " +
                        (step["exitStatus"].is_null() ? "-" : step["exitStatus"].dump()));
    }
    return steps;
}

std::vector<std::string> HistoryJobs() {
    std::vector<std::string> jobs;
    for (const RunRecord& record : ReadRunHistory()) {
        jobs.push_back(record.outcome.job + (record.retry ? " (retry)" : ""));
    }
    return jobs;
}

TEST_F(DailyCommand, EveryStepRunsInItsOrderWithASectionAndAHistoryLineEach) {
    const json doc = Daily({}, kExitDone);
    EXPECT_EQ(doc["job"], "daily");
    EXPECT_EQ(doc["end"], "completed");
    EXPECT_EQ(Steps(doc), (std::vector<std::string>{
                              "fetch:fetch ran 0", "performance:performance ran 0", "kdt:kdt ran 0",
                              "retry:retry nothing to retry -", "check:check ran 0"}));
    const json& kdt = doc["steps"][2];
    EXPECT_EQ(kdt["historiesFetched"], Listed()) << "a fresh folder: every history in full";
    const json& check = doc["steps"][4];
    EXPECT_EQ(check["quoteDate"], "2026/12/4");
    EXPECT_EQ(check["quotesChecked"], Listed());
    EXPECT_EQ(check["historiesChecked"], Listed());
    EXPECT_TRUE(check["findings"].empty()) << check.dump();
    EXPECT_EQ(HistoryJobs(), (std::vector<std::string>{"fetch", "performance", "kdt", "check"}));

    // The pages in the routine's order: every quote page, then every figures page, then the
    // histories.
    std::vector<char> kinds;
    for (const site::ReceivedRequest& r : m_site.server.Requests()) {
        const char kind = r.target.starts_with("/t?")                  ? 'k'
                          : r.target.find("d=v3") != std::string::npos ? 'p'
                                                                       : 'f';
        if (kinds.empty() || kinds.back() != kind) {
            kinds.push_back(kind);
        }
    }
    EXPECT_EQ(std::string(kinds.begin(), kinds.end()), "fpk");

    // The next day's run brings the stored histories up to date, with their own days, and says
    // so in English, a section a step.
    m_site.server.ClearRequests();
    const CliRun again = Run({"daily", "--retry-pause", "0"});
    ASSERT_EQ(again.status, kExitDone) << again.out << again.err;
    EXPECT_TRUE(again.out.starts_with(
        "daily: status 0; ran fetch, performance, kdt, check; nothing to retry\n"))
        << again.out;
    EXPECT_NE(again.out.find(Of("\n  kdt: #/# stocks, # brought up to date, 0 fetched in full")),
              std::string::npos)
        << again.out;
    EXPECT_NE(again.out.find("\n  retry: nothing to retry"), std::string::npos) << again.out;
    EXPECT_NE(again.out.find(Of("\n  check: #/# stocks, # quotes, # histories, no finding")),
              std::string::npos)
        << again.out;
    // The history's last kdt run failed nothing.
    const CliRun retry = Run({"kdt", "--all", "--retry-failed"});
    EXPECT_EQ(retry.status, kExitDone);
    EXPECT_NE(retry.err.find("nothing to retry"), std::string::npos) << retry.err;
}

struct FailingStep {
    const char* name;
    enum class Page { kFigures, kQuotes, kHistory } page;
    site::FaultKind kind;
    int times;  // -1: every time
    std::vector<std::string> steps;
    std::vector<std::string> history;
    int status;
};

const FailingStep kFailingSteps[] = {
    {"a figures page without its rows: the quotes and the histories still come, the run ends 4",
     FailingStep::Page::kFigures,
     site::FaultKind::kMaintenance,
     -1,
     {"fetch:fetch ran 0", "performance:performance ran 4", "kdt:kdt ran 0",
      "retry:performance ran 4", "check:check ran 0"},
     {"fetch", "performance", "kdt", "performance", "check"},
     kExitItemsFailed},
    {"a figures page without its rows once: the retry round mends it",
     FailingStep::Page::kFigures,
     site::FaultKind::kMaintenance,
     1,
     {"fetch:fetch ran 0", "performance:performance ran 4", "kdt:kdt ran 0",
      "retry:performance ran 0", "check:check ran 0"},
     {"fetch", "performance", "kdt", "performance", "check"},
     kExitDone},
    {"a quote page answering 500: the figures and the histories still come, and the check "
     "names the stocks the day file lacks",
     FailingStep::Page::kQuotes,
     site::FaultKind::kStatus,
     -1,
     {"fetch:fetch ran 4", "performance:performance ran 0", "kdt:kdt ran 0", "retry:fetch ran 4",
      "check:check ran 0"},
     {"fetch", "performance", "kdt", "fetch", "check"},
     kExitItemsFailed},
    {"a history page answering 500 once: the retry asks that stock alone and mends it",
     FailingStep::Page::kHistory,
     site::FaultKind::kStatus,
     1,
     {"fetch:fetch ran 0", "performance:performance ran 0", "kdt:kdt ran 4", "retry:kdt ran 0",
      "check:check ran 0"},
     {"fetch", "performance", "kdt", "kdt (retry)", "check"},
     kExitDone},
    {"a history page answering 500 every time: the run ends 4",
     FailingStep::Page::kHistory,
     site::FaultKind::kStatus,
     -1,
     {"fetch:fetch ran 0", "performance:performance ran 0", "kdt:kdt ran 4", "retry:kdt ran 4",
      "check:check ran 0"},
     {"fetch", "performance", "kdt", "kdt (retry)", "check"},
     kExitItemsFailed},
};

// Each case over HTTP/1.1 (a page at a time) and over one HTTP/2 connection that the steps share,
// where a step that ends early leaves pages it asked ahead in the connection the next one uses.
class DailyFailingStep : public DailyCommand,
                         public ::testing::WithParamInterface<std::tuple<FailingStep, bool>> {};

TEST_P(DailyFailingStep, TheOtherStepsRunAndTheRetryRoundRunsItOnceMore) {
    const FailingStep& c = std::get<0>(GetParam());
    if (std::get<1>(GetParam()) && !OverHttp2()) {
        GTEST_SKIP() << "nghttpx is not installed";
    }
    const int failing = Code(7);
    std::string target;
    switch (c.page) {
        case FailingStep::Page::kFigures:
            target = FiguresPage(1);
            break;
        case FailingStep::Page::kQuotes:
            target = QuotePage(0);
            break;
        case FailingStep::Page::kHistory:
            target = HistoryPages(failing);
            break;
    }
    m_site.server.SetFault(target, {.kind = c.kind, .status = 500, .times = c.times});
    const json doc = Daily({}, c.status);
    EXPECT_EQ(Steps(doc), c.steps);
    EXPECT_EQ(doc["exitStatus"], c.status);
    EXPECT_EQ(HistoryJobs(), c.history);
    if (c.page == FailingStep::Page::kQuotes) {
        // A finding is no failure: the check ran well, and says what the day file lacks.
        const json& findings = doc["steps"][4]["findings"];
        EXPECT_EQ(findings.size(), 50u);
        for (const json& finding : findings) {
            EXPECT_EQ(finding["kind"], "no_quote");
        }
    }
    if (c.page != FailingStep::Page::kHistory) {
        return;
    }
    // The retry asked the failed stock alone, as --retry-failed would have.
    const json& retried = doc["steps"][3];
    EXPECT_EQ(retried["retriedCodes"], json::array({failing}));
    EXPECT_EQ(retried["itemsTotal"], 1);
    EXPECT_EQ(retried["firstStatus"], kExitItemsFailed);
    // --retry-failed afterwards follows the routine's last history run: the retry.
    m_site.server.ClearRequests();
    const CliRun after = Run({"kdt", "--all", "--retry-failed", "--json"});
    if (c.times == 1) {
        EXPECT_EQ(after.status, kExitDone);
        EXPECT_NE(after.err.find("nothing to retry"), std::string::npos) << after.err;
        EXPECT_TRUE(m_site.server.Requests().empty());
    } else {
        EXPECT_EQ(after.status, kExitEndedEarly) << "it fails again, and writes nothing";
        EXPECT_NE(after.err.find("retrying 1 stock"), std::string::npos) << after.err;
    }
}

INSTANTIATE_TEST_SUITE_P(Steps, DailyFailingStep,
                         ::testing::Combine(::testing::ValuesIn(kFailingSteps), ::testing::Bool()),
                         [](const auto& info) {
                             return "Case" + std::to_string(info.index / 2) +
                                    (std::get<1>(info.param) ? "OverHttp2" : "");
                         });

// The routine's steps keep one connection to an HTTP/2 site from the first to the last, where the
// same jobs run as commands of their own open one each.
TEST_F(DailyCommand, TheStepsShareOneConnectionToAnHttp2Site) {
    if (!OverHttp2()) {
        GTEST_SKIP() << "nghttpx is not installed";
    }
    struct Row {
        const char* name;
        std::vector<std::vector<std::string>> commands;
        int connections;
    };
    const Row rows[] = {
        {"the routine", {{"daily", "--retry-pause", "0", "--skip", "check"}}, 1},
        {"its jobs one by one", {{"fetch"}, {"performance"}, {"kdt", "--all", "--update"}}, 3},
        {"the routine again, its histories now brought up to date",
         {{"daily", "--retry-pause", "0"}},
         1},
    };
    for (const Row& row : rows) {
        m_wire->ResetCounts();
        for (const std::vector<std::string>& command : row.commands) {
            const CliRun run = Run(command);
            EXPECT_EQ(run.status, kExitDone) << row.name << ": " << run.out << run.err;
        }
        EXPECT_EQ(m_wire->Connections(), row.connections) << row.name;
    }
}

TEST_F(DailyCommand, WhatRefusesAnyJobRefusesTheWholeRoutineBeforeItsFirstStep) {
    struct Case {
        const char* name;
        std::function<void()> plant;
        std::vector<std::string> options;
        int status;
        const char* says;
    };
    std::optional<WorkLock> held;
    const Case cases[] = {
        {"no stock in the list",
         [] { test::WriteFileBytes("fetchlist.csv", ""); },
         {},
         kExitEndedEarly,
         "fetchlist.csv has no stocks"},
        {"no market table",
         [] { fs::remove("market.csv"); },
         {},
         kExitNoMarket,
         "market.csv not found"},
        {"another job holds the folder",
         [&held] { held = std::move(TryLockWorkFolder(".").lock); },
         {},
         kExitLocked,
         "another Tickora job"},
        {"no output folder",
         [] {
             ASSERT_EQ(RunCli({"settings", "--output-dir", "gone"}).status, 0);
         },
         {},
         kExitUsage,
         "does not exist"},
        {"every step left out",
         [] {},
         {"--skip", "fetch,performance,kdt", "--skip", "retry,check"},
         kExitUsage,
         "every step"},
        {"a step that is none", [] {}, {"--skip", "profiles"}, kExitUsage, "--skip takes"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::ScopedWorkDir dir;
        test::SiteFixture site(4);
        c.plant();
        std::vector<std::string> args{"--site", site.server.Url(), "daily", "--json"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        const CliRun run = RunCli(args);
        EXPECT_EQ(run.status, c.status) << run.err;
        EXPECT_NE(run.err.find(c.says), std::string::npos) << run.err;
        EXPECT_TRUE(site.server.Requests().empty());
        EXPECT_FALSE(fs::exists(kRunHistoryName));
        const json doc = json::parse(run.out, nullptr, false);
        ASSERT_FALSE(doc.is_discarded()) << run.out;
        EXPECT_EQ(doc["end"], "not run");
        EXPECT_EQ(doc["exitStatus"], c.status);
        held.reset();
    }
}

TEST_F(DailyCommand, StepsLeftOutAskNoPageAndSaySo) {
    // Without the quotes and the figures, no output folder is needed.
    ASSERT_EQ(RunCli({"settings", "--output-dir", "gone"}).status, 0);
    json doc = Daily({"--skip", "fetch", "--skip", "performance,retry"}, kExitItemsFailed);
    EXPECT_EQ(Steps(doc), (std::vector<std::string>{
                              "fetch:fetch left out -", "performance:performance left out -",
                              "kdt:kdt ran 0", "retry:retry left out -", "check:check ran 4"}))
        << "the check finds no day file in a folder that does not exist";
    for (const site::ReceivedRequest& r : m_site.server.Requests()) {
        EXPECT_TRUE(r.target.starts_with("/t?")) << r.target;
    }
    fs::create_directory("gone");
    m_site.server.ClearRequests();
    const CliRun run = Run({"daily", "--skip", "kdt,check"});
    EXPECT_EQ(run.status, kExitDone) << run.out;
    EXPECT_NE(run.out.find("\n  kdt: left out (--skip)\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("\n  check: left out (--skip)\n"), std::string::npos) << run.out;
    EXPECT_EQ(test::CountRequests(m_site.server, "/t?"), 0);
}

// The check alone reads what the day's jobs stored: nothing on a clean market, each data fault
// of the site where the site put it, and a file it cannot read as a failed item. It writes
// nothing, not even a history line.
TEST_F(DailyCommand, TheCheckAloneFindsWhatTheStoredFilesHoldAndWritesNothing) {
    const std::optional<site::DataFaultPlace> place =
        m_site.server.SetDataFault(site::DataFault::kCloseDiffers);
    ASSERT_TRUE(place.has_value());
    const json doc = Daily({}, kExitDone);
    const json& found = doc["steps"][4]["findings"];
    ASSERT_EQ(found.size(), 1u) << "a finding never fails the routine";
    EXPECT_EQ(found[0]["kind"], "close_differs");
    EXPECT_EQ(found[0]["code"], place->stock->code);
    const std::string history = test::ReadFileBytes(kRunHistoryName);

    // Saturday stands for Friday.
    for (const char* date : {"2026-12-04", "2026-12-05"}) {
        CliRun run = RunCli({"check", "--date", date, "--json"});
        EXPECT_EQ(run.status, kExitDone) << run.err;
        const std::optional<JobOutcome> outcome = OutcomeFromJson(run.out);
        ASSERT_TRUE(outcome.has_value()) << run.out;
        ASSERT_EQ(outcome->findings.size(), 1u);
        EXPECT_EQ(outcome->findings[0].code, place->stock->code);
        EXPECT_EQ(outcome->quoteDate, "2026/12/4");
    }
    CliRun run = RunCli({"check"});
    EXPECT_EQ(run.status, kExitDone);
    char code[8];
    std::snprintf(code, sizeof code, "%04d", place->stock->code);
    EXPECT_NE(run.out.find("\n  warning " + std::string(code) + " 2026-12-04 close_differs: "),
              std::string::npos)
        << run.out;

    // A history that is no file: its stock's rules go unchecked, a failed item.
    const std::string kdt = KdtFileName(Code(3), true);
    fs::remove(kdt);
    ASSERT_TRUE(test::PlantAt(kdt, test::Plant::kFifo, {}));
    run = RunCli({"check"});
    EXPECT_EQ(run.status, kExitItemsFailed) << run.out;
    EXPECT_NE(run.out.find("the history of " + std::to_string(Code(3))), std::string::npos)
        << run.out;
    EXPECT_EQ(test::ReadFileBytes(kRunHistoryName), history) << "the check wrote no line";

    // A clean market.
    m_site.server.ClearDataFaults();
    fs::remove(kdt);
    ASSERT_EQ(Run({"daily", "--retry-pause", "0", "--skip", "performance"}).status, kExitDone);
    run = RunCli({"check"});
    EXPECT_EQ(run.status, kExitDone);
    EXPECT_EQ(run.out,
              Of("check: #/# stocks, # quotes, # histories, no finding, the day 2026/12/4\n"));
}

TEST(CheckCommand, ADateThatNamesNoDayOrAnEmptyListRunsNothing) {
    test::ScopedWorkDir dir;
    test::SiteFixture site(4);
    for (const char* date : {"2026-02-30", "20261204", "2026-12-4", "yesterday"}) {
        const CliRun run = RunCli({"check", "--date", date});
        EXPECT_EQ(run.status, kExitUsage) << date;
        EXPECT_NE(run.err.find("--date must be a day written YYYY-MM-DD"), std::string::npos);
    }
    test::WriteFileBytes("fetchlist.csv", "");
    const CliRun run = RunCli({"check", "--json"});
    EXPECT_EQ(run.status, kExitEndedEarly);
    const std::optional<JobOutcome> outcome = OutcomeFromJson(run.out);
    ASSERT_TRUE(outcome.has_value()) << run.out;
    EXPECT_EQ(outcome->end, JobEnd::kNotRun);
    EXPECT_EQ(outcome->job, "check");
}

}  // namespace
}  // namespace tickora
