#include <cstdio>
#include <filesystem>

#include "jobs/tickora_doc.h"
#include "formats/quote_file.h"
#include "pages/quote_page.h"
#include "web/download.h"

namespace tickora {

void CTickoraDoc::RunFetch() {
    ITickoraView& view = View();
    const int blocks = m_stocks.m_nBlocks;
    view.SetProgressRange(blocks);
    view.SetProgressStep(1);
    m_bCancel = false;

    JobReport report;
    report.job = "fetch";
    report.itemsTotal = blocks;
    int extracted = 0;
    int failed = 0;
    for (int i = 0; i < blocks; ++i) {
        view.StepProgress();
        CQuoteBlock& block = *m_stocks.GetBlock(i);
        const char* page = m_stocks.GetPagePath(i);
        // The work file still holds the page of an earlier fetch (yesterday's, perhaps): were it
        // left in place, a 404 or a cut transfer would put its prices into today's file.
        std::remove(page);
        if (DownloadToFile(m_stocks.GetQuoteUrl(i), page) != 0) {
            std::remove(page);
            report.downloadFailed = true;
            break;
        }
        QuotePageOutcome outcome;
        if (!ParseQuotePage(page, block, &outcome)) {
            // The site answered without a page: nothing of this block was extracted this time,
            // so its stocks count as not extracted rather than as what an earlier fetch found.
            block.m_nExtracted = 0;
        }
        for (int k = 0; k < outcome.failedCount; ++k) {
            report.failedCodes.push_back(block.m_aStocks[outcome.failedSlots[k]].m_nCode);
        }
        extracted += block.m_nExtracted;
        failed += block.m_nStocks - block.m_nExtracted;
        view.ShowCounts(extracted, failed);
        report.itemsDone = i + 1;
        if (m_bCancel) {
            report.cancelled = true;
            break;
        }
    }

    // A run that holds no quote at all (the first page failed after a restart, say) would
    // replace the day's good file with an empty one: the existing file is kept instead.
    bool anyQuote = false;
    for (int i = 0; i < blocks && !anyQuote; ++i) {
        const CQuoteBlock& block = *m_stocks.GetBlock(i);
        for (int s = 0; s < block.m_nStocks && !anyQuote; ++s) {
            anyQuote = block.m_aStocks[s].m_dClose > 0;
        }
    }
    int year = 0;
    int month = 0;
    int day = 0;
    if (blocks > 0) {
        m_stocks.GetBlock(0)->GetQuoteDate(&year, &month, &day);
    }
    const bool keepExisting =
        !anyQuote && blocks > 0 &&
        std::filesystem::exists(
            QuoteFileName(m_settings.m_szOutputDir, m_settings.m_nOutputFormat, year, month, day));
    const std::string written = keepExisting ? std::string()
                                             : WriteQuoteFile(m_stocks, m_settings.m_nOutputFormat,
                                                              m_settings.m_szOutputDir, m_markets,
                                                              m_settings.m_bAverageDecimals != 0);
    if (!written.empty()) {
        report.filesWritten.push_back(written);
    }
    report.extracted = extracted;
    report.notExtracted = failed;
    EndJob(std::move(report));
    if (m_settings.m_bExitAfterFetch != 0) {
        View().PostQuit();
    }
}

}  // namespace tickora
