// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalog/clock.h"

#include <ctime>
#include <mutex>

namespace tickora {
namespace {

std::mutex g_pinMutex;
std::optional<LocalDate> g_pinned;

}  // namespace

LocalDate Today() {
    {
        std::lock_guard lock(g_pinMutex);
        if (g_pinned) {
            return *g_pinned;
        }
    }
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    if (localtime_r(&now, &local) == nullptr) {
        return {1970, 1, 1};
    }
    return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday};
}

void SetTodayForTesting(std::optional<LocalDate> date) {
    std::lock_guard lock(g_pinMutex);
    g_pinned = date;
}

}  // namespace tickora
