// SPDX-License-Identifier: GPL-3.0-or-later
// The day's routine as the core runs it: the order of its steps, what a failure stops and what it
// does not, what the retry round asks again, how the steps make the routine's status, the check's
// inputs from the steps before it, a Cancel in the pause, the JSON document, and the days of the
// stored histories the update asks for. The jobs are scripted here; tests/cli/daily_command_test
// runs the real ones against the simulated site.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <future>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "catalog/work_lock.h"
#include "formats/kdt_file.h"
#include "jobs/daily_job.h"
#include "jobs/job_runner.h"
#include "jobs/outcome_json.h"
#include "jobs/tickora_doc.h"
#include "tests/support/site_fixture.h"
#include "tests/support/site_truth.h"
#include "tests/support/fake_view.h"
#include "tests/support/kdt_days.h"
#include "tests/support/temp_dir.h"

namespace tickora {
namespace {

using namespace std::chrono_literals;

// A job that ran to its end with every item done and wrote its file.
JobOutcome Done(const std::string& job) {
    JobOutcome outcome;
    outcome.job = job;
    outcome.itemsTotal = outcome.itemsDone = 3;
    outcome.AddFile("/w/" + job + ".out", FileState::kWritten);
    if (job == "check") {
        outcome.files.clear();
    }
    return outcome;
}

// A job that ran to its end with the items of codes failed.
JobOutcome ItemsFailed(const std::string& job, std::vector<int> codes, bool wroteAny = true) {
    JobOutcome outcome = Done(job);
    if (!wroteAny) {
        outcome.files.clear();
    }
    ItemFailure& failure = outcome.Fail("an item", "HTTP 500", "http://site/x", "its record kept");
    failure.codes = std::move(codes);
    return outcome;
}

JobOutcome Ended(const std::string& job, JobEnd end) {
    JobOutcome outcome = ItemsFailed(job, {});
    outcome.end = end;
    return outcome;
}

std::string KeyOf(const DailyStep& step) {
    return std::string(step.stage == DailyStage::kRetry ? "retry:" : "") + DailyJobName(step.job);
}

// The step runner of these tests: each job answers what the script says (done when it says
// nothing), and every step asked is kept.
struct ScriptedSteps {
    std::map<std::string, JobOutcome> script;
    std::vector<std::string> asked;
    std::vector<DailyStep> steps;

    JobOutcome operator()(const DailyStep& step) {
        asked.push_back(KeyOf(step));
        steps.push_back(step);
        const auto it = script.find(KeyOf(step));
        return it != script.end() ? it->second : Done(DailyJobName(step.job));
    }
};

DailyOutcome RunRoutine(ScriptedSteps& steps, const DailyRequest& request = {},
                        const DailyHooks& hooks = {}) {
    return RunDailyRoutine(
        request, [&steps](const DailyStep& step) { return steps(step); }, hooks);
}

std::vector<std::string> States(const DailyOutcome& daily) {
    std::vector<std::string> states;
    for (const DailySection& s : daily.sections) {
        states.push_back(std::string(DailyStageWord(s.stage)) + ":" + s.outcome.job + " " +
                         SectionStateWord(s.state));
    }
    return states;
}

struct RoutineCase {
    const char* name;
    std::set<DailyStage> skip;
    std::map<std::string, JobOutcome> script;
    std::vector<std::string> asked;   // the jobs run, in order
    std::vector<std::string> states;  // the sections
    int status;
};

const std::vector<std::string> kAllRan = {"fetch:fetch ran", "performance:performance ran",
                                          "kdt:kdt ran", "retry:retry nothing to retry",
                                          "check:check ran"};

const RoutineCase kRoutineCases[] = {
    {"every step done: nothing to retry",
     {},
     {},
     {"fetch", "performance", "kdt", "check"},
     kAllRan,
     kExitDone},
    {"the performance pages fail twice: the others still run, the run ends with 4",
     {},
     {{"performance", ItemsFailed("performance", {1301})},
      {"retry:performance", ItemsFailed("performance", {1301})}},
     {"fetch", "performance", "kdt", "retry:performance", "check"},
     {"fetch:fetch ran", "performance:performance ran", "kdt:kdt ran", "retry:performance ran",
      "check:check ran"},
     kExitItemsFailed},
    {"the performance pages fail once: the retry mends the run",
     {},
     {{"performance", ItemsFailed("performance", {1301})}},
     {"fetch", "performance", "kdt", "retry:performance", "check"},
     {"fetch:fetch ran", "performance:performance ran", "kdt:kdt ran", "retry:performance ran",
      "check:check ran"},
     kExitDone},
    {"the fetch stops at its first page twice: the others still run, the run ends early",
     {},
     {{"fetch", Ended("fetch", JobEnd::kStopped)},
      {"retry:fetch", Ended("fetch", JobEnd::kStopped)}},
     {"fetch", "performance", "kdt", "retry:fetch", "check"},
     {"fetch:fetch ran", "performance:performance ran", "kdt:kdt ran", "retry:fetch ran",
      "check:check ran"},
     kExitEndedEarly},
    {"two histories fail twice, nothing written the second time: items failed, not an early end",
     {},
     {{"kdt", ItemsFailed("kdt", {1301, 1332})},
      {"retry:kdt", ItemsFailed("kdt", {1301, 1332}, false)}},
     {"fetch", "performance", "kdt", "retry:kdt", "check"},
     {"fetch:fetch ran", "performance:performance ran", "kdt:kdt ran", "retry:kdt ran",
      "check:check ran"},
     kExitItemsFailed},
    {"a step that did not start is retried and counts as an early end when it stays so",
     {},
     {{"performance", Ended("performance", JobEnd::kNotRun)},
      {"retry:performance", Ended("performance", JobEnd::kNotRun)}},
     {"fetch", "performance", "kdt", "retry:performance", "check"},
     {"fetch:fetch ran", "performance:performance ran", "kdt:kdt ran", "retry:performance ran",
      "check:check ran"},
     kExitEndedEarly},
    {"performance and retry left out: a failed history counts as it is",
     {DailyStage::kPerformance, DailyStage::kRetry},
     {{"kdt", ItemsFailed("kdt", {1301})}},
     {"fetch", "kdt", "check"},
     {"fetch:fetch ran", "performance:performance left out", "kdt:kdt ran", "retry:retry left out",
      "check:check ran"},
     kExitItemsFailed},
    {"the check alone",
     {DailyStage::kFetch, DailyStage::kPerformance, DailyStage::kKdt, DailyStage::kRetry},
     {},
     {"check"},
     {"fetch:fetch left out", "performance:performance left out", "kdt:kdt left out",
      "retry:retry left out", "check:check ran"},
     kExitDone},
    {"a Cancel during the histories: no later step runs",
     {},
     {{"kdt", Ended("kdt", JobEnd::kCancelled)}},
     {"fetch", "performance", "kdt"},
     {"fetch:fetch ran", "performance:performance ran", "kdt:kdt ran", "retry:retry not reached",
      "check:check not reached"},
     kExitEndedEarly},
    {"a Cancel during the quotes: the failed quotes are not retried either",
     {},
     {{"fetch", Ended("fetch", JobEnd::kCancelled)}},
     {"fetch"},
     {"fetch:fetch ran", "performance:performance not reached", "kdt:kdt not reached",
      "retry:retry not reached", "check:check not reached"},
     kExitEndedEarly},
    {"a check that could not read a history fails an item; a finding alone fails nothing",
     {},
     {{"check", ItemsFailed("check", {1301})}},
     {"fetch", "performance", "kdt", "check"},
     kAllRan,
     kExitItemsFailed},
};

TEST(DailyRoutine, EachStepRunsInItsOrderAndAFailureStopsOnlyWhatTheOrderNeeds) {
    for (const RoutineCase& c : kRoutineCases) {
        SCOPED_TRACE(c.name);
        ScriptedSteps steps;
        steps.script = c.script;
        DailyRequest request;
        request.skip = c.skip;
        request.retryPause = 0ms;
        const DailyOutcome daily = RunRoutine(steps, request);
        EXPECT_EQ(steps.asked, c.asked);
        EXPECT_EQ(States(daily), c.states);
        EXPECT_EQ(daily.exitStatus, c.status);
        EXPECT_EQ(ExitStatusOf(daily), c.status);
    }
    // Findings alone: the check is done.
    ScriptedSteps steps;
    JobOutcome found = Done("check");
    found.findings.resize(3);
    steps.script["check"] = found;
    EXPECT_EQ(RunRoutine(steps).exitStatus, kExitDone);
}

TEST(DailyRoutine, TheRetryRoundAsksTheStocksAFullRetryWouldWithTheHistoryStepsOptions) {
    ScriptedSteps steps;
    JobOutcome kdt = ItemsFailed("kdt", {1332});
    kdt.end = JobEnd::kStopped;
    kdt.notAskedCodes = {1400, 1401};
    steps.script["kdt"] = kdt;
    steps.script["fetch"] = ItemsFailed("fetch", {1301});
    DailyRequest request;
    request.kdt = JobOptions{0, 350, true, true};
    request.retryPause = 0ms;
    std::vector<std::string> notes;
    DailyHooks hooks;
    hooks.note = [&notes](const std::string& line) { notes.push_back(line); };
    const DailyOutcome daily = RunRoutine(steps, request, hooks);

    ASSERT_EQ(steps.asked, (std::vector<std::string>{"fetch", "performance", "kdt", "retry:fetch",
                                                     "retry:kdt", "check"}));
    const DailyStep& first = steps.steps[2];
    EXPECT_FALSE(first.onlyStocks.has_value());
    EXPECT_EQ(first.code.days, 350u);
    EXPECT_TRUE(first.code.update && first.code.allStocks);
    const DailyStep& retryKdt = steps.steps[4];
    ASSERT_TRUE(retryKdt.onlyStocks.has_value());
    EXPECT_EQ(*retryKdt.onlyStocks, (std::vector<int>{1332, 1400, 1401}));
    EXPECT_EQ(retryKdt.code.days, 350u);
    EXPECT_TRUE(retryKdt.code.update);
    EXPECT_FALSE(steps.steps[3].onlyStocks.has_value()) << "the quotes are fetched whole";

    // The outcome says what was retried and how each step had ended.
    const DailySection& retried = daily.sections[4];
    EXPECT_EQ(retried.stage, DailyStage::kRetry);
    EXPECT_EQ(retried.firstStatus, kExitEndedEarly);
    EXPECT_EQ(retried.retriedCodes, (std::vector<int>{1332, 1400, 1401}));
    EXPECT_EQ(DailySectionLine(retried),
              "retry: kdt again for the 3 stocks that failed or were not reached (1332, 1400, "
              "1401), after it ended with status 1");
    EXPECT_EQ(DailySectionLine(daily.sections[3]),
              "retry: fetch again, after it ended with status 4");
    EXPECT_EQ(DailySummaryLine(daily),
              "daily: status 0; ran fetch, performance, kdt, check; retried fetch, kdt (3 stocks)");
    EXPECT_NE(
        std::find(notes.begin(), notes.end(), "daily: retry round in 0 s: fetch, kdt (3 stocks)"),
        notes.end());
}

TEST(DailyRoutine, TheCheckTakesTheFetchedDayAndTheHistoriesTheUpdatesReportedCurrent) {
    struct Case {
        const char* name;
        std::set<DailyStage> skip;
        std::optional<CalendarDate> date;
        std::optional<std::set<int>> current;
    };
    const Case cases[] = {
        {"every step", {}, CalendarDate{2026, 12, 4}, std::set<int>{1301, 1332, 1333}},
        {"no fetch: the check's own day",
         {DailyStage::kFetch},
         std::nullopt,
         std::set<int>{1301, 1332, 1333}},
        {"no update: no history was reported current",
         {DailyStage::kKdt},
         CalendarDate{2026, 12, 4},
         std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedSteps steps;
        JobOutcome fetch = Done("fetch");
        fetch.quoteDate = "2026/12/4";
        steps.script["fetch"] = fetch;
        JobOutcome kdt = ItemsFailed("kdt", {1332});
        kdt.AddFile("/w/DATA/1000/KD1301.KDT", FileState::kWritten);
        kdt.AddFile("/w/DATA/1000/KD1333.KDT", FileState::kWritten);
        steps.script["kdt"] = kdt;
        JobOutcome retried = Done("kdt");
        retried.AddFile("/w/DATA/1000/KD1332.KDT", FileState::kWritten);
        steps.script["retry:kdt"] = retried;
        DailyRequest request;
        request.skip = c.skip;
        request.retryPause = 0ms;
        (void)RunRoutine(steps, request);
        ASSERT_EQ(steps.asked.back(), "check");
        const CheckInputs& inputs = steps.steps.back().check;
        EXPECT_EQ(inputs.date, c.date);
        EXPECT_EQ(inputs.reportedCurrent, c.current);
    }
}

TEST(DailyRoutine, ACancelInThePauseEndsItAtOnceAndNoRetryNorCheckRuns) {
    ScriptedSteps steps;
    steps.script["kdt"] = ItemsFailed("kdt", {1301});
    std::atomic<bool> cancel{false};
    std::promise<void> pausing;
    DailyRequest request;
    request.retryPause = std::chrono::hours(1);  // the test's own time-out ends it otherwise
    DailyHooks hooks;
    hooks.cancelled = [&cancel] { return cancel.load(); };
    hooks.pause = [&hooks](std::chrono::milliseconds pause) {
        return PauseUnlessCancelled(pause, hooks.cancelled);
    };
    hooks.note = [&pausing](const std::string& line) {
        if (line.starts_with("daily: retry round in 3600 s")) {
            pausing.set_value();
        }
    };
    std::future<DailyOutcome> routine =
        std::async(std::launch::async, [&] { return RunRoutine(steps, request, hooks); });
    pausing.get_future().wait();
    cancel = true;
    const DailyOutcome daily = routine.get();
    EXPECT_TRUE(daily.cancelled);
    EXPECT_EQ(daily.exitStatus, kExitEndedEarly);
    EXPECT_EQ(steps.asked, (std::vector<std::string>{"fetch", "performance", "kdt"}));
    EXPECT_EQ(States(daily), (std::vector<std::string>{
                                 "fetch:fetch ran", "performance:performance ran", "kdt:kdt ran",
                                 "retry:kdt not reached", "check:check not reached"}));
    EXPECT_EQ(DailySectionLine(daily.sections[3]),
              "retry: kdt again for the 1 stock that failed or was not reached (1301), after it "
              "ended with status 4: not run, the routine was cancelled before it");
    EXPECT_EQ(DailySummaryLine(daily),
              "daily: status 1, cancelled; ran fetch, performance, kdt; not reached check; not "
              "retried kdt (1 stock)");
}

TEST(DailyRoutine, TheJsonDocumentHoldsEachStepsOwnObjectAndTheRoutinesStatus) {
    ScriptedSteps steps;
    steps.script["performance"] = ItemsFailed("performance", {1301});
    DailyRequest request;
    request.skip = {DailyStage::kKdt};
    request.retryPause = 0ms;
    const DailyOutcome daily = RunRoutine(steps, request);
    const nlohmann::json doc = nlohmann::json::parse(DailyToJson(daily));
    EXPECT_EQ(doc["job"], "daily");
    EXPECT_EQ(doc["exitStatus"], kExitDone);
    EXPECT_EQ(doc["end"], "completed");
    const nlohmann::json& s = doc["steps"];
    ASSERT_EQ(s.size(), 5u);
    const char* const expected[][3] = {{"fetch", "fetch", "ran"},
                                       {"performance", "performance", "ran"},
                                       {"kdt", "kdt", "left out"},
                                       {"retry", "performance", "ran"},
                                       {"check", "check", "ran"}};
    for (std::size_t i = 0; i < 5; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(s[i]["step"], expected[i][0]);
        EXPECT_EQ(s[i]["job"], expected[i][1]);
        EXPECT_EQ(s[i]["state"], expected[i][2]);
    }
    // Each step reads back as the job's own outcome, with its own status.
    int status = -1;
    const std::optional<JobOutcome> performance = OutcomeFromJsonValue(s[1], &status);
    ASSERT_TRUE(performance.has_value());
    EXPECT_EQ(status, kExitItemsFailed);
    EXPECT_EQ(performance->failures.size(), 1u);
    EXPECT_EQ(s[3]["firstStatus"], kExitItemsFailed);
    EXPECT_EQ(s[3]["exitStatus"], kExitDone);
    EXPECT_TRUE(s[2]["exitStatus"].is_null()) << "a step left out ended with no status";

    const nlohmann::json refused = nlohmann::json::parse(DailyNotRunJson(5, "busy"));
    EXPECT_EQ(refused["end"], "not run");
    EXPECT_EQ(refused["exitStatus"], 5);
    EXPECT_TRUE(refused["steps"].empty());
}

TEST(DailyRoutine, TheUpdateAsksForTheDaysTheLongestStoredHistoryHolds) {
    struct Case {
        const char* name;
        std::vector<int> rows;  // a history of each many rows, for the list's first stocks
        bool link = false;      // the longest is a link, which is not looked through
        unsigned days;
    };
    const Case cases[] = {
        {"no history yet: the job's default", {}, false, 200},
        {"a young stock's 30 days: one page", {30}, false, 50},
        {"200 days: four pages", {120, 200, 7}, false, 200},
        {"201 days: a fifth page, never one day cut", {201, 50}, false, 250},
        {"a link at a history's name", {400, 60}, true, 100},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::ScopedWorkDir dir;
        test::WriteFileBytes("market.csv", "1,T, x\r\n");
        std::string list;
        for (int code = 1301; code < 1306; ++code) {
            list += std::to_string(code) + "," + std::to_string(code) + ",T,x\r\n";
        }
        test::WriteFileBytes("fetchlist.csv", list);
        CMarketTable markets;
        ASSERT_EQ(markets.Load("market.csv"), 1);
        CStockList stocks;
        ASSERT_EQ(stocks.Load(markets, "http://s"), 0);
        std::filesystem::create_directories("DATA/1000");
        for (std::size_t i = 0; i < c.rows.size(); ++i) {
            const std::string name = KdtFileName(1301 + static_cast<int>(i), true);
            const std::string bytes(static_cast<std::size_t>(c.rows[i]) * kKdtRecordSize, '\0');
            if (c.link && i == 0) {
                test::WriteFileBytes("elsewhere.KDT", bytes);
                std::filesystem::create_symlink(std::filesystem::absolute("elsewhere.KDT"), name);
            } else {
                test::WriteFileBytes(name, bytes);
            }
        }
        EXPECT_EQ(DaysOfStoredHistories(stocks), c.days);
    }
}

TEST(DailyRoutine, QuoteDatesReadAsDaysOnlyWhenTheyNameOne) {
    EXPECT_EQ(DateOfQuoteDate("2026/12/4"), (CalendarDate{2026, 12, 4}));
    for (const char* text : {"", "2026/2/30", "2026/12/4x", "12/4", "2026-12-04"}) {
        EXPECT_FALSE(DateOfQuoteDate(text).has_value()) << text;
    }
    EXPECT_EQ(DailyStageNamed("performance"), DailyStage::kPerformance);
    EXPECT_FALSE(DailyStageNamed("profiles").has_value());
}

// The routine's steps run under the lock it holds: no other job, of this process or another,
// can take the folder between them, and the document never lets it go.
TEST(DailyRoutine, TheFolderStaysHeldBetweenTheRoutinesJobs) {
    test::ScopedWorkDir dir;
    test::SiteFixture site(60);
    std::filesystem::create_directory("Webtemp");
    CAppSettings settings;
    test::FakeView view;
    {
        WorkLockResult taken = TryLockWorkFolder(".");
        ASSERT_TRUE(taken.Taken());
        CTickoraDoc doc(settings, site.markets, site.list);
        doc.SetView(&view);
        doc.SetSiteAccess(test::AccessTo(site.server));
        for (const Job job : {Job::kFetch, Job::kPerformance, Job::kFetch}) {
            JobRequest request(job, JobOptions{});
            request.from = FrontEnd::kTerminal;
            const std::optional<JobOutcome> outcome =
                RunStep(doc, request, &taken.lock, RunWatch{});
            ASSERT_TRUE(outcome.has_value()) << doc.LastRefusal();
            EXPECT_EQ(ExitStatusOf(*outcome), kExitDone) << OutcomeToJson(*outcome);
            EXPECT_EQ(TryLockWorkFolder(".").status, WorkLockStatus::kBusy)
                << "the folder was free after " << JobName(job);
        }
    }
    EXPECT_TRUE(TryLockWorkFolder(".").Taken()) << "the routine's end releases it";
}

}  // namespace
}  // namespace tickora
