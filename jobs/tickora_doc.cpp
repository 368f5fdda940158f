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

unsigned JobThreadProc(void* context, CTickoraDoc::Body body) {
    if (context == nullptr) {
        return static_cast<unsigned>(-1);
    }
    auto* doc = static_cast<CTickoraDoc*>(context);
    (doc->*body)();
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

bool CTickoraDoc::StartJob(Body body) {
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
    // The files of a working folder belong to one job at a time, whichever process runs it.
    if (m_keptLock.Held()) {
        // The routine holds it for all its jobs; m_lock stays empty, so the worker releases
        // nothing.
    } else if (m_handedLock.Held()) {
        m_lock = std::move(m_handedLock);
    } else {
        WorkLockResult taken = TryLockWorkFolder(".");
        if (!taken.Taken()) {
            m_refusal = taken.Message();
            m_bWorkerAlive = false;
            return false;
        }
        m_lock = std::move(taken.lock);
    }
    // Pages a killed run was still receiving; only now, with the folder held, are they surely
    // nobody's.
    (void)RemovePartialPages(m_keptLock.Held() ? m_keptLock : m_lock);
    m_refusal.clear();
    m_retryRun = m_limitNext;
    m_retryCodes = std::move(m_limitCodes);
    m_runOptions = {};
    m_limitCodes.clear();
    m_limitNext = false;
    // Cleared here, once, before the worker exists: a Cancel from now on belongs to this job,
    // however early it comes.
    m_bCancel = false;
    View().ShowRunning();
    m_bBusy = true;
    m_worker = std::thread([this, body] {
        // Never let an exception cross the thread: the job ends with it as its cause.
        try {
            JobThreadProc(this, body);
        } catch (const std::exception& e) {
            EndJobByException(e.what());
        } catch (...) {
            EndJobByException("an unknown error");
        }
        // Exit after fetch ends the program however the fetch ended: an unattended run must
        // never wait for a click.
        if (body == &CTickoraDoc::RunFetch && m_settings.m_bExitAfterFetch != 0) {
            try {
                View().PostQuit();
            } catch (...) {
            }
        }
        m_lock.Release();
        m_bWorkerAlive = false;
    });
    return true;
}

void CTickoraDoc::WaitForJob() {
    if (m_worker.joinable() && m_worker.get_id() != std::this_thread::get_id()) {
        m_worker.join();
    }
}

bool CTickoraDoc::OnFetch() {
    const CQuoteBlock* block0 = m_stocks.GetBlock(0);
    if (block0 == nullptr) {
        m_refusal = kEmptyListRefusal;
        return false;
    }
    if (RefuseWhileRunning()) {
        return false;
    }
    if (!RefuseMissingOutputFolder()) {
        return false;
    }
    View().SetTitle(QuoteDateOf(m_stocks));
    return StartJob(&CTickoraDoc::RunFetch);
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

template <class Options>
bool CTickoraDoc::StartGiven(std::optional<Options>& slot, std::optional<Options> given, Body body,
                             std::atomic<bool>* raised) {
    if (RefuseWhileRunning()) {
        return false;
    }
    if (raised != nullptr) {
        *raised = true;
    }
    slot = given;
    return StartJob(body);
}

bool CTickoraDoc::OnMakeFetchList() {
    return StartGiven<ListOptions>(m_givenList, std::nullopt, &CTickoraDoc::RunMakeFetchList);
}

bool CTickoraDoc::OnMakeFetchList(const ListOptions& options) {
    return StartGiven<ListOptions>(m_givenList, options, &CTickoraDoc::RunMakeFetchList);
}

// The history job's dialog offers every stock at once.
bool CTickoraDoc::OnMakeKdt() {
    return StartGiven<CodeOptions>(m_givenCode, std::nullopt, &CTickoraDoc::RunMakeKdt,
                                   &m_bShowAllStocks);
}

bool CTickoraDoc::OnMakeKdt(const CodeOptions& options) {
    return StartGiven<CodeOptions>(m_givenCode, options, &CTickoraDoc::RunMakeKdt,
                                   &m_bShowAllStocks);
}

bool CTickoraDoc::OnGetProfiles() {
    ProfileOptions options;
    // Asked before its dialog: no answer to it would give the job a stock to fetch.
    if (!IsJobRunning() && m_stocks.m_nBlocks != 0 && !View().AskProfileOptions(options)) {
        return false;
    }
    return StartProfileJob(options);
}

bool CTickoraDoc::OnGetProfiles(const ProfileOptions& options) {
    return StartProfileJob(options);
}

bool CTickoraDoc::StartProfileJob(const ProfileOptions& options) {
    if (RefuseWhileRunning()) {
        return false;
    }
    if (RefuseWithoutStocks()) {
        return false;
    }
    NoteHtmlOptions(options);
    if (m_bAddedOnly && !DictionaryExists()) {
        View().ShowMessage(Utf8ToSjis("辞書ファイルVorlaneEx.DICがありません。"));
        return false;
    }
    m_bShowAllStocks = true;
    return StartJob(&CTickoraDoc::RunGetProfiles);
}

void CTickoraDoc::NoteHtmlOptions(const HtmlOptions& options) {
    m_bKeepHtml = options.KeepsHtml() ? 1 : 0;
    m_bAddedOnly = options.addedOnly ? 1 : 0;
    m_bUseKeptHtml = options.useKeptHtml ? 1 : 0;
}

bool CTickoraDoc::OnGetPerformance() {
    if (RefuseWhileRunning()) {
        return false;
    }
    if (RefuseWithoutStocks()) {
        return false;
    }
    if (!RefuseMissingOutputFolder()) {
        return false;
    }
    m_bShowAllStocks = true;
    return StartJob(&CTickoraDoc::RunGetPerformance);
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
        return true;
    }
    m_refusal = OutputFolderRefusal(missing);
    return false;
}

void CTickoraDoc::LimitNextJobTo(std::vector<int> codes) {
    m_limitCodes = std::move(codes);
    m_limitNext = true;
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

JobContext CTickoraDoc::Context() {
    return JobContext{m_stocks,  m_markets,  m_settings,   View(),          m_bCancel, m_pacer,
                      m_current, m_retryRun, m_retryCodes, &m_bQuotesWhole, Access()};
}

void CTickoraDoc::RunFetch() {
    JobContext context = Context();
    m_current = FetchDailyQuotes(context);
    EndJob();
}

void CTickoraDoc::RunGetPerformance() {
    JobContext context = Context();
    m_current = FetchPerformance(context);
    EndJob();
}

void CTickoraDoc::RunMakeFetchList() {
    ListOptions options;
    if (std::optional<ListOptions> given = std::exchange(m_givenList, std::nullopt)) {
        options = *given;
    } else if (!View().AskListOptions(options)) {
        EndJobWithoutWork("fetchlist");
        return;
    }
    NoteHtmlOptions(options);
    m_runOptions = OptionsOf(options);
    JobContext context = Context();
    m_current = MakeFetchList(context, options);
    EndJob();
}

void CTickoraDoc::RunGetProfiles() {
    ProfileOptions options;
    options.keepHtml = m_bKeepHtml != 0;
    options.addedOnly = m_bAddedOnly != 0;
    options.useKeptHtml = m_bUseKeptHtml != 0;
    m_runOptions = OptionsOf(options);
    JobContext context = Context();
    m_current = GetProfiles(context, options);
    EndJob();
}

void CTickoraDoc::RunMakeKdt() {
    CodeOptions options;
    if (std::optional<CodeOptions> given = std::exchange(m_givenCode, std::nullopt)) {
        options = *given;
    } else if (!View().AskCodeOptions(options, m_bShowAllStocks)) {
        EndJobWithoutWork("kdt");
        return;
    }
    m_runOptions = OptionsOf(options);
    JobContext context = Context();
    if (const std::string why = KdtRefusal(context, options); !why.empty()) {
        EndJobWithoutWork("kdt", why);
        return;
    }
    m_current = MakeKdt(context, options);
    EndJob();
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
