// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalog/partial_pages.h"

#include <string>
#include <string_view>

#include "catalog/work_lock.h"
#include "files/temp_files.h"
#include "files/work_folder.h"

namespace tickora {
namespace {

bool IsPartialPageName(std::string_view name) {
    constexpr std::string_view kPart = ".part";
    return name.size() > kPart.size() && name.substr(name.size() - kPart.size()) == kPart;
}

}  // namespace

int RemovePartialPages(const WorkLock& held) {
    if (!held.Held()) {
        return 0;
    }
    const std::string work = kWorkFolder;
    int removed = RemoveRegularFilesIn(work, IsPartialPageName);
    for (int thousands = 1000; thousands <= 9000; thousands += 1000) {
        removed += RemoveRegularFilesIn(work + "/fundamental/" + std::to_string(thousands),
                                        IsPartialPageName);
    }
    return removed;
}

}  // namespace tickora
