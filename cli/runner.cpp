// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/runner.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <thread>

#include "catalog/work_lock.h"
#include "cli/daily_command.h"
#include "cli/terminal_view.h"
#include "cli/workdir_setup.h"
#include "jobs/job_steps.h"
#include "jobs/outcome_json.h"
#include "jobs/output_folder.h"
#include "jobs/retry_plan.h"
#include "jobs/run_history.h"
#include "jobs/startup.h"
#include "text/sjis.h"
#include "web/hosts.h"
#include "web/retry.h"

namespace tickora::cli {
namespace {

constexpr std::size_t kMaxCodesShown = 20;

std::atomic<int> g_interrupts{0};
static_assert(std::atomic<int>::is_always_lock_free,
              "the signal handler needs a lock-free counter");

extern "C" void OnInterrupt(int) {
    if (g_interrupts.fetch_add(1) + 1 >= 2) {
        static const char kMessage[] = "\ntickora-cli: interrupted again, stopping at once\n";
        (void)!write(STDERR_FILENO, kMessage, sizeof kMessage - 1);
        _exit(kExitEndedEarly);
    }
}

extern "C" void OnResize(int) {
    TerminalView::NoteTerminalResized();
}

void SetHandler(int signal, void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(signal, &action, nullptr);
}

// The job commands answer to the current folder; tests run several commands in one process, so
// the folder the command line named is left again afterwards.
class WorkdirGuard {
  public:
    bool Enter(const std::string& dir, std::string& error) {
        if (dir.empty()) {
            return true;
        }
        std::error_code ec;
        m_previous = std::filesystem::current_path(ec);
        std::filesystem::current_path(dir, ec);
        if (ec) {
            error = "cannot use the working folder '" + dir + "': " + ec.message();
            m_previous.clear();
            return false;
        }
        return true;
    }
    ~WorkdirGuard() {
        if (!m_previous.empty()) {
            std::error_code ec;
            std::filesystem::current_path(m_previous, ec);
        }
    }

  private:
    std::filesystem::path m_previous;
};

const char* FormatName(int format) {
    switch (format) {
        case 0:
            return "the empty item, written as 株取虫もどき";
        case 1:
            return "株取虫32";
        case 2:
            return "株取虫DOS";
        case 3:
            return "株取虫もどき";
        default:
            return "no selection, written as 株取虫もどき";
    }
}

// Takes the working folder for this process, or says who has it: another job, a settings save.
// With --wait it waits until the folder is free or an interrupt ends the wait.
std::optional<WorkLock> TakeWorkFolder(const CliOptions& options, const CliStreams& streams,
                                       const std::atomic<int>& interrupts, int baseline,
                                       int& status) {
    WorkLockResult taken = TryLockWorkFolder(".");
    if (taken.status == WorkLockStatus::kBusy && options.wait) {
        std::fprintf(streams.err, "tickora-cli: %s; waiting for it to end\n",
                     taken.Message().c_str());
        taken = WaitForWorkFolder(".", [&] { return interrupts.load() == baseline; });
    }
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

int RunSettings(const CliOptions& options, const CliStreams& streams,
                const std::atomic<int>& interrupts, int baseline) {
    // A change is read, made and saved under the folder's lock, so that two saves at once never
    // cost each other their change.
    std::optional<WorkLock> lock;
    if (options.settings.Any() || !(options.connection == ConnectionLayer{}) ||
        !options.connectionCleared.empty()) {
        int status = kExitDone;
        lock = TakeWorkFolder(options, streams, interrupts, baseline, status);
        if (!lock) {
            return status;
        }
    }
    // The connection settings go first: a change refused there leaves Tickora.ini alone too.
    std::string connectionText;
    const int connectionStatus = RunConnectionSettings(options, streams.err, connectionText);
    if (connectionText.empty()) {
        return connectionStatus;  // refused or not written; the reason is on standard error
    }
    if (const std::string irregular = IrregularStartupFile(); !irregular.empty()) {
        std::fprintf(streams.err, "tickora-cli: %s\n", irregular.c_str());
        return kExitUsage;
    }
    CAppSettings settings;
    settings.Load();
    if (options.settings.Any()) {
        ApplySettingsChanges(options.settings, settings);
        // The dialog says nothing when the file cannot be written; an unattended set-up needs
        // to know that its change did not stick.
        if (!settings.Save()) {
            std::fprintf(streams.err, "tickora-cli: Tickora.ini could not be written: %s\n",
                         std::strerror(errno));
            return kExitEndedEarly;
        }
    }
    std::fputs(FormatSettings(settings).c_str(), streams.out);
    std::fputs(connectionText.c_str(), streams.out);
    return connectionStatus;
}

// A run that ends before its job begins: the message on standard error, and with --json the
// outcome "not run" on standard output, so that a script reads an object whatever happened.
int NotRun(const CliOptions& options, const CliStreams& streams, int status,
           const std::string& message, const std::string& cause) {
    if (!message.empty()) {
        std::fprintf(streams.err, "%s\n", message.c_str());
    }
    if (options.json && options.command == Command::kDaily) {
        std::fprintf(streams.out, "%s\n", DailyNotRunJson(status, cause).c_str());
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

// The jobs whose items are the stocks of "fetchlist.csv".
bool WalksTheList(const CliOptions& options) {
    switch (options.command) {
        case Command::kFetch:
        case Command::kProfiles:
        case Command::kPerformance:
        case Command::kDaily:
            return true;
        case Command::kKdt:
            return options.code.allStocks;
        default:
            return false;
    }
}

bool WritesToOutputFolder(const CliOptions& options) {
    if (options.command == Command::kDaily) {
        return !options.skip.contains(DailyStage::kFetch) ||
               !options.skip.contains(DailyStage::kPerformance);
    }
    return options.command == Command::kFetch || options.command == Command::kPerformance;
}

NamedOptions NamedOn(const CliOptions& options) {
    NamedOptions named;
    if (options.daysGiven) {
        named.days = options.code.days;
    }
    named.update = options.code.update;
    named.keepHtml = options.list.keepHtml;
    named.useKeptHtml = options.list.useKeptHtml;
    named.addedOnly = options.list.addedOnly;
    return named;
}

// --retry-failed: the run the last run of the job was, narrowed to the stocks it failed or never
// reached, with its options unless the command line names them. Nothing, with the status to
// exit with in status, when there is nothing to run; a last run that cannot be read is never
// taken for one that failed nothing.
std::optional<CliOptions> PlanRetry(const CliOptions& options, const CliStreams& streams,
                                    CTickoraDoc& doc, int& status) {
    const RetryJob job = options.command == Command::kKdt ? RetryJob::kKdtAll : RetryJob::kProfiles;
    const char* name = job == RetryJob::kKdtAll ? "kdt --all" : "profiles";
    RetryPlan plan = PlanRetry(std::span<const RetryJob>(&job, 1), NamedOn(options));
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
    CliOptions retried = options;
    retried.code = plan.code;
    retried.list = plan.profile;
    doc.LimitNextJobTo(std::move(plan.codes));
    return retried;
}

// The exit status of a job that the loaded working folder does not allow to start (a settings
// file that is no regular file, no market table, an empty list, a missing output folder), with
// its message given; nothing when the job may start.
std::optional<int> RefuseWithWhatWasLoaded(const CliOptions& options, const CliStreams& streams,
                                           const StartupObjects& objects) {
    if (!objects.irregularFile.empty()) {
        std::fprintf(streams.err, "tickora-cli: %s\n", objects.irregularFile.c_str());
        return kExitUsage;
    }
    for (const std::string& notice : objects.notices) {
        std::fprintf(streams.err, "tickora-cli: %s\n", notice.c_str());
    }
    if (!objects.marketLoaded) {
        return NotRun(options, streams, kExitNoMarket,
                      "market.csv not found.\n" + MarketMissingNote(), "market.csv not found.");
    }
    if (!objects.cannotRun.empty()) {
        return NotRun(options, streams, kExitUsage, "tickora-cli: " + objects.cannotRun,
                      objects.cannotRun);
    }
    if (objects.stocks.m_nBlocks == 0 && WalksTheList(options)) {
        return NotRun(options, streams, kExitEndedEarly,
                      std::string("tickora-cli: ") + kEmptyListRefusal +
                          " (build it with 'tickora-cli fetchlist')",
                      kEmptyListRefusal);
    }
    if (WritesToOutputFolder(options)) {
        // Refused before any download: the day's pages would all be fetched for nothing.
        if (const std::string missing = MissingOutputFolder(objects.settings); !missing.empty()) {
            const std::string cause = OutputFolderRefusal(missing);
            return NotRun(options, streams, kExitUsage,
                          "tickora-cli: " + cause +
                              " (create it, or choose another with 'tickora-cli settings "
                              "--output-dir DIR')",
                          cause);
        }
    }
    return std::nullopt;
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
    std::optional<WorkLock> lock = TakeWorkFolder(options, streams, interrupts, baseline, status);
    if (!lock) {
        return NotRun(options, streams, status, "", "another job is using the working folder");
    }
    StartupObjects objects;
    LoadStartupObjects(objects, access.hosts);
    if (const std::optional<int> refused = RefuseWithWhatWasLoaded(options, streams, objects)) {
        return *refused;
    }
    if (options.command == Command::kDaily) {
        return RunDaily(options, streams, interrupts, baseline, objects, std::move(*lock), access);
    }

    const std::string job = CommandName(options.command);
    TerminalView view(streams.err, streams.errIsTerminal, job, streams.columns);
    CTickoraDoc doc(objects.settings, objects.markets, objects.stocks);
    doc.SetView(&view);
    doc.SetSiteAccess(access);
    doc.HandOverWorkLock(std::move(*lock));
    std::optional<CliOptions> retried;
    if (options.retryFailed) {
        retried = PlanRetry(options, streams, doc, status);
        if (!retried) {
            return status;
        }
    }

    if (interrupts.load() != baseline) {
        return NotRun(options, streams, kExitEndedEarly, "", "interrupted");
    }
    const std::optional<JobOutcome> outcome =
        RunJobOnDocument(retried ? *retried : options, doc, view, interrupts, baseline);
    if (!outcome) {
        std::string cause = doc.LastRefusal();
        std::string message;
        if (!cause.empty()) {
            message = "tickora-cli: " + job + " did not start: " + cause;
        } else {
            // The profile job's refusal has been shown as its message already.
            message = "tickora-cli: " + job + " did not start";
        }
        return NotRun(options, streams, kExitEndedEarly, message, cause);
    }
    // Paths are named whole: the summary is read in logs and mails, far from where the run was.
    const std::string text =
        options.json ? FormatJson(*outcome) + "\n" : FormatSummary(*outcome, PathView{});
    std::fputs(text.c_str(), streams.out);
    std::fflush(streams.out);
    return ExitStatusOf(*outcome);
}

}  // namespace

std::optional<JobOutcome> RunJobOnDocument(const CliOptions& options, CTickoraDoc& doc,
                                           TerminalView& view, const std::atomic<int>& interrupts,
                                           int baseline) {
    bool started = false;
    switch (options.command) {
        case Command::kFetch:
            started = doc.OnFetch();
            break;
        case Command::kFetchList:
            started = doc.OnMakeFetchList(options.list);
            break;
        case Command::kKdt:
            started = doc.OnMakeKdt(options.code);
            break;
        case Command::kProfiles:
            started = doc.OnGetProfiles(options.list);
            break;
        case Command::kPerformance:
            started = doc.OnGetPerformance();
            break;
        default:
            break;
    }
    if (!started) {
        return std::nullopt;
    }
    bool cancelSent = false;
    while (doc.IsJobRunning()) {
        if (!cancelSent && interrupts.load() != baseline) {
            // The first interrupt is the Cancel button.
            doc.CancelJob();
            cancelSent = true;
            view.Note(
                "tickora-cli: cancelling; the current page is given up within a second and the "
                "job writes its output (interrupt again to stop at once)");
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    doc.WaitForJob();
    JobOutcome outcome = doc.LastOutcome();
    // A Cancel that cuts a retry wait short ends the job as a failed download would; the user
    // asked for it, so it counts as a cancel.
    if (cancelSent && outcome.end == JobEnd::kStopped) {
        outcome.end = JobEnd::kCancelled;
    }
    return outcome;
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
    std::string folder;
    if (!ChooseCliWorkdir(options, streams.err, folder)) {
        return NotRun(options, streams, kExitEndedEarly, "", "no working folder can be used");
    }
    WorkdirGuard workdir;
    if (std::string error; !workdir.Enter(folder, error)) {
        return NotRun(options, streams, kExitEndedEarly, "tickora-cli: " + error, error);
    }
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

std::string FormatSummary(const JobOutcome& outcome, const PathView& paths) {
    std::string text = SummaryLine(outcome, paths) + "\n";
    for (const std::string& line : FailureLines(outcome, paths)) {
        text += "  " + line + "\n";
    }
    if (!outcome.notExtractedCodes.empty()) {
        text += outcome.NotExtractedLogged() ? "  not extracted, logged to ERRORLOG.TXT:"
                                             : "  not extracted:";
        for (std::size_t i = 0; i < outcome.notExtractedCodes.size() && i < kMaxCodesShown; ++i) {
            text += " " + CodeText(outcome.notExtractedCodes[i]);
        }
        if (outcome.notExtractedCodes.size() > kMaxCodesShown) {
            text += " (+" + std::to_string(outcome.notExtractedCodes.size() - kMaxCodesShown) +
                    " more)";
        }
        text += "\n";
    }
    for (const std::string& warning : outcome.warnings) {
        if (warning != outcome.endCause) {
            text += "  warning: " + warning + "\n";
        }
    }
    return text;
}

std::string FormatJson(const JobOutcome& outcome) {
    return OutcomeToJson(outcome);
}

std::string FormatSettings(const CAppSettings& settings) {
    std::string text;
    text += "format: " + std::to_string(settings.m_nOutputFormat) + " (" +
            FormatName(settings.m_nOutputFormat) + ")\n";
    text += "output-dir: " + SjisToUtf8(settings.m_szOutputDir) + "\n";
    text += "auto-start: " + std::to_string(settings.m_bAutoStart) + "\n";
    text += "exit-after-fetch: " + std::to_string(settings.m_bExitAfterFetch) + "\n";
    text += "decimals: " + std::to_string(settings.m_bAverageDecimals) + "\n";
    return text;
}

void ApplySettingsChanges(const SettingsChanges& changes, CAppSettings& settings) {
    if (changes.outputFormat) {
        settings.m_nOutputFormat = *changes.outputFormat;
    }
    if (changes.outputDirSjis) {
        // The parser refused anything over 127 bytes, so the terminator always fits.
        std::memset(settings.m_szOutputDir, 0, sizeof settings.m_szOutputDir);
        std::memcpy(settings.m_szOutputDir, changes.outputDirSjis->data(),
                    std::min(changes.outputDirSjis->size(), sizeof settings.m_szOutputDir - 1));
    }
    if (changes.autoStart) {
        settings.m_bAutoStart = *changes.autoStart;
    }
    if (changes.exitAfterFetch) {
        settings.m_bExitAfterFetch = *changes.exitAfterFetch;
    }
    if (changes.averageDecimals) {
        settings.m_bAverageDecimals = *changes.averageDecimals;
    }
}

std::atomic<int>& ProcessInterrupts() {
    return g_interrupts;
}

void InstallSignalHandlers() {
    SetHandler(SIGINT, OnInterrupt);
    SetHandler(SIGTERM, OnInterrupt);
    SetHandler(SIGPIPE, SIG_IGN);
    SetHandler(SIGWINCH, OnResize);
}

void RestoreSignalHandlers() {
    SetHandler(SIGINT, SIG_DFL);
    SetHandler(SIGTERM, SIG_DFL);
    SetHandler(SIGPIPE, SIG_DFL);
    SetHandler(SIGWINCH, SIG_DFL);
}

}  // namespace tickora::cli
