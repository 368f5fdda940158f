// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the site's market is, in forms the tests compare the program's output with.
#include <map>
#include <string>
#include <vector>

#include "site/market_model.h"

namespace tickora::site {

// One listing row's truth: column name -> the text the dump writes for it (texts unquoted).
using TruthRow = std::map<std::string, std::string>;
// The dump's columns, in the order it writes them.
[[nodiscard]] const std::vector<std::string>& TruthColumns();
// What the pages show of one listing row.
[[nodiscard]] TruthRow TruthOf(const MarketModel& model, const Stock& stock);
// Every listing row's truth, in listing order: what tests compare with, without a file between.
[[nodiscard]] std::vector<TruthRow> TruthRows(const MarketModel& model);

// The truth dump: one CSV line per listing row with what its pages show. False when the file
// cannot be written.
[[nodiscard]] bool WriteTruthCsv(const MarketModel& model, const std::string& path);

// The "fetchlist.csv" a fetch-list run over the site writes (Shift-JIS, CR LF).
[[nodiscard]] std::string FetchListOf(const MarketModel& model);

}  // namespace tickora::site
