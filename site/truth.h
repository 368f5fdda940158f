// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the site's market is, in forms the tests compare the program's output with.
#include <string>

#include "site/market_model.h"

namespace tickora::site {

// The truth dump: one CSV line per listing row with what its pages show. False when the file
// cannot be written.
[[nodiscard]] bool WriteTruthCsv(const MarketModel& model, const std::string& path);

// The "fetchlist.csv" a fetch-list run over the site writes (Shift-JIS, CR LF).
[[nodiscard]] std::string FetchListOf(const MarketModel& model);

}  // namespace tickora::site
