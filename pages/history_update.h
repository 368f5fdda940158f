// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A stock's KDT file brought up to date from the first page of its history table alone, when
// that gives the very file a fetch of every page would write now; otherwise the stock is fetched
// in full.
//
// A full fetch of d days reads ceil(d / 50) pages of 50 rows, newest first, and writes every day
// of the pages it read, stopping early at a page without days: the newest min(history, 50 *
// pages) days. Page 0 holds the newest 50. When the days it shares with the file are the same
// in all eight fields, nothing older has been rewritten since the file was written (a split or an
// adjustment rewrites the days before it, the newest of them included), so the history now is the
// file's older days followed by page 0's.
#include <span>
#include <vector>

#include "formats/kdt_file.h"

namespace tickora {

enum class HistoryUpdateOutcome {
    kUpdated,      // the days are what a full fetch would write now
    kNoFileDays,   // the file holds no day (missing, unreadable or malformed: see ReadKdtFile)
    kNoPageDays,   // page 0 holds no day, so a full fetch ends there too
    kBadPage,      // page 0's days are not one after another, newest first
    kGap,          // page 0 does not reach back to the file's newest day
    kDayDiffers,   // a day page 0 shares with the file differs, or one of the two lacks it
    kOlderGone,    // page 0 is the whole table, yet the file holds days older than it
    kMayBeLonger,  // fewer days than asked for, and nothing shows that the table ends there
};

struct HistoryUpdate {
    HistoryUpdateOutcome outcome = HistoryUpdateOutcome::kNoFileDays;
    std::vector<CKdtDay> days;  // oldest first: the new file, when kUpdated
};

// fileDays: the stock's file as ReadKdtFile gives it, oldest first. firstPage: the day slots of
// page 0 as ParseHistoryPage filled them, newest first. daysAsked: the days of the request.
[[nodiscard]] HistoryUpdate UpdateHistoryFromFirstPage(std::span<const CKdtDay> fileDays,
                                                       std::span<const CKdtDay> firstPage,
                                                       int daysAsked);

// "updated", "gap", ...: for summaries and logs.
[[nodiscard]] const char* HistoryUpdateOutcomeName(HistoryUpdateOutcome outcome);

}  // namespace tickora
