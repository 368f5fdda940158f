// SPDX-License-Identifier: GPL-3.0-or-later
#include <cerrno>
#include <cstdio>
#include <memory>

#include "jobs/job_steps.h"
#include "jobs/page_ahead.h"
#include "jobs/tickora_doc.h"
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

}  // namespace

void CTickoraDoc::RunMakeFetchList() {
    ITickoraView& view = View();
    ListOptions options;
    if (!view.AskListOptions(options)) {
        EndJobWithoutWork("fetchlist");
        return;
    }
    // Kept pages are read from the kept-page paths, so using them implies keeping them.
    m_bKeepHtml = (options.keepHtml || options.useKeptHtml) ? 1 : 0;
    m_bAddedOnly = options.addedOnly ? 1 : 0;
    m_bUseKeptHtml = options.useKeptHtml ? 1 : 0;
    const bool useKeptHtml = m_bUseKeptHtml != 0;

    JobOutcome& outcome = BeginOutcome("fetchlist", "pages");
    CreateWorkFolder();
    auto pages = std::make_unique<CListPages>(Hosts().quote);
    outcome.itemsTotal = pages->m_nPages;
    view.ShowCounts(0, 0);
    view.SetProgressRange(pages->m_nPages);
    view.SetProgressStep(1);
    m_bCancel = false;
    ItemDone();

    // The list is replaced only by a run that read the whole listing, every page of it whole.
    bool everyPageRead = true;
    bool endOfList = false;
    FailureStreak transfers;
    // Hears of each profile page: a page that did not arrive is named, and a network that is
    // gone stops the job rather than costing every stock its own failure.
    auto observeProfile = [&](const ProfileStep& step) {
        if (step.download.failure == PageFailure::kCancelled) {
            return false;
        }
        const bool streakEnds = transfers.Note(TransferFailed(step.download));
        ItemFailure* failure = nullptr;
        const std::string what = "the profile of " + CodeText(step.code);
        if (!step.download.Ok()) {
            failure = &outcome.Fail(what, CauseOf(step.download), step.url, kMarketKept);
        } else if (step.parsed != kProfileRead) {
            failure =
                &outcome.Fail(what, ProfileCause(step.parsed, step.path),
                              step.url.empty() ? AbsolutePath(step.path) : step.url, kMarketKept);
        }
        if (failure != nullptr) {
            failure->codes = {step.code};
            if (streakEnds) {
                outcome.StopAt(*failure);
                return false;
            }
        }
        return true;
    };

    // Listing page i, then the profile pages of its stocks, then listing page i + 1: planned in
    // that order as each listing page tells which stocks it holds.
    PagePool pool;
    PageAhead ahead(pool);
    ProfilesAhead profiles(ahead, m_bKeepHtml != 0, useKeptHtml);
    constexpr int kListingItem = -1;
    if (!useKeptHtml) {
        ahead.Plan(pages->GetPageUrl(0), pages->GetPagePath(0), kListingItem);
    }
    for (int i = 0; i < pages->m_nPages; ++i) {
        view.StepProgress();
        const char* path = pages->GetPagePath(i);
        const std::string what = "listing page " + std::to_string(i);
        bool pageThere = true;
        if (!useKeptHtml) {
            // A refused request writes nothing: the page an earlier run left here must not be
            // read as today's listing.
            DownloadDetail detail;
            if (ahead.Next(detail) != 0) {
                if (detail.failure == PageFailure::kCancelled) {
                    outcome.end = JobEnd::kCancelled;
                    break;
                }
                outcome.StopAt(
                    outcome.Fail(what, CauseOf(detail), pages->GetPageUrl(i), kListKept));
                break;
            }
            if (!detail.Ok()) {
                pageThere = false;
                outcome.Fail(what, CauseOf(detail), pages->GetPageUrl(i), kListKept);
            }
        } else if (!PathExists(path)) {
            pageThere = false;
            outcome.Fail(what, FileCause(path, ENOENT), AbsolutePath(path), kListKept);
        }
        // A page cut short or holding a NUL would give the rows before the break and lose the
        // rest: judged before a row of it is taken.
        const PageCheck check =
            pageThere ? CheckPageFile(path, kListPageLimit, kLowerCaseTable) : PageCheck{};
        if (!check.Whole()) {
            pageThere = false;
            outcome.Fail(what,
                         check.shape == PageShape::kNoTable ? kNoListingRows
                                                            : PageShapeCause(check),
                         useKeptHtml ? AbsolutePath(path) : pages->GetPageUrl(i), kListKept);
        }
        everyPageRead = everyPageRead && pageThere;
        CListPage& page = *pages->GetPage(i);
        if (check.Whole() && ParseListPage(path, page) == -2) {
            endOfList = true;
        }
        if (pageThere && !endOfList && page.ProfileCodes(false).empty()) {
            // A listing page that arrived but holds no stock, before the end of the listing: a
            // maintenance page, or a layout the parser no longer knows. Its 50 stocks are
            // missing, so the list it would make is not the whole listing.
            everyPageRead = false;
            outcome.Fail(what, kNoListingRows,
                         useKeptHtml ? AbsolutePath(path) : pages->GetPageUrl(i), kListKept);
        }
        pages->MarkKnownStocks(i, m_stocks);
        // Markets are completed for the list about to be written; once a page is missing, only
        // the list of added stocks still is.
        const bool completing = everyPageRead || m_bAddedOnly != 0;
        if (completing) {
            for (const int code : page.ProfileCodes(m_bAddedOnly != 0)) {
                profiles.Plan(code);
            }
        }
        if (!useKeptHtml && !endOfList && i + 1 < pages->m_nPages) {
            ahead.Plan(pages->GetPageUrl(i + 1), pages->GetPagePath(i + 1), kListingItem);
        }
        if (completing) {
            (void)page.FetchMarketsFromProfiles(m_bKeepHtml != 0, m_bAddedOnly != 0, useKeptHtml,
                                                m_markets, observeProfile, &profiles);
        }
        CountItems(outcome, 1, view);
        if (outcome.end != JobEnd::kCompleted) {
            break;
        }
        if (endOfList) {
            // The listing ends here: the pages after it were never part of the work.
            outcome.itemsTotal = outcome.itemsDone;
            break;
        }
        if (!GoesOn(outcome, m_bCancel)) {
            break;
        }
    }
    // The end-of-list row stops the page loop the way Cancel does; the flag is left for the next
    // job to clear, as it always was.
    if (endOfList) {
        m_bCancel = true;
    }

    const bool wholeListing = everyPageRead && outcome.end == JobEnd::kCompleted &&
                              (endOfList || outcome.itemsDone == pages->m_nPages);
    if (m_bAddedOnly != 0 || wholeListing) {
        const ListWriteResult written = pages->WriteList(m_bAddedOnly != 0, m_markets);
        for (const std::string& file : written.filesWritten) {
            outcome.AddFile(file, FileState::kWritten);
        }
        outcome.stocksListed = written.stocksWritten;
        if (m_bAddedOnly == 0 && !written.filesWritten.empty()) {
            // The next Fetch is for the new list, not the one read at start-up.
            (void)m_stocks.Load(m_markets, Hosts().quote.c_str(), kFetchListPath,
                                &outcome.warnings);
        }
        if (written.filesWritten.empty() && !written.writeFailed) {
            // An empty listing (a site without stocks, say) never wipes out the user's list.
            outcome.AddFile(kFetchListPath, FileState::kKept, "no stock was listed");
        } else if (written.writeFailed) {
            const std::string path = m_bAddedOnly != 0 ? AddListPath() : kFetchListPath;
            outcome.AddFile(path, FileState::kFailed, "it could not be written");
            outcome.Fail(path, "the list could not be written", AbsolutePath(path), kListKept);
        }
    } else {
        const char* why = outcome.Cancelled() ? "cancelled before the listing ended"
                          : outcome.end != JobEnd::kCompleted
                              ? "the listing was not read to its end"
                              : "a listing page was not read";
        if (PathExists(kFetchListPath)) {
            outcome.AddFile(kFetchListPath, FileState::kKept, why);
        }
    }
    pages.reset();
    EndJob();
}

}  // namespace tickora
