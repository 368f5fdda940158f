// SPDX-License-Identifier: GPL-3.0-or-later
#include <atomic>
#include <cstdio>
#include <cstring>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "formats/kdt_file.h"
#include "jobs/job_context.h"
#include "jobs/job_steps.h"
#include "jobs/kdt_paging.h"
#include "jobs/page_ahead.h"
#include "jobs/write_behind.h"
#include "pages/history_page.h"
#include "pages/history_update.h"
#include "pages/number_range.h"
#include "pages/page_check.h"

namespace tickora {
namespace {

bool TransferFailedIn(const Paging& paging) {
    return paging.end == PagingEnd::kPageFailed && paging.pageFault.empty() &&
           TransferFailed(paging.detail);
}

// A stock with a day the KDT file cannot hold is not extracted: its stored history stays, and
// without one it gets no file.
void NoteNumberFault(const CKdtRequest& request, const Paging& paging, const std::string& path,
                     bool exists, JobOutcome& outcome) {
    if (exists) {
        outcome.AddFile(path, FileState::kKept, "a number does not fit the file");
    }
    ItemFailure& failure = outcome.Fail(
        "page " + PageNumberText(paging.failedPage) + " of " + CodeText(request.m_nCode),
        request.m_ppPages[paging.failedPage]->m_sNumberFault, request.GetPageUrl(paging.failedPage),
        exists ? "not extracted; the stored history kept" : "not extracted; no history file");
    failure.codes = {request.m_nCode};
}

// Days that fit but cannot be true are written as the site gave them, and named.
void NoteImplausibleDays(const CKdtRequest& request, JobOutcome& outcome) {
    std::vector<CKdtDay> days;
    for (const auto& page : request.m_ppPages) {
        days.insert(days.end(), std::begin(page->m_aDays), std::end(page->m_aDays));
    }
    if (std::string why = HistoryImplausibility(days); !why.empty()) {
        outcome.warnings.push_back("the history of " + CodeText(request.m_nCode) + ": " + why +
                                   "; written as the site gave it");
    }
}

// What putting a stock's history on disk came to.
struct HistoryWrite {
    bool written = false;
    int error = 0;  // errno of a file that could not be written; 0 when none
};

// Whether FinishHistory writes the stock's file: a history whose paging ended at a failed page or
// at Cancel is shorter than what the file may hold, and never replaces it.
bool WritesFile(const Paging& paging, bool exists) {
    const bool cut = paging.end == PagingEnd::kPageFailed || paging.end == PagingEnd::kCancelled;
    return paging.end != PagingEnd::kNumberFault && !(cut && exists);
}

HistoryWrite WriteHistory(const StockHistory& history, const Paging& paging, bool inDataFolder) {
    const CKdtRequest& request = *history.request;
    HistoryWrite write;
    write.written = paging.end == PagingEnd::kUpdated
                        ? WriteKdtDays(request.m_nCode, inDataFolder, history.updated, &write.error)
                        : request.WriteKdtFile(inDataFolder, &write.error);
    return write;
}

// Tells the outcome what became of one stock's history at path, which existed before; write is
// what WriteHistory came to when WritesFile.
void RecordHistory(const StockHistory& history, const Paging& paging, const std::string& path,
                   bool exists, const HistoryWrite& write, bool update, JobOutcome& outcome) {
    const CKdtRequest& request = *history.request;
    std::string action;
    if (paging.end == PagingEnd::kNumberFault) {
        NoteNumberFault(request, paging, path, exists, outcome);
        return;
    }
    if (!WritesFile(paging, exists)) {
        outcome.AddFile(path, FileState::kKept,
                        paging.end == PagingEnd::kCancelled ? "cancelled" : "a page failed");
        action = "the stored history kept";
    } else if (write.written) {
        outcome.AddFile(path, FileState::kWritten);
        NoteImplausibleDays(request, outcome);
        action = "written from the " + std::to_string(request.DayCount()) + " days before";
        if (update) {
            ++(paging.end == PagingEnd::kUpdated ? outcome.historiesUpdated
                                                 : outcome.historiesFetched);
        }
    } else if (write.error != 0) {
        outcome.AddFile(path, FileState::kFailed, std::strerror(write.error));
        ItemFailure& failure = outcome.Fail("the history of " + CodeText(request.m_nCode),
                                            FileCause(path, write.error), AbsolutePath(path),
                                            exists ? "the stored history kept" : "no history file");
        failure.codes = {request.m_nCode};
        action = "no history file";
    } else if (exists) {
        outcome.AddFile(path, FileState::kKept, "no day was read");
        action = "the stored history kept";
    } else {
        action = "no history file";
    }
    if (paging.end == PagingEnd::kPageFailed) {
        ItemFailure& failure = outcome.Fail(
            "page " + PageNumberText(paging.failedPage) + " of " + CodeText(request.m_nCode),
            paging.pageFault.empty() ? CauseOf(paging.detail) : paging.pageFault,
            request.GetPageUrl(paging.failedPage), action);
        failure.codes = {request.m_nCode};
    }
}

// Puts one stock's history on disk, or keeps the stored one, and tells the outcome.
void FinishHistory(const StockHistory& history, const Paging& paging, bool inDataFolder,
                   bool update, JobOutcome& outcome) {
    const std::string path = KdtFileName(history.request->m_nCode, inDataFolder);
    const bool exists = PathExists(path);
    HistoryWrite write;
    if (WritesFile(paging, exists)) {
        write = WriteHistory(history, paging, inDataFolder);
    }
    RecordHistory(history, paging, path, exists, write, update, outcome);
}

// What a history job works with beyond its context.
struct KdtRun {
    JobContext& context;
    PagePool& pool;
    PageAhead& ahead;
    int days = 0;
    bool update = false;
    int taken = 0;    // stocks taken from the plan
    int written = 0;  // files written, as told so far
    // Stocks that failed, as told so far: a stock counts once however many of its pages failed.
    int failed = 0;
    // The files of a job of all stocks; each stock is told once its file is on disk.
    WriteBehind writes;
};

// The stocks a history job of all stocks asks, in the list's order, and where each block's
// stocks end among them (a retry asks only some of a block's).
struct KdtStocks {
    std::vector<const CStockRecord*> stocks;
    std::vector<int> blockEnds;
};

KdtStocks ListStocks(JobContext& context) {
    KdtStocks list;
    StockFilter filter(context.retry, context.retryCodes);
    for (int b = 0; b < context.stocks.m_nBlocks; ++b) {
        const CQuoteBlock* block = context.stocks.GetBlock(b);
        for (int i = 0; i < block->m_nStocks; ++i) {
            if (filter.Asks(block->m_aStocks[i].m_nCode)) {
                list.stocks.push_back(&block->m_aStocks[i]);
            }
        }
        list.blockEnds.push_back(static_cast<int>(list.stocks.size()));
    }
    filter.NoteMissing(context.outcome);
    return list;
}

// The stocks whose pages are planned, in list order; enough of them that the pages the pool
// asks ahead cross from one stock to the next.
class HistoryPlanner {
  public:
    HistoryPlanner(KdtRun& run, const std::vector<const CStockRecord*>& stocks)
        : m_run(run), m_stocks(stocks) {}

    // The next stock's history, its pages planned.
    StockHistory Next() {
        while (m_next < m_stocks.size() &&
               (m_planned.empty() || m_run.ahead.Planned() <= m_run.pool.Window())) {
            const CStockRecord& stock = *m_stocks[m_next];
            StockHistory history;
            history.request = std::make_unique<CKdtRequest>(
                stock.m_szSymbol, stock.m_nCode, m_run.days, m_run.context.access.hosts.table);
            history.item = static_cast<int>(m_next++);
            PlanHistory(history, m_run.ahead, m_run.update, true);
            m_planned.push_back(std::move(history));
        }
        StockHistory history = std::move(m_planned.front());
        m_planned.pop_front();
        return history;
    }

  private:
    KdtRun& m_run;
    const std::vector<const CStockRecord*>& m_stocks;
    std::deque<StockHistory> m_planned;
    std::size_t m_next = 0;
};

// After a stock is told: the form's two counters, the histories written and the stocks that
// failed, as the outcome keeps them, and one more stock done.
void CountStock(KdtRun& run, std::size_t filesBefore, std::size_t failuresBefore) {
    JobOutcome& outcome = run.context.outcome;
    run.written += static_cast<int>(outcome.Written().size() - filesBefore);
    run.failed += outcome.failures.size() > failuresBefore ? 1 : 0;
    outcome.extracted = run.written;
    outcome.notExtracted = run.failed;
    run.context.view.ShowCounts(run.written, run.failed);
    CountItems(outcome, 1, run.context.view);
}

// A stock whose history was read whole, while the pool asks pages ahead: its file is written on
// a writer thread while the job reads the next stocks' pages, and the outcome hears of it in its
// turn. With one request at a time the job goes step by step, each file written before the next
// page is asked for, as when it fetched each page itself.
bool WritesBehind(const KdtRun& run, const Paging& paging) {
    return run.pool.Window() > 1 &&
           (paging.end == PagingEnd::kUpdated || paging.end == PagingEnd::kAllPages ||
            paging.end == PagingEnd::kNoMoreDays);
}

void FinishBehind(KdtRun& run, StockHistory history, const Paging& paging) {
    struct OnItsWay {
        StockHistory history;
        Paging paging;
        std::string path;
        bool exists = false;
        HistoryWrite write;
    };
    auto stock = std::make_shared<OnItsWay>();
    stock->path = KdtFileName(history.request->m_nCode, true);
    stock->exists = PathExists(stock->path);
    stock->history = std::move(history);
    stock->paging = paging;
    run.writes.Add([stock] { stock->write = WriteHistory(stock->history, stock->paging, true); },
                   [stock, &run] {
                       const JobOutcome& outcome = run.context.outcome;
                       const std::size_t filesBefore = outcome.Written().size();
                       const std::size_t failuresBefore = outcome.failures.size();
                       RecordHistory(stock->history, stock->paging, stock->path, stock->exists,
                                     stock->write, run.update, run.context.outcome);
                       CountStock(run, filesBefore, failuresBefore);
                   });
    run.writes.Collect();
}

// The stocks of one block up to blockEnd, each history fetched and written. False when the job
// ends within the block.
bool FetchBlockHistories(KdtRun& run, HistoryPlanner& planner, int blockEnd,
                         FailureStreak& transfers) {
    JobContext& context = run.context;
    JobOutcome& outcome = context.outcome;
    while (run.taken < blockEnd) {
        StockHistory history = planner.Next();
        ++run.taken;
        const Paging paging =
            FetchHistory(history, run.ahead, run.days, context.cancel, context.view, false, [] {});
        if (context.cancel) {
            // The stock being fetched may be incomplete: it keeps its old file.
            outcome.end = JobEnd::kCancelled;
            break;
        }
        const bool tooManyFailures = transfers.Note(TransferFailedIn(paging));
        if (!tooManyFailures && WritesBehind(run, paging)) {
            FinishBehind(run, std::move(history), paging);
            continue;
        }
        // Whatever else became of a stock is told after the stocks before it.
        run.writes.Finish();
        const std::size_t filesBefore = outcome.Written().size();
        const std::size_t failuresBefore = outcome.failures.size();
        FinishHistory(history, paging, true, run.update, outcome);
        if (tooManyFailures) {
            outcome.StopAt(outcome.failures.back());
        }
        CountStock(run, filesBefore, failuresBefore);
        if (outcome.end != JobEnd::kCompleted) {
            break;
        }
    }
    return outcome.end == JobEnd::kCompleted && !context.cancel;
}

// Every stock of the list (or of a retry), into the data folder.
void FetchAllHistories(KdtRun& run) {
    JobContext& context = run.context;
    ITickoraView& view = context.view;
    JobOutcome& outcome = BeginOutcome(context, "kdt", "stocks");
    CreateKdtFolders();
    view.SetProgressRange(context.stocks.m_nBlocks);
    view.SetProgressStep(1);
    const KdtStocks list = ListStocks(context);
    outcome.itemsTotal = static_cast<int>(list.stocks.size());
    ShowItems(outcome, view);
    HistoryPlanner planner(run, list.stocks);
    FailureStreak transfers;
    for (int b = 0; b < context.stocks.m_nBlocks && outcome.end == JobEnd::kCompleted; ++b) {
        if (!FetchBlockHistories(run, planner, list.blockEnds[static_cast<std::size_t>(b)],
                                 transfers)) {
            break;
        }
        // The bar moves once the block's files are on disk.
        run.writes.Add({}, [&view] { view.StepProgress(); });
    }
    run.writes.Finish();
    for (std::size_t i = static_cast<std::size_t>(outcome.itemsDone); i < list.stocks.size(); ++i) {
        outcome.notAskedCodes.push_back(list.stocks[i]->m_nCode);
    }
}

// One stock, into the current folder; the bar counts its pages.
void FetchOneHistory(KdtRun& run, const char* symbol, int code) {
    JobContext& context = run.context;
    ITickoraView& view = context.view;
    JobOutcome& outcome = context.outcome;
    StockHistory history;
    history.request =
        std::make_unique<CKdtRequest>(symbol, code, run.days, context.access.hosts.table);
    view.SetProgressRange(history.request->m_nPages);
    view.SetProgressStep(1);
    outcome.itemsTotal = history.request->m_nPages;
    ShowItems(outcome, view);
    PlanHistory(history, run.ahead, run.update, false);
    const Paging paging = FetchHistory(history, run.ahead, run.days, context.cancel, view, true,
                                       [&] { CountItems(outcome, 1, view); });
    if (paging.end == PagingEnd::kUpdated) {
        // Its first page was all the history needed.
        outcome.itemsTotal = outcome.itemsDone;
    }
    FinishHistory(history, paging, false, run.update, outcome);
    if (paging.end == PagingEnd::kCancelled) {
        outcome.end = JobEnd::kCancelled;
    } else if (paging.end == PagingEnd::kPageFailed) {
        // The stock is the whole job here: its paging ended at the failure.
        outcome.StopAt(outcome.failures.back());
    }
}

}  // namespace

std::string KdtRefusal(const JobContext& context, const JobOptions& options) {
    // The dialog refuses values outside its ranges. A front-end that let one through must not
    // make the job ask for no page, for thousands of pages, or for a code that is no stock's.
    if (options.code > 9999 || options.days < static_cast<unsigned>(kHistoryMinDays) ||
        options.days > static_cast<unsigned>(kHistoryMaxDays)) {
        return "the code or the days are out of range";
    }
    // A retry follows a run of all stocks. With nothing to ask for, there is no folder to make.
    if ((options.allStocks || context.retry) && context.stocks.m_nBlocks == 0) {
        return kEmptyListRefusal;
    }
    return {};
}

JobOutcome MakeKdt(JobContext& context, const JobOptions& options) {
    const bool allStocks = options.allStocks || context.retry;
    const int code = static_cast<int>(options.code);
    char symbol[16] = {};
    context.stocks.SymbolOfCode(code, symbol);
    context.view.ShowCounts(0, 0);
    JobPages pages(context);
    PagePool& pool = pages.Pool();
    PageAhead ahead(pool);
    KdtRun run{context, pool, ahead, static_cast<int>(options.days), options.update, 0, 0, 0, {}};
    if (allStocks) {
        FetchAllHistories(run);
    } else {
        JobOutcome& outcome = BeginOutcome(context, "kdt", "pages");
        if (symbol[0] == '\0') {
            // The site knows a stock by the symbol the list gives it: without one there is
            // nothing to ask for.
            outcome.end = JobEnd::kNotRun;
            outcome.endCause = "code " + CodeText(code) +
                               " is not in fetchlist.csv, so its history cannot be asked for";
            outcome.warnings.push_back(outcome.endCause);
            return outcome;
        }
        FetchOneHistory(run, symbol, code);
    }
    // The history job ends with the flag down, its Cancel acted on. This is no start: the
    // job's work is over, so no Cancel meant for it can be lost here.
    context.cancel = false;
    return context.outcome;
}

}  // namespace tickora
