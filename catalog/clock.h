// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// "Today" in local time, with a hook so that tests can pin the date.
#include <optional>

#include "exchange/calendar_date.h"

namespace tickora {

using LocalDate = CalendarDate;

[[nodiscard]] LocalDate Today();

// Pins Today() to a fixed date (nullopt restores the system clock). For tests and the demo.
void SetTodayForTesting(std::optional<LocalDate> date);

}  // namespace tickora
