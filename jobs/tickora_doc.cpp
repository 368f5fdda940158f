// SPDX-License-Identifier: GPL-3.0-or-later
#include "jobs/tickora_doc.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <optional>
#include <utility>

#include "catalog/partial_pages.h"
#include "files/file_io.h"
#include "formats/dictionary.h"
#include "formats/quote_file.h"
#include "jobs/job_steps.h"
#include "jobs/output_folder.h"
#include "jobs/run_history.h"
#include "text/sjis.h"

namespace tickora {

unsigned JobThreadProc(void* context, const JobRequest& request) {
    if (context == nullptr) {
        return static_cast<unsigned>(-1);
    }
    static_cast<CTickoraDoc*>(context)->Run(request);
    return 0;
}

CTickoraDoc::CTickoraDoc(CAppSettings& settings, CMarketTable& markets, CStockList& stocks)
    : m_settings(settings), m_markets(markets), m_stocks(stocks) {}

CTickoraDoc::~CTickoraDoc() {
    if (IsJobRunning()) {
        CancelJob();
    }
    WaitForJob();
}

ITickoraView& CTickoraDoc::View() const {
    // Until a front-end gives one, a view that shows nothing and dismisses every dialog.
    static ITickoraView nullView;
    return m_pView != nullptr ? *m_pView : nullView;
}

bool CTickoraDoc::OnNewDocument() {
    return m_settings.m_bAutoStart != 0;
}

bool CTickoraDoc::Start(JobRequest request) {
    return Admit(request) && StartWorker(std::move(request), nullptr);
}

bool CTickoraDoc::StartHeld(JobRequest request, const WorkLock& held) {
    return Admit(request) && StartWorker(std::move(request), &held);
}

bool CTickoraDoc::Admit(JobRequest& request) {
    switch (request.job) {
        case Job::kFetch:
            if (m_stocks.GetBlock(0) == nullptr) {
                m_refusal = kEmptyListRefusal;
                return false;
            }
            if (RefuseWhileRunning() || RefuseMissingOutputFolder()) {
                return false;
            }
            View().SetTitle(QuoteDateOf(m_stocks));
            return true;
        case Job::kFetchList:
            return !RefuseWhileRunning();
        case Job::kKdt:
            // The history job's dialog offers every stock at once.
            if (RefuseWhileRunning()) {
                return false;
            }
            m_bShowAllStocks = true;
            return true;
        case Job::kProfiles:
            return AdmitProfiles(request);
        case Job::kPerformance:
            if (RefuseWhileRunning() || RefuseWithoutStocks() || RefuseMissingOutputFolder()) {
                return false;
            }
            m_bShowAllStocks = true;
            return true;
        case Job::kCheck:
            return !RefuseWhileRunning() && !RefuseWithoutStocks();
    }
    return false;
}

bool CTickoraDoc::AdmitProfiles(JobRequest& request) {
    if (!request.options) {
        JobOptions asked;
        // Asked before its dialog: no answer to it would give the job a stock to fetch.
        if (!IsJobRunning() && m_stocks.m_nBlocks != 0 && request.from == FrontEnd::kDesktop &&
            !View().AskProfileOptions(asked)) {
            return false;
        }
        request.options = asked;
    }
    if (RefuseWhileRunning() || RefuseWithoutStocks()) {
        return false;
    }
    // The job reads kept pages from where it keeps them.
    request.options->keepHtml = request.options->KeepsHtml();
    if (request.options->addedOnly && !DictionaryExists()) {
        View().ShowMessage(Utf8ToSjis("辞書ファイルVorlaneEx.DICがありません。"));
        return false;
    }
    m_bShowAllStocks = true;
    return true;
}

bool CTickoraDoc::TakeLock(const WorkLock* held) {
    // The files of a working folder belong to one job at a time, whichever process runs it.
    if (held != nullptr) {
        if (!held->Held()) {
            m_refusal = "the working folder is not held for the job";
            return false;
        }
        return true;
    }
    if (m_handedLock.Held()) {
        m_lock = std::move(m_handedLock);
        return true;
    }
    WorkLockResult taken = TryLockWorkFolder(".");
    if (!taken.Taken()) {
        m_refusal = taken.Message();
        return false;
    }
    m_lock = std::move(taken.lock);
    return true;
}

bool CTickoraDoc::StartWorker(JobRequest request, const WorkLock* held) {
    if (!m_cannotRun.empty()) {
        m_refusal = m_cannotRun;
        return false;
    }
    // All jobs share the stock list, the page buffer and the work files: one worker at a time.
    bool expected = false;
    if (!m_bWorkerAlive.compare_exchange_strong(expected, true)) {
        m_refusal = "a job is running";
        return false;
    }
    if (m_worker.joinable()) {
        m_worker.join();  // the previous worker has finished; only its thread object is left
    }
    if (!TakeLock(held)) {
        m_bWorkerAlive = false;
        return false;
    }
    // Pages a killed run was still receiving; only now, with the folder held, are they surely
    // nobody's.
    (void)RemovePartialPages(held != nullptr ? *held : m_lock);
    m_refusal.clear();
    // Cleared here, once, before the worker exists: a Cancel from now on belongs to this job,
    // however early it comes.
    m_bCancel = false;
    View().ShowRunning();
    m_bBusy = true;
    const bool ownLock = held == nullptr;
    m_worker = std::thread([this, request = std::move(request), ownLock] {
        // Never let an exception cross the thread: the job ends with it as its cause.
        try {
            JobThreadProc(this, request);
        } catch (const std::exception& e) {
            EndJobByException(e.what());
        } catch (...) {
            EndJobByException("an unknown error");
        }
        // Exit after fetch ends the program however the fetch ended: an unattended run must
        // never wait for a click.
        if (request.job == Job::kFetch && m_settings.m_bExitAfterFetch != 0) {
            try {
                View().PostQuit();
            } catch (...) {
            }
        }
        WorkerGone(ownLock);
    });
    return true;
}

void CTickoraDoc::WorkerGone(bool ownLock) {
    if (ownLock) {
        m_lock.Release();
    }
    std::lock_guard lock(m_endMutex);
    m_bWorkerAlive = false;
    m_ended.notify_all();
}

void CTickoraDoc::WaitForJob() {
    if (m_worker.joinable() && m_worker.get_id() != std::this_thread::get_id()) {
        m_worker.join();
    }
}

bool CTickoraDoc::WaitForEnd(std::chrono::milliseconds most) {
    std::unique_lock lock(m_endMutex);
    return m_ended.wait_for(lock, most, [this] { return !m_bWorkerAlive.load(); });
}

bool CTickoraDoc::RefuseWhileRunning() {
    if (!IsJobRunning()) {
        return false;
    }
    m_refusal = "a job is running";
    return true;
}

bool CTickoraDoc::RefuseWithoutStocks() {
    if (m_stocks.m_nBlocks != 0) {
        return false;
    }
    m_refusal = kEmptyListRefusal;
    return true;
}

SaveResult CTickoraDoc::OnSaveQuoteFile() {
    SaveResult refused;
    if (IsJobRunning()) {
        // The running job writes the records the file is made of.
        refused.end = SaveEnd::kJobRunning;
        return refused;
    }
    if (m_stocks.GetBlock(0) == nullptr) {
        refused.end = SaveEnd::kNoList;
        return refused;
    }
    // The day's files belong to one job at a time, whichever process runs it.
    const WorkLockResult taken = TryLockWorkFolder(".");
    if (!taken.Taken()) {
        refused.end = SaveEnd::kFolderBusy;
        refused.why = taken.Message();
        return refused;
    }
    return SaveQuoteFile(m_stocks, m_markets, m_settings, m_bQuotesWhole);
}

bool CTickoraDoc::RefuseMissingOutputFolder() {
    const std::string missing = MissingOutputFolder(m_settings);
    if (missing.empty()) {
        return false;
    }
    m_refusal = OutputFolderRefusal(missing);
    return true;
}

void CTickoraDoc::KeepInHistory() {
    const bool retry = m_retryRun;
    m_retryRun = false;
    // A job that never began (a dismissed dialog, nothing to ask for) is no run. The history is
    // a convenience: a folder where it cannot be written still gets its job done, and the
    // summary says so.
    if (m_current.end == JobEnd::kNotRun) {
        return;
    }
    int error = 0;
    try {
        error = AppendRunHistory(m_current, retry, m_runOptions);
    } catch (const std::exception&) {
        error = ENOMEM;
    }
    if (error != 0) {
        m_current.warnings.push_back(AbsolutePath(kRunHistoryName) + ": " +
                                     LocalFileErrorText(error) +
                                     " (this run is not in the history)");
    }
}

void CTickoraDoc::CancelJob() {
    m_bBusy = false;
    m_bCancel = true;
}

void CTickoraDoc::SetSiteAccess(const SiteAccess& access) {
    std::lock_guard lock(m_accessMutex);
    m_access = access;
}

SiteAccess CTickoraDoc::Access() const {
    std::lock_guard lock(m_accessMutex);
    return m_access;
}

void CTickoraDoc::ShareConnections(bool share) {
    std::lock_guard lock(m_sharedMutex);
    m_shareConnections = share;
    if (!share) {
        m_sharedPages.reset();
    }
}

std::shared_ptr<PagePool> CTickoraDoc::SharedPages(const SiteAccess& access) {
    std::lock_guard lock(m_sharedMutex);
    if (!m_shareConnections) {
        return nullptr;
    }
    // Settings changed between two steps reach the site otherwise: a new pool, new connections.
    if (m_sharedPages == nullptr || !(m_sharedPages->Access() == access)) {
        m_sharedPages.reset();
        m_sharedPages = std::make_shared<PagePool>(
            access, TransferControl{m_pacer, CancelToken(m_bCancel)});
    }
    return m_sharedPages;
}

JobContext CTickoraDoc::Context(const JobRequest& request) {
    const SiteAccess access = Access();
    return JobContext{m_stocks,
                      m_markets,
                      m_settings,
                      View(),
                      m_bCancel,
                      m_pacer,
                      m_current,
                      request.only.has_value(),
                      request.only.value_or(std::vector<int>{}),
                      &m_bQuotesWhole,
                      access,
                      SharedPages(access)};
}

void CTickoraDoc::Run(const JobRequest& request) {
    m_retryRun = request.only.has_value();
    m_runOptions = {};
    JobOptions options = request.options.value_or(JobOptions{});
    if (!request.options && request.from == FrontEnd::kDesktop) {
        // The list and history jobs ask on the worker, as they always have.
        const bool asked = request.job == Job::kFetchList ? View().AskListOptions(options)
                           : request.job == Job::kKdt
                               ? View().AskCodeOptions(options, m_bShowAllStocks)
                               : true;
        if (!asked) {
            EndJobWithoutWork(JobName(request.job));
            return;
        }
    }
    m_runOptions = OptionsOf(request.job, options);
    JobContext context = Context(request);
    if (request.job == Job::kKdt) {
        if (const std::string why = KdtRefusal(context, options); !why.empty()) {
            EndJobWithoutWork("kdt", why);
            return;
        }
    }
    m_current = RunJob(context, request, options);
    EndJob();
}

JobOutcome CTickoraDoc::RunJob(JobContext& context, const JobRequest& request,
                               const JobOptions& options) {
    switch (request.job) {
        case Job::kFetch:
            return FetchDailyQuotes(context);
        case Job::kFetchList:
            return MakeFetchList(context, options);
        case Job::kKdt:
            return MakeKdt(context, options);
        case Job::kProfiles:
            return GetProfiles(context, options);
        case Job::kPerformance:
            return FetchPerformance(context);
        case Job::kCheck:
            return CheckStoredFiles(context);
    }
    return m_current;
}

void CTickoraDoc::EndJob() {
    KeepOutcome();
    View().SetProgressPos(0);
    m_bBusy = false;
    ShowEnd();
}

void CTickoraDoc::EndJobWithoutWork(const char* job, const std::string& why) {
    m_current = JobOutcome{};
    m_current.job = job;
    m_current.end = JobEnd::kNotRun;
    m_current.endCause = why;
    KeepOutcome();
    m_bBusy = false;
    ShowEnd();
}

void CTickoraDoc::EndJobByException(const char* what) {
    m_current.end = JobEnd::kException;
    m_current.endCause = what;
    KeepOutcome();
    m_bBusy = false;
    // The view may be what raised: the job is over whatever it does now.
    try {
        View().SetProgressPos(0);
        ShowEnd();
    } catch (...) {
    }
}

void CTickoraDoc::KeepOutcome() {
    KeepInHistory();
    std::lock_guard lock(m_reportMutex);
    m_report = m_current;
}

void CTickoraDoc::ShowEnd() {
    View().ShowIdle();
    View().ShowOutcome(m_current);
}

JobOutcome CTickoraDoc::LastOutcome() const {
    std::lock_guard lock(m_reportMutex);
    return m_report;
}

}  // namespace tickora
