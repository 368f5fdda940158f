// SPDX-License-Identifier: GPL-3.0-or-later
#include <atomic>
#include <cstdio>
#include <cstring>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

#include "formats/kdt_file.h"
#include "jobs/job_steps.h"
#include "jobs/page_ahead.h"
#include "jobs/tickora_doc.h"
#include "pages/history_page.h"
#include "pages/history_update.h"

namespace tickora {
namespace {

enum class PagingEnd { kAllPages, kNoMoreDays, kPageFailed, kCancelled, kUpdated };

struct Paging {
    PagingEnd end = PagingEnd::kAllPages;
    int pagesRead = 0;
    int failedPage = -1;
    DownloadDetail detail;  // of the failed page
};

// One stock's history on its way: its request, and with "差分更新" the days of its stored file,
// which page 0 alone may bring up to date.
struct StockHistory {
    std::unique_ptr<CKdtRequest> request;
    int item = 0;
    bool fromFirstPage = false;  // only page 0 was planned
    std::vector<CKdtDay> stored;
    std::vector<CKdtDay> updated;  // the new file when page 0 was enough
};

// Plans the pages of a stock: page 0 alone when its stored file can be brought up to date from
// it, else every page.
void PlanHistory(StockHistory& history, PageAhead& ahead, bool update, bool inDataFolder) {
    const CKdtRequest& request = *history.request;
    history.fromFirstPage = update && ReadKdtFile(KdtFileName(request.m_nCode, inDataFolder),
                                                  history.stored) == KdtRead::kOk;
    const int pages = history.fromFirstPage ? 1 : request.m_nPages;
    for (int j = 0; j < pages; ++j) {
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
    for (int j = 0; j < request.m_nPages; ++j) {
        if (stepEachPage) {
            view.StepProgress();
        }
        // The work files serve every stock in turn: a refused page must not let the previous
        // stock's page be parsed as this one's (Next removes the work file first).
        DownloadDetail detail;
        const int result = ahead.Next(detail);
        if (detail.failure == PageFailure::kCancelled) {
            paging.end = PagingEnd::kCancelled;
        } else if (result != 0 || !detail.Ok()) {
            // A refused page is no end of the history: it is a page that failed.
            paging.end = PagingEnd::kPageFailed;
            paging.failedPage = j;
            paging.detail = detail;
        } else if (ParseHistoryPage(request.GetPagePath(j), request.GetPage(j)) != 0) {
            paging.end = PagingEnd::kNoMoreDays;
        }
        if (paging.end != PagingEnd::kAllPages) {
            ahead.DropItem(history.item);
            return paging;
        }
        ++paging.pagesRead;
        pageRead();
        if (j == 0 && history.fromFirstPage) {
            HistoryUpdate update = UpdateHistoryFromFirstPage(
                history.stored, std::span<const CKdtDay>(request.GetPage(0).m_aDays), days);
            if (update.outcome == HistoryUpdateOutcome::kUpdated) {
                history.updated = std::move(update.days);
                paging.end = PagingEnd::kUpdated;
                return paging;
            }
            // The stored file cannot be brought up to date (a split rewrote the days, a gap):
            // the rest of the history is asked for, before any other stock's pages.
            history.fromFirstPage = false;
            for (int k = request.m_nPages - 1; k >= 1; --k) {
                ahead.PlanFirst(request.GetPageUrl(k), request.GetPagePath(k), history.item);
            }
        }
        if (cancel) {
            paging.end = PagingEnd::kCancelled;
            ahead.DropItem(history.item);
            return paging;
        }
    }
    return paging;
}

bool TransferFailed(const Paging& paging) {
    return paging.end == PagingEnd::kPageFailed &&
           paging.detail.failure != PageFailure::kHttpStatus;
}

// Puts one stock's history on disk, or keeps the stored one: a history whose paging ended at a
// failed page or at Cancel is shorter than what the file may hold, and never replaces it.
void FinishHistory(const StockHistory& history, const Paging& paging, bool inDataFolder,
                   bool update, JobOutcome& outcome) {
    const CKdtRequest& request = *history.request;
    const std::string path = KdtFileName(request.m_nCode, inDataFolder);
    const bool cut = paging.end == PagingEnd::kPageFailed || paging.end == PagingEnd::kCancelled;
    const bool exists = PathExists(path);
    std::string action;
    if (cut && exists) {
        outcome.AddFile(path, FileState::kKept,
                        paging.end == PagingEnd::kCancelled ? "cancelled" : "a page failed");
        action = "the stored history kept";
    } else {
        int error = 0;
        const bool written =
            paging.end == PagingEnd::kUpdated
                ? WriteKdtDays(request.m_nCode, inDataFolder, history.updated, &error)
                : request.WriteKdtFile(inDataFolder, &error);
        if (written) {
            outcome.AddFile(path, FileState::kWritten);
            action = "written from the " + std::to_string(request.DayCount()) + " days before";
            if (update) {
                ++(paging.end == PagingEnd::kUpdated ? outcome.historiesUpdated
                                                     : outcome.historiesFetched);
            }
        } else if (error != 0) {
            outcome.AddFile(path, FileState::kFailed, std::strerror(error));
            ItemFailure& failure = outcome.Fail(
                "the history of " + CodeText(request.m_nCode), FileCause(path, error),
                AbsolutePath(path), exists ? "the stored history kept" : "no history file");
            failure.codes = {request.m_nCode};
            action = "no history file";
        } else if (exists) {
            outcome.AddFile(path, FileState::kKept, "no day was read");
            action = "the stored history kept";
        } else {
            action = "no history file";
        }
    }
    if (paging.end == PagingEnd::kPageFailed) {
        ItemFailure& failure = outcome.Fail(
            "page " + std::to_string(paging.failedPage) + " of " + CodeText(request.m_nCode),
            CauseOf(paging.detail), request.GetPageUrl(paging.failedPage), action);
        failure.codes = {request.m_nCode};
    }
}

}  // namespace

void CTickoraDoc::RunMakeKdt() {
    CodeOptions options;
    options.code = 1301;
    options.days = 200;
    options.allStocks = false;
    if (!View().AskCodeOptions(options, m_bShowAllStocks)) {
        EndJobWithoutWork("kdt");
        return;
    }
    // The dialog refuses values outside its ranges. A front-end that let one through must not
    // make the job ask for no page, for thousands of pages, or for a code that is no stock's.
    if (options.code > 9999 || options.days < static_cast<unsigned>(kHistoryMinDays) ||
        options.days > static_cast<unsigned>(kHistoryMaxDays)) {
        EndJobWithoutWork("kdt", "the code or the days are out of range");
        return;
    }
    if (m_retryRun) {
        options.allStocks = true;  // a retry follows a run of all stocks
    }
    if (options.allStocks && m_stocks.m_nBlocks == 0) {
        // Nothing to ask for, and no folder to make for it.
        EndJobWithoutWork("kdt", kEmptyListRefusal);
        return;
    }
    const int days = static_cast<int>(options.days);
    const int code = static_cast<int>(options.code);
    char symbol[16] = {};
    m_stocks.SymbolOfCode(code, symbol);

    ITickoraView& view = View();
    view.ShowCounts(0, 0);
    m_bCancel = false;
    PagePool pool;
    PageAhead ahead(pool);

    if (options.allStocks) {
        JobOutcome& outcome = BeginOutcome("kdt", "stocks");
        CreateKdtFolders();
        view.SetProgressRange(m_stocks.m_nBlocks);
        view.SetProgressStep(1);
        std::vector<const CStockRecord*> stocks;
        // Where each block's stocks end in that list: a retry asks only some of a block's.
        std::vector<int> blockEnds;
        StockFilter filter(m_retryRun, m_retryCodes);
        for (int b = 0; b < m_stocks.m_nBlocks; ++b) {
            const CQuoteBlock* block = m_stocks.GetBlock(b);
            for (int i = 0; i < block->m_nStocks; ++i) {
                if (filter.Asks(block->m_aStocks[i].m_nCode)) {
                    stocks.push_back(&block->m_aStocks[i]);
                }
            }
            blockEnds.push_back(static_cast<int>(stocks.size()));
        }
        filter.NoteMissing(outcome);
        outcome.itemsTotal = static_cast<int>(stocks.size());
        ItemDone();
        // The stocks whose pages are planned, in list order; enough of them that the pages the
        // pool asks ahead cross from one stock to the next.
        std::deque<StockHistory> planned;
        std::size_t nextToPlan = 0;
        auto planAhead = [&] {
            while (nextToPlan < stocks.size() &&
                   (planned.empty() || ahead.Planned() <= pool.Window())) {
                const CStockRecord& stock = *stocks[nextToPlan];
                StockHistory history;
                history.request =
                    std::make_unique<CKdtRequest>(stock.m_szSymbol, stock.m_nCode, days);
                history.item = static_cast<int>(nextToPlan++);
                PlanHistory(history, ahead, options.update, true);
                planned.push_back(std::move(history));
            }
        };
        int written = 0;
        int transfersFailedInARow = 0;
        for (int b = 0; b < m_stocks.m_nBlocks && outcome.end == JobEnd::kCompleted; ++b) {
            const int blockEnd = blockEnds[static_cast<std::size_t>(b)];
            while (outcome.itemsDone < blockEnd) {
                planAhead();
                StockHistory history = std::move(planned.front());
                planned.pop_front();
                const Paging paging =
                    FetchHistory(history, ahead, days, m_bCancel, view, false, [] {});
                if (m_bCancel) {
                    // The stock being fetched may be incomplete: it keeps its old file.
                    outcome.end = JobEnd::kCancelled;
                    break;
                }
                const std::size_t filesBefore = outcome.Written().size();
                FinishHistory(history, paging, true, options.update, outcome);
                written += static_cast<int>(outcome.Written().size() - filesBefore);
                transfersFailedInARow = TransferFailed(paging) ? transfersFailedInARow + 1 : 0;
                if (transfersFailedInARow >= kTransferFailuresInARow) {
                    outcome.StopAt(outcome.failures.back());
                }
                ++outcome.itemsDone;
                outcome.extracted = written;
                view.ShowCounts(written, 0);
                ItemDone();
                if (outcome.end != JobEnd::kCompleted) {
                    break;
                }
            }
            if (outcome.end != JobEnd::kCompleted || m_bCancel) {
                break;
            }
            view.StepProgress();
        }
        for (std::size_t i = static_cast<std::size_t>(outcome.itemsDone); i < stocks.size(); ++i) {
            outcome.notAskedCodes.push_back(stocks[i]->m_nCode);
        }
    } else {
        JobOutcome& outcome = BeginOutcome("kdt", "pages");
        if (symbol[0] == '\0') {
            // The site knows a stock by the symbol the list gives it: without one there is
            // nothing to ask for.
            outcome.end = JobEnd::kNotRun;
            outcome.endCause = "code " + CodeText(code) +
                               " is not in fetchlist.csv, so its history cannot be asked for";
            outcome.warnings.push_back(outcome.endCause);
            EndJob();
            return;
        }
        StockHistory history;
        history.request = std::make_unique<CKdtRequest>(symbol, code, days);
        view.SetProgressRange(history.request->m_nPages);
        view.SetProgressStep(1);
        outcome.itemsTotal = history.request->m_nPages;
        ItemDone();
        PlanHistory(history, ahead, options.update, false);
        const Paging paging = FetchHistory(history, ahead, days, m_bCancel, view, true, [&] {
            ++outcome.itemsDone;
            ItemDone();
        });
        if (paging.end == PagingEnd::kUpdated) {
            // Its first page was all the history needed.
            outcome.itemsTotal = outcome.itemsDone;
        }
        FinishHistory(history, paging, false, options.update, outcome);
        if (paging.end == PagingEnd::kCancelled) {
            outcome.end = JobEnd::kCancelled;
        } else if (paging.end == PagingEnd::kPageFailed) {
            // The stock is the whole job here: its paging ended at the failure.
            outcome.StopAt(outcome.failures.back());
        }
    }

    m_bCancel = false;
    EndJob();
}

}  // namespace tickora
