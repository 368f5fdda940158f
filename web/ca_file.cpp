// SPDX-License-Identifier: GPL-3.0-or-later
#include "web/ca_file.h"

#include <unistd.h>

#include <climits>

#include "files/file_io.h"

namespace tickora {
namespace {

std::string CurrentFolder() {
    char folder[PATH_MAX];
    return ::getcwd(folder, sizeof folder) != nullptr ? std::string(folder) : std::string(".");
}

}  // namespace

CaBundle ReadCaFile(const std::string& path) {
    CaBundle bundle;
    const int error = ReadWholeFile(path, kMaxCaFileBytes, bundle.pem, Links::kFollowed);
    if (error == 0) {
        return bundle;
    }
    bundle.pem.clear();
    bundle.problem = "the CA file " + path;
    if (!path.empty() && path.front() != '/') {
        bundle.problem += " (looked for in " + CurrentFolder() + ")";
    }
    bundle.problem += ": " + LocalFileErrorText(error, kMaxCaFileBytes);
    return bundle;
}

}  // namespace tickora
