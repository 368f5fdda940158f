// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The day's routine: the day's quotes, the performance figures, the price histories brought up
// to date, one retry round of what failed, then the day's check, all under one hold of the
// working folder's lock. The order, what a failure stops and what the retry round asks live
// here; running one job is the front-end's (a step runner on its document, whose lock it already
// holds), so that the terminal and the desktop program run the same routine and show the same
// sections, each in its own words.
//
// What stops what:
//   - the front-end refuses the whole routine before its first step, as it refuses any job over
//     the list: no market table, another job holding the folder, an empty list, a missing output
//     folder (when the quotes or the figures are to be written);
//   - a failed step stops nothing: the quotes, the figures and the histories come from pages of
//     their own, and the check reads whatever is stored;
//   - a Cancel stops the routine: the step in progress ends as Cancel ends it (writing what it
//     has), no later step runs, and each says that it was not reached;
//   - the retry round runs each step that ran and did not end well once more, after a pause:
//     the histories narrowed to the stocks that failed or were never reached (as --retry-failed
//     plans them), the quotes and the figures whole. A step that was retried counts by its
//     retry: the routine's status tells what is stored now.
#include <chrono>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "catalog/stock_list.h"
#include "checks/day_check.h"
#include "jobs/job_outcome.h"
#include "jobs/tickora_view.h"

namespace tickora {

// The routine's steps in their order; their words are those of `daily --skip`.
enum class DailyStage { kFetch, kPerformance, kKdt, kRetry, kCheck };

inline constexpr DailyStage kDailyStages[] = {DailyStage::kFetch, DailyStage::kPerformance,
                                              DailyStage::kKdt, DailyStage::kRetry,
                                              DailyStage::kCheck};

[[nodiscard]] const char* DailyStageWord(DailyStage stage);
[[nodiscard]] std::optional<DailyStage> DailyStageNamed(std::string_view word);

// The job one step runs.
enum class DailyJob { kFetch, kPerformance, kKdt, kCheck };

[[nodiscard]] const char* DailyJobName(DailyJob job);

// What the routine asks the step runner to run: one job, on the lock the routine holds.
struct DailyStep {
    DailyStage stage = DailyStage::kFetch;  // kRetry for the jobs of the retry round
    DailyJob job = DailyJob::kFetch;
    JobOptions code;  // kKdt: all stocks, --update, the days
    // kKdt in the retry round: only these stocks, in the list's order, and its history line
    // marked a retry (JobRequest::only).
    std::optional<std::vector<int>> onlyStocks;
    // kCheck: the day (the day file the fetch wrote, when it wrote one) and the histories the
    // update reported current. The front-end adds its settings, market table and list.
    CheckInputs check;
};

// Runs one step and returns its outcome; a job that did not start returns end kNotRun with the
// refusal as its endCause. Each job keeps its own line in the run history, as it would alone.
using DailyStepRunner = std::function<JobOutcome(const DailyStep&)>;

struct DailyHooks {
    // Whether the user asked the routine to stop; asked between the steps.
    std::function<bool()> cancelled;
    // Waits out the pause before the retry round; false when a Cancel ended it.
    std::function<bool(std::chrono::milliseconds)> pause;
    // A line for the user as the routine goes (English); may be empty.
    std::function<void(const std::string&)> note;
};

// Long enough for a site's passing fault (a restart, a moment of overload) to pass, short enough
// not to matter in a routine of minutes.
inline constexpr std::chrono::seconds kDailyRetryPause{5};

struct DailyRequest {
    std::set<DailyStage> skip;
    // The history step: all stocks, --update, and the days of the stored files
    // (DaysOfStoredHistories).
    JobOptions kdt{0, 200, true, true};
    std::chrono::milliseconds retryPause{kDailyRetryPause};
};

enum class SectionState {
    kRan,             // outcome is the job's own (which may say it did not start)
    kLeftOut,         // --skip named it
    kNotReached,      // a Cancel ended the routine before it
    kNothingToRetry,  // the retry round found every step done
};

struct DailySection {
    DailyStage stage = DailyStage::kFetch;
    SectionState state = SectionState::kRan;
    // The job's outcome; for a step that did not run, its job named and end kNotRun.
    JobOutcome outcome;
    // The retry round: the status the step ended with the first time, and for the histories the
    // stocks asked again.
    int firstStatus = kExitDone;
    std::vector<int> retriedCodes;
};

struct DailyOutcome {
    std::vector<DailySection> sections;  // in the order the steps ran or would have run
    bool cancelled = false;
    int exitStatus = kExitDone;
};

// The routine, from its first step to its last; the front-end has taken the folder's lock and
// refused what it must refuse before it.
[[nodiscard]] DailyOutcome RunDailyRoutine(const DailyRequest& request,
                                           const DailyStepRunner& runStep, const DailyHooks& hooks);

// The worst of the steps (1 over 4 over 0), each step that was retried counted by its retry;
// 1 for a cancelled routine. Findings never count.
[[nodiscard]] int ExitStatusOf(const DailyOutcome& daily);

// The days the history step asks for: as many whole pages as the longest stored history of the
// list's stocks holds, so that bringing the files up to date never cuts one shorter (--update
// keeps what a full fetch of the days asked keeps); 200 when no stock has a history yet.
[[nodiscard]] unsigned DaysOfStoredHistories(const CStockList& stocks);

// The day's check as a job: its outcome, and with keepInHistory its line in the run history (a
// history that cannot be written is a warning of the outcome, as for every job).
[[nodiscard]] JobOutcome RunCheckJob(const CheckInputs& inputs, bool keepInHistory);

// Waits for `pause` or until cancelled says so, asking it every few hundredths of a second;
// false when it was cancelled.
[[nodiscard]] bool PauseUnlessCancelled(std::chrono::milliseconds pause,
                                        const std::function<bool()>& cancelled);

// "2026/12/4" (JobOutcome::quoteDate) as a date; nothing for another text.
[[nodiscard]] std::optional<CalendarDate> DateOfQuoteDate(const std::string& quoteDate);

// The status a section counts with (the job's own for a step that ran; 0 for one that did not
// run because it was left out or had nothing to do, 1 for one a Cancel did not let run).
[[nodiscard]] int SectionStatus(const DailySection& section);

// The routine in English, for the terminal: "daily: status 4; ran fetch, performance, kdt,
// check; retried performance". Each section's job speaks for itself (SummaryLine); a section
// that ran no job of its own, or that the retry round ran, has a line of its own here:
// "performance: left out (--skip)", "retry: kdt again for the 2 stocks that failed or were not
// reached (1301, 1332), after it ended with status 4". Empty for the first run of a job.
[[nodiscard]] std::string DailySummaryLine(const DailyOutcome& daily);
[[nodiscard]] std::string DailySectionLine(const DailySection& section);

// The routine as one JSON object: "job" "daily", its "exitStatus", "end" (completed, cancelled,
// or not run when the front-end refused it: then endCause says why) and "steps", each the job's
// own object (jobs/outcome_json.h) with its "step" (the --skip word), its "state" (ran, left out,
// not reached, nothing to retry) and, in the retry round, "firstStatus" and "retriedCodes".
[[nodiscard]] std::string DailyToJson(const DailyOutcome& daily);
[[nodiscard]] std::string DailyNotRunJson(int exitStatus, const std::string& cause);
[[nodiscard]] const char* SectionStateWord(SectionState state);

}  // namespace tickora
