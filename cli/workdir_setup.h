// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The steps of a run that come before its command: the working folder, and the connection
// settings of "connection.toml", the environment and the command line. Kept apart from the
// runner so that both read as one step each there.
#include <cstdio>
#include <optional>
#include <string>

#include "cli/command_line.h"
#include "jobs/workdir.h"
#include "web/site_access.h"

namespace tickora::cli {

// The folder the command works in, chosen and entered (EnterWorkdir), with a note on err when
// the per-user folder was just given its market table, and the reason on err when no folder can
// be had.
[[nodiscard]] EnteredWorkdir EnterCliWorkdir(const CliOptions& options, std::FILE* err);

// Loads the connection settings of the current folder's file, the environment and the command
// line; returns the site access they give. Nothing, with every bad value on err, when any is bad:
// a job must not run against a site the user did not mean.
[[nodiscard]] std::optional<SiteAccess> SiteAccessForJob(const CliOptions& options, std::FILE* err);

// `settings` for "connection.toml": saves the connection options of the command line into the
// file (an empty value removes its key) and gives the lines to print. Returns the exit status:
// 0; 2 when a bad value is left in the file or the environment (the lines are still given), or
// when a change was refused because the file holds what it cannot read (a save would lose it);
// 1 when the file cannot be written. printed stays empty when nothing is to be printed.
[[nodiscard]] int RunConnectionSettings(const CliOptions& options, std::FILE* err,
                                        std::string& printed);

// After "market.csv not found.": which folder was searched, and how to go on.
[[nodiscard]] std::string MarketMissingNote();

}  // namespace tickora::cli
