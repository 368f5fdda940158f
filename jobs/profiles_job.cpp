// SPDX-License-Identifier: GPL-3.0-or-later
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "formats/dictionary.h"
#include "jobs/job_steps.h"
#include "jobs/page_ahead.h"
#include "jobs/tickora_doc.h"
#include "pages/profile_page.h"
#include "files/work_folder.h"

namespace tickora {
namespace {

constexpr const char* kRecordKept = "its record kept";

}  // namespace

void CTickoraDoc::RunGetProfiles() {
    ITickoraView& view = View();
    JobOutcome& outcome = BeginOutcome("profiles", "stocks");
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
        if (const int error = CreateDictionaryIfMissing(m_stocks); error != 0) {
            outcome.AddFile(kDictionaryPath, FileState::kFailed, std::strerror(error));
            ItemFailure& failure =
                outcome.Fail(kDictionaryPath, FileCause(kDictionaryPath, error),
                             AbsolutePath(kDictionaryPath), "no record can be written");
            outcome.StopAt(failure);
            EndJob();
            return;
        }
    }

    view.SetProgressRange(m_stocks.m_nBlocks);
    view.SetProgressStep(1);
    m_bCancel = false;
    // The stocks this run is for: with "added only", those the dictionary has no entry for.
    // With a retry, only the stocks that failed before.
    std::vector<std::vector<int>> planned(static_cast<std::size_t>(m_stocks.m_nBlocks));
    StockFilter filter(m_retryRun, m_retryCodes);
    for (int b = 0; b < m_stocks.m_nBlocks; ++b) {
        const CQuoteBlock& block = *m_stocks.GetBlock(b);
        for (int s = 0; s < block.m_nStocks; ++s) {
            const int code = block.m_aStocks[s].m_nCode;
            if (filter.Asks(code) && (!addedOnly || !DictionaryHasEntry(code))) {
                planned[static_cast<std::size_t>(b)].push_back(code);
                ++outcome.itemsTotal;
            }
        }
    }

    filter.NoteMissing(outcome);
    ItemDone();
    PagePool pool;
    PageAhead ahead(pool);
    ProfilesAhead pages(ahead, keepHtml, useKeptHtml);
    for (const std::vector<int>& codes : planned) {
        for (const int code : codes) {
            pages.Plan(code);
        }
    }
    int written = 0;
    FailureStreak transfers;
    FailureStreak records;
    CompanyProfile profile{};
    for (int b = 0; b < m_stocks.m_nBlocks && outcome.end == JobEnd::kCompleted; ++b) {
        for (const int code : planned[static_cast<std::size_t>(b)]) {
            const std::string url = ProfileUrl(code);
            const std::string what = "the profile of " + CodeText(code);
            DownloadDetail detail;
            const std::string path = pages.Obtain(code, keepHtml, useKeptHtml, &detail);
            if (detail.failure == PageFailure::kCancelled) {
                outcome.end = JobEnd::kCancelled;
                break;
            }
            const bool transfersEnd = transfers.Note(TransferFailed(detail));
            const int parsed = ParseProfilePage(path.c_str(), profile);
            if (!detail.Ok()) {
                // With kept pages a failed download leaves the page an earlier run kept for this
                // same stock, and that page is read.
                ItemFailure& failure = outcome.Fail(
                    what, CauseOf(detail), url,
                    parsed == kProfileRead ? "the page kept earlier was read" : kRecordKept);
                failure.codes = {code};
                if (transfersEnd) {
                    outcome.StopAt(failure);
                }
            } else if (parsed != kProfileRead) {
                // A page that arrived but is none (a maintenance page, say), or a kept page that
                // is missing: a download that brought nothing failed above.
                ItemFailure& failure =
                    outcome.Fail(what, ProfileCause(parsed, path),
                                 useKeptHtml ? AbsolutePath(path) : url, kRecordKept);
                failure.codes = {code};
            }
            if (parsed == kProfileRead) {
                if (const int error = WriteProfileToDictionary(code, profile, m_markets);
                    error != 0) {
                    ItemFailure& failure = outcome.Fail(
                        "the record of " + CodeText(code), FileCause(kDictionaryPath, error),
                        AbsolutePath(kDictionaryPath), "the record is as it was");
                    failure.codes = {code};
                    if (records.Note(true)) {
                        outcome.StopAt(failure);
                    }
                } else {
                    (void)records.Note(false);
                    ++written;
                }
            }
            outcome.extracted = outcome.itemsDone + 1;
            view.ShowCounts(outcome.extracted, 0);
            CountItems(outcome, 1, view);
            if (!GoesOn(outcome, m_bCancel)) {
                break;
            }
        }
        if (outcome.end == JobEnd::kCompleted) {
            view.StepProgress();
        }
    }

    int index = 0;
    for (const std::vector<int>& codes : planned) {
        for (const int code : codes) {
            if (index++ >= outcome.itemsDone) {
                outcome.notAskedCodes.push_back(code);
            }
        }
    }
    if (!keepHtml) {
        std::remove(kSharedProfilePath);
    }
    if (written > 0) {
        outcome.AddFile(kDictionaryPath, FileState::kWritten);
    }
    EndJob();
}

}  // namespace tickora
