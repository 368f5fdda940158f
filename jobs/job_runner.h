// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The road every job takes, whichever program asked, in the order it is taken:
//   1. the working folder: chosen and entered (EnterWorkdir, jobs/workdir.h);
//   2. the settings: the connection settings give the site access (LoadSiteAccess), and the
//      start-up objects are loaded (LoadStartupObjects, jobs/startup.h); StartupRefusal says
//      whether they let the job start;
//   3. the lock: TakeWorkFolder, waiting for it when the front-end says so;
//   4. the retry plan: PlanRetry (jobs/retry_plan.h) reads the run history, and its Request is
//      the job again on the stocks the last run left;
//   5. the run: the document's worker (CTickoraDoc::Start, or StartHeld under a lock already
//      held), waited for by RunStep;
//   6. the outcome and its history line: the worker's end appends the line to "history.jsonl"
//      and hands the outcome to the view; RunStep returns it.
// The terminal walks all of it in one call after another; the desktop program, whose thread must
// keep its window alive, walks 1 to 4 at start-up and on its commands, and lets the worker tell it
// the end through the view. Nothing here prints or shows: each front-end says it in its language.
#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "catalog/connection_settings.h"
#include "catalog/work_lock.h"
#include "jobs/job_outcome.h"
#include "jobs/job_request.h"
#include "jobs/startup.h"
#include "jobs/tickora_doc.h"
#include "web/site_access.h"

namespace tickora {

// What the front-end watches while the runner waits: the user's wish to stop (an interrupt, the
// Cancel button), asked between waits, and what it shows when the wish first reaches a job.
struct RunWatch {
    std::function<bool()> cancelRequested = [] { return false; };
    std::function<void()> cancelling = [] {};
};

// The connection settings of the working folder's file, the environment and the command line,
// and the site access they give. errors names every bad value; the values that could be read
// are in access even then.
struct SiteSetup {
    SiteAccess access;
    std::vector<std::string> errors;
};
[[nodiscard]] SiteSetup LoadSiteAccess(const ConnectionLayer& commandLine);

// Why the loaded working folder does not let the request start, in the order they are found.
enum class StartupRefusal {
    kNone,
    kIrregularFile,   // a settings or list file is no regular file: objects.irregularFile
    kNoMarket,        // no "market.csv"
    kCannotRun,       // objects.cannotRun: the site's URLs do not fit
    kEmptyList,       // a job that walks the list, and the list holds no stock
    kNoOutputFolder,  // a job that writes into the output folder, and it is not there
};
[[nodiscard]] StartupRefusal RefusalOf(const StartupObjects& objects, const JobRequest& request);

// The jobs whose items are the stocks of "fetchlist.csv", and those that write into the output
// folder of the settings.
[[nodiscard]] bool WalksTheList(const JobRequest& request);
[[nodiscard]] bool WritesToOutputFolder(Job job);

// The working folder's lock for this process. With wait, a folder another job holds is waited
// for until it is free or keepWaiting says no more (then kBusy); busy, when given, hears first
// who holds it. Without wait, one attempt.
[[nodiscard]] WorkLockResult TakeWorkFolder(
    bool wait, const std::function<bool()>& keepWaiting,
    const std::function<void(const WorkLockResult&)>& busy = {});

// How long RunStep sleeps on the job's end at most before it asks the front-end's watch again;
// the end itself wakes it at once.
inline constexpr std::chrono::milliseconds kWatchInterval{50};

// One request run to its end on doc's worker under held, a lock the caller keeps (without one,
// the document takes the folder's lock itself): the outcome, or nothing when the document refused
// it (doc.LastRefusal() says why). A cancel the watch asks
// for is the Cancel button; a job it cuts short in a retry wait counts as cancelled, not as
// stopped by a failed download. A sequence of jobs under one lock hold runs each step through
// this, and each step leaves its own line in the run history.
[[nodiscard]] std::optional<JobOutcome> RunStep(CTickoraDoc& doc, const JobRequest& request,
                                                const WorkLock* held, const RunWatch& watch);

}  // namespace tickora
