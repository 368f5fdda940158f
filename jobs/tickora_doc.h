// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The document: owner of the job flags and the target of the job commands. No GUI here.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "catalog/app_settings.h"
#include "catalog/market_table.h"
#include "catalog/stock_list.h"
#include "catalog/work_lock.h"
#include "jobs/job_context.h"
#include "jobs/job_outcome.h"
#include "jobs/job_request.h"
#include "jobs/run_history.h"
#include "jobs/save_quotes.h"
#include "jobs/tickora_view.h"
#include "web/transfer_control.h"

namespace tickora {

class CTickoraDoc {
  public:
    CTickoraDoc(CAppSettings& settings, CMarketTable& markets, CStockList& stocks);
    ~CTickoraDoc();  // asks a running job to stop and waits for it
    CTickoraDoc(const CTickoraDoc&) = delete;
    CTickoraDoc& operator=(const CTickoraDoc&) = delete;

    void SetView(ITickoraView* view) { m_pView = view; }
    [[nodiscard]] ITickoraView* GetView() const { return m_pView; }
    // The view, or a view that shows nothing when none is set (the workers always have one).
    [[nodiscard]] ITickoraView& View() const;

    // The new-document step: with auto-start on, returns true to say a Fetch should be posted.
    bool OnNewDocument();

    // The one way a job starts: the checks its command makes (a job still runs, no list, no
    // output folder...), then the working folder's lock, then the one worker, which is handed the
    // request. False, with LastRefusal saying why, when no worker started. A desktop request
    // without options asks the profile job's dialog here and the others' on the worker.
    bool Start(JobRequest request);
    // The same under a lock the caller holds for as long as the job runs and beyond (the runner:
    // tickora-cli --wait, a sequence of steps): the worker leaves it held when it ends.
    bool StartHeld(JobRequest request, const WorkLock& held);

    // The job commands, as the desktop's menu and the tests give them: a request of the job,
    // with the options given or, without them, asking the job's dialog.
    bool OnFetch() { return Start({Job::kFetch}); }
    bool OnMakeFetchList() { return Start({Job::kFetchList}); }
    bool OnMakeFetchList(const JobOptions& options) { return Start({Job::kFetchList, options}); }
    bool OnMakeKdt() { return Start({Job::kKdt}); }
    bool OnMakeKdt(const JobOptions& options) { return Start({Job::kKdt, options}); }
    bool OnGetProfiles() { return Start({Job::kProfiles}); }
    bool OnGetProfiles(const JobOptions& options) { return Start({Job::kProfiles, options}); }
    bool OnGetPerformance() { return Start({Job::kPerformance}); }
    // The day's check of the stored files (jobs/check_job.cpp): it downloads nothing.
    bool OnCheck() { return Start({Job::kCheck}); }
    // Save command: the daily quote file in the layout of the settings, from the quotes this
    // process fetched, or else from the stored day file (see jobs/save_quotes.h). Refuses while a
    // job runs or another process holds the working folder.
    [[nodiscard]] SaveResult OnSaveQuoteFile();
    // Cancel button: m_bBusy := false, then m_bCancel := true.
    void CancelJob();

    // Why the last job command started nothing (UTF-8): the list is empty, another process holds
    // the working folder, a job still runs, or RefuseJobs said so. Empty after a start.
    [[nodiscard]] std::string LastRefusal() const { return m_refusal; }
    // Every job command from now on refuses with why (a site whose URLs do not fit, say).
    void RefuseJobs(std::string why) { m_cannotRun = std::move(why); }
    // The working folder's lock for the next job, from a front-end that waited for it. Without
    // one, a job command takes the lock itself and refuses when another job holds it.
    void HandOverWorkLock(WorkLock lock) { m_handedLock = std::move(lock); }

    // True while a worker thread exists (m_bBusy alone does not prove that: Cancel clears it).
    [[nodiscard]] bool IsJobRunning() const { return m_bWorkerAlive.load(); }
    // Waits until no worker is left.
    void WaitForJob();
    // Waits until the running job has ended, at most for `most`: told by the worker as it ends,
    // never found by polling. True when no job runs any more.
    [[nodiscard]] bool WaitForEnd(std::chrono::milliseconds most);

    // How the next jobs reach the site; a front-end sets it from its settings. Until one does,
    // the shipped defaults serve. A job already running keeps the access it began with.
    void SetSiteAccess(const SiteAccess& access);

    // While sharing is on, the jobs the document starts ask their pages of one pool that outlives
    // each of them (JobContext::sharedPages): a routine's steps keep the site's connection from
    // one job to the next. Off, the pool goes once the job using it (if any) has ended.
    void ShareConnections(bool share);

    // The outcome of the last job that ended; read it after WaitForJob.
    [[nodiscard]] JobOutcome LastOutcome() const;

    std::atomic<bool> m_bCancel{false};
    std::atomic<bool> m_bBusy{false};
    std::atomic<bool> m_bShowAllStocks{false};

    CAppSettings& m_settings;
    CMarketTable& m_markets;
    CStockList& m_stocks;

  private:
    friend unsigned JobThreadProc(void* context, const JobRequest& request);

    // The checks of the request's command; false, with the refusal set, when it may not start.
    bool Admit(JobRequest& request);
    bool AdmitProfiles(JobRequest& request);
    // Takes the lock the job runs under: the one held for it, the one handed over, or its own.
    bool TakeLock(const WorkLock* held);
    // Starts the one worker for request; false when one still runs.
    bool StartWorker(JobRequest request, const WorkLock* held);
    // The worker's body: the options (asked of the view when the request has none), the job,
    // its end.
    void Run(const JobRequest& request);
    JobOutcome RunJob(JobContext& context, const JobRequest& request, const JobOptions& options);
    // What the job works with: the document's objects, its view, its flags and the request's
    // stocks.
    [[nodiscard]] JobContext Context(const JobRequest& request);

    // True, with the refusal set, while a job runs, or when the list holds no stock, or when the
    // output folder of the settings does not exist (the daily and performance files would be
    // lost after every page was fetched).
    bool RefuseWhileRunning();
    bool RefuseWithoutStocks();
    bool RefuseMissingOutputFolder();

    // The end steps every job shares: bar to 0, m_bBusy := false, ShowIdle; then the outcome is
    // stored for LastOutcome and shown.
    void EndJob();
    // A job whose options dialog was dismissed or that could not begin: m_bBusy := false,
    // ShowIdle, nothing else; why says why (empty for a dismissed dialog).
    void EndJobWithoutWork(const char* job, const std::string& why = {});
    // Raised inside a job: the outcome so far, ended by the error.
    void EndJobByException(const char* what);
    // What every end shares: the outcome goes to the run history and to LastOutcome, then the
    // form shows itself idle and tells the outcome.
    void KeepOutcome();
    void ShowEnd();
    // Keeps the outcome in the working folder's run history.
    void KeepInHistory();
    // The worker has gone: the lock is released (unless its caller holds it) and WaitForEnd
    // returns.
    void WorkerGone(bool ownLock);

    ITickoraView* m_pView = nullptr;
    std::thread m_worker;
    std::atomic<bool> m_bWorkerAlive{false};
    std::mutex m_endMutex;
    std::condition_variable m_ended;

    // The records hold a whole run's quotes: the Save command's file may then take the place of
    // a whole day's file in the backup.
    std::atomic<bool> m_bQuotesWhole{false};
    mutable std::mutex m_accessMutex;  // the front-end sets it while a worker reads it
    SiteAccess m_access;
    // One per document, not per job: its jobs run one after another, so the least time between
    // two requests also holds from one job's last to the next one's first. Documents apart (the
    // tests') pace apart.
    Pacer m_pacer;
    [[nodiscard]] SiteAccess Access() const;
    // The shared pool for a job reaching the site with access, made or remade for it; null while
    // sharing is off.
    [[nodiscard]] std::shared_ptr<PagePool> SharedPages(const SiteAccess& access);
    std::mutex m_sharedMutex;
    bool m_shareConnections = false;
    std::shared_ptr<PagePool> m_sharedPages;

    // Held from the start of a job to the end of its worker; the worker releases it.
    WorkLock m_lock;
    WorkLock m_handedLock;
    std::string m_refusal;
    std::string m_cannotRun;

    // What only the worker touches while its job runs: whether it is a retry and the options it
    // was given (for its record: a retry repeats them), and the outcome it builds as it goes.
    bool m_retryRun = false;
    RunOptions m_runOptions;
    JobOutcome m_current;
    mutable std::mutex m_reportMutex;
    JobOutcome m_report;
};

// While it lives, the document's jobs share one page pool: the front-end of a routine of several
// steps makes one before the first.
class SharedConnections {
  public:
    explicit SharedConnections(CTickoraDoc& doc) : m_doc(doc) { m_doc.ShareConnections(true); }
    ~SharedConnections() { m_doc.ShareConnections(false); }
    SharedConnections(const SharedConnections&) = delete;
    SharedConnections& operator=(const SharedConnections&) = delete;

  private:
    CTickoraDoc& m_doc;
};

// Thread entry: -1 (as unsigned) at once for a null context, otherwise runs the request on the
// document and returns 0.
unsigned JobThreadProc(void* context, const JobRequest& request);

}  // namespace tickora
