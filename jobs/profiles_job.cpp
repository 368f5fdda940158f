#include <cstdio>
#include <string>

#include "jobs/tickora_doc.h"
#include "formats/dictionary.h"
#include "pages/profile_page.h"
#include "web/work_folder.h"

namespace tickora {

void CTickoraDoc::RunGetProfiles() {
    ITickoraView& view = View();
    JobReport report;
    report.job = "profiles";
    view.ShowCounts(0, 0);
    m_bCancel = false;

    const bool keepHtml = m_bKeepHtml != 0;
    const bool addedOnly = m_bAddedOnly != 0;
    const bool useKeptHtml = m_bUseKeptHtml != 0;
    CreateWorkFolder();
    if (keepHtml) {
        CreateProfileFolders();
    }
    if (!addedOnly) {
        CreateDictionaryIfMissing(m_stocks);
    }

    view.SetProgressRange(m_stocks.m_nBlocks);
    view.SetProgressStep(1);
    m_bCancel = false;
    for (int b = 0; b < m_stocks.m_nBlocks; ++b) {
        report.itemsTotal += m_stocks.GetBlock(b)->m_nStocks;
    }

    int processed = 0;
    int written = 0;
    CompanyProfile profile{};
    for (int b = 0; b < m_stocks.m_nBlocks && !report.cancelled; ++b) {
        const CQuoteBlock& block = *m_stocks.GetBlock(b);
        for (int s = 0; s < block.m_nStocks; ++s) {
            const int code = block.m_aStocks[s].m_nCode;
            if (addedOnly && DictionaryHasEntry(code)) {
                continue;
            }
            const std::string path = ObtainProfilePage(code, keepHtml, useKeptHtml);
            if (ParseProfilePage(path.c_str(), profile) == 0) {
                WriteProfileToDictionary(code, profile, m_markets);
                ++written;
            }
            ++processed;
            view.ShowCounts(processed, 0);
            if (m_bCancel) {
                report.cancelled = true;
                break;
            }
        }
        if (!report.cancelled) {
            view.StepProgress();
        }
    }

    if (!keepHtml) {
        std::remove(kSharedProfilePath);
    }
    report.itemsDone = processed;
    report.extracted = processed;
    if (written > 0 || (!addedOnly && DictionaryExists())) {
        report.filesWritten.push_back(kDictionaryPath);
    }
    EndJob(std::move(report));
}

}  // namespace tickora
