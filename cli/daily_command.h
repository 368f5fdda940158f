// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// `tickora-cli daily` and `tickora-cli check`: the day's routine (jobs/daily_job.h) run on the
// terminal's document, and the day's check alone.
#include <atomic>
#include <string>

#include "catalog/work_lock.h"
#include "cli/runner.h"
#include "jobs/daily_job.h"
#include "jobs/startup.h"
#include "web/site_access.h"

namespace tickora::cli {

// daily: under held, the folder's lock the caller keeps until the last step has ended, the start-up objects
// loaded and found fit to run. Returns the routine's exit status.
[[nodiscard]] int RunDaily(const CliOptions& options, const CliStreams& streams,
                           const std::atomic<int>& interrupts, int baseline,
                           StartupObjects& objects, const WorkLock& held,
                           const SiteAccess& access);

// check, in the working folder already entered. It only reads, so it takes no lock and writes
// nothing, not even a line of the run history: a look at the stored files never makes a job that
// starts meanwhile refuse (status 5), and every file a job writes is replaced whole, so each is
// read as one version or the other. Inside `daily` the check runs under the routine's lock.
[[nodiscard]] int RunCheck(const CliOptions& options, const CliStreams& streams);

// The routine as the terminal prints it: its line, then each section (the job's summary, its
// failures and, for the check, its findings), indented.
[[nodiscard]] std::string FormatDailySummary(const DailyOutcome& daily, const PathView& paths);

// A job's summary with, for the check, its findings' lines.
[[nodiscard]] std::string FormatSummaryWithFindings(const JobOutcome& outcome,
                                                    const PathView& paths);

}  // namespace tickora::cli
