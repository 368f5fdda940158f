// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The output folder of the settings, where the daily quote file and the performance file go.
// It is checked before a job downloads anything: a folder that is not there would lose the
// whole run at its end.
#include <string>

#include "catalog/app_settings.h"

namespace tickora {

// The folder's absolute path (UTF-8) when it does not exist or is no folder; empty when it is
// there (the working folder, when the settings name none, always is).
[[nodiscard]] std::string MissingOutputFolder(const CAppSettings& settings);

// "the output folder /x/y does not exist" (UTF-8), for a refusal.
[[nodiscard]] std::string OutputFolderRefusal(const std::string& folder);

// Creates the output folder of the settings with its parents, for a front-end that offered to.
// Empty on success, else why not (UTF-8, naming the folder).
[[nodiscard]] std::string CreateOutputFolder(const CAppSettings& settings);

}  // namespace tickora
