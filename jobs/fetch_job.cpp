// SPDX-License-Identifier: GPL-3.0-or-later
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "formats/quote_file.h"
#include "jobs/job_steps.h"
#include "jobs/page_ahead.h"
#include "jobs/tickora_doc.h"
#include "pages/page_check.h"
#include "pages/quote_page.h"

namespace tickora {
namespace {

constexpr const char* kNotExtracted = "its stocks counted as not extracted";
constexpr const char* kNoQuoteRows = "the page holds no quote rows";

bool AnyQuote(const CStockList& stocks) {
    for (int i = 0; i < stocks.m_nBlocks; ++i) {
        const CQuoteBlock& block = *stocks.GetBlock(i);
        for (int s = 0; s < block.m_nStocks; ++s) {
            if (block.m_aStocks[s].m_dClose > 0) {
                return true;
            }
        }
    }
    return false;
}

std::string StockOfBlock(const CQuoteBlock& block, int slot) {
    return "stock " + CodeText(block.m_aStocks[slot].m_nCode) + " of block " +
           std::to_string(block.m_nIndex);
}

// Quotes the daily file cannot hold are failed stocks, each with its value; implausible ones,
// written as the site gave them, are warnings.
void NoteQuoteNumbers(JobOutcome& outcome, const CQuoteBlock& block, const QuotePageOutcome& parsed,
                      const char* url) {
    for (const SlotNote& fault : parsed.numberFaults) {
        ItemFailure& failure =
            outcome.Fail(StockOfBlock(block, fault.slot), fault.text, url,
                         std::string("not extracted, logged to ") + kErrorLogPath);
        failure.codes = {block.m_aStocks[fault.slot].m_nCode};
    }
    for (const SlotNote& note : parsed.implausible) {
        outcome.warnings.push_back(StockOfBlock(block, note.slot) + ": " + note.text +
                                   "; written as the site gave it");
    }
}

}  // namespace

void CTickoraDoc::RunFetch() {
    ITickoraView& view = View();
    const int blocks = m_stocks.m_nBlocks;
    PagePool pool;
    PageAhead ahead(pool);
    // The records still hold the last fetch of this run (the desktop program keeps them between
    // jobs): a block this fetch does not read must not write yesterday's prices as today's.
    m_stocks.ClearQuotes();
    m_bQuotesWhole = false;
    JobOutcome& outcome = BeginBlockJob("fetch", ahead, &CStockList::GetQuoteUrl);

    int extracted = 0;
    int failed = 0;
    bool counted = false;
    for (int i = 0; i < blocks; ++i) {
        view.StepProgress();
        CQuoteBlock& block = *m_stocks.GetBlock(i);
        const char* url = m_stocks.GetQuoteUrl(i);
        // The work file may hold the page of an earlier fetch (yesterday's, perhaps): a 404 or a
        // cut transfer must not put its prices into today's file.
        const char* page = m_stocks.GetPagePath(i);
        DownloadDetail detail;
        if (ahead.Next(detail) != 0) {
            EndAtBlock(outcome, block, detail, url,
                       "the fetch stopped; the blocks before are written");
            break;
        }
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
                      !detail.Ok()                              ? CauseOf(detail)
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
        extracted += block.m_nExtracted;
        failed += block.m_nStocks - block.m_nExtracted;
        view.ShowCounts(extracted, failed);
        counted = true;
        outcome.itemsDone += block.m_nStocks;
        outcome.extracted = extracted;
        outcome.notExtracted = failed;
        ItemDone();
        if (m_bCancel) {
            outcome.end = JobEnd::kCancelled;
            break;
        }
    }
    if (!counted && blocks > 0) {
        // No block was read: the counters must not go on showing the last job's totals.
        view.ShowCounts(0, 0);
    }
    WriteDailyQuoteFile(outcome);
    EndJob();
}

void CTickoraDoc::WriteDailyQuoteFile(JobOutcome& outcome) {
    const CQuoteBlock* block0 = m_stocks.GetBlock(0);
    if (block0 == nullptr) {
        return;
    }
    int year = 0;
    int month = 0;
    int day = 0;
    block0->GetQuoteDate(&year, &month, &day);
    outcome.quoteDate = QuoteDateOf(m_stocks);
    const std::string path =
        QuoteFileName(m_settings.m_szOutputDir, m_settings.m_nOutputFormat, year, month, day);
    // A run that holds no quote at all (the site was down, say) has no day to write: an empty
    // file would read as a day without trading, or replace the day's good file.
    if (!AnyQuote(m_stocks)) {
        outcome.AddFile(path, PathExists(path) ? FileState::kKept : FileState::kFailed,
                        "no quote was fetched");
        return;
    }
    int error = 0;
    const bool whole = RanWhole(outcome);
    const std::string written = WriteQuoteFile(
        m_stocks, m_settings.m_nOutputFormat, m_settings.m_szOutputDir, m_markets,
        m_settings.m_bAverageDecimals != 0, &error, whole ? Whole::kYes : Whole::kNo);
    m_bQuotesWhole = whole;
    if (!written.empty()) {
        AddDayFile(outcome, written, whole);
        return;
    }
    const std::string cause = FileCause(path, error != 0 ? error : EIO);
    outcome.AddFile(path, FileState::kFailed, std::strerror(error != 0 ? error : EIO));
    outcome.Fail("the daily quote file", cause, AbsolutePath(path), "no daily file written");
}

}  // namespace tickora
