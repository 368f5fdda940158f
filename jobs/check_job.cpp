// SPDX-License-Identifier: GPL-3.0-or-later
// The day's check as a job of the document, so that the desktop program runs it as it runs every
// job: one at a time, with the working folder held (no job writes the files while they are read),
// and its outcome in the run history and the view.
#include "checks/day_check.h"
#include "jobs/check_outcome.h"
#include "jobs/tickora_doc.h"

namespace tickora {

bool CTickoraDoc::OnCheck() {
    if (RefuseWhileRunning()) {
        return false;
    }
    return StartJob(&CTickoraDoc::RunCheck);
}

void CTickoraDoc::RunCheck() {
    CheckInputs inputs;
    inputs.outputFolder = m_settings.m_szOutputDir;
    inputs.outputFormat = m_settings.m_nOutputFormat;
    inputs.markets = &m_markets;
    inputs.stocks = &m_stocks;
    View().ShowCounts(0, 0);
    // The check reads the files in one step: the bar shows it running, then done.
    View().SetProgressRange(1);
    View().SetProgressStep(1);
    m_current = CheckOutcome(CheckDay(inputs));
    View().StepProgress();
    EndJob();
}

}  // namespace tickora
