// SPDX-License-Identifier: GPL-3.0-or-later
#include "jobs/kdt_paging.h"

#include "jobs/job_steps.h"
#include "pages/history_update.h"
#include "pages/number_range.h"
#include "pages/page_check.h"

namespace tickora {
namespace {

void ClearDays(CKdtPage& page) {
    for (CKdtDay& day : page.m_aDays) {
        day.Clear();
    }
}

// Takes the next planned page of the stock, page j, and reads its days. kAllPages when the page
// holds days; otherwise how the paging ends there. A page that is no page of the history leaves
// no day behind in its slots.
PagingEnd ReadPage(StockHistory& history, PageAhead& ahead, int j, ITickoraView& view,
                   bool stepEachPage, Paging& paging) {
    CKdtRequest& request = *history.request;
    if (stepEachPage) {
        view.StepProgress();
    }
    // The work files serve every stock in turn: a refused page must not let the previous
    // stock's page be parsed as this one's (Next removes the work file first).
    DownloadDetail detail;
    const int result = ahead.Next(detail);
    if (detail.failure == PageFailure::kCancelled) {
        return PagingEnd::kCancelled;
    }
    if (result != 0 || !detail.Ok()) {
        // A refused page is no end of the history: it is a page that failed.
        paging.failedPage = j;
        paging.detail = detail;
        return PagingEnd::kPageFailed;
    }
    const int parsed = ParseHistoryPage(request.GetPagePath(j), request.GetPage(j));
    history.read[static_cast<std::size_t>(j)] = true;
    // Only the empty table may end a history; a maintenance notice, garbage or a page cut short
    // that came back with status 200 would cut the stored one.
    if (std::string fault = HistoryPageFault(request.GetPagePath(j), parsed); !fault.empty()) {
        ClearDays(request.GetPage(j));
        paging.failedPage = j;
        paging.detail = detail;
        paging.pageFault = std::move(fault);
        return PagingEnd::kPageFailed;
    }
    if (!request.GetPage(j).m_sNumberFault.empty()) {
        // A day the file cannot hold: the stock is not written at all, never wrapped.
        paging.failedPage = j;
        return PagingEnd::kNumberFault;
    }
    return parsed == 0 ? PagingEnd::kAllPages : PagingEnd::kNoMoreDays;
}

// With "差分更新", after page 0: the candidate from the stored file and page 0, proven on the
// pages that hold its oldest row and the table's end. kUpdated when proven; kAllPages when the
// stock must be fetched in full; any other end as the proof page ended the paging.
PagingEnd TryUpdate(StockHistory& history, PageAhead& ahead, int days, ITickoraView& view,
                    bool stepEachPage, Paging& paging, const std::function<void()>& pageRead) {
    CKdtRequest& request = *history.request;
    HistoryUpdate update = UpdateHistoryFromFirstPage(
        history.stored, std::span<const CKdtDay>(request.GetPage(0).m_aDays), days);
    if (update.outcome == HistoryUpdateOutcome::kToProve) {
        const std::vector<int>& wanted = update.proofPages;
        if (history.aheadPage >= 0 && wanted.back() != history.aheadPage) {
            ahead.DropItem(history.item);
            history.aheadPage = -1;
        }
        for (auto page = wanted.rbegin(); page != wanted.rend(); ++page) {
            if (*page != history.aheadPage) {
                ahead.PlanFirst(request.GetPageUrl(*page), request.GetPagePath(*page),
                                history.item);
            }
        }
        history.aheadPage = -1;
        bool agrees = true;
        for (const int page : wanted) {
            const PagingEnd end = ReadPage(history, ahead, page, view, stepEachPage, paging);
            if (end == PagingEnd::kCancelled || end == PagingEnd::kPageFailed) {
                return end;
            }
            ++paging.pagesRead;
            pageRead();
            agrees = agrees && ProofPageAgrees(update, page, request.GetPage(page).m_aDays);
        }
        if (agrees) {
            update.outcome = HistoryUpdateOutcome::kUpdated;
        }
    }
    if (update.outcome == HistoryUpdateOutcome::kUpdated) {
        history.updated = std::move(update.days);
        return PagingEnd::kUpdated;
    }
    // The stored file cannot be brought up to date (a split rewrote the days, a gap): the rest
    // of the history is asked for, before any other stock's pages. A page planned ahead keeps
    // its place after the others.
    for (int k = request.m_nPages - 1; k >= 1; --k) {
        if (!history.read[static_cast<std::size_t>(k)] && k != history.aheadPage) {
            ahead.PlanFirst(request.GetPageUrl(k), request.GetPagePath(k), history.item);
        }
    }
    return PagingEnd::kAllPages;
}

}  // namespace

// Plans the pages of a stock: page 0 alone when its stored file may be brought up to date from
// it, else every page. A stored file as long as a full fetch keeps will be proven on the last
// page, which is asked for at once so that it travels beside page 0.
void PlanHistory(StockHistory& history, PageAhead& ahead, bool update, bool inDataFolder) {
    const CKdtRequest& request = *history.request;
    history.read.assign(static_cast<std::size_t>(request.m_nPages), false);
    history.fromFirstPage = update && ReadKdtFile(KdtFileName(request.m_nCode, inDataFolder),
                                                  history.stored) == KdtRead::kOk;
    if (history.fromFirstPage) {
        ahead.Plan(request.GetPageUrl(0), request.GetPagePath(0), history.item);
        const int last = request.m_nPages - 1;
        if (last > 0 && history.stored.size() >= static_cast<std::size_t>(last + 1) *
                                                     static_cast<std::size_t>(kKdtDaysPerPage)) {
            ahead.Plan(request.GetPageUrl(last), request.GetPagePath(last), history.item);
            history.aheadPage = last;
        }
        return;
    }
    for (int j = 0; j < request.m_nPages; ++j) {
        ahead.Plan(request.GetPageUrl(j), request.GetPagePath(j), history.item);
    }
}

// Fetches and parses the pages of one stock in table order until the history runs out, a page
// fails, Cancel is asked or all pages are read. stepEachPage drives the bar per page (one-stock
// mode); pageRead hears of every page read.
Paging FetchHistory(StockHistory& history, PageAhead& ahead, int days,
                    const std::atomic<bool>& cancel, ITickoraView& view, bool stepEachPage,
                    const std::function<void()>& pageRead) {
    CKdtRequest& request = *history.request;
    Paging paging;
    auto stop = [&](PagingEnd end, int page) {
        paging.end = end;
        ahead.DropItem(history.item);
        // Days a proof page left beyond the end are no days of the history.
        for (int k = page + 1; k < request.m_nPages; ++k) {
            ClearDays(request.GetPage(k));
        }
        return paging;
    };
    for (int j = 0; j < request.m_nPages; ++j) {
        if (!history.read[static_cast<std::size_t>(j)]) {
            const PagingEnd end = ReadPage(history, ahead, j, view, stepEachPage, paging);
            if (end != PagingEnd::kAllPages) {
                return stop(end, j);
            }
            ++paging.pagesRead;
            pageRead();
        } else if (request.GetPage(j).m_aDays[0].m_nYear == 0) {
            return stop(PagingEnd::kNoMoreDays, j);  // a proof page without days
        }
        if (j == 0 && history.fromFirstPage) {
            history.fromFirstPage = false;
            const PagingEnd end =
                TryUpdate(history, ahead, days, view, stepEachPage, paging, pageRead);
            if (end != PagingEnd::kAllPages) {
                return stop(end, j);
            }
        }
        if (cancel) {
            return stop(PagingEnd::kCancelled, j);
        }
    }
    return paging;
}

}  // namespace tickora
