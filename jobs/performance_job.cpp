#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "jobs/tickora_doc.h"
#include "formats/figures_file.h"
#include "pages/figures_page.h"
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
        // A page that lists a code twice counts both rows: never a negative "not extracted".
        notExtracted += std::max(0, block.m_nStocks - rows);
        view.ShowCounts(extracted, notExtracted);
        report.itemsDone = i + 1;
        if (m_bCancel) {
            report.cancelled = true;
            break;
        }
    }

    // As the daily fetch does: no figures at all never replace an existing file of that day.
    bool anyFigures = false;
    for (int i = 0; i < blocks && !anyFigures; ++i) {
        const CQuoteBlock& block = *m_stocks.GetBlock(i);
        for (int s = 0; s < block.m_nStocks && !anyFigures; ++s) {
            const double* f = block.m_aStocks[s].m_adFigures;
            anyFigures = f[0] > 0 || f[1] > 0 || f[3] > 0;
        }
    }
    const bool keepExisting =
        !anyFigures && std::filesystem::exists(FiguresFileName(m_stocks, m_settings.m_szOutputDir));
    const std::string written =
        keepExisting ? std::string()
                     : WriteFiguresFile(m_stocks, extracted, m_settings.m_szOutputDir);
    if (!written.empty()) {
        report.filesWritten.push_back(written);
    }
    report.extracted = extracted;
    report.notExtracted = notExtracted;
    EndJob(std::move(report));
}

}  // namespace tickora
