// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A job is a function of what it works with: the list, the market table, the settings, the view
// that shows its progress, the cancel flag and the pacer its requests share, and its options. The
// document builds the context, runs the job on its worker and keeps the outcome; a front-end
// never needs more.
#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "catalog/app_settings.h"
#include "catalog/market_table.h"
#include "catalog/stock_list.h"
#include "jobs/job_outcome.h"
#include "jobs/tickora_view.h"
#include "web/page_pool.h"
#include "web/site_access.h"
#include "web/transfer_control.h"

namespace tickora {

struct JobContext {
    CStockList& stocks;
    CMarketTable& markets;
    const CAppSettings& settings;
    ITickoraView& view;
    // Cancel sets it. The document clears it before the job's worker starts, so a job never
    // does: a Cancel pressed at once is not lost.
    std::atomic<bool>& cancel;
    // Spaces the starts of all the job's requests, on every connection.
    Pacer& pacer;
    // The outcome as the job builds it: a job cut short by an exception still tells what it did.
    JobOutcome& outcome;
    // With a retry, the job asks only these stocks, in the list's order.
    bool retry = false;
    std::vector<int> retryCodes;
    // The daily fetch says here whether the records now hold a whole run's quotes.
    std::atomic<bool>* quotesWhole = nullptr;
    // How the job reaches the site: its page pool and its URLs are made from this.
    SiteAccess access;
    // Jobs run one after another as steps of one routine share this pool, made with the same
    // access, pacer and Cancel: each later step finds the site's connection open and known to
    // speak HTTP/2, instead of opening its own and sending its first request alone.
    std::shared_ptr<PagePool> sharedPages;

    // What each download of the job obeys: its Cancel and its pacer.
    [[nodiscard]] TransferControl Transfers() const { return {pacer, CancelToken(cancel)}; }
};

// The pool a job asks its pages of: the routine's shared one, or its own for the job's length.
// A job that ends early leaves nothing in a shared pool: its pages not yet waited for are
// dropped, as its own pool's end would drop them.
class JobPages {
  public:
    explicit JobPages(const JobContext& context);
    ~JobPages();
    JobPages(const JobPages&) = delete;
    JobPages& operator=(const JobPages&) = delete;

    [[nodiscard]] PagePool& Pool() { return m_pool; }

  private:
    std::optional<PagePool> m_own;
    PagePool& m_pool;
};

// Starts the outcome of a job afresh; unit is what its items count: "stocks" or "pages".
JobOutcome& BeginOutcome(JobContext& context, const char* job, const char* unit);

// The daily fetch ("fetch") and the performance job ("performance"): one pass over the blocks
// of the list, each block's page read into its records, then the day's file.
JobOutcome FetchDailyQuotes(JobContext& context);
JobOutcome FetchPerformance(JobContext& context);

// The day's check ("check") of the stored day file and histories against the exchange's rules
// and each other (jobs/check_job.cpp): reads only, downloads nothing.
JobOutcome CheckStoredFiles(JobContext& context);

// The list job ("fetchlist"): the site's listing pages and the profiles of their stocks make
// fetchlist.csv (or the list of added stocks).
JobOutcome MakeFetchList(JobContext& context, const JobOptions& options);

// The profile job ("profiles"): every stock's profile page into the dictionary.
JobOutcome GetProfiles(JobContext& context, const JobOptions& options);

// The history job ("kdt"): one stock's history into the current folder, or every stock's into
// the data folder. KdtRefusal says why it cannot begin with these options (empty when it can):
// the job then did no work at all.
[[nodiscard]] std::string KdtRefusal(const JobContext& context, const JobOptions& options);
JobOutcome MakeKdt(JobContext& context, const JobOptions& options);

}  // namespace tickora
