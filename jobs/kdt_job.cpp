#include <atomic>
#include <cstdio>
#include <cstring>
#include <functional>

#include "formats/kdt_file.h"
#include "jobs/job_steps.h"
#include "jobs/tickora_doc.h"
#include "pages/history_page.h"

namespace tickora {
namespace {

enum class PagingEnd { kAllPages, kNoMoreDays, kPageFailed, kCancelled };

struct Paging {
    PagingEnd end = PagingEnd::kAllPages;
    int pagesRead = 0;
    int failedPage = -1;
    DownloadDetail detail;  // of the failed page
};

// Fetches and parses the pages of one stock in table order until the history runs out, a page
// fails, Cancel is asked or all pages are read. stepEachPage drives the bar per page (one-stock
// mode); pageRead hears of every page read.
Paging FetchHistory(CKdtRequest& request, const std::atomic<bool>& cancel, ITickoraView& view,
                    bool stepEachPage, const std::function<void()>& pageRead) {
    Paging paging;
    for (int j = 0; j < request.m_nPages; ++j) {
        if (stepEachPage) {
            view.StepProgress();
        }
        // The work files serve every stock in turn: a refused page must not let the previous
        // stock's page be parsed as this one's.
        DownloadDetail detail;
        const int result = FetchWorkPage(request.GetPageUrl(j), request.GetPagePath(j), detail);
        if (detail.failure == PageFailure::kCancelled) {
            paging.end = PagingEnd::kCancelled;
            return paging;
        }
        // A refused page is no end of the history: it is a page that failed.
        if (result != 0 || !detail.Ok()) {
            paging.end = PagingEnd::kPageFailed;
            paging.failedPage = j;
            paging.detail = detail;
            return paging;
        }
        if (ParseHistoryPage(request.GetPagePath(j), request.GetPage(j)) != 0) {
            paging.end = PagingEnd::kNoMoreDays;
            return paging;
        }
        ++paging.pagesRead;
        pageRead();
        if (cancel) {
            paging.end = PagingEnd::kCancelled;
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
void FinishHistory(const CKdtRequest& request, const Paging& paging, bool inDataFolder,
                   JobOutcome& outcome) {
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
        if (request.WriteKdtFile(inDataFolder, &error)) {
            outcome.AddFile(path, FileState::kWritten);
            action = "written from the " + std::to_string(request.DayCount()) + " days before";
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
    const int days = static_cast<int>(options.days);
    const int code = static_cast<int>(options.code);
    char symbol[16] = {};
    m_stocks.SymbolOfCode(code, symbol);

    ITickoraView& view = View();
    view.ShowCounts(0, 0);
    m_bCancel = false;

    if (options.allStocks) {
        JobOutcome& outcome = BeginOutcome("kdt", "stocks");
        CreateKdtFolders();
        view.SetProgressRange(m_stocks.m_nBlocks);
        view.SetProgressStep(1);
        for (int b = 0; b < m_stocks.m_nBlocks; ++b) {
            outcome.itemsTotal += m_stocks.GetBlock(b)->m_nStocks;
        }
        ItemDone();
        int written = 0;
        int transfersFailedInARow = 0;
        for (int b = 0; b < m_stocks.m_nBlocks && outcome.end == JobEnd::kCompleted; ++b) {
            const CQuoteBlock* block = m_stocks.GetBlock(b);
            for (int i = 0; i < block->m_nStocks; ++i) {
                const CStockRecord& stock = block->m_aStocks[i];
                CKdtRequest request(stock.m_szSymbol, stock.m_nCode, days);
                const Paging paging = FetchHistory(request, m_bCancel, view, false, [] {});
                if (m_bCancel) {
                    // The stock being fetched may be incomplete: it keeps its old file.
                    outcome.end = JobEnd::kCancelled;
                    break;
                }
                const std::size_t filesBefore = outcome.Written().size();
                FinishHistory(request, paging, true, outcome);
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
        CKdtRequest request(symbol, code, days);
        view.SetProgressRange(request.m_nPages);
        view.SetProgressStep(1);
        outcome.itemsTotal = request.m_nPages;
        ItemDone();
        const Paging paging = FetchHistory(request, m_bCancel, view, true, [&] {
            ++outcome.itemsDone;
            ItemDone();
        });
        FinishHistory(request, paging, false, outcome);
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
