// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A stock's KDT file brought up to date from the first page of its history table and at most
// two more, when those prove it the very file a fetch of every page would write now; otherwise
// the stock is fetched in full.
//
// A full fetch of d days reads ceil(d / 50) pages of 50 rows, newest first, and writes every day
// of the pages it read, stopping early at a page without days: the newest min(history, 50 *
// pages) days. Page 0 holds the newest 50. When the days it shares with the file are the same
// in all eight fields, the candidate is the file's older days followed by page 0's, cut to what
// a full fetch keeps.
//
// Page 0 alone cannot see a split older than itself: the site rewrites every day before a split
// (halved prices, doubled volume), and those days may all lie beyond page 0. So the candidate's
// oldest day is checked where a full fetch would read it now: the page holding it must show the
// candidate's days in the very rows the candidate puts them, and, when the candidate is shorter
// than a full fetch keeps, the table must end right after it. A rewrite since the file was
// written changes that oldest day (it changes every day before its date), and a file with days
// missing or of another table puts its days in other rows: either sends the stock to a full
// fetch. Only a correction of single days in the middle would pass unseen, which no site makes
// without a split.
#include <span>
#include <vector>

#include "formats/kdt_file.h"

namespace tickora {

enum class HistoryUpdateOutcome {
    kUpdated,         // the days are what a full fetch would write now
    kToProve,         // they are, if the proof pages agree (ProofPageAgrees)
    kNoFileDays,      // the file holds no day (missing, unreadable or malformed: see ReadKdtFile)
    kNoPageDays,      // page 0 holds no day, so a full fetch ends there too
    kBadPage,         // page 0's days are not one after another, newest first
    kGap,             // page 0 does not reach back to the file's newest day
    kDayDiffers,      // a day page 0 shares with the file differs, or one of the two lacks it
    kOlderGone,       // page 0 is the whole table, yet the file holds days older than it
    kOlderRewritten,  // a proof page differs from the file's older days, or the table goes on
};

struct HistoryUpdate {
    HistoryUpdateOutcome outcome = HistoryUpdateOutcome::kNoFileDays;
    std::vector<CKdtDay> days;    // oldest first: the new file, when kUpdated or kToProve
    std::vector<int> proofPages;  // ascending, never page 0: the pages to ask, when kToProve
};

// fileDays: the stock's file as ReadKdtFile gives it, oldest first. firstPage: the day slots of
// page 0 as ParseHistoryPage filled them, newest first. daysAsked: the days of the request.
[[nodiscard]] HistoryUpdate UpdateHistoryFromFirstPage(std::span<const CKdtDay> fileDays,
                                                       std::span<const CKdtDay> firstPage,
                                                       int daysAsked);

// Whether proof page `page` (its slots as ParseHistoryPage filled them; none for a page without
// days) holds exactly the candidate's days of its rows, and no more.
[[nodiscard]] bool ProofPageAgrees(const HistoryUpdate& update, int page,
                                   std::span<const CKdtDay> slots);

// "updated", "gap", ...: for summaries and logs.
[[nodiscard]] const char* HistoryUpdateOutcomeName(HistoryUpdateOutcome outcome);

}  // namespace tickora
