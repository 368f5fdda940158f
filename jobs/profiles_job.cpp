// SPDX-License-Identifier: GPL-3.0-or-later
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "formats/dictionary.h"
#include "jobs/html_job.h"
#include "jobs/job_context.h"
#include "jobs/job_steps.h"
#include "jobs/page_ahead.h"
#include "jobs/profile_fetch.h"
#include "pages/profile_page.h"
#include "files/work_folder.h"

namespace tickora {
namespace {

constexpr const char* kRecordKept = "its record kept";

class ProfilesJob : HtmlJob {
  public:
    ProfilesJob(JobContext& context, const JobOptions& options) : HtmlJob(context, options) {}

    JobOutcome Run();

  private:
    // The folders and the dictionary the records go to; false when the dictionary cannot be
    // made, which stops the job before its first stock.
    bool Prepare();
    // The stocks this run is for: with "added only", those the dictionary has no entry for.
    // With a retry, only the stocks that failed before.
    void PlanStocks();
    void ReadBlocks(ProfilesAhead& pages);
    // One stock: its page, then its record. False when the job ends with it.
    bool ReadStock(ProfilesAhead& pages, int code);
    void NotePage(int code, const std::string& path, const DownloadDetail& detail, int parsed,
                  bool transfersEnd);
    void WriteRecord(int code);
    void NameNotAsked();

    std::vector<std::vector<int>> m_planned;
    int m_written = 0;
    FailureStreak m_transfers;
    FailureStreak m_records;
    CompanyProfile m_profile{};
};

JobOutcome ProfilesJob::Run() {
    ITickoraView& view = m_context.view;
    BeginOutcome(m_context, "profiles", "stocks");
    view.ShowCounts(0, 0);
    if (!Prepare()) {
        return m_outcome;
    }
    view.SetProgressRange(m_context.stocks.m_nBlocks);
    view.SetProgressStep(1);
    PlanStocks();
    ShowItems(m_outcome, view);
    JobPages pagePool(m_context);
    PagePool& pool = pagePool.Pool();
    PageAhead ahead(pool);
    ProfilesAhead pages(ahead, m_context.access, m_keepHtml, m_useKeptHtml);
    for (const std::vector<int>& codes : m_planned) {
        for (const int code : codes) {
            pages.Plan(code);
        }
    }
    ReadBlocks(pages);
    NameNotAsked();
    if (!m_keepHtml) {
        std::remove(kSharedProfilePath);
    }
    if (m_written > 0) {
        m_outcome.AddFile(kDictionaryPath, FileState::kWritten);
    }
    return m_outcome;
}

bool ProfilesJob::Prepare() {
    CreateWorkFolder();
    if (m_keepHtml) {
        CreateProfileFolders();
    }
    if (m_addedOnly) {
        return true;
    }
    const int error = CreateDictionaryIfMissing(m_context.stocks);
    if (error == 0) {
        return true;
    }
    m_outcome.AddFile(kDictionaryPath, FileState::kFailed, std::strerror(error));
    ItemFailure& failure = m_outcome.Fail(kDictionaryPath, FileCause(kDictionaryPath, error),
                                          AbsolutePath(kDictionaryPath), "no record can be written");
    m_outcome.StopAt(failure);
    return false;
}

void ProfilesJob::PlanStocks() {
    const CStockList& stocks = m_context.stocks;
    m_planned.assign(static_cast<std::size_t>(stocks.m_nBlocks), {});
    StockFilter filter(m_context.retry, m_context.retryCodes);
    for (int b = 0; b < stocks.m_nBlocks; ++b) {
        const CQuoteBlock& block = *stocks.GetBlock(b);
        for (int s = 0; s < block.m_nStocks; ++s) {
            const int code = block.m_aStocks[s].m_nCode;
            if (filter.Asks(code) && (!m_addedOnly || !DictionaryHasEntry(code))) {
                m_planned[static_cast<std::size_t>(b)].push_back(code);
                ++m_outcome.itemsTotal;
            }
        }
    }
    filter.NoteMissing(m_outcome);
}

void ProfilesJob::ReadBlocks(ProfilesAhead& pages) {
    for (const std::vector<int>& codes : m_planned) {
        if (m_outcome.end != JobEnd::kCompleted) {
            break;
        }
        for (const int code : codes) {
            if (!ReadStock(pages, code)) {
                break;
            }
        }
        if (m_outcome.end == JobEnd::kCompleted) {
            m_context.view.StepProgress();
        }
    }
}

bool ProfilesJob::ReadStock(ProfilesAhead& pages, int code) {
    DownloadDetail detail;
    const std::string path = pages.Obtain(code, &detail);
    if (detail.failure == PageFailure::kCancelled) {
        m_outcome.end = JobEnd::kCancelled;
        return false;
    }
    const bool transfersEnd = m_transfers.Note(TransferFailed(detail));
    const int parsed = ParseProfilePage(path.c_str(), m_profile);
    const std::size_t failuresBefore = m_outcome.failures.size();
    NotePage(code, path, detail, parsed, transfersEnd);
    if (parsed == kProfileRead) {
        WriteRecord(code);
    }
    // A stock counts once, as done or as failed, as the failures name it for a retry.
    m_outcome.notExtracted += m_outcome.failures.size() > failuresBefore ? 1 : 0;
    m_outcome.extracted = m_outcome.itemsDone + 1 - m_outcome.notExtracted;
    m_context.view.ShowCounts(m_outcome.extracted, m_outcome.notExtracted);
    CountItems(m_outcome, 1, m_context.view);
    return GoesOn(m_outcome, m_context.cancel);
}

void ProfilesJob::NotePage(int code, const std::string& path, const DownloadDetail& detail,
                           int parsed, bool transfersEnd) {
    const std::string url = ProfileUrl(m_context.access.hosts.profile, code);
    const std::string what = "the profile of " + CodeText(code);
    if (!detail.Ok()) {
        // With kept pages a failed download leaves the page an earlier run kept for this same
        // stock, and that page is read.
        ItemFailure& failure =
            m_outcome.Fail(what, CauseOf(detail), url,
                           parsed == kProfileRead ? "the page kept earlier was read" : kRecordKept);
        failure.codes = {code};
        if (transfersEnd) {
            m_outcome.StopAt(failure);
        }
    } else if (parsed != kProfileRead) {
        // A page that arrived but is none (a maintenance page, say), or a kept page that is
        // missing: a download that brought nothing failed above.
        ItemFailure& failure = m_outcome.Fail(what, ProfileCause(parsed, path),
                                              m_useKeptHtml ? AbsolutePath(path) : url, kRecordKept);
        failure.codes = {code};
    }
}

void ProfilesJob::WriteRecord(int code) {
    const int error = WriteProfileToDictionary(code, m_profile, m_context.markets);
    if (error == 0) {
        (void)m_records.Note(false);
        ++m_written;
        return;
    }
    ItemFailure& failure =
        m_outcome.Fail("the record of " + CodeText(code), FileCause(kDictionaryPath, error),
                       AbsolutePath(kDictionaryPath), "the record is as it was");
    failure.codes = {code};
    if (m_records.Note(true)) {
        m_outcome.StopAt(failure);
    }
}

void ProfilesJob::NameNotAsked() {
    int index = 0;
    for (const std::vector<int>& codes : m_planned) {
        for (const int code : codes) {
            if (index++ >= m_outcome.itemsDone) {
                m_outcome.notAskedCodes.push_back(code);
            }
        }
    }
}

}  // namespace

JobOutcome GetProfiles(JobContext& context, const JobOptions& options) {
    return ProfilesJob(context, options).Run();
}

}  // namespace tickora
