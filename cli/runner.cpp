#include "cli/runner.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <thread>

#include "jobs/startup.h"
#include "cli/terminal_view.h"
#include "cli/workdir_setup.h"
#include "web/hosts.h"
#include "web/retry.h"
#include "web/sjis.h"

namespace tickora::cli {
namespace {

constexpr std::size_t kMaxCodesShown = 20;
constexpr std::size_t kMaxFilesShown = 5;

std::atomic<int> g_interrupts{0};
static_assert(std::atomic<int>::is_always_lock_free,
              "the signal handler needs a lock-free counter");

extern "C" void OnInterrupt(int) {
    if (g_interrupts.fetch_add(1) + 1 >= 2) {
        static const char kMessage[] = "\ntickora-cli: interrupted again, stopping at once\n";
        (void)!write(STDERR_FILENO, kMessage, sizeof kMessage - 1);
        _exit(kExitCancelled);
    }
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

bool CountsStocks(const std::string& job) {
    return job == "fetch" || job == "performance";
}

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

int RunSettings(const CliOptions& options, const CliStreams& streams) {
    // The connection settings go first: a change refused there leaves Tickora.ini alone too.
    std::string connectionText;
    const int connectionStatus = RunConnectionSettings(options, streams.err, connectionText);
    if (connectionText.empty()) {
        return connectionStatus;  // refused or not written; the reason is on standard error
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
            return kExitFailed;
        }
    }
    std::fputs(FormatSettings(settings).c_str(), streams.out);
    std::fputs(connectionText.c_str(), streams.out);
    return connectionStatus;
}

int RunJob(const CliOptions& options, const CliStreams& streams, const std::atomic<int>& interrupts,
           int baseline) {
    StartupObjects objects;
    LoadStartupObjects(objects);
    if (!objects.marketLoaded) {
        std::fputs("market.csv not found.\n", streams.err);
        std::fprintf(streams.err, "%s\n", MarketMissingNote().c_str());
        return kExitNoMarket;
    }

    DialogAnswers answers;
    answers.list = options.list;
    answers.profile = {options.list.keepHtml, options.list.addedOnly, options.list.useKeptHtml};
    answers.code = options.code;
    const std::string job = CommandName(options.command);
    TerminalView view(streams.err, streams.errIsTerminal, job, answers);
    CTickoraDoc doc(objects.settings, objects.markets, objects.stocks);
    doc.SetView(&view);

    if (interrupts.load() != baseline) {
        return kExitCancelled;  // interrupted during start-up: nothing to finish
    }
    const std::optional<JobReport> report =
        RunJobOnDocument(options.command, doc, view, interrupts, baseline);
    if (!report) {
        if (options.command == Command::kFetch) {
            std::fputs(
                "tickora-cli: fetchlist.csv has no stocks, nothing to fetch (build it with "
                "'tickora-cli fetchlist')\n",
                streams.err);
        } else {
            // The profile job's refusal has been shown as its message already.
            std::fprintf(streams.err, "tickora-cli: %s did not start\n", job.c_str());
        }
        return kExitFailed;
    }
    std::fprintf(streams.out, "%s\n", FormatSummary(*report, view.Title()).c_str());
    std::fflush(streams.out);
    return ExitCodeFor(*report);
}

}  // namespace

std::optional<JobReport> RunJobOnDocument(Command command, CTickoraDoc& doc, TerminalView& view,
                                          const std::atomic<int>& interrupts, int baseline) {
    bool started = false;
    switch (command) {
        case Command::kFetch:
            started = doc.OnFetch();
            break;
        case Command::kFetchList:
            started = doc.OnMakeFetchList();
            break;
        case Command::kKdt:
            started = doc.OnMakeKdt();
            break;
        case Command::kProfiles:
            started = doc.OnGetProfiles();
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
                "tickora-cli: cancelling; the current item finishes and the job writes its "
                "output (interrupt again to stop at once)");
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    doc.WaitForJob();
    JobReport report = doc.LastReport();
    // A Cancel that cuts a retry or pacing wait short ends the job as a failed download would;
    // the user asked for it, so it counts as a cancel.
    if (cancelSent && !report.dialogCancelled && report.itemsDone < report.itemsTotal) {
        report.cancelled = true;
    }
    return report;
}

int CliMain(const std::vector<std::string>& args, const CliStreams& streams,
            const std::atomic<int>& interrupts) {
    const ParseResult parsed = ParseCommandLine(args);
    if (!parsed.ok) {
        std::fprintf(streams.err, "tickora-cli: %s\nTry 'tickora-cli --help'.\n",
                     parsed.error.c_str());
        return kExitUsage;
    }
    try {
        return RunCommand(parsed.options, streams, interrupts);
    } catch (const std::exception& e) {
        std::fprintf(streams.err, "tickora-cli: %s\n", e.what());
        return kExitFailed;
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
        return kExitFailed;
    }
    WorkdirGuard workdir;
    if (std::string error; !workdir.Enter(folder, error)) {
        std::fprintf(streams.err, "tickora-cli: %s\n", error.c_str());
        return kExitFailed;
    }
    if (options.command == Command::kSettings) {
        return RunSettings(options, streams);
    }
    // connection.toml of the working folder, the TICKORA_* variables, then the command line.
    if (!ApplyConnectionForJob(options, streams.err)) {
        return kExitUsage;
    }
    return RunJob(options, streams, interrupts, baseline);
}

int ExitCodeFor(const JobReport& report) {
    if (report.cancelled) {
        return kExitCancelled;
    }
    if (report.dialogCancelled || report.downloadFailed) {
        return kExitFailed;
    }
    // A daily fetch that walked every page and extracted no stock at all did not fetch the day
    // (every page answered 404, say): a scheduler must hear of it, not only of a cut connection.
    if (report.job == "fetch" && report.itemsTotal > 0 && report.extracted == 0) {
        return kExitFailed;
    }
    // The file is what these jobs are for: one that could not be written (a missing output
    // folder, say) is a failed run, whatever the pages gave.
    if ((report.job == "fetch" || report.job == "performance") && report.itemsTotal > 0 &&
        report.filesWritten.empty()) {
        return kExitFailed;
    }
    // A history or a fetch list that gave nothing left the old files as they were: the run did
    // not do what it was asked. (The profile job with --added-only may rightly write nothing.)
    if ((report.job == "kdt" || report.job == "fetchlist") && report.filesWritten.empty()) {
        return kExitFailed;
    }
    return kExitDone;
}

std::string FormatSummary(const JobReport& report, const std::string& title) {
    std::string line = report.job + ":";
    if (report.dialogCancelled) {
        return line + " not run";
    }
    if (report.job == "fetch" && !title.empty()) {
        line += " quotes of " + title + ",";
    }
    line +=
        " " + std::to_string(report.itemsDone) + "/" + std::to_string(report.itemsTotal) + " items";
    if (CountsStocks(report.job)) {
        line += ", " + std::to_string(report.extracted) + " extracted, " +
                std::to_string(report.notExtracted) + " not extracted";
    } else {
        line += ", done " + std::to_string(report.extracted);
    }
    if (report.cancelled) {
        line += ", cancelled";
    }
    if (report.downloadFailed) {
        line += ", stopped by a failed download";
    }
    if (!report.failedCodes.empty()) {
        line += ", failed codes";
        for (std::size_t i = 0; i < report.failedCodes.size() && i < kMaxCodesShown; ++i) {
            char code[16];
            std::snprintf(code, sizeof code, " %04d", report.failedCodes[i]);
            line += code;
        }
        if (report.failedCodes.size() > kMaxCodesShown) {
            line += " (+" + std::to_string(report.failedCodes.size() - kMaxCodesShown) +
                    " more, see ERRORLOG.TXT)";
        }
    }
    if (report.filesWritten.empty()) {
        line += ", no file written";
    } else {
        line += ", wrote";
        for (std::size_t i = 0; i < report.filesWritten.size() && i < kMaxFilesShown; ++i) {
            line += (i == 0 ? " " : ", ") + SjisToUtf8(report.filesWritten[i]);
        }
        if (report.filesWritten.size() > kMaxFilesShown) {
            line += " (+" + std::to_string(report.filesWritten.size() - kMaxFilesShown) + " more)";
        }
    }
    return line;
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
}

void RestoreSignalHandlers() {
    SetHandler(SIGINT, SIG_DFL);
    SetHandler(SIGTERM, SIG_DFL);
    SetHandler(SIGPIPE, SIG_DFL);
}

}  // namespace tickora::cli
