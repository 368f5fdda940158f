// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One step of the day's routine on a document, the same for every front-end: the check reads the
// stored files of the document's settings and lists, every other step is its job's request run by
// the one runner under the lock the routine holds.
#include "catalog/work_lock.h"
#include "jobs/daily_job.h"
#include "jobs/job_request.h"
#include "jobs/job_runner.h"
#include "jobs/tickora_doc.h"

namespace tickora {

// The job a step of the routine runs through the document (the check is none of them).
[[nodiscard]] Job JobOfStep(DailyJob job);

// Runs step on doc under held and returns its outcome; a job the document did not start comes
// back as not run, with the document's refusal as its cause. watch is the front-end's Cancel.
[[nodiscard]] JobOutcome RunDailyStep(CTickoraDoc& doc, const DailyStep& step,
                                      const WorkLock& held, const RunWatch& watch, FrontEnd from);

}  // namespace tickora
