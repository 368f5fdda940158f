// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Which folder the program works in, the same for the desktop program and the terminal:
//   1. --workdir DIR;
//   2. TICKORA_HOME;
//   3. the current folder, when it holds "Tickora.ini" or "market.csv" (set-ups made before the
//      per-user folder existed keep working);
//   4. otherwise the per-user folder $XDG_DATA_HOME/tickora (~/.local/share/tickora), created on
//      first use and given the installed "market.csv".
// A program started from the desktop menu runs in the home folder, which holds neither file: it
// lands in the per-user folder and finds a market table there.
#include <filesystem>
#include <string>
#include <system_error>

namespace tickora {

enum class WorkdirSource { kCommandLine, kEnvironment, kCurrentFolder, kUserFolder };

struct WorkdirInputs {
    std::string commandLine;  // --workdir; empty when not given
    std::string tickoraHome;  // TICKORA_HOME
    std::string xdgDataHome;  // XDG_DATA_HOME; used only when absolute
    std::string home;         // HOME
    std::filesystem::path currentFolder;
    std::filesystem::path installedMarket;  // the "market.csv" a new per-user folder is given
};

// The inputs of this process: its environment, its current folder, and the installed
// "market.csv" found beside the executable (see InstalledDataFile).
[[nodiscard]] WorkdirInputs WorkdirInputsFromProcess(const std::string& commandLine);

struct WorkdirChoice {
    bool ok = false;
    std::filesystem::path folder;  // absolute
    WorkdirSource source = WorkdirSource::kCurrentFolder;
    bool marketCopied = false;  // the per-user folder was given the installed market table now
    std::string error;          // UTF-8, one line, when !ok
};

// Picks the folder. For the per-user folder it also creates the folder and copies the installed
// "market.csv" into it when it has none; it neither creates nor checks the other three.
[[nodiscard]] WorkdirChoice ChooseWorkdir(const WorkdirInputs& inputs);

// The chosen folder made the current one.
struct EnteredWorkdir {
    WorkdirChoice choice;          // !choice.ok: no folder could be chosen (choice.error)
    std::error_code enterError;    // chosen, but it could not be entered
    std::filesystem::path before;  // the current folder before, for Leave

    [[nodiscard]] bool Ok() const { return choice.ok && !enterError; }
};

// Chooses the folder for this process (--workdir given as commandLine, or as ChooseWorkdir says)
// and enters it.
[[nodiscard]] EnteredWorkdir EnterWorkdir(const std::string& commandLine);

// Back to the folder the process was in before: a process that runs several commands (the
// tests) gives each the folder it named.
void LeaveWorkdir(const EnteredWorkdir& entered);

// The folder the running executable lies in, from /proc/self/exe; empty when unknown.
[[nodiscard]] std::filesystem::path ExecutableFolder();

// A file the package installs under <prefix>/share, found from the executable in
// <prefix>/bin: relative is "tickora/market.csv" or "doc/tickora/Documents/index.html". A build
// tree lays the same files out under its own share/ folder, so the built programs find them too.
// Empty when the file is not there.
[[nodiscard]] std::filesystem::path InstalledDataFile(const std::string& relative);

// Where the per-user folder is, without creating it; empty when neither XDG_DATA_HOME (absolute)
// nor HOME says.
[[nodiscard]] std::filesystem::path UserFolder(const WorkdirInputs& inputs);

}  // namespace tickora
