// SPDX-License-Identifier: GPL-3.0-or-later
#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "formats/figures_file.h"
#include "jobs/job_steps.h"
#include "jobs/page_ahead.h"
#include "jobs/tickora_doc.h"
#include "pages/figures_page.h"
#include "pages/page_check.h"

namespace tickora {
namespace {

constexpr const char* kNotExtracted = "its stocks counted as not extracted";
constexpr const char* kNoFiguresRows = "the page holds no figures rows";

bool AnyFigures(const CStockList& stocks) {
    for (int i = 0; i < stocks.m_nBlocks; ++i) {
        const CQuoteBlock& block = *stocks.GetBlock(i);
        for (int s = 0; s < block.m_nStocks; ++s) {
            const double* f = block.m_aStocks[s].m_adFigures;
            if (f[0] > 0 || f[1] > 0 || f[3] > 0) {
                return true;
            }
        }
    }
    return false;
}

// The figures of a block's stocks before its page is parsed, so that the job can tell which
// stocks the page gave figures this time: a stock missing from the page keeps the figures it
// had, which must not count as extracted again.
class FiguresBefore {
  public:
    explicit FiguresBefore(CQuoteBlock& block) {
        for (int s = 0; s < block.m_nStocks; ++s) {
            double* figures = block.m_aStocks[s].m_adFigures;
            std::copy(figures, figures + kFigures, m_saved[s]);
            // The parser copies all five figures of a row it finds: NaN survives only where the
            // page had no row for the stock.
            std::fill(figures, figures + kFigures, std::numeric_limits<double>::quiet_NaN());
        }
    }
    // Stocks with no row, or whose row counted as none, in slot order.
    void NameNotExtracted(const CQuoteBlock& block, std::vector<int>& codes) const {
        for (int s = 0; s < block.m_nStocks; ++s) {
            const double* f = block.m_aStocks[s].m_adFigures;
            if (!(f[0] > 0 || f[1] > 0 || f[3] > 0)) {
                codes.push_back(block.m_aStocks[s].m_nCode);
            }
        }
    }
    // Puts back the figures of the stocks the page had no row for.
    void Restore(CQuoteBlock& block) const {
        for (int s = 0; s < block.m_nStocks; ++s) {
            double* figures = block.m_aStocks[s].m_adFigures;
            if (std::isnan(figures[0])) {
                std::copy(m_saved[s], m_saved[s] + kFigures, figures);
            }
        }
    }

  private:
    static constexpr int kFigures = 5;
    double m_saved[kStocksPerBlock][kFigures] = {};
};

}  // namespace

void CTickoraDoc::RunGetPerformance() {
    ITickoraView& view = View();
    const int blocks = m_stocks.m_nBlocks;
    PagePool pool;
    PageAhead ahead(pool);
    // As the daily fetch does: the figures written are this run's, none from an earlier one.
    m_stocks.ClearFigures();
    JobOutcome& outcome = BeginBlockJob("performance", ahead, &CStockList::GetFiguresUrl);

    int extracted = 0;
    int notExtracted = 0;
    bool counted = false;
    for (int i = 0; i < blocks; ++i) {
        view.StepProgress();
        CQuoteBlock& block = *m_stocks.GetBlock(i);
        const char* url = m_stocks.GetFiguresUrl(i);
        // The daily fetch keeps the other view of this block's page in the same file: a request
        // that brings no page must leave no file, not that page to be read as figures.
        const char* page = m_stocks.GetPagePath(i);
        DownloadDetail detail;
        if (ahead.Next(detail) != 0) {
            EndAtBlock(outcome, block, detail, url,
                       "the job stopped; the blocks before are written");
            break;
        }
        int rowsFound = 0;
        // As the quote page: a page cut short or holding a NUL is judged before its figures
        // reach the records.
        const PageCheck check =
            detail.Ok() ? CheckPageFile(page, kFiguresPageLimit, kLowerCaseTable) : PageCheck{};
        const FiguresBefore before(block);
        std::vector<FiguresFault> faults;
        int rows = detail.Ok() && check.Whole() ? ParseFiguresPage(page, block, &rowsFound, &faults)
                                                : -1;
        for (const FiguresFault& fault : faults) {
            ItemFailure& failure = outcome.Fail(
                "stock " + CodeText(fault.code) + " of block " + std::to_string(block.m_nIndex),
                fault.text, url, "not extracted; its figures as they were");
            failure.codes = {fault.code};
        }
        if (rows >= 0 && rowsFound > 0) {
            before.NameNotExtracted(block, outcome.notExtractedCodes);
        }
        before.Restore(block);
        if (rows < 0 || rowsFound == 0) {
            const std::string cause = !detail.Ok() ? CauseOf(detail)
                                      : check.shape == PageShape::kNoTable ? kNoFiguresRows
                                      : !check.Whole()                      ? PageShapeCause(check)
                                      : rows < 0 ? FileCause(page, errno)
                                                 : kNoFiguresRows;
            FailBlock(outcome, block, cause, url, kNotExtracted);
        }
        rows = std::max(rows, 0);
        extracted += rows;
        // A page that lists a code twice counts both rows: never a negative "not extracted".
        notExtracted += std::max(0, block.m_nStocks - rows);
        view.ShowCounts(extracted, notExtracted);
        counted = true;
        outcome.itemsDone += block.m_nStocks;
        outcome.extracted = extracted;
        outcome.notExtracted = notExtracted;
        ItemDone();
        if (m_bCancel) {
            outcome.end = JobEnd::kCancelled;
            break;
        }
    }
    if (!counted && blocks > 0) {
        view.ShowCounts(0, 0);
    }
    WriteFiguresOutput(outcome, extracted);
    EndJob();
}

void CTickoraDoc::WriteFiguresOutput(JobOutcome& outcome, int extracted) {
    if (m_stocks.GetBlock(0) == nullptr) {
        return;
    }
    outcome.quoteDate = QuoteDateOf(m_stocks);
    const std::string path = FiguresFileName(m_stocks, m_settings.m_szOutputDir);
    // As the daily fetch does: no figures at all write no file, and never replace one.
    if (!AnyFigures(m_stocks)) {
        outcome.AddFile(path, PathExists(path) ? FileState::kKept : FileState::kFailed,
                        "no figures were fetched");
        return;
    }
    int error = 0;
    const bool whole = RanWhole(outcome);
    const std::string written = WriteFiguresFile(m_stocks, extracted, m_settings.m_szOutputDir,
                                                 &error, whole ? Whole::kYes : Whole::kNo);
    if (!written.empty()) {
        AddDayFile(outcome, written, whole);
        return;
    }
    error = error != 0 ? error : EIO;
    outcome.AddFile(path, FileState::kFailed, std::strerror(error));
    outcome.Fail("the performance file", FileCause(path, error), AbsolutePath(path),
                 "no performance file written");
}

}  // namespace tickora
