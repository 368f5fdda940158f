// SPDX-License-Identifier: GPL-3.0-or-later
#include <cerrno>
#include <cstdio>
#include <memory>

#include "jobs/html_job.h"
#include "jobs/job_context.h"
#include "jobs/job_steps.h"
#include "jobs/page_ahead.h"
#include "jobs/profile_fetch.h"
#include "pages/list_pages.h"
#include "pages/page_check.h"
#include "pages/profile_page.h"
#include "web/hosts.h"
#include "files/work_folder.h"

namespace tickora {
namespace {

constexpr const char* kListKept = "the list is kept";
constexpr const char* kMarketKept = "its market kept";
constexpr const char* kNoListingRows = "the page holds no listing rows";
// The plan's item for listing pages; a profile page's item is its stock's code.
constexpr int kListingItem = -1;

class FetchListJob : HtmlJob {
  public:
    FetchListJob(JobContext& context, const JobOptions& options) : HtmlJob(context, options) {}

    JobOutcome Run();

  private:
    // Listing page i, then the profile pages of its stocks. False when the job ends there.
    bool ReadListing(int i);
    // Whether listing page i is there to be read, naming why not; false in stop when the job
    // ends at it.
    bool TakeListingPage(int i, bool& stop);
    // Where a failure of listing page i is to be looked for.
    [[nodiscard]] std::string WhereIs(int i) const;
    // Marks the stocks of listing page i that the list knows, and completes the markets of the
    // others from their profile pages, planning the next listing page between.
    void CompleteMarkets(int i, CListPage& page);
    // Hears of each profile page: a page that did not arrive is named, and a network that is
    // gone stops the job rather than costing every stock its own failure.
    bool ObserveProfile(const ProfileStep& step);
    void WriteOrKeepList();

    std::unique_ptr<CListPages> m_pages;
    PageAhead* m_ahead = nullptr;
    ProfilesAhead* m_profiles = nullptr;
    // The list is replaced only by a run that read the whole listing, every page of it whole.
    bool m_everyPageRead = true;
    bool m_endOfList = false;
    FailureStreak m_transfers;
};

JobOutcome FetchListJob::Run() {
    ITickoraView& view = m_context.view;
    BeginOutcome(m_context, "fetchlist", "pages");
    CreateWorkFolder();
    m_pages = std::make_unique<CListPages>(m_context.access.hosts.quote);
    m_outcome.itemsTotal = m_pages->m_nPages;
    view.ShowCounts(0, 0);
    view.SetProgressRange(m_pages->m_nPages);
    view.SetProgressStep(1);
    ShowItems(m_outcome, view);

    // Listing page i, then the profile pages of its stocks, then listing page i + 1: planned in
    // that order as each listing page tells which stocks it holds.
    JobPages pages(m_context);
    PagePool& pool = pages.Pool();
    PageAhead ahead(pool);
    ProfilesAhead profiles(ahead, m_context.access, m_keepHtml, m_useKeptHtml);
    m_ahead = &ahead;
    m_profiles = &profiles;
    if (!m_useKeptHtml) {
        ahead.Plan(m_pages->GetPageUrl(0), m_pages->GetPagePath(0), kListingItem);
    }
    for (int i = 0; i < m_pages->m_nPages && ReadListing(i); ++i) {
    }
    // The end-of-list row stops the page loop the way Cancel does; the flag is left for the next
    // job to clear, as it always was.
    if (m_endOfList) {
        m_context.cancel = true;
    }
    WriteOrKeepList();
    m_pages.reset();
    return m_outcome;
}

std::string FetchListJob::WhereIs(int i) const {
    return m_useKeptHtml ? AbsolutePath(m_pages->GetPagePath(i)) : m_pages->GetPageUrl(i);
}

bool FetchListJob::TakeListingPage(int i, bool& stop) {
    const std::string what = "listing page " + PageNumberText(i);
    if (m_useKeptHtml) {
        const char* path = m_pages->GetPagePath(i);
        if (PathExists(path)) {
            return true;
        }
        m_outcome.Fail(what, FileCause(path, ENOENT), AbsolutePath(path), kListKept);
        return false;
    }
    // A refused request writes nothing: the page an earlier run left here must not be read as
    // today's listing.
    DownloadDetail detail;
    if (m_ahead->Next(detail) != 0) {
        stop = true;
        if (detail.failure == PageFailure::kCancelled) {
            m_outcome.end = JobEnd::kCancelled;
        } else {
            m_outcome.StopAt(
                m_outcome.Fail(what, CauseOf(detail), m_pages->GetPageUrl(i), kListKept));
        }
        return false;
    }
    if (!detail.Ok()) {
        m_outcome.Fail(what, CauseOf(detail), m_pages->GetPageUrl(i), kListKept);
        return false;
    }
    return true;
}

bool FetchListJob::ReadListing(int i) {
    m_context.view.StepProgress();
    const char* path = m_pages->GetPagePath(i);
    const std::string what = "listing page " + PageNumberText(i);
    bool stop = false;
    bool pageThere = TakeListingPage(i, stop);
    if (stop) {
        return false;
    }
    // A page cut short or holding a NUL would give the rows before the break and lose the rest:
    // judged before a row of it is taken.
    const PageCheck check =
        pageThere ? CheckPageFile(path, kListPageLimit, kLowerCaseTable) : PageCheck{};
    if (!check.Whole()) {
        pageThere = false;
        m_outcome.Fail(what,
                       check.shape == PageShape::kNoTable ? kNoListingRows : PageShapeCause(check),
                       WhereIs(i), kListKept);
    }
    m_everyPageRead = m_everyPageRead && pageThere;
    CListPage& page = *m_pages->GetPage(i);
    if (check.Whole() && ParseListPage(path, page) == -2) {
        m_endOfList = true;
    }
    if (pageThere && !m_endOfList && page.ProfileCodes(false).empty()) {
        // A listing page that arrived but holds no stock, before the end of the listing: a
        // maintenance page, or a layout the parser no longer knows. Its 50 stocks are missing,
        // so the list it would make is not the whole listing.
        m_everyPageRead = false;
        m_outcome.Fail(what, kNoListingRows, WhereIs(i), kListKept);
    }
    CompleteMarkets(i, page);
    CountItems(m_outcome, 1, m_context.view);
    if (m_outcome.end != JobEnd::kCompleted) {
        return false;
    }
    if (m_endOfList) {
        // The listing ends here: the pages after it were never part of the work.
        m_outcome.itemsTotal = m_outcome.itemsDone;
        return false;
    }
    return GoesOn(m_outcome, m_context.cancel);
}

void FetchListJob::CompleteMarkets(int i, CListPage& page) {
    m_pages->MarkKnownStocks(i, m_context.stocks);
    // Markets are completed for the list about to be written; once a page is missing, only the
    // list of added stocks still is.
    const bool completing = m_everyPageRead || m_addedOnly;
    if (completing) {
        for (const int code : page.ProfileCodes(m_addedOnly)) {
            m_profiles->Plan(code);
        }
    }
    if (!m_useKeptHtml && !m_endOfList && i + 1 < m_pages->m_nPages) {
        m_ahead->Plan(m_pages->GetPageUrl(i + 1), m_pages->GetPagePath(i + 1), kListingItem);
    }
    if (completing) {
        (void)FetchMarketsFromProfiles(
            page, *m_profiles, m_addedOnly, m_context.markets,
            [this](const ProfileStep& step) { return ObserveProfile(step); });
    }
}

bool FetchListJob::ObserveProfile(const ProfileStep& step) {
    if (step.download.failure == PageFailure::kCancelled) {
        return false;
    }
    const bool streakEnds = m_transfers.Note(TransferFailed(step.download));
    ItemFailure* failure = nullptr;
    const std::string what = "the profile of " + CodeText(step.code);
    if (!step.download.Ok()) {
        failure = &m_outcome.Fail(what, CauseOf(step.download), step.url, kMarketKept);
    } else if (step.parsed != kProfileRead) {
        failure = &m_outcome.Fail(what, ProfileCause(step.parsed, step.path),
                                  step.url.empty() ? AbsolutePath(step.path) : step.url,
                                  kMarketKept);
    }
    if (failure == nullptr) {
        return true;
    }
    failure->codes = {step.code};
    if (streakEnds) {
        m_outcome.StopAt(*failure);
        return false;
    }
    return true;
}

void FetchListJob::WriteOrKeepList() {
    const bool wholeListing = m_everyPageRead && m_outcome.end == JobEnd::kCompleted &&
                              (m_endOfList || m_outcome.itemsDone == m_pages->m_nPages);
    if (!m_addedOnly && !wholeListing) {
        const char* why = m_outcome.Cancelled()                  ? "cancelled before the listing ended"
                          : m_outcome.end != JobEnd::kCompleted ? "the listing was not read to its end"
                                                                 : "a listing page was not read";
        if (PathExists(kFetchListPath)) {
            m_outcome.AddFile(kFetchListPath, FileState::kKept, why);
        }
        return;
    }
    const ListWriteResult written = m_pages->WriteList(m_addedOnly, m_context.markets);
    for (const std::string& file : written.filesWritten) {
        m_outcome.AddFile(file, FileState::kWritten);
    }
    m_outcome.stocksListed = written.stocksWritten;
    if (!m_addedOnly && !written.filesWritten.empty()) {
        // The next Fetch is for the new list, not the one read at start-up.
        (void)m_context.stocks.Load(m_context.markets, m_context.access.hosts.quote.c_str(), kFetchListPath,
                                    &m_outcome.warnings);
    }
    if (written.filesWritten.empty() && !written.writeFailed) {
        // An empty listing (a site without stocks, say) never wipes out the user's list.
        m_outcome.AddFile(kFetchListPath, FileState::kKept, "no stock was listed");
    } else if (written.writeFailed) {
        const std::string path = m_addedOnly ? AddListPath() : kFetchListPath;
        m_outcome.AddFile(path, FileState::kFailed, "it could not be written");
        m_outcome.Fail(path, "the list could not be written", AbsolutePath(path), kListKept);
    }
}

}  // namespace

JobOutcome MakeFetchList(JobContext& context, const JobOptions& options) {
    return FetchListJob(context, options).Run();
}

}  // namespace tickora
