// SPDX-License-Identifier: GPL-3.0-or-later
// The day's check as a job of the document, so that the desktop program runs it as it runs every
// job: one at a time, with the working folder held (no job writes the files while they are read),
// and its outcome in the run history and the view.
#include "checks/day_check.h"
#include "jobs/check_outcome.h"
#include "jobs/job_context.h"

namespace tickora {

JobOutcome CheckStoredFiles(JobContext& context) {
    CheckInputs inputs;
    inputs.outputFolder = context.settings.m_szOutputDir;
    inputs.outputFormat = context.settings.m_nOutputFormat;
    inputs.markets = &context.markets;
    inputs.stocks = &context.stocks;
    context.view.ShowCounts(0, 0);
    // The check reads the files in one step: the bar shows it running, then done.
    context.view.SetProgressRange(1);
    context.view.SetProgressStep(1);
    JobOutcome outcome = CheckOutcome(CheckDay(inputs));
    context.view.StepProgress();
    return outcome;
}

}  // namespace tickora
