// SPDX-License-Identifier: GPL-3.0-or-later
// tickora-cli's road for one command: the arguments become a request, the runner of jobs/ walks
// it (folder, settings, lock, retry plan, run, outcome), and the terminal says what came of it.
#include "cli/runner.h"

#include <cstring>
#include <optional>
#include <string>

#include "cli/cli_steps.h"
#include "cli/daily_command.h"
#include "cli/workdir_setup.h"
#include "jobs/job_runner.h"
#include "jobs/job_steps.h"
#include "jobs/outcome_json.h"
#include "jobs/output_folder.h"
#include "jobs/retry_plan.h"
#include "jobs/workdir.h"

namespace tickora::cli {
namespace {

NamedOptions NamedOn(const CliOptions& options) {
    NamedOptions named;
    if (options.daysGiven) {
        named.days = options.job.days;
    }
    named.update = options.job.update;
    named.keepHtml = options.job.keepHtml;
    named.useKeptHtml = options.job.useKeptHtml;
    named.addedOnly = options.job.addedOnly;
    return named;
}

// --retry-failed: the request of the run the last run of the job was, narrowed to the stocks it
// failed or never reached, with its options unless the command line names them. Nothing, with
// the status to exit with in status, when there is nothing to run; a last run that cannot be
// read is never taken for one that failed nothing.
std::optional<JobRequest> RetryRequest(const CliOptions& options, const CliStreams& streams,
                                       int& status) {
    const RetryJob job = options.command == Command::kKdt ? RetryJob::kKdtAll : RetryJob::kProfiles;
    const char* name = job == RetryJob::kKdtAll ? "kdt --all" : "profiles";
    const RetryPlan plan = PlanRetry(std::span<const RetryJob>(&job, 1), NamedOn(options));
    std::string cause;
    switch (plan.last.found) {
        case LastRun::Found::kNone:
            cause = std::string("no run of ") + name + " is in " + plan.last.why +
                    ", so nothing can be retried";
            break;
        case LastRun::Found::kUnreadable:
            cause = std::string("the last run of ") + name + " cannot be read: " + plan.last.why +
                    "; nothing was retried (run " + name + " without --retry-failed)";
            break;
        case LastRun::Found::kRun:
            if (plan.codes.empty()) {
                cause = std::string("the last run of ") + name + " (" + plan.last.record.endedAt +
                        ") failed no stock: nothing to retry";
                status = NotRun(options, streams, kExitDone, "tickora-cli: " + cause, cause);
                return std::nullopt;
            }
            break;
    }
    if (!cause.empty()) {
        status = NotRun(options, streams, kExitEndedEarly, "tickora-cli: " + cause, cause);
        return std::nullopt;
    }
    std::fprintf(streams.err, "tickora-cli: retrying %zu %s of the run of %s with %s%s\n",
                 plan.codes.size(), plan.codes.size() == 1 ? "stock" : "stocks",
                 plan.last.record.endedAt.c_str(),
                 OptionsText(plan).empty() ? "no options" : OptionsText(plan).c_str(),
                 plan.optionsKept ? "" : " (that run's record keeps no options)");
    return plan.Request(FrontEnd::kTerminal);
}

// The exit status of a job that the loaded working folder does not allow to start, with its
// message given; nothing when the job may start.
std::optional<int> RefuseWithWhatWasLoaded(const CliOptions& options, const CliStreams& streams,
                                           const StartupObjects& objects,
                                           const JobRequest& request) {
    const StartupRefusal refusal = RefusalOf(objects, request);
    if (refusal == StartupRefusal::kIrregularFile) {
        std::fprintf(streams.err, "tickora-cli: %s\n", objects.irregularFile.c_str());
        return kExitUsage;
    }
    for (const std::string& notice : objects.notices) {
        std::fprintf(streams.err, "tickora-cli: %s\n", notice.c_str());
    }
    switch (refusal) {
        case StartupRefusal::kNoMarket:
            return NotRun(options, streams, kExitNoMarket,
                          "market.csv not found.\n" + MarketMissingNote(), "market.csv not found.");
        case StartupRefusal::kCannotRun:
            return NotRun(options, streams, kExitUsage, "tickora-cli: " + objects.cannotRun,
                          objects.cannotRun);
        case StartupRefusal::kEmptyList:
            return NotRun(options, streams, kExitEndedEarly,
                          std::string("tickora-cli: ") + kEmptyListRefusal +
                              " (build it with 'tickora-cli fetchlist')",
                          kEmptyListRefusal);
        case StartupRefusal::kNoOutputFolder: {
            const std::string cause = OutputFolderRefusal(MissingOutputFolder(objects.settings));
            return NotRun(options, streams, kExitUsage,
                          "tickora-cli: " + cause +
                              " (create it, or choose another with 'tickora-cli settings "
                              "--output-dir DIR')",
                          cause);
        }
        default:
            return std::nullopt;
    }
}

// After the folder is held and its objects are loaded: the request, retried or not, run on a
// document of those objects, and its outcome printed.
int RunLoadedJob(const CliOptions& options, const CliStreams& streams,
                 const std::atomic<int>& interrupts, int baseline, const SiteAccess& access,
                 const WorkLock& held, StartupObjects& objects) {
    JobRequest request = RequestOf(options);
    if (const std::optional<int> refused =
            RefuseWithWhatWasLoaded(options, streams, objects, request)) {
        return *refused;
    }
    if (options.command == Command::kDaily) {
        return RunDaily(options, streams, interrupts, baseline, objects, held, access);
    }
    const std::string job = CommandName(options.command);
    TerminalView view(streams.err, streams.errIsTerminal, job, streams.columns);
    CTickoraDoc doc(objects.settings, objects.markets, objects.stocks);
    doc.SetView(&view);
    doc.SetSiteAccess(access);
    if (options.retryFailed) {
        int status = kExitDone;
        std::optional<JobRequest> retry = RetryRequest(options, streams, status);
        if (!retry) {
            return status;
        }
        request = std::move(*retry);
    }
    if (interrupts.load() != baseline) {
        return NotRun(options, streams, kExitEndedEarly, "", "interrupted");
    }
    const std::optional<JobOutcome> outcome =
        RunStep(doc, request, &held, WatchOf(view, interrupts, baseline));
    if (!outcome) {
        const std::string cause = doc.LastRefusal();
        // The profile job's refusal has been shown as its message already.
        const std::string message = "tickora-cli: " + job + " did not start" +
                                    (cause.empty() ? std::string() : ": " + cause);
        return NotRun(options, streams, kExitEndedEarly, message, cause);
    }
    // Paths are named whole: the summary is read in logs and mails, far from where the run was.
    const std::string text =
        options.json ? FormatJson(*outcome) + "\n" : FormatSummary(*outcome, PathView{});
    std::fputs(text.c_str(), streams.out);
    std::fflush(streams.out);
    return ExitStatusOf(*outcome);
}

int RunJob(const CliOptions& options, const CliStreams& streams, const std::atomic<int>& interrupts,
           int baseline, const SiteAccess& access) {
    // A folder without a market table is no working folder (a mistyped --workdir, say): it is
    // left exactly as it was, without a lock file or a work folder.
    if (!PathExists("market.csv")) {
        return NotRun(options, streams, kExitNoMarket,
                      "market.csv not found.\n" + MarketMissingNote(), "market.csv not found.");
    }
    int status = kExitDone;
    const std::optional<WorkLock> lock =
        TakeFolderOrSay(options, streams, interrupts, baseline, status);
    if (!lock) {
        return NotRun(options, streams, status, "", "another job is using the working folder");
    }
    StartupObjects objects;
    LoadStartupObjects(objects, access.hosts);
    return RunLoadedJob(options, streams, interrupts, baseline, access, *lock, objects);
}

}  // namespace

std::optional<WorkLock> TakeFolderOrSay(const CliOptions& options, const CliStreams& streams,
                                        const std::atomic<int>& interrupts, int baseline,
                                        int& status) {
    WorkLockResult taken = TakeWorkFolder(
        options.wait, [&] { return interrupts.load() == baseline; },
        [&](const WorkLockResult& busy) {
            std::fprintf(streams.err, "tickora-cli: %s; waiting for it to end\n",
                         busy.Message().c_str());
        });
    if (taken.Taken()) {
        return std::move(taken.lock);
    }
    std::fprintf(streams.err, "tickora-cli: %s\n", taken.Message().c_str());
    // A lock file that is no file of its own is a fault of the folder, as a settings file that
    // is none: the user must mend it before any job can run.
    status = taken.status == WorkLockStatus::kBusy && interrupts.load() == baseline ? kExitLocked
             : taken.notAFile                                                       ? kExitUsage
                              : kExitEndedEarly;
    return std::nullopt;
}

int NotRun(const CliOptions& options, const CliStreams& streams, int status,
           const std::string& message, const std::string& cause) {
    if (!message.empty()) {
        std::fprintf(streams.err, "%s\n", message.c_str());
    }
    if (options.json && options.command == Command::kDaily) {
        std::fprintf(streams.out, "%s\n", DailyNotRunJson(status, cause).c_str());
        std::fflush(streams.out);
    } else if (options.json && options.command != Command::kSettings) {
        JobOutcome outcome;
        outcome.job = CommandName(options.command);
        outcome.end = JobEnd::kNotRun;
        outcome.endCause = cause;
        std::fprintf(streams.out, "%s\n", OutcomeToJson(outcome, status).c_str());
        std::fflush(streams.out);
    }
    return status;
}

JobRequest RequestOf(const CliOptions& options) {
    JobRequest request;
    request.job = JobOf(options.command).value_or(Job::kFetch);
    request.options = options.job;
    request.from = FrontEnd::kTerminal;
    if (options.command == Command::kDaily) {
        // The routine is refused as its first step would be: the quotes and the figures need the
        // output folder; the histories walk the list alone.
        const bool writes = !options.skip.contains(DailyStage::kFetch) ||
                            !options.skip.contains(DailyStage::kPerformance);
        request.job = writes ? Job::kFetch : Job::kKdt;
        request.options->allStocks = true;
    }
    return request;
}

RunWatch WatchOf(TerminalView& view, const std::atomic<int>& interrupts, int baseline) {
    RunWatch watch;
    // The first interrupt is the Cancel button.
    watch.cancelRequested = [&interrupts, baseline] { return interrupts.load() != baseline; };
    watch.cancelling = [&view] {
        view.Note(
            "tickora-cli: cancelling; the current page is given up within a second and the "
            "job writes its output (interrupt again to stop at once)");
    };
    return watch;
}

std::optional<JobOutcome> RunJobOnDocument(const CliOptions& options, CTickoraDoc& doc,
                                           TerminalView& view, const std::atomic<int>& interrupts,
                                           int baseline) {
    if (!JobOf(options.command)) {
        return std::nullopt;
    }
    return RunStep(doc, RequestOf(options), nullptr, WatchOf(view, interrupts, baseline));
}

int CliMain(const std::vector<std::string>& args, const CliStreams& streams,
            const std::atomic<int>& interrupts) {
    const ParseResult parsed = ParseCommandLine(args);
    if (!parsed.ok) {
        return NotRun(parsed.options, streams, kExitUsage,
                      "tickora-cli: " + parsed.error + "\nTry 'tickora-cli --help'.", parsed.error);
    }
    try {
        return RunCommand(parsed.options, streams, interrupts);
    } catch (const std::exception& e) {
        return NotRun(parsed.options, streams, kExitEndedEarly,
                      std::string("tickora-cli: ") + e.what(), e.what());
    }
}

int RunCommand(const CliOptions& options, const CliStreams& streams,
               const std::atomic<int>& interrupts) {
    const int baseline = interrupts.load();
    if (options.command == Command::kHelp) {
        std::fputs(UsageText().c_str(), streams.out);
        return kExitDone;
    }
    if (options.command == Command::kVersion) {
        std::fprintf(streams.out, "%s\n", kVersionText);
        return kExitDone;
    }
    const EnteredWorkdir workdir = EnterCliWorkdir(options, streams.err);
    if (!workdir.choice.ok) {
        return NotRun(options, streams, kExitEndedEarly, "", "no working folder can be used");
    }
    if (workdir.enterError) {
        const std::string error = "cannot use the working folder '" +
                                  workdir.choice.folder.string() +
                                  "': " + workdir.enterError.message();
        return NotRun(options, streams, kExitEndedEarly, "tickora-cli: " + error, error);
    }
    // The job commands answer to the current folder; tests run several commands in one process,
    // so the folder the command line named is left again afterwards, however the command ends.
    const struct Leave {
        const EnteredWorkdir& entered;
        ~Leave() { LeaveWorkdir(entered); }
    } leave{workdir};
    if (options.command == Command::kSettings) {
        return RunSettings(options, streams, interrupts, baseline);
    }
    if (options.command == Command::kCheck) {
        return RunCheck(options, streams);
    }
    // connection.toml of the working folder, the TICKORA_* variables, then the command line.
    const std::optional<SiteAccess> access = SiteAccessForJob(options, streams.err);
    if (!access) {
        return NotRun(options, streams, kExitUsage, "", "a connection setting is bad");
    }
    return RunJob(options, streams, interrupts, baseline, *access);
}

}  // namespace tickora::cli
