// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The desktop application: start-up and shut-down in their fixed order, and the routing of every
// command to the document or to the application's own handlers.
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/job_chain.h"
#include "catalog/connection_settings.h"
#include "jobs/job_request.h"
#include "web/site_access.h"

namespace tickora {
class CAppSettings;
class CTickoraDoc;
struct JobOutcome;
struct StartupObjects;
}  // namespace tickora

namespace tickora::gui {

class CChartWindow;
class CDailyCommand;
class CHelpBrowser;
class CMainFrame;
class CQuotesDlg;
class CTickoraView;
class TrialSite;

class CTickoraApp : public QObject {
    Q_OBJECT

  public:
    // access: how the jobs reach the site until the connection settings dialog changes it;
    // commandLine: the connection options of the command line, which stay over what the dialog
    // saves.
    explicit CTickoraApp(const SiteAccess& access = {}, ConnectionLayer commandLine = {});
    ~CTickoraApp() override;

    // Loads the settings, the market table and the fetch list from the working folder, creates
    // the work folder, the window and the document. False ends the program ("market.csv" missing:
    // after the message "market.csv not found.", without showing the window).
    bool InitInstance();
    // Waits for a running job (keeping its calls to the window served), then deletes the window,
    // the document, the stock list, the market table and the settings, in that order.
    int ExitInstance();

    [[nodiscard]] CMainFrame* Frame() const { return m_pFrame.get(); }
    [[nodiscard]] CTickoraView* View() const;
    [[nodiscard]] CTickoraDoc* Document() const { return m_pDoc.get(); }
    [[nodiscard]] StartupObjects* Objects() const { return m_pObjects.get(); }
    // The process's exit status: 0, or after exit-after-fetch the command line's status for
    // the fetch (0, 1 or 4), or 5 when another job kept the working folder too long.
    [[nodiscard]] int ExitStatus() const { return m_exitStatus; }
    // How long the unattended fetch (auto-start with exit after fetch) waits for another job to
    // leave the working folder before it gives up.
    void SetLockWait(std::chrono::milliseconds wait) { m_lockWait = wait; }
    // The simulated site this program started for a trial; stopped by ExitInstance.
    [[nodiscard]] TrialSite& Trial() const { return *m_pTrial; }
    // The chart window, opened on code (the list's first stock when code < 0).
    CChartWindow* ShowChart(int code);
    [[nodiscard]] CQuotesDlg* Quotes() const { return m_pQuotes; }
    // ﾌｧｲﾙ › 毎日の更新.
    [[nodiscard]] CDailyCommand* Daily() const { return m_pDaily.get(); }
    // The user's guide inside the program (F1, and ユーザーズガイド without a browser).
    CHelpBrowser* ShowGuide();

  public slots:
    void OnCommand(int id);
    void OnAppAbout();
    void OnUsersGuide();
    void OnGuideWindow();
    void OnSettings();
    void OnConnectionSettings();
    void OnFileNew();
    void OnFileOpen();
    void OnFilePrint();
    void OnOpenOutputFolder();
    void OnSaveQuoteFile();
    void OnViewRuns();
    void OnRetryFailed();
    void OnViewChart();
    void OnViewQuotes();

  signals:
    // The main window closed: the event loop may end.
    void finished();

  private:
    // The new-document step; with auto-start a Fetch is posted, delivered once the loop runs.
    void NewDocument();
    void PostFetch();
    // The Fetch of an unattended start: it waits for the working folder as "tickora-cli --wait"
    // does, but only for m_lockWait, and then ends the program with status 5; nobody is there
    // to read a refusal.
    void UnattendedFetch();
    // A job command: the checks a user can answer (an empty list, a missing output folder),
    // then the command's request (or request, when given: a retry, with the options of the run
    // it follows) handed to the document. True when a worker started.
    bool StartJobCommand(int id, std::optional<JobRequest> request = std::nullopt);
    // The job a menu or toolbar command asks for; nothing for the other commands.
    [[nodiscard]] static std::optional<Job> JobOfCommand(int id);
    // What the window does when a job has ended (on the GUI thread).
    void OnJobEnded(const JobOutcome& outcome);
    // After the worker has gone: the offers a failed start leads to.
    void OfferAfterJob(bool unreachable);
    // After the worker has gone: the job the user's first command still asks for.
    void StartChained(std::optional<ChainedJob> job);
    void WaitForWorkerToGo();
    // Saves "Tickora.ini" under the working folder's lock and says so in the status bar.
    bool SaveSettings(const CAppSettings& settings);
    // A new user's first job that writes into the output folder: ~/Tickora instead of the hidden
    // working folder?
    void OfferVisibleOutputFolderOnce();

    std::unique_ptr<StartupObjects> m_pObjects;
    std::unique_ptr<CTickoraDoc> m_pDoc;
    std::unique_ptr<CMainFrame> m_pFrame;
    std::unique_ptr<CDailyCommand> m_pDaily;  // needs the frame and the document
    // Posted commands are delivered only after the window was shown: a Fetch that auto-start
    // queued before a failed start-up must not run during the error message.
    bool m_bRunning = false;
    int m_exitStatus = 0;
    std::chrono::milliseconds m_lockWait{std::chrono::minutes(30)};
    std::chrono::steady_clock::time_point m_lockWaitEnd{};
    bool m_bWaitingForFolder = false;
    std::unique_ptr<TrialSite> m_pTrial;
    CJobChain m_chain;
    CChartWindow* m_pChart = nullptr;  // children of the frame, gone with it
    CQuotesDlg* m_pQuotes = nullptr;
    CHelpBrowser* m_pGuide = nullptr;
    QElapsedTimer m_jobClock;
    SiteAccess m_access;
    ConnectionLayer m_commandLine;
};

// The program's icons, pictures and guide, compiled into it; once per process.
void LoadProgramResources();

// Qt's own texts (the file dialog, the standard buttons) in Japanese, as the rest of the window.
// Once per process.
void InstallJapaneseTranslations();

// The program: parses its command line before the window system is touched (--help and
// --version answer without a display), chooses and enters the working folder, loads the
// connection settings its jobs reach the site with and runs the window until it closes.
int RunDesktop(int argc, char** argv);

}  // namespace tickora::gui
