// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the document needs of its view. The desktop form and the terminal each implement it.
// Calls from the worker thread must complete before they return (the worker waits, as it did
// for the synchronous window messages of the form).
#include <string>

#include "jobs/job_request.h"

namespace tickora {

struct JobOutcome;

// Every call has a default that shows nothing and answers each dialog as a dismissed one, so that
// a view without a form (the terminal, the document's own stand-in) names only what it shows.
class ITickoraView {
  public:
    virtual ~ITickoraView() = default;

    virtual void ShowRunning() {}  // Fetch disabled, Cancel enabled
    virtual void ShowIdle() {}     // Fetch enabled, Cancel disabled
    virtual void ShowCounts(int /*first*/, int /*second*/) {}

    // The progress bar: range 0..n (n truncated to 16 bits), step, one step per item, position.
    virtual void SetProgressRange(int /*n*/) {}
    virtual void SetProgressStep(int /*step*/) {}
    virtual void StepProgress() {}
    virtual void SetProgressPos(int /*pos*/) {}

    // Options dialogs. The list and code dialogs are asked from the worker thread; the profile
    // dialog from the thread that gave the command. false = the user cancelled.
    // Each fills the options of its own job.
    virtual bool AskListOptions(JobOptions& /*options*/) { return false; }
    virtual bool AskCodeOptions(JobOptions& /*options*/, bool /*showAllStocks*/) { return false; }
    virtual bool AskProfileOptions(JobOptions& /*options*/) { return false; }

    // A message box with an OK button; text in Shift-JIS.
    virtual void ShowMessage(const std::string& /*sjisText*/) {}
    // The document title ("2008/2/11" after OnFetch).
    virtual void SetTitle(const std::string& /*title*/) {}
    // Exit after fetch: end the program's event loop. Called from the worker thread.
    virtual void PostQuit() {}

    // An item of the running job has ended: done of total, counted in unit ("stocks" or
    // "pages"), the same units as the job's summary. The progress bar keeps its own steps.
    virtual void ShowItemsDone(int /*done*/, int /*total*/, const std::string& /*unit*/) {}
    // The job has ended (the form is idle again) and this is what it did. From the worker.
    virtual void ShowOutcome(const JobOutcome& /*outcome*/) {}
};

}  // namespace tickora
