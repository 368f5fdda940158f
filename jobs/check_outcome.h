// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The day's check (checks/day_check.h) as a job's outcome, so that the terminal, JSON, the run
// history and the desktop program show it as they show every job.
#include <set>

#include "checks/day_check.h"
#include "jobs/job_outcome.h"

namespace tickora {

// Job "check": the list's stocks as its items, the day checked as its quote date, each file it
// could not read a failed item (its rules went unchecked), and the findings. A check that had no
// list to go by, or no day to check, stopped.
[[nodiscard]] JobOutcome CheckOutcome(const CheckResult& result);

// The stocks whose histories a history job wrote, brought up to date or fetched in full: the
// ones it reported current, for CheckInputs::reportedCurrent.
[[nodiscard]] std::set<int> HistoriesReportedCurrent(const JobOutcome& kdt);

}  // namespace tickora
