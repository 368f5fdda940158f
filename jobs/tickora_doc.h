// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The document: owner of the job flags and the target of the job commands. No GUI here.
#include <atomic>
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
#include "jobs/run_history.h"
#include "jobs/save_quotes.h"
#include "jobs/tickora_view.h"
#include "web/transfer_control.h"

namespace tickora {

class CTickoraDoc {
  public:
    using Body = void (CTickoraDoc::*)();

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

    // Job commands. Each returns false when it did not start a worker (a job still runs, no
    // list, or the options dialog of the profile job refused). Without options, the jobs that
    // have some ask the view for them (the list and history jobs on the worker, the profile job
    // here); a front-end that has them already (the command line) gives them instead.
    bool OnFetch();
    bool OnMakeFetchList();
    bool OnMakeFetchList(const ListOptions& options);
    bool OnMakeKdt();
    bool OnMakeKdt(const CodeOptions& options);
    bool OnGetProfiles();
    bool OnGetProfiles(const ProfileOptions& options);
    bool OnGetPerformance();
    // The day's check of the stored files (jobs/check_job.cpp): it downloads nothing.
    bool OnCheck();
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
    // The next history job of all stocks or profile job asks only these stocks, in the list's
    // order (the history job then runs for all stocks whatever its dialog says): a retry of the
    // stocks an earlier run failed (StocksToRetry in jobs/run_history.h). Its record in the run
    // history is marked as a retry. Used by that one job only.
    void LimitNextJobTo(std::vector<int> codes);
    // Drops a limit that no job took (the command was refused), so that the next command the
    // user gives asks every stock again.
    void ForgetNextJobLimit() {
        m_limitCodes.clear();
        m_limitNext = false;
    }

    // True while a worker thread exists (m_bBusy alone does not prove that: Cancel clears it).
    [[nodiscard]] bool IsJobRunning() const { return m_bWorkerAlive.load(); }
    // Waits until no worker is left.
    void WaitForJob();

    // Worker bodies, run on the worker thread: each takes the job's options, runs the job on
    // the document's context and ends it.
    void RunFetch();
    void RunMakeFetchList();
    void RunMakeKdt();
    void RunGetProfiles();
    void RunGetPerformance();
    void RunCheck();

    // How the next jobs reach the site; a front-end sets it from its settings. Until one does,
    // the shipped defaults serve. A job already running keeps the access it began with.
    void SetSiteAccess(const SiteAccess& access);

    // The outcome of the last job that ended; read it after WaitForJob.
    [[nodiscard]] JobOutcome LastOutcome() const;

    std::atomic<bool> m_bCancel{false};
    std::atomic<bool> m_bBusy{false};
    std::atomic<bool> m_bShowAllStocks{false};
    int m_bKeepHtml = 0;
    int m_bAddedOnly = 0;
    int m_bUseKeptHtml = 0;

    CAppSettings& m_settings;
    CMarketTable& m_markets;
    CStockList& m_stocks;

    // The end steps every job shares: bar to 0, m_bBusy := false, ShowIdle; then the outcome is
    // stored for LastOutcome and shown.
    void EndJob();
    // A job whose options dialog was dismissed or that could not begin: m_bBusy := false,
    // ShowIdle, nothing else; why says why (empty for a dismissed dialog).
    void EndJobWithoutWork(const char* job, const std::string& why = {});

  private:
    // Starts the one worker thread for body; false when one still runs.
    bool StartJob(Body body);
    // Starts body with the options a front-end gave (kept in slot for the worker), or with none:
    // the worker then asks its dialog. raised, when given, is set once the job may start.
    template <class Options>
    bool StartGiven(std::optional<Options>& slot, std::optional<Options> given, Body body,
                    std::atomic<bool>* raised = nullptr);
    bool StartProfileJob(const ProfileOptions& options);
    // The list job's switches as the document shows them (m_bKeepHtml and the others).
    void NoteHtmlOptions(const HtmlOptions& options);

    friend unsigned JobThreadProc(void* context, CTickoraDoc::Body body);

    ITickoraView* m_pView = nullptr;
    std::thread m_worker;
    std::atomic<bool> m_bWorkerAlive{false};
    // What the next job works with: the document's objects, its view and its flags.
    [[nodiscard]] JobContext Context();

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

    // Raised inside a job: the outcome so far, ended by the error.
    void EndJobByException(const char* what);
    // What every end shares: the outcome goes to the run history and to LastOutcome, then the
    // form shows itself idle and tells the outcome.
    void KeepOutcome();
    void ShowEnd();

    // Held from the start of a job to the end of its worker; the worker releases it.
    WorkLock m_lock;
    WorkLock m_handedLock;
    std::string m_refusal;
    std::string m_cannotRun;

    // Set by LimitNextJobTo on the thread that gives the command and handed to the job that
    // StartJob starts next, whose worker reads it.
    bool m_limitNext = false;
    std::vector<int> m_limitCodes;
    bool m_retryRun = false;  // the running job asks only m_retryCodes
    std::vector<int> m_retryCodes;
    // The options the running job was given, for its record: a retry repeats them.
    RunOptions m_runOptions;
    // True, with the refusal set, while a job runs, or when the list holds no stock.
    bool RefuseWhileRunning();
    bool RefuseWithoutStocks();
    // False, with the refusal set, when the output folder of the settings does not exist: the
    // daily and performance files would be lost after every page was fetched.
    bool RefuseMissingOutputFolder();
    // Keeps the outcome in the working folder's run history.
    void KeepInHistory();

    // Options a front-end gave with the command, for the worker that StartJob starts next.
    std::optional<ListOptions> m_givenList;
    std::optional<CodeOptions> m_givenCode;

    // The outcome the running job builds as it goes; only the worker touches it.
    JobOutcome m_current;
    mutable std::mutex m_reportMutex;
    JobOutcome m_report;
};

// Thread entry: -1 (as unsigned) at once for a null context, otherwise runs body and returns 0.
unsigned JobThreadProc(void* context, CTickoraDoc::Body body);

}  // namespace tickora
