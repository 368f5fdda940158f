// SPDX-License-Identifier: GPL-3.0-or-later
// The daily fetch and the performance job: the same pass over the blocks of the list, with two
// kinds of page (the quotes of a block, its figures) and two day files.
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "formats/figures_file.h"
#include "formats/quote_file.h"
#include "jobs/job_context.h"
#include "jobs/job_steps.h"
#include "jobs/page_ahead.h"
#include "pages/figures_page.h"
#include "pages/page_check.h"
#include "pages/quote_page.h"

namespace tickora {
namespace {

constexpr const char* kNotExtracted = "its stocks counted as not extracted";
constexpr const char* kNoQuoteRows = "the page holds no quote rows";
constexpr const char* kNoFiguresRows = "the page holds no figures rows";

// What tells the two block jobs apart.
struct BlockKind {
    const char* job;
    const char* (CStockList::*urlOf)(int) const;
    const char* stopAction;  // a block page that did not arrive ends the job so
    // Empties the records the job fills: a block it does not read must not write an earlier
    // run's values as today's.
    void (*clear)(CStockList& stocks);
    // Reads the block's page into its records, naming what failed; the rows it extracted.
    int (*read)(JobOutcome& outcome, CQuoteBlock& block, const char* url, const char* page,
                const DownloadDetail& detail);
    // The day's file: whether the records hold anything to write, its name, the writer.
    bool (*any)(const CStockList& stocks);
    std::string (*fileName)(const JobContext& context);
    std::string (*write)(const JobContext& context, int extracted, int* error, Whole whole);
    const char* noneFetched;
    const char* fileWhat;
    const char* noFileAction;
};

bool HasFigures(const double* f) {
    return f[0] > 0 || f[1] > 0 || f[3] > 0;
}

// Whether any stock of the list has what has(stock) asks for.
template <typename Has>
bool AnyStock(const CStockList& stocks, Has has) {
    for (int i = 0; i < stocks.m_nBlocks; ++i) {
        const CQuoteBlock& block = *stocks.GetBlock(i);
        for (int s = 0; s < block.m_nStocks; ++s) {
            if (has(block.m_aStocks[s])) {
                return true;
            }
        }
    }
    return false;
}

std::string StockOfBlock(int code, const CQuoteBlock& block) {
    return "stock " + CodeText(code) + " of block " + std::to_string(block.m_nIndex);
}

// Quotes the daily file cannot hold are failed stocks, each with its value; implausible ones,
// written as the site gave them, are warnings.
void NoteQuoteNumbers(JobOutcome& outcome, const CQuoteBlock& block, const QuotePageOutcome& parsed,
                      const char* url) {
    for (const SlotNote& fault : parsed.numberFaults) {
        const int code = block.m_aStocks[fault.slot].m_nCode;
        ItemFailure& failure = outcome.Fail(StockOfBlock(code, block), fault.text, url,
                                            std::string("not extracted, logged to ") + kErrorLogPath);
        failure.codes = {code};
    }
    for (const SlotNote& note : parsed.implausible) {
        outcome.warnings.push_back(StockOfBlock(block.m_aStocks[note.slot].m_nCode, block) + ": " +
                                   note.text + "; written as the site gave it");
    }
}

int ReadQuotePage(JobOutcome& outcome, CQuoteBlock& block, const char* url, const char* page,
                  const DownloadDetail& detail) {
    QuotePageOutcome parsed;
    // A page cut short or holding a NUL gives the rows before the break and loses the rest
    // without a word: judged before a row of it reaches the records.
    const PageCheck check =
        detail.Ok() ? CheckPageFile(page, kQuotePageLimit, kLowerCaseTable) : PageCheck{};
    if (!detail.Ok() || !check.Whole()) {
        // The site answered without a page: nothing of this block was extracted this time,
        // so its stocks count as not extracted rather than as what an earlier fetch found.
        block.m_nExtracted = 0;
        FailBlock(outcome, block,
                  !detail.Ok()                         ? CauseOf(detail)
                  : check.shape == PageShape::kNoTable ? kNoQuoteRows
                                                       : PageShapeCause(check),
                  url, kNotExtracted);
    } else if (!ParseQuotePage(page, block, &parsed)) {
        block.m_nExtracted = 0;
        FailBlock(outcome, block, FileCause(page, errno), url, kNotExtracted);
    } else if (block.m_nExtracted + parsed.failedCount == 0 && block.m_nStocks > 0) {
        // A page that answered but holds no row of ours: the site changed its layout, or
        // sent something that is not a quote page at all.
        FailBlock(outcome, block, kNoQuoteRows, url, kNotExtracted);
    }
    for (int k = 0; k < parsed.failedCount; ++k) {
        outcome.notExtractedCodes.push_back(block.m_aStocks[parsed.failedSlots[k]].m_nCode);
    }
    NoteQuoteNumbers(outcome, block, parsed, url);
    return block.m_nExtracted;
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
            if (!HasFigures(block.m_aStocks[s].m_adFigures)) {
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

int ReadFiguresPage(JobOutcome& outcome, CQuoteBlock& block, const char* url, const char* page,
                    const DownloadDetail& detail) {
    int rowsFound = 0;
    // As the quote page: a page cut short or holding a NUL is judged before its figures reach
    // the records.
    const PageCheck check =
        detail.Ok() ? CheckPageFile(page, kFiguresPageLimit, kLowerCaseTable) : PageCheck{};
    const FiguresBefore before(block);
    std::vector<FiguresFault> faults;
    const int rows =
        detail.Ok() && check.Whole() ? ParseFiguresPage(page, block, &rowsFound, &faults) : -1;
    for (const FiguresFault& fault : faults) {
        ItemFailure& failure = outcome.Fail(StockOfBlock(fault.code, block), fault.text, url,
                                            "not extracted; its figures as they were");
        failure.codes = {fault.code};
    }
    if (rows >= 0 && rowsFound > 0) {
        before.NameNotExtracted(block, outcome.notExtractedCodes);
    }
    before.Restore(block);
    if (rows < 0 || rowsFound == 0) {
        const std::string cause = !detail.Ok()                         ? CauseOf(detail)
                                  : check.shape == PageShape::kNoTable ? kNoFiguresRows
                                  : !check.Whole()                     ? PageShapeCause(check)
                                  : rows < 0                           ? FileCause(page, errno)
                                                                       : kNoFiguresRows;
        FailBlock(outcome, block, cause, url, kNotExtracted);
    }
    return std::max(rows, 0);
}

std::string QuotesFileName(const JobContext& context) {
    const QuoteDay day = context.stocks.QuoteDayOfList().value_or(QuoteDay{});
    return QuoteFileName(context.settings.m_szOutputDir, context.settings.m_nOutputFormat, day.year,
                         day.month, day.day);
}

std::string WriteQuotes(const JobContext& context, int /*extracted*/, int* error, Whole whole) {
    const CAppSettings& settings = context.settings;
    std::string written =
        WriteQuoteFile(context.stocks, settings.m_nOutputFormat, settings.m_szOutputDir,
                       context.markets, settings.m_bAverageDecimals != 0, error, whole);
    if (context.quotesWhole != nullptr) {
        *context.quotesWhole = whole == Whole::kYes;
    }
    return written;
}

const BlockKind kQuotes = {
    "fetch",
    &CStockList::GetQuoteUrl,
    "the fetch stopped; the blocks before are written",
    [](CStockList& stocks) { stocks.ClearQuotes(); },
    ReadQuotePage,
    [](const CStockList& stocks) {
        return AnyStock(stocks, [](const CStockRecord& stock) { return stock.m_dClose > 0; });
    },
    QuotesFileName,
    WriteQuotes,
    "no quote was fetched",
    "the daily quote file",
    "no daily file written",
};

const BlockKind kFigures = {
    "performance",
    &CStockList::GetFiguresUrl,
    "the job stopped; the blocks before are written",
    [](CStockList& stocks) { stocks.ClearFigures(); },
    ReadFiguresPage,
    [](const CStockList& stocks) {
        return AnyStock(stocks,
                        [](const CStockRecord& stock) { return HasFigures(stock.m_adFigures); });
    },
    [](const JobContext& context) {
        return FiguresFileName(context.stocks, context.settings.m_szOutputDir);
    },
    [](const JobContext& context, int extracted, int* error, Whole whole) {
        return WriteFiguresFile(context.stocks, extracted, context.settings.m_szOutputDir, error,
                                whole);
    },
    "no figures were fetched",
    "the performance file",
    "no performance file written",
};

// The outcome counts the list's stocks, the bar its blocks, and every block's page is planned.
JobOutcome& BeginBlocks(JobContext& context, const BlockKind& kind, PageAhead& ahead) {
    CStockList& stocks = context.stocks;
    JobOutcome& outcome = BeginOutcome(context, kind.job, "stocks");
    for (int i = 0; i < stocks.m_nBlocks; ++i) {
        outcome.itemsTotal += stocks.GetBlock(i)->m_nStocks;
        ahead.Plan((stocks.*kind.urlOf)(i), stocks.GetPagePath(i));
    }
    context.view.SetProgressRange(stocks.m_nBlocks);
    context.view.SetProgressStep(1);
    ShowItems(outcome, context.view);
    return outcome;
}

// A run that holds nothing to write (the site was down, say) has no day to write: an empty
// file would read as a day without trading, or replace the day's good file.
void WriteDayFile(JobContext& context, const BlockKind& kind, int extracted) {
    JobOutcome& outcome = context.outcome;
    if (context.stocks.GetBlock(0) == nullptr) {
        return;
    }
    outcome.quoteDate = QuoteDateOf(context.stocks);
    const std::string path = kind.fileName(context);
    if (!kind.any(context.stocks)) {
        outcome.AddFile(path, PathExists(path) ? FileState::kKept : FileState::kFailed,
                        kind.noneFetched);
        return;
    }
    int error = 0;
    const bool whole = RanWhole(outcome);
    const std::vector<std::string> asideBefore = NumberedBackupsOf(path);
    const std::string written =
        kind.write(context, extracted, &error, whole ? Whole::kYes : Whole::kNo);
    if (!written.empty()) {
        AddDayFile(outcome, written, whole, asideBefore);
        return;
    }
    error = error != 0 ? error : EIO;
    outcome.AddFile(path, FileState::kFailed,
                    error == kTooManyVersions ? "too many earlier versions kept beside it"
                                              : std::strerror(error));
    outcome.Fail(kind.fileWhat, DayFileCause(path, error), AbsolutePath(path), kind.noFileAction);
}

JobOutcome RunBlocks(JobContext& context, const BlockKind& kind) {
    ITickoraView& view = context.view;
    CStockList& stocks = context.stocks;
    const int blocks = stocks.m_nBlocks;
    JobPages pages(context);
    PagePool& pool = pages.Pool();
    PageAhead ahead(pool);
    kind.clear(stocks);
    JobOutcome& outcome = BeginBlocks(context, kind, ahead);
    int extracted = 0;
    int notExtracted = 0;
    bool counted = false;
    for (int i = 0; i < blocks; ++i) {
        view.StepProgress();
        CQuoteBlock& block = *stocks.GetBlock(i);
        const char* url = (stocks.*kind.urlOf)(i);
        // The work file may hold the other kind of page of this block, or an earlier run's: a
        // request that brings no page leaves no file (Next removes it first).
        DownloadDetail detail;
        if (ahead.Next(detail) != 0) {
            EndAtBlock(outcome, block, detail, url, kind.stopAction);
            break;
        }
        const int rows = kind.read(outcome, block, url, stocks.GetPagePath(i), detail);
        extracted += rows;
        // A page that lists a code twice counts both rows: never a negative "not extracted".
        notExtracted += std::max(0, block.m_nStocks - rows);
        view.ShowCounts(extracted, notExtracted);
        counted = true;
        outcome.extracted = extracted;
        outcome.notExtracted = notExtracted;
        CountItems(outcome, block.m_nStocks, view);
        if (!GoesOn(outcome, context.cancel)) {
            break;
        }
    }
    if (!counted && blocks > 0) {
        // No block was read: the counters must not go on showing the last job's totals.
        view.ShowCounts(0, 0);
    }
    WriteDayFile(context, kind, extracted);
    return outcome;
}

}  // namespace

JobOutcome FetchDailyQuotes(JobContext& context) {
    if (context.quotesWhole != nullptr) {
        *context.quotesWhole = false;
    }
    return RunBlocks(context, kQuotes);
}

JobOutcome FetchPerformance(JobContext& context) {
    return RunBlocks(context, kFigures);
}

}  // namespace tickora
