#include <cstdio>
#include <memory>

#include "jobs/tickora_doc.h"
#include "pages/list_pages.h"
#include "web/download.h"
#include "web/hosts.h"
#include "web/work_folder.h"

namespace tickora {

void CTickoraDoc::RunMakeFetchList() {
    ITickoraView& view = View();
    ListOptions options;
    if (!view.AskListOptions(options)) {
        EndJobWithoutWork("fetchlist");
        return;
    }
    // Kept pages are read from the kept-page paths, so using them implies keeping them.
    m_bKeepHtml = (options.keepHtml || options.useKeptHtml) ? 1 : 0;
    m_bAddedOnly = options.addedOnly ? 1 : 0;
    m_bUseKeptHtml = options.useKeptHtml ? 1 : 0;

    JobReport report;
    report.job = "fetchlist";
    CreateWorkFolder();
    auto pages = std::make_unique<CListPages>(Hosts().quote);
    report.itemsTotal = pages->m_nPages;
    view.ShowCounts(0, 0);
    view.SetProgressRange(pages->m_nPages);
    view.SetProgressStep(1);
    m_bCancel = false;

    bool endOfList = false;
    for (int i = 0; i < pages->m_nPages; ++i) {
        view.StepProgress();
        const char* path = pages->GetPagePath(i);
        if (m_bUseKeptHtml == 0) {
            // A refused request writes nothing: without this removal the page an earlier run
            // left here would be read as today's listing.
            std::remove(path);
            if (DownloadToFile(pages->GetPageUrl(i), path) != 0) {
                std::remove(path);  // part of a page; a later offline run must not read it
                report.downloadFailed = true;
                break;
            }
        }
        if (ParseListPage(path, *pages->GetPage(i)) == -2) {
            endOfList = true;
            m_bCancel = true;
        }
        pages->CompletePage(i, m_bKeepHtml != 0, m_bAddedOnly != 0, m_bUseKeptHtml != 0, m_stocks,
                            m_markets);
        ++report.itemsDone;
        if (m_bCancel) {
            report.cancelled = !endOfList;
            break;
        }
    }

    const ListWriteResult written = pages->WriteList(m_bAddedOnly != 0, m_markets);
    report.filesWritten = written.filesWritten;
    pages.reset();
    EndJob(std::move(report));
}

}  // namespace tickora
