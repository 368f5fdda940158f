// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The rules one stock's price history keeps: a row for every trading day from its first to its
// last and none on another day, no day's move beyond the daily limit that no split explains, and
// a last day no older than the day checked.
#include <span>
#include <vector>

#include "checks/check_finding.h"
#include "formats/kdt_file.h"

namespace tickora {

struct HistoryCheck {
    int code = 0;
    bool index = false;  // an index has no daily limit
    int checkedDay = 0;  // day number of the trading day checked
    // The update before the check reported this history current: a stale one is then a warning,
    // otherwise a notice.
    bool reportedCurrent = false;
};

// Appends what the history (oldest day first, as ReadKdtFile gives it) breaks to findings, in
// date order. A run of missing trading days is one finding. A row on a closed day is no day of
// the history for the other rules, and a move is only held against the limit from the trading
// day just before: after a gap the limit of each day in it is unknown.
void CheckHistory(const HistoryCheck& check, std::span<const CKdtDay> days,
                  std::vector<CheckFinding>& findings);

}  // namespace tickora
