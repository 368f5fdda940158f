// SPDX-License-Identifier: GPL-3.0-or-later
// The run history of a working folder: an outcome survives the trip through its JSON line, a
// line that cannot be read costs only itself, and a retry follows the right earlier run.
#include "jobs/run_history.h"

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "jobs/outcome_json.h"
#include "jobs/outcome_text.h"
#include "tests/support/special_files.h"
#include "tests/support/temp_dir.h"

namespace tickora {
namespace {

JobOutcome Outcome(const char* job, const char* unit, JobEnd end, std::vector<int> failed,
               std::vector<int> notAsked = {}) {
    JobOutcome outcome;
    outcome.job = job;
    outcome.unit = unit;
    outcome.end = end;
    for (const int code : failed) {
        outcome.Fail("page 0 of " + std::to_string(code), "HTTP 500", "http://s/t", "kept").codes = {
            code};
    }
    outcome.notAskedCodes = std::move(notAsked);
    outcome.itemsTotal = 5;
    outcome.itemsDone = 3;
    outcome.AddFile("/w/DATA/1000/KD1301.KDT", FileState::kWritten);
    return outcome;
}

TEST(RunHistory, AnOutcomeReadsBackAsItWasWritten) {
    JobOutcome outcome = Outcome("kdt", "stocks", JobEnd::kStopped, {1301, 1332}, {1333});
    outcome.failures[1].endedJob = true;
    outcome.endCause = "cut (page 0 of 1332)";
    outcome.AddFile("/w/DATA/1000/KD1332.KDT", FileState::kKept, "a page failed");
    outcome.AddFile("/out/出力/DS261204.DAT", FileState::kFailed, "No space left on device");
    outcome.notExtractedCodes = {1001};
    outcome.warnings = {"注意"};
    outcome.quoteDate = "2026/12/4";
    outcome.historiesUpdated = 2;
    int status = -1;
    const std::optional<JobOutcome> back = OutcomeFromJson(OutcomeToJson(outcome, 5), &status);
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(status, 5);
    EXPECT_EQ(OutcomeToJson(*back, 5), OutcomeToJson(outcome, 5));
    for (const char* text : {"", "[]", "{\"end\":\"completed\"}", "not json"}) {
        EXPECT_FALSE(OutcomeFromJson(text).has_value()) << text;
    }
}

// Every field the outcome's JSON holds comes back from the history's bounded reading, which
// keeps only the keys it knows: a field added to the outcome must not vanish on the way back.
TEST(RunHistory, EveryFieldOfTheOutcomeSurvivesTheHistory) {
    test::ScopedWorkDir dir;
    JobOutcome outcome = Outcome("check", "stocks", JobEnd::kCompleted, {1301});
    outcome.quotesChecked = 3803;
    outcome.historiesChecked = 3801;
    outcome.stocksListed = 3803;
    outcome.filesNotListed = {1, 2, 3};
    outcome.warnings = {"71 more files are not listed in the history"};
    CheckFinding finding;
    finding.kind = FindingKind::kBeyondLimit;
    finding.severity = Severity::kNotice;
    finding.code = 1332;
    finding.date = {2026, 12, 4};
    finding.expected = 80;
    finding.found = 95;
    finding.previousClose = 480;
    finding.otherDay = {2026, 12, 3};
    finding.reportedCurrent = true;
    outcome.findings = {finding};
    ASSERT_EQ(AppendRunHistory(outcome, false), 0);
    const std::vector<RunRecord> records = ReadRunHistory();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(OutcomeToJson(records[0].outcome, records[0].exitStatus),
              OutcomeToJson(outcome, ExitStatusOf(outcome)));
}

TEST(RunHistory, TheRetryFollowsTheLastRunOfItsJob) {
    test::ScopedWorkDir dir;
    struct Step {
        JobOutcome outcome;
        std::vector<int> kdtRetry;       // what a retry of kdt --all asks after this step
        std::vector<int> profilesRetry;  // and of profiles; {-1}: no run to follow
    };
    const std::vector<Step> steps = {
        {Outcome("kdt", "stocks", JobEnd::kCompleted, {1301, 1332, 1301}), {1301, 1332}, {-1}},
        {Outcome("kdt", "pages", JobEnd::kStopped, {7203}), {1301, 1332}, {-1}},
        {Outcome("profiles", "stocks", JobEnd::kCancelled, {1400}, {1401, 1400}),
         {1301, 1332},
         {1400, 1401}},
        {Outcome("kdt", "stocks", JobEnd::kNotRun, {}), {1301, 1332}, {1400, 1401}},
        {Outcome("kdt", "stocks", JobEnd::kCompleted, {}), {}, {1400, 1401}},
    };
    for (const Step& step : steps) {
        ASSERT_EQ(AppendRunHistory(step.outcome, false), 0);
        const std::optional<RunRecord> kdt = LastRunOf(RetryJob::kKdtAll);
        ASSERT_TRUE(kdt.has_value());
        EXPECT_EQ(StocksToRetry(kdt->outcome), step.kdtRetry);
        const std::optional<RunRecord> profiles = LastRunOf(RetryJob::kProfiles);
        if (step.profilesRetry == std::vector<int>{-1}) {
            EXPECT_FALSE(profiles.has_value());
        } else {
            ASSERT_TRUE(profiles.has_value());
            EXPECT_EQ(StocksToRetry(profiles->outcome), step.profilesRetry);
        }
    }
    // A run killed while writing leaves half a line, which costs only itself.
    std::string bytes = test::ReadFileBytes(kRunHistoryName);
    test::WriteFileBytes(kRunHistoryName, bytes + "{\"job\":\"kdt\",\"unit\":\"sto");
    const std::vector<RunRecord> records = ReadRunHistory();
    ASSERT_EQ(records.size(), steps.size());
    EXPECT_EQ(records[0].exitStatus, kExitItemsFailed);
    EXPECT_EQ(records[0].endedAt.size(), std::string("2026-12-07T18:31:05+0900").size());
}

TEST(RunHistory, ARecordListsAFewFilesAndCountsTheRest) {
    test::ScopedWorkDir dir;
    JobOutcome outcome = Outcome("kdt", "stocks", JobEnd::kCompleted, {});
    for (int i = 0; i < 120; ++i) {
        outcome.AddFile("/w/DATA/2000/KD" + std::to_string(2000 + i) + ".KDT",
                        FileState::kWritten);
    }
    outcome.AddFile("/w/DATA/3000/KD3000.KDT", FileState::kKept, "a page failed");
    ASSERT_EQ(AppendRunHistory(outcome, true), 0);
    const std::vector<RunRecord> records = ReadRunHistory();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_TRUE(records[0].retry);
    EXPECT_EQ(records[0].outcome.Written().size(), kRunHistoryFilesKept);
    EXPECT_EQ(records[0].outcome.Kept().size(), 1u) << "every state keeps its first files";
    ASSERT_FALSE(records[0].outcome.warnings.empty());
    EXPECT_EQ(records[0].outcome.warnings.back(),
              "71 more files are not listed in the history");
    // The count of each state is kept, so that the record's summary tells the whole run.
    EXPECT_EQ(records[0].outcome.filesNotListed, (std::array<int, 3>{71, 0, 0}));
    for (const FileState state : {FileState::kWritten, FileState::kKept, FileState::kFailed}) {
        std::size_t left = 0;
        (void)FileListOf(
            records[0].outcome, state, 5, [](const OutputFile&) { return std::string(); },
            [&left](std::size_t more) {
                left = more;
                return std::string();
            });
        const std::size_t all = static_cast<std::size_t>(outcome.PathsIn(state).size());
        EXPECT_EQ(left, all > 5 ? all - 5 : 0) << static_cast<int>(state);
    }
}

// The line AppendRunHistory writes for outcome, without the file.
std::string LineOf(const JobOutcome& outcome) {
    test::ScopedWorkDir dir;
    EXPECT_EQ(AppendRunHistory(outcome, false), 0);
    return test::ReadFileBytes(kRunHistoryName);
}

// A run of kdt --all whose failures make a line of more than 8,192 bytes.
JobOutcome LongRun() {
    std::vector<int> failed;
    for (int code = 1300; code < 1400; ++code) {
        failed.push_back(code);
    }
    return Outcome("kdt", "stocks", JobEnd::kCompleted, failed);
}

// A full disk cut the line of a run; the next run failed one stock. Its retry must find that
// run, and neither line may swallow the other.
TEST(RunHistory, ALineTheDiskCutCostsOnlyItselfAndTheNextRunIsReadWhole) {
    struct Case {
        const char* name;
        bool diskFullWhileWriting;  // the cut happens in this test's own append
    };
    const Case cases[] = {{"a line cut at 8,192 bytes", false},
                          {"the disk takes a part of the line", true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::ScopedWorkDir dir;
        ASSERT_EQ(AppendRunHistory(Outcome("kdt", "stocks", JobEnd::kCompleted, {}), false), 0);
        const std::string clean = test::ReadFileBytes(kRunHistoryName);
        const std::string longLine = LineOf(LongRun());
        ASSERT_GT(longLine.size(), 8192u);
        if (c.diskFullWhileWriting) {
            {
                test::FileSizeLimit full(clean.size() + 8192);
                EXPECT_NE(AppendRunHistory(LongRun(), false), 0);
            }
            // The part the disk took tells that the last run's record was lost: a retry never
            // follows the clean run before it.
            EXPECT_EQ(FindLastRun(std::vector<RetryJob>{RetryJob::kKdtAll}).found,
                      LastRun::Found::kUnreadable);
        } else {
            test::WriteFileBytes(kRunHistoryName, clean + longLine.substr(0, 8192));
        }
        ASSERT_EQ(AppendRunHistory(Outcome("kdt", "stocks", JobEnd::kCompleted, {7203}), false), 0);
        const std::optional<RunRecord> last = LastRunOf(RetryJob::kKdtAll);
        ASSERT_TRUE(last.has_value());
        EXPECT_EQ(StocksToRetry(last->outcome), std::vector<int>{7203});
        EXPECT_EQ(ReadRunHistory().size(), 2u);
    }
}

// A retry follows the newest run of its job, or of either job for the desktop program, by the
// order the runs ended; a line newer than it that may be that run and cannot be read stops it.
TEST(RunHistory, TheLastRunIsTheNewestLineAndAnUnreadableLineThatMayBeItIsSaid) {
    const std::string kdtFailed = LineOf(Outcome("kdt", "stocks", JobEnd::kCompleted, {1301}));
    const std::string profilesFailed =
        LineOf(Outcome("profiles", "stocks", JobEnd::kCompleted, {1400}));
    const std::string fetch = LineOf(Outcome("fetch", "stocks", JobEnd::kCompleted, {}));
    const std::string kdtOneStock = LineOf(Outcome("kdt", "pages", JobEnd::kCompleted, {}));
    // Written in other time zones: by their text the profile run would be the later one.
    std::string kdtAtTen = kdtFailed;
    kdtAtTen.replace(kdtAtTen.find("\"endedAt\":\"") + 11, 24, "2026-12-07T10:00:00+0000");
    std::string profilesAtSix = profilesFailed;
    profilesAtSix.replace(profilesAtSix.find("\"endedAt\":\"") + 11, 24,
                          "2026-12-07T18:00:00+0900");
    using Found = LastRun::Found;
    struct Case {
        const char* name;
        std::string history;
        std::vector<RetryJob> jobs;
        Found found;
        std::vector<int> retried;  // when found
        const char* why;           // a part of the reason, when not found
    };
    const std::vector<Case> cases = {
        {"whole lines",
         kdtFailed + fetch + kdtOneStock,
         {RetryJob::kKdtAll},
         Found::kRun,
         {1301},
         ""},
        {"the later run by the journal, not by its time's text",
         profilesAtSix + kdtAtTen,
         {RetryJob::kKdtAll, RetryJob::kProfiles},
         Found::kRun,
         {1301},
         ""},
        {"the newest kdt line torn",
         kdtFailed + kdtFailed.substr(0, 40),
         {RetryJob::kKdtAll},
         Found::kUnreadable,
         {},
         "1st line from the end"},
        {"a torn line that names another job",
         kdtFailed + fetch.substr(0, 40),
         {RetryJob::kKdtAll},
         Found::kRun,
         {1301},
         ""},
        {"a torn profile line, for kdt",
         kdtFailed + profilesFailed.substr(0, 60),
         {RetryJob::kKdtAll},
         Found::kRun,
         {1301},
         ""},
        {"a torn profile line, for either job",
         kdtFailed + profilesFailed.substr(0, 60),
         {RetryJob::kKdtAll, RetryJob::kProfiles},
         Found::kUnreadable,
         {},
         "cut short"},
        {"a line of which nothing tells",
         kdtFailed + "{\n" + fetch,
         {RetryJob::kKdtAll},
         Found::kUnreadable,
         {},
         "2nd line from the end"},
        {"binary junk",
         kdtFailed + std::string("\x01\xff\0junk\n", 8),
         {RetryJob::kKdtAll},
         Found::kUnreadable,
         {},
         "damaged"},
        {"no run of the job",
         fetch + kdtOneStock,
         {RetryJob::kKdtAll},
         Found::kNone,
         {},
         "history.jsonl"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::ScopedWorkDir dir;
        test::WriteFileBytes(kRunHistoryName, c.history);
        const LastRun last = FindLastRun(c.jobs);
        ASSERT_EQ(last.found, c.found) << last.why;
        if (c.found == Found::kRun) {
            EXPECT_EQ(StocksToRetry(last.record.outcome), c.retried);
        } else {
            EXPECT_NE(last.why.find(c.why), std::string::npos) << last.why;
        }
    }
}

// Whatever is at the name, reading the history neither waits nor reads without end, and a job's
// line never lands in a file outside the folder.
TEST(RunHistory, ANameThatIsNoFileOfItsOwnIsNeitherReadNorAppendedThrough) {
    using namespace std::chrono_literals;
    const test::Plant plants[] = {test::Plant::kFifo, test::Plant::kLinkOut,
                                  test::Plant::kLinkToDevZero, test::Plant::kHardLinkOut};
    for (const test::Plant plant : plants) {
        SCOPED_TRACE(test::PlantName(plant));
        test::ScopedWorkDir dir;
        std::filesystem::create_directory("elsewhere");
        const std::filesystem::path outside = dir.Path() / "elsewhere" / "history.jsonl";
        test::WriteFileBytes(outside, LineOf(Outcome("kdt", "stocks", JobEnd::kCompleted, {})));
        const std::string before = test::ReadFileBytes(outside);
        ASSERT_TRUE(test::PlantAt(kRunHistoryName, plant, outside));
        LastRun last;
        int appended = 0;
        EXPECT_TRUE(test::EndsWithin(
            20s,
            [&] {
                last = FindLastRun(std::vector<RetryJob>{RetryJob::kKdtAll});
                appended =
                    AppendRunHistory(Outcome("kdt", "stocks", JobEnd::kCompleted, {1}), false);
            },
            {kRunHistoryName}));
        EXPECT_NE(appended, 0);
        EXPECT_EQ(test::ReadFileBytes(outside), before);
        if (plant != test::Plant::kHardLinkOut) {
            EXPECT_EQ(last.found, LastRun::Found::kUnreadable);
            EXPECT_NE(last.why.find("cannot be read"), std::string::npos) << last.why;
        }
    }
}

// A line of the history costs what its bounds allow, however long its texts and lists are, and
// only the newest part of a long history is read.
TEST(RunHistory, EveryFieldIsCutWhereItIsRead) {
    const std::string longText(33000, 'x');
    JobOutcome longCause = Outcome("kdt", "stocks", JobEnd::kCompleted, {1301});
    const std::string line = LineOf(longCause);
    std::string withLongCause = line;
    withLongCause.replace(withLongCause.find("HTTP 500"), 8, longText);
    std::string withLongPath = line;
    withLongPath.replace(withLongPath.find("/w/DATA"), 7, longText);
    std::string manyCodes = "[1";
    for (int i = 0; i < 100000; ++i) {
        manyCodes += ",2";
    }
    std::string withManyCodes = line;
    withManyCodes.replace(withManyCodes.find("\"notAskedCodes\":[]") + 16, 2, manyCodes + "]");
    const std::string deep = std::string(1000000, '[') + "\n";
    const std::string fetch = LineOf(Outcome("fetch", "stocks", JobEnd::kCompleted, {}));
    std::string older;
    while (older.size() < kRunHistoryTailBytes + 1024 * 1024) {
        older += fetch;
    }
    struct Case {
        const char* name;
        std::string history;
        std::size_t records;
    };
    const std::vector<Case> cases = {
        {"a failure text of 33,000 characters", withLongCause, 1},
        {"a path of 33,000 characters", withLongPath, 1},
        {"100,001 codes not asked", withManyCodes, 1},
        {"a million brackets", deep + line, 1},
        {"5 MiB of older runs", older + line, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::ScopedWorkDir dir;
        test::WriteFileBytes(kRunHistoryName, c.history);
        const RunJournal journal = ReadRunJournal();
        ASSERT_FALSE(journal.records.empty());
        const RunRecord& newest = journal.records.back();
        EXPECT_EQ(newest.outcome.job, "kdt");
        ASSERT_EQ(newest.outcome.failures.size(), 1u);
        EXPECT_LE(newest.outcome.failures[0].cause.size(), kRunHistoryTextBytes + 3);
        for (const OutputFile& file : newest.outcome.files) {
            EXPECT_LE(file.path.size(), kRunHistoryTextBytes + 3);
        }
        EXPECT_LE(newest.outcome.notAskedCodes.size(), 10000u);
        if (c.records != 0) {
            EXPECT_EQ(journal.records.size(), c.records);
        } else {
            EXPECT_TRUE(journal.cut);
            EXPECT_LT(journal.records.size() * 400, kRunHistoryTailBytes * 2)
                << "only the last " << kRunHistoryTailBytes << " bytes are read";
        }
    }
}

// The options of a run are kept with it, for the retry that repeats them.
TEST(RunHistory, ARecordKeepsTheOptionsOfItsRun) {
    JobOptions code;
    code.days = 400;
    code.update = true;
    JobOptions html;
    html.keepHtml = true;
    html.addedOnly = true;
    struct Case {
        const char* job;
        RunOptions options;
    };
    const Case cases[] = {{"kdt", OptionsOf(Job::kKdt, code)}, {"profiles", OptionsOf(Job::kProfiles, html)}, {"fetch", {}}};
    test::ScopedWorkDir dir;
    for (const Case& c : cases) {
        ASSERT_EQ(
            AppendRunHistory(Outcome(c.job, "stocks", JobEnd::kCompleted, {}), false, c.options),
            0);
    }
    const std::vector<RunRecord> records = ReadRunHistory();
    ASSERT_EQ(records.size(), std::size(cases));
    for (std::size_t i = 0; i < records.size(); ++i) {
        EXPECT_EQ(records[i].outcome.job, cases[i].job);
        EXPECT_TRUE(records[i].options == cases[i].options) << cases[i].job;
    }
    EXPECT_EQ(records[0].options.days, 400u);
    EXPECT_EQ(records[1].options.keepHtml, true);
}

}  // namespace
}  // namespace tickora
