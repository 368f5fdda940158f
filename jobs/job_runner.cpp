// SPDX-License-Identifier: GPL-3.0-or-later
#include "jobs/job_runner.h"

#include "files/local_file.h"
#include "jobs/output_folder.h"

namespace tickora {

SiteSetup LoadSiteAccess(const ConnectionLayer& commandLine) {
    const ConnectionLoad load = LoadConnectionSettings(commandLine);
    return SiteSetup{SiteAccessOf(load.settings), load.Errors()};
}

bool WalksTheList(const JobRequest& request) {
    switch (request.job) {
        case Job::kFetch:
        case Job::kProfiles:
        case Job::kPerformance:
        case Job::kCheck:
            return true;
        case Job::kKdt:
            return request.options && request.options->allStocks;
        case Job::kFetchList:
            return false;
    }
    return false;
}

bool WritesToOutputFolder(Job job) {
    return job == Job::kFetch || job == Job::kPerformance;
}

StartupRefusal RefusalOf(const StartupObjects& objects, const JobRequest& request) {
    if (!objects.irregularFile.empty()) {
        return StartupRefusal::kIrregularFile;
    }
    if (!objects.marketLoaded) {
        return StartupRefusal::kNoMarket;
    }
    if (!objects.cannotRun.empty()) {
        return StartupRefusal::kCannotRun;
    }
    if (objects.stocks.m_nBlocks == 0 && WalksTheList(request)) {
        return StartupRefusal::kEmptyList;
    }
    // Refused before any download: the day's pages would all be fetched for nothing.
    if (WritesToOutputFolder(request.job) && !MissingOutputFolder(objects.settings).empty()) {
        return StartupRefusal::kNoOutputFolder;
    }
    return StartupRefusal::kNone;
}

WorkLockResult TakeWorkFolder(bool wait, const std::function<bool()>& keepWaiting,
                              const std::function<void(const WorkLockResult&)>& busy) {
    WorkLockResult taken = TryLockWorkFolder(".");
    if (taken.status == WorkLockStatus::kBusy && wait) {
        if (busy) {
            busy(taken);
        }
        taken = WaitForWorkFolder(".", keepWaiting);
    }
    return taken;
}

std::optional<JobOutcome> RunStep(CTickoraDoc& doc, const JobRequest& request, const WorkLock* held,
                                  const RunWatch& watch) {
    const bool started = held != nullptr ? doc.StartHeld(request, *held) : doc.Start(request);
    if (!started) {
        return std::nullopt;
    }
    bool cancelSent = false;
    do {
        if (!cancelSent && watch.cancelRequested()) {
            doc.CancelJob();
            cancelSent = true;
            watch.cancelling();
        }
    } while (!doc.WaitForEnd(kWatchInterval));
    doc.WaitForJob();
    JobOutcome outcome = doc.LastOutcome();
    // A Cancel that cuts a retry wait short ends the job as a failed download would; the user
    // asked for it, so it counts as a cancel.
    if (cancelSent && outcome.end == JobEnd::kStopped) {
        outcome.end = JobEnd::kCancelled;
    }
    return outcome;
}

}  // namespace tickora
