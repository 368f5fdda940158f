// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The pages of one stock's history, from the first to where the history ends: planned on the
// page pool, read in table order, and with "差分更新" proven against the stored file. The history
// job (jobs/kdt_job.cpp) writes what comes of it.
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "formats/kdt_file.h"
#include "jobs/page_ahead.h"
#include "jobs/tickora_view.h"
#include "pages/history_page.h"
#include "web/download.h"

namespace tickora {

enum class PagingEnd { kAllPages, kNoMoreDays, kPageFailed, kCancelled, kUpdated, kNumberFault };

struct Paging {
    PagingEnd end = PagingEnd::kAllPages;
    int pagesRead = 0;
    int failedPage = -1;
    DownloadDetail detail;  // of the failed page
    std::string pageFault;  // why a page that arrived whole is no page of the history
};

// One stock's history on its way: its request, and with "差分更新" the days of its stored file,
// which page 0 and the pages that prove the candidate may bring up to date.
struct StockHistory {
    std::unique_ptr<CKdtRequest> request;
    int item = 0;
    bool fromFirstPage = false;  // only page 0 (and aheadPage) was planned
    int aheadPage = -1;          // a proof page planned with page 0, not yet read
    std::vector<CKdtDay> stored;
    std::vector<CKdtDay> updated;  // the new file when the update was proven
    std::vector<bool> read;        // the pages already read, by index
};

// Plans the pages of a stock: page 0 alone when its stored file may be brought up to date from
// it, else every page. A stored file as long as a full fetch keeps will be proven on the last
// page, which is asked for at once so that it travels beside page 0.
void PlanHistory(StockHistory& history, PageAhead& ahead, bool update, bool inDataFolder);

// Fetches and parses the pages of one stock in table order until the history runs out, a page
// fails, Cancel is asked or all pages are read. stepEachPage drives the bar per page (one-stock
// mode); pageRead hears of every page read.
[[nodiscard]] Paging FetchHistory(StockHistory& history, PageAhead& ahead, int days,
                                  const std::atomic<bool>& cancel, ITickoraView& view,
                                  bool stepEachPage, const std::function<void()>& pageRead);

}  // namespace tickora
