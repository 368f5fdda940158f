// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The terminal's command line, parsed without touching the process: tests feed it tables of argvs.
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "catalog/connection_settings.h"
#include "jobs/daily_job.h"
#include "jobs/job_request.h"
#include "options/option_table.h"
#include "options/usage.h"
#include "web/retry.h"

namespace tickora::cli {

// The table's names as the terminal speaks them: its commands and the options it reads.
using options::Command;
using options::CommandEntry;
using options::CommandName;
using options::Documented;
using options::kCommands;
using options::kOptions;
using options::Opt;
using options::OptionEntry;
using options::Program;

// What `settings` was asked to change; an empty optional leaves the setting as it is.
struct SettingsChanges {
    std::optional<int> outputFormat;
    std::optional<std::string> outputDirSjis;  // already converted and length-checked
    std::optional<int> autoStart;
    std::optional<int> exitAfterFetch;
    std::optional<int> averageDecimals;

    [[nodiscard]] bool Any() const {
        return outputFormat || outputDirSjis || autoStart || exitAfterFetch || averageDecimals;
    }
};

struct CliOptions {
    Command command = Command::kNone;
    std::string workdir;  // empty = chosen as ChooseWorkdir says
    JobOptions job;       // the job's own options; code and days start at the dialog's values
    bool codeGiven = false;
    bool daysGiven = false;    // a retry keeps the days of the run it follows unless named
    bool retryFailed = false;  // kdt --all and profiles: only the stocks the last run failed
    SettingsChanges settings;
    // --site, --quote-host, --table-host, --profile-host, --retries, --pace, --page-timeout and
    // --connections: over the environment and "connection.toml" for a job; for `settings`, what
    // to save into "connection.toml".
    ConnectionLayer connection;
    // `settings` only: the keys given an empty value, to be removed from "connection.toml".
    std::vector<ConnectionKey> connectionCleared;
    std::set<DailyStage> skip;                  // daily: the steps left out
    std::optional<unsigned> retryPauseSeconds;  // daily: the pause before the retry round
    std::optional<CalendarDate> checkDate;      // check: the day to check

    bool json = false;  // the outcome as one JSON object on standard output
    bool wait = false;  // wait for another job in the working folder instead of refusing
};

// The job a command runs; nothing for help, version and settings.
[[nodiscard]] std::optional<Job> JobOf(Command command);

struct ParseResult {
    bool ok = false;
    CliOptions options;
    std::string error;  // UTF-8, one line, when !ok
};

// args excludes the program name. Options may use "--name value" or "--name=value". The options
// before the command and the connection options may stand anywhere; a command's own options
// follow it.
[[nodiscard]] ParseResult ParseCommandLine(const std::vector<std::string>& args);

// The usage: in full for --help, and after a usage error (made from the option table).
[[nodiscard]] inline std::string UsageText() {
    return options::CliUsageText();
}

inline constexpr const char* kVersionText = "Tickora v1.1.5";

// The limits the dialogs enforce.
inline constexpr unsigned kMaxCode = 9999;
inline constexpr unsigned kMinDays = 10;
inline constexpr unsigned kMaxDays = 3000;
inline constexpr int kMaxOutputFormat = 3;  // 0 the empty item, 1 to 3 the three layouts
inline constexpr int kMaxOutputDirBytes = 127;
inline constexpr unsigned kMaxRetryPauseSeconds = 600;
// The connection options share the bounds of the download layer (web/retry.h, web/download.h,
// web/connections.h) through the connection settings.
using tickora::kMaxPaceMs;
using tickora::kMaxRetries;

}  // namespace tickora::cli
