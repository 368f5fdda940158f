// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// tickora-cli from a parsed command line to an exit status: start-up, one command, the summary.
// Everything but the signal set-up lives here so that tests run it in-process.
#include <atomic>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "catalog/app_settings.h"
#include "cli/command_line.h"
#include "cli/terminal_view.h"
#include "jobs/job_runner.h"
#include "jobs/outcome_text.h"
#include "jobs/tickora_doc.h"

namespace tickora::cli {

// The exit statuses are the core's (jobs/job_outcome.h): 0 done, 1 ended early, 2 usage,
// 3 no "market.csv", 4 some items failed, 5 the working folder is in use. Stocks that were merely
// not extracted are no failure: "ERRORLOG.TXT" and the summary name them.

struct CliStreams {
    std::FILE* out = stdout;  // results: the summary, the settings, --help
    std::FILE* err = stderr;  // progress and messages
    bool errIsTerminal = false;
    int columns = 0;  // the terminal's width for the live bar; 0 = read it from err
};

// The whole program: parse, run, and the exit status. interrupts counts SIGINT/SIGTERM; the
// first one after the start cancels the running job.
[[nodiscard]] int CliMain(const std::vector<std::string>& args, const CliStreams& streams,
                          const std::atomic<int>& interrupts);

// Runs a command line that parsed.
[[nodiscard]] int RunCommand(const CliOptions& options, const CliStreams& streams,
                             const std::atomic<int>& interrupts);

// The job of a command line as a request of the terminal.
[[nodiscard]] JobRequest RequestOf(const CliOptions& options);

// What the runner watches while a job of tickora-cli runs: the first interrupt past baseline is
// the Cancel button, and the terminal says so through view.
[[nodiscard]] RunWatch WatchOf(TerminalView& view, const std::atomic<int>& interrupts,
                               int baseline);

// Runs the job of the command line on doc (whose view is view), which takes the working folder's
// lock itself, and waits for its end; the first interrupt past baseline is the Cancel button.
// nullopt when the command started no worker.
[[nodiscard]] std::optional<JobOutcome> RunJobOnDocument(const CliOptions& options,
                                                         CTickoraDoc& doc, TerminalView& view,
                                                         const std::atomic<int>& interrupts,
                                                         int baseline);

// The summary as the terminal prints it (UTF-8, each line ended): the job's line, one line per
// cause of failure, the stocks not extracted, and any warning. Paths relative to paths.base.
[[nodiscard]] std::string FormatSummary(const JobOutcome& outcome, const PathView& paths);

// The whole outcome as one JSON object (one line), for monitoring and scripts.
[[nodiscard]] std::string FormatJson(const JobOutcome& outcome);

// The settings as `settings` prints them, one "name: value" a line (UTF-8).
[[nodiscard]] std::string FormatSettings(const CAppSettings& settings);

// Applies the changes of the command line to the record (values already validated).
void ApplySettingsChanges(const SettingsChanges& changes, CAppSettings& settings);

// The process-wide interrupt counter that the signal handlers feed.
[[nodiscard]] std::atomic<int>& ProcessInterrupts();
// SIGINT and SIGTERM count into ProcessInterrupts(); a second one ends the process at once with
// kExitEndedEarly. SIGWINCH makes the live bar read the terminal's width again. SIGPIPE is ignored
// so that a closed pipe on stdout fails a write, not the run.
void InstallSignalHandlers();
void RestoreSignalHandlers();

}  // namespace tickora::cli
