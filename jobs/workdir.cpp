// SPDX-License-Identifier: GPL-3.0-or-later
#include "jobs/workdir.h"

#include <unistd.h>

#include <cstdlib>
#include <system_error>

#include "catalog/line_file.h"
#include "files/file_io.h"

namespace tickora {
namespace {

constexpr const char* kMarketFile = "market.csv";
constexpr const char* kSettingsFile = "Tickora.ini";

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value == nullptr ? std::string() : std::string(value);
}

bool IsFile(const std::filesystem::path& path) {
    std::error_code ec;
    return std::filesystem::is_regular_file(path, ec);
}

std::filesystem::path Absolute(const std::filesystem::path& path,
                               const std::filesystem::path& base) {
    return (path.is_absolute() ? path : base / path).lexically_normal();
}

// Copied beside itself first and renamed: a half-copied table would count as present next time
// and never be replaced. A link waiting under the name is replaced, never written through.
bool CopyMarketTable(const std::filesystem::path& from, const std::filesystem::path& to,
                     std::string& error) {
    std::string table;
    int failed = ReadWholeFile(from.string(), kMaxListFileBytes, table, Links::kFollowed);
    if (failed == 0) {
        failed = ReplaceFile(to.string(), table);
    }
    if (failed != 0) {
        error = "cannot copy " + from.string() + " to " + to.string() + ": " +
                LocalFileErrorText(failed, kMaxListFileBytes);
        return false;
    }
    return true;
}

}  // namespace

std::filesystem::path ExecutableFolder() {
    std::error_code ec;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::filesystem::path() : self.parent_path();
}

std::filesystem::path InstalledDataFile(const std::string& relative) {
    const std::filesystem::path bin = ExecutableFolder();
    if (bin.empty()) {
        return {};
    }
    const std::filesystem::path file = bin.parent_path() / "share" / relative;
    return IsFile(file) ? file : std::filesystem::path();
}

WorkdirInputs WorkdirInputsFromProcess(const std::string& commandLine) {
    WorkdirInputs inputs;
    inputs.commandLine = commandLine;
    inputs.tickoraHome = Env("TICKORA_HOME");
    inputs.xdgDataHome = Env("XDG_DATA_HOME");
    inputs.home = Env("HOME");
    std::error_code ec;
    inputs.currentFolder = std::filesystem::current_path(ec);
    inputs.installedMarket = InstalledDataFile(std::string("tickora/") + kMarketFile);
    return inputs;
}

std::filesystem::path UserFolder(const WorkdirInputs& inputs) {
    // A relative XDG_DATA_HOME is invalid and is to be ignored.
    if (!inputs.xdgDataHome.empty() && inputs.xdgDataHome.front() == '/') {
        return std::filesystem::path(inputs.xdgDataHome) / "tickora";
    }
    if (!inputs.home.empty()) {
        return std::filesystem::path(inputs.home) / ".local" / "share" / "tickora";
    }
    return {};
}

WorkdirChoice ChooseWorkdir(const WorkdirInputs& inputs) {
    WorkdirChoice choice;
    if (!inputs.commandLine.empty()) {
        choice.ok = true;
        choice.source = WorkdirSource::kCommandLine;
        choice.folder = Absolute(inputs.commandLine, inputs.currentFolder);
        return choice;
    }
    if (!inputs.tickoraHome.empty()) {
        choice.ok = true;
        choice.source = WorkdirSource::kEnvironment;
        choice.folder = Absolute(inputs.tickoraHome, inputs.currentFolder);
        return choice;
    }
    if (!inputs.currentFolder.empty() && (IsFile(inputs.currentFolder / kSettingsFile) ||
                                          IsFile(inputs.currentFolder / kMarketFile))) {
        choice.ok = true;
        choice.source = WorkdirSource::kCurrentFolder;
        choice.folder = inputs.currentFolder;
        return choice;
    }
    choice.source = WorkdirSource::kUserFolder;
    choice.folder = UserFolder(inputs);
    if (choice.folder.empty()) {
        choice.error =
            "no folder for Tickora's files: HOME is not set (give --workdir DIR or set "
            "TICKORA_HOME)";
        return choice;
    }
    std::error_code ec;
    std::filesystem::create_directories(choice.folder, ec);
    if (ec) {
        choice.error =
            "cannot create the working folder " + choice.folder.string() + ": " + ec.message();
        return choice;
    }
    const std::filesystem::path market = choice.folder / kMarketFile;
    if (!IsFile(market) && !inputs.installedMarket.empty()) {
        if (!CopyMarketTable(inputs.installedMarket, market, choice.error)) {
            return choice;
        }
        choice.marketCopied = true;
    }
    choice.ok = true;
    return choice;
}

EnteredWorkdir EnterWorkdir(const std::string& commandLine) {
    EnteredWorkdir entered;
    entered.choice = ChooseWorkdir(WorkdirInputsFromProcess(commandLine));
    if (!entered.choice.ok) {
        return entered;
    }
    std::error_code ignored;
    entered.before = std::filesystem::current_path(ignored);
    std::filesystem::current_path(entered.choice.folder, entered.enterError);
    if (entered.enterError) {
        entered.before.clear();
    }
    return entered;
}

void LeaveWorkdir(const EnteredWorkdir& entered) {
    if (!entered.before.empty()) {
        std::error_code ignored;
        std::filesystem::current_path(entered.before, ignored);
    }
}

}  // namespace tickora
