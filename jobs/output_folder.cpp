// SPDX-License-Identifier: GPL-3.0-or-later
#include "jobs/output_folder.h"

#include <cstring>
#include <filesystem>

#include "jobs/job_outcome.h"
#include "text/sjis.h"

namespace tickora {
namespace {

// The stored name, readable, for a folder whose name has no exact UTF-8 form.
std::string StoredName(const CAppSettings& settings) {
    const std::size_t length = strnlen(settings.m_szOutputDir, sizeof settings.m_szOutputDir);
    return SjisToUtf8(std::string(settings.m_szOutputDir, length));
}

}  // namespace

std::string MissingOutputFolder(const CAppSettings& settings) {
    const std::string folder = settings.OutputDirPath();
    std::error_code error;
    if (!folder.empty() && std::filesystem::is_directory(folder, error)) {
        return {};
    }
    return AbsolutePath(folder.empty() ? StoredName(settings) : folder);
}

std::string OutputFolderRefusal(const std::string& folder) {
    return "the output folder " + folder + " does not exist";
}

std::string CreateOutputFolder(const CAppSettings& settings) {
    const std::string folder = settings.OutputDirPath();
    if (folder.empty()) {
        return "the output folder " + StoredName(settings) +
               " has no UTF-8 form and cannot be created";
    }
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error) {
        return "the output folder " + AbsolutePath(folder) + " cannot be created: " +
               error.message();
    }
    return {};
}

}  // namespace tickora
