// SPDX-License-Identifier: GPL-3.0-or-later
// The run history of a working folder: an outcome survives the trip through its JSON line, a
// line that cannot be read costs only itself, and a retry follows the right earlier run.
#include "jobs/run_history.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "jobs/outcome_json.h"
#include "jobs/outcome_text.h"
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

}  // namespace
}  // namespace tickora
