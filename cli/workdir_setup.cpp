// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/workdir_setup.h"

#include <algorithm>
#include <filesystem>

#include "catalog/connection_settings.h"
#include "jobs/job_runner.h"
#include "jobs/workdir.h"

namespace tickora::cli {
namespace {

constexpr int kDone = 0;
constexpr int kFailed = 1;
constexpr int kUsage = 2;

void PrintAll(const std::vector<std::string>& messages, std::FILE* err) {
    for (const std::string& message : messages) {
        std::fprintf(err, "tickora-cli: %s\n", message.c_str());
    }
}

bool ChangesConnection(const CliOptions& options) {
    return options.connection != ConnectionLayer{} || !options.connectionCleared.empty();
}

}  // namespace

EnteredWorkdir EnterCliWorkdir(const CliOptions& options, std::FILE* err) {
    const EnteredWorkdir entered = EnterWorkdir(options.workdir);
    const WorkdirChoice& choice = entered.choice;
    if (!choice.ok) {
        std::fprintf(err, "tickora-cli: %s\n", choice.error.c_str());
    } else if (choice.marketCopied) {
        std::fprintf(err,
                     "tickora-cli: set up the working folder %s with the installed market.csv\n",
                     choice.folder.c_str());
    }
    return entered;
}

std::optional<SiteAccess> SiteAccessForJob(const CliOptions& options, std::FILE* err) {
    SiteSetup setup = LoadSiteAccess(options.connection);
    if (!setup.errors.empty()) {
        PrintAll(setup.errors, err);
        return std::nullopt;
    }
    return std::move(setup.access);
}

int RunConnectionSettings(const CliOptions& options, std::FILE* err, std::string& printed) {
    LayerLoad file = LoadConnectionFile(kConnectionFileName);
    if (ChangesConnection(options)) {
        ConnectionLayer layer = file.layer;
        std::vector<ConnectionKey> changed = options.connectionCleared;
        for (const ConnectionKeyInfo& info : ConnectionKeys()) {
            if (options.connection.Has(info.key)) {
                changed.push_back(info.key);
            }
        }
        // Rewriting the file drops what it could not read: only a change that replaces every
        // bad key may do that. A typo'd key or a broken file is the user's to fix.
        const bool everyErrorReplaced =
            file.errors.size() == file.badKeys.size() &&
            std::all_of(file.badKeys.begin(), file.badKeys.end(), [&](ConnectionKey key) {
                return std::find(changed.begin(), changed.end(), key) != changed.end();
            });
        if (!everyErrorReplaced) {
            PrintAll(file.errors, err);
            std::fprintf(err,
                         "tickora-cli: %s was not changed: correct or remove what it cannot read "
                         "first\n",
                         kConnectionFileName);
            return kUsage;
        }
        layer.Overlay(options.connection);
        for (const ConnectionKey key : options.connectionCleared) {
            layer.Clear(key);
        }
        if (std::string error = SaveConnectionFile(layer, kConnectionFileName); !error.empty()) {
            std::fprintf(err, "tickora-cli: %s\n", error.c_str());
            return kFailed;
        }
        file.layer = layer;
        file.errors.clear();
        file.badKeys.clear();
    }
    const LayerLoad environment = ConnectionLayerFromEnvironment();
    PrintAll(file.errors, err);
    PrintAll(environment.errors, err);
    printed = FormatConnectionSettings(
        MergeConnectionLayers(file.layer, environment.layer, ConnectionLayer{}));
    return file.errors.empty() && environment.errors.empty() ? kDone : kUsage;
}

std::string MarketMissingNote() {
    std::error_code ec;
    const std::string folder = std::filesystem::current_path(ec).string();
    return "tickora-cli: looked in the working folder " + folder +
           " (give another with --workdir DIR or TICKORA_HOME, or copy market.csv there)";
}

}  // namespace tickora::cli
