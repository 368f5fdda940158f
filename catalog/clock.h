// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// "Today" in local time, with a hook so that tests can pin the date.
#include <optional>

namespace tickora {

struct LocalDate {
    int year = 0;   // with century
    int month = 0;  // 1..12
    int day = 0;    // 1..31
};

[[nodiscard]] LocalDate Today();

// Pins Today() to a fixed date (nullopt restores the system clock). For tests and the demo.
void SetTodayForTesting(std::optional<LocalDate> date);

}  // namespace tickora
