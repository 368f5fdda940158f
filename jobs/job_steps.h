// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Small steps that several job bodies share.
#include <atomic>
#include <set>
#include <string>
#include <vector>

#include "catalog/stock_list.h"
#include "jobs/job_outcome.h"
#include "jobs/tickora_view.h"
#include "web/download.h"

namespace tickora {

// The stocks of a block, in slot order.
[[nodiscard]] std::vector<int> CodesOf(const CQuoteBlock& block);
// "50 stocks of block 3".
[[nodiscard]] std::string BlockItem(const CQuoteBlock& block);
// Records that the page of a block failed, for every stock of the block.
ItemFailure& FailBlock(JobOutcome& outcome, const CQuoteBlock& block, const std::string& cause,
                       const std::string& url, const std::string& action);
// A block page that did not arrive ends the block loop: as Cancel when Cancel cut it short,
// otherwise as a failure that stopped the job.
void EndAtBlock(JobOutcome& outcome, const CQuoteBlock& block, const DownloadDetail& detail,
                const std::string& url, const std::string& action);
// Whether a block job read every block it set out to read: it ran to the end of its list and no
// block failed. Its file is then the day's whole one.
[[nodiscard]] bool RanWhole(const JobOutcome& outcome);
// Records the day's file that a block job wrote, and when the run was not whole, where the
// day's whole file now lies if there is one. asideBefore: the numbered backups beside it before
// the write (NumberedBackupsOf), so that one the write had to make is named.
void AddDayFile(JobOutcome& outcome, const std::string& path, bool whole,
                const std::vector<std::string>& asideBefore = {});
// FileCause for the day's file, whose writer may also refuse to give up a version.
[[nodiscard]] std::string DayFileCause(const std::string& path, int error);
// "2026/12/4": the date of block 0's quotes, which names the daily and FN files.
[[nodiscard]] std::string QuoteDateOf(const CStockList& stocks);
// "<path>: <the system's words for error>".
[[nodiscard]] std::string FileCause(const std::string& path, int error);
// Whether something lies at path; a path that cannot even be examined counts as absent.
[[nodiscard]] bool PathExists(const std::string& path);
// Why a profile page was not read: ParseProfilePage's result in words, with the path of a kept
// page that is missing.
[[nodiscard]] std::string ProfileCause(int parsed, const std::string& path);
// "%04d".
[[nodiscard]] std::string CodeText(int code);
// The number a person reads for the page of this index: pages are counted from 1, while the
// indexes and the work files of Webtemp ("kdttemp-000.html") count from 0.
[[nodiscard]] std::string PageNumberText(int index);

// Why a job over the stocks of the list does not start when the list holds none.
inline constexpr const char* kEmptyListRefusal =
    "fetchlist.csv has no stocks, so there is nothing to fetch";

// The stocks a job over the list asks: all of them, or with a retry only the given ones.
class StockFilter {
  public:
    StockFilter(bool limited, const std::vector<int>& codes)
        : m_limited(limited), m_codes(codes.begin(), codes.end()) {}
    // Whether the job asks this stock; remembers it as found in the list.
    [[nodiscard]] bool Asks(int code);
    // A warning naming the stocks to retry that the list no longer holds.
    void NoteMissing(JobOutcome& outcome) const;

  private:
    bool m_limited;
    std::set<int> m_codes;
    std::set<int> m_found;
};

// Failed transfers in a row after which a job that goes on past a failed page stops anyway:
// the site or the network is gone, and every further page would fail the same way (a minute
// each when the site stalls).
inline constexpr int kTransferFailuresInARow = 3;

// Whether a page did not arrive because its transfer failed (no answer, a cut, a stall). A
// status the site answered with is the site's word about that one page, and Cancel is the
// user's: neither says that the network is gone.
[[nodiscard]] bool TransferFailed(const DownloadDetail& detail);

// Failures of one kind in a row; the job stops when they reach kTransferFailuresInARow.
class FailureStreak {
  public:
    // One more page (or record) of the kind: true when the streak now stops the job.
    [[nodiscard]] bool Note(bool failed) {
        m_inARow = failed ? m_inARow + 1 : 0;
        return m_inARow >= kTransferFailuresInARow;
    }

  private:
    int m_inARow = 0;
};

// Tells the view how many of the job's items have ended, in the outcome's units.
void ShowItems(const JobOutcome& outcome, ITickoraView& view);
// Items have ended: counts them and tells the view.
void CountItems(JobOutcome& outcome, int items, ITickoraView& view);
// After an item: false when the job ends here, because it stopped or because Cancel was asked
// (which the outcome then records).
[[nodiscard]] bool GoesOn(JobOutcome& outcome, const std::atomic<bool>& cancel);

}  // namespace tickora
