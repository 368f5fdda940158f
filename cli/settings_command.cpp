// SPDX-License-Identifier: GPL-3.0-or-later
// `tickora-cli settings`: the settings printed, or changed and saved under the folder's lock.
#include <cerrno>
#include <cstring>
#include <optional>

#include "catalog/work_lock.h"
#include "cli/cli_steps.h"
#include "cli/runner.h"
#include "cli/workdir_setup.h"
#include "jobs/startup.h"
#include "text/sjis.h"

namespace tickora::cli {
namespace {

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

}  // namespace

int RunSettings(const CliOptions& options, const CliStreams& streams,
                const std::atomic<int>& interrupts, int baseline) {
    // A change is read, made and saved under the folder's lock, so that two saves at once never
    // cost each other their change.
    std::optional<WorkLock> lock;
    if (options.settings.Any() || !(options.connection == ConnectionLayer{}) ||
        !options.connectionCleared.empty()) {
        int status = kExitDone;
        lock = TakeFolderOrSay(options, streams, interrupts, baseline, status);
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

}  // namespace tickora::cli
