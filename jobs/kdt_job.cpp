#include <atomic>
#include <cstdio>

#include "jobs/tickora_doc.h"
#include "formats/kdt_file.h"
#include "pages/history_page.h"
#include "web/download.h"

namespace tickora {
namespace {

enum class PagingEnd { kAllPages, kNoMoreDays, kDownloadFailed, kCancelled };

// Fetches and parses the pages of one stock in table order until the history runs out, a
// download fails, Cancel is asked or all pages are read. stepEachPage drives the bar per page
// (one-stock mode).
PagingEnd FetchHistory(CKdtRequest& request, const std::atomic<bool>& cancel, ITickoraView& view,
                       bool stepEachPage, int& pagesRead) {
    for (int j = 0; j < request.m_nPages; ++j) {
        if (stepEachPage) {
            view.StepProgress();
        }
        // The work files serve every stock in turn: without this, a 404 (which writes nothing)
        // would let the previous stock's page be parsed as this one's.
        (void)std::remove(request.GetPagePath(j));
        if (DownloadToFile(request.GetPageUrl(j), request.GetPagePath(j)) != 0) {
            return PagingEnd::kDownloadFailed;
        }
        if (ParseHistoryPage(request.GetPagePath(j), request.GetPage(j)) != 0) {
            return PagingEnd::kNoMoreDays;
        }
        ++pagesRead;
        if (cancel) {
            return PagingEnd::kCancelled;
        }
    }
    return PagingEnd::kAllPages;
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
        EndJobWithoutWork("kdt");
        return;
    }
    const int days = static_cast<int>(options.days);
    const int code = static_cast<int>(options.code);
    char symbol[16] = {};
    m_stocks.SymbolOfCode(code, symbol);

    ITickoraView& view = View();
    view.ShowCounts(0, 0);
    m_bCancel = false;

    JobReport report;
    report.job = "kdt";

    if (options.allStocks) {
        CreateKdtFolders();
        view.SetProgressRange(m_stocks.m_nBlocks);
        view.SetProgressStep(1);
        for (int b = 0; b < m_stocks.m_nBlocks; ++b) {
            report.itemsTotal += m_stocks.GetBlock(b)->m_nStocks;
        }
        bool stop = false;
        for (int b = 0; b < m_stocks.m_nBlocks && !stop; ++b) {
            const CQuoteBlock* block = m_stocks.GetBlock(b);
            for (int i = 0; i < block->m_nStocks; ++i) {
                const CStockRecord& stock = block->m_aStocks[i];
                CKdtRequest request(stock.m_szSymbol, stock.m_nCode, days);
                int pagesRead = 0;
                const PagingEnd end = FetchHistory(request, m_bCancel, view, false, pagesRead);
                if (end == PagingEnd::kDownloadFailed) {
                    report.downloadFailed = true;
                }
                if (m_bCancel) {
                    // The stock being fetched may be incomplete: it keeps its old file.
                    stop = true;
                    break;
                }
                if (request.WriteKdtFile(true)) {
                    report.filesWritten.push_back(KdtFileName(stock.m_nCode, true));
                }
                ++report.itemsDone;
                view.ShowCounts(static_cast<int>(report.filesWritten.size()), 0);
            }
            if (stop || m_bCancel) {
                break;
            }
            view.StepProgress();
        }
        report.extracted = static_cast<int>(report.filesWritten.size());
        report.notExtracted = report.itemsDone - report.extracted;
    } else {
        CKdtRequest request(symbol, code, days);
        view.SetProgressRange(request.m_nPages);
        view.SetProgressStep(1);
        report.itemsTotal = request.m_nPages;
        const PagingEnd end = FetchHistory(request, m_bCancel, view, true, report.itemsDone);
        report.downloadFailed = end == PagingEnd::kDownloadFailed;
        // Written after a cancel too: the pages read so far are a valid, newer-end history.
        if (request.WriteKdtFile(false)) {
            report.filesWritten.push_back(KdtFileName(code, false));
        }
        report.extracted = static_cast<int>(report.filesWritten.size());
    }

    report.cancelled = m_bCancel;
    m_bCancel = false;
    EndJob(std::move(report));
}

}  // namespace tickora
