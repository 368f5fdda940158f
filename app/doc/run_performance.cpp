#include <cstdio>

#include "app/doc/tickora_doc.h"
#include "formats/figures_file.h"
#include "jobs/figures_page.h"
#include "web/download.h"

namespace tickora {

void CTickoraDoc::RunGetPerformance() {
    ITickoraView& view = View();
    const int blocks = m_stocks.m_nBlocks;
    view.SetProgressRange(blocks);
    view.SetProgressStep(1);
    m_bCancel = false;

    JobReport report;
    report.job = "performance";
    report.itemsTotal = blocks;
    int extracted = 0;
    int notExtracted = 0;
    for (int i = 0; i < blocks; ++i) {
        view.StepProgress();
        CQuoteBlock& block = *m_stocks.GetBlock(i);
        const char* page = m_stocks.GetPagePath(i);
        // The daily fetch keeps the other view of this block's page in the same file: a request
        // that brings no page must leave no file, not that page to be read as figures.
        std::remove(page);
        if (DownloadToFile(m_stocks.GetFiguresUrl(i), page) != 0) {
            std::remove(page);
            report.downloadFailed = true;
            break;
        }
        int rows = ParseFiguresPage(page, block);
        if (rows < 0) {
            rows = 0;
        }
        extracted += rows;
        notExtracted += block.m_nStocks - rows;
        view.ShowCounts(extracted, notExtracted);
        report.itemsDone = i + 1;
        if (m_bCancel) {
            report.cancelled = true;
            break;
        }
    }

    const std::string written = WriteFiguresFile(m_stocks, extracted, m_settings.m_szOutputDir);
    if (!written.empty()) {
        report.filesWritten.push_back(written);
    }
    report.extracted = extracted;
    report.notExtracted = notExtracted;
    EndJob(std::move(report));
}

}  // namespace tickora
