#pragma once
// tickora-cli from a parsed command line to an exit status: start-up, one command, the summary.
// Everything but the signal set-up lives here so that tests run it in-process.
#include <atomic>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "jobs/tickora_doc.h"
#include "catalog/app_settings.h"
#include "cli/command_line.h"
#include "cli/terminal_view.h"

namespace tickora::cli {

inline constexpr int kExitDone = 0;
// The statuses a scheduler acts on. A job that ran to its end is 0 even when some stocks were
// not extracted: "ERRORLOG.TXT" and the summary name them.
inline constexpr int kExitFailed = 1;     // a download failure ended the job early, or it failed
inline constexpr int kExitUsage = 2;
inline constexpr int kExitNoMarket = 3;   // "market.csv" is missing: nothing can run
inline constexpr int kExitCancelled = 1;  // Cancel (Ctrl+C) ended the job early

struct CliStreams {
    std::FILE* out = stdout;  // results: the summary, the settings, --help
    std::FILE* err = stderr;  // progress and messages
    bool errIsTerminal = false;
};

// The whole program: parse, run, and the exit status. interrupts counts SIGINT/SIGTERM; the
// first one after the start cancels the running job.
[[nodiscard]] int CliMain(const std::vector<std::string>& args, const CliStreams& streams,
                          const std::atomic<int>& interrupts);

// Runs a command line that parsed.
[[nodiscard]] int RunCommand(const CliOptions& options, const CliStreams& streams,
                             const std::atomic<int>& interrupts);

// Gives the job command to doc (whose view is view) and waits for its worker; the first interrupt
// past baseline is the Cancel button. nullopt when the command started no worker.
[[nodiscard]] std::optional<JobReport> RunJobOnDocument(Command command, CTickoraDoc& doc,
                                                        TerminalView& view,
                                                        const std::atomic<int>& interrupts,
                                                        int baseline);

// The exit status a finished job's report stands for.
[[nodiscard]] int ExitCodeFor(const JobReport& report);

// One line (UTF-8, no line end): job, items, counters, failed codes, files written.
[[nodiscard]] std::string FormatSummary(const JobReport& report, const std::string& title);

// The settings as `settings` prints them, one "name: value" a line (UTF-8).
[[nodiscard]] std::string FormatSettings(const CAppSettings& settings);

// Applies the changes of the command line to the record (values already validated).
void ApplySettingsChanges(const SettingsChanges& changes, CAppSettings& settings);

// The process-wide interrupt counter that the signal handlers feed.
[[nodiscard]] std::atomic<int>& ProcessInterrupts();
// SIGINT and SIGTERM count into ProcessInterrupts(); a second one ends the process at once with
// kExitCancelled. SIGPIPE is ignored so that a closed pipe on stdout fails a write, not the run.
void InstallSignalHandlers();
void RestoreSignalHandlers();

}  // namespace tickora::cli
