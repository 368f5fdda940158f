// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The steps of tickora-cli's commands that more than one command takes, each saying on the
// terminal what it found.
#include <atomic>
#include <optional>
#include <string>

#include "catalog/work_lock.h"
#include "cli/command_line.h"
#include "cli/runner.h"

namespace tickora::cli {

// The working folder's lock, or nothing with status set and the reason on standard error:
// another job or a settings save has it (with --wait, until an interrupt past baseline ends the
// wait), or its name is taken by something that is no lock file.
[[nodiscard]] std::optional<WorkLock> TakeFolderOrSay(const CliOptions& options,
                                                      const CliStreams& streams,
                                                      const std::atomic<int>& interrupts,
                                                      int baseline, int& status);

// `settings`: prints the settings, or changes, saves and prints them.
[[nodiscard]] int RunSettings(const CliOptions& options, const CliStreams& streams,
                              const std::atomic<int>& interrupts, int baseline);

// A run that ends before its job begins: the message on standard error, and with --json the
// outcome "not run" on standard output, so that a script reads an object whatever happened.
int NotRun(const CliOptions& options, const CliStreams& streams, int status,
           const std::string& message, const std::string& cause);

}  // namespace tickora::cli
