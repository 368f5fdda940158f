// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/tickora_app.h"

#include <QAction>
#include <QApplication>
#include <QBuffer>
#include <QDesktopServices>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QLocale>
#include <QMessageBox>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QThread>
#include <QTimer>
#include <QTranslator>
#include <QUrl>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <utility>

#include "app/about_dlg.h"
#include "app/browser_command.h"
#include "app/chart_window.h"
#include "app/command_table.h"
#include "app/connection_dlg.h"
#include "app/desktop_args.h"
#include "app/desktop_notice.h"
#include "app/first_start.h"
#include "app/form_view.h"
#include "app/help_browser.h"
#include "app/job_chain.h"
#include "app/main_frame.h"
#include "app/outcome_ja.h"
#include "app/qt_text.h"
#include "app/quotes_dlg.h"
#include "app/results_panel.h"
#include "app/retry_dlg.h"
#include "app/runs_dlg.h"
#include "app/save_note.h"
#include "app/settings_dlg.h"
#include "app/tool_icons.h"
#include "catalog/connection_settings.h"
#include "catalog/market_table.h"
#include "catalog/stock_list.h"
#include "catalog/work_lock.h"
#include "files/file_io.h"
#include "jobs/retry_plan.h"
#include "jobs/run_history.h"
#include "jobs/startup.h"
#include "jobs/tickora_doc.h"
#include "jobs/workdir.h"
#include "text/sjis.h"
#include "web/hosts.h"
#include "web/site_access.h"

// Resources of a static library must be registered by name, outside any namespace.
static void InitTickoraResources() {
    Q_INIT_RESOURCE(tickora);
}

namespace tickora::gui {

namespace {

// A job that ran this long has likely lost the user's eye: its end is told by the desktop.
constexpr qint64 kNoticeAfterMs = 10000;

// The job commands, and what each asks of the document.
struct JobStarter {
    int id;
    bool (CTickoraDoc::*start)();
};

constexpr JobStarter kJobStarters[] = {
    {kIdFetch, &CTickoraDoc::OnFetch},
    {kIdMakeFetchList, &CTickoraDoc::OnMakeFetchList},
    {kIdMakeKdt, &CTickoraDoc::OnMakeKdt},
    {kIdHistoryJob, &CTickoraDoc::OnMakeKdt},
    {kIdGetProfiles, &CTickoraDoc::OnGetProfiles},
    {kIdGetPerformance, &CTickoraDoc::OnGetPerformance},
    {kIdCheckData, &CTickoraDoc::OnCheck},
};

// The row of a command table for command `id`; null when the table has none.
template <class Row, std::size_t N>
const Row* RowOf(const Row (&table)[N], int id) {
    for (const Row& row : table) {
        if (row.id == id) {
            return &row;
        }
    }
    return nullptr;
}

bool IsJobCommand(int id) {
    return RowOf(kJobStarters, id) != nullptr;
}

// The jobs that write into the output folder of the settings.
bool WritesOutputFolder(int id) {
    return id == kIdFetch || id == kIdGetPerformance;
}

}  // namespace

void InstallJapaneseTranslations() {
    static bool installed = false;
    if (installed || QCoreApplication::instance() == nullptr) {
        return;
    }
    installed = true;
    auto* translator = new QTranslator(QCoreApplication::instance());
    if (translator->load(QLocale(QLocale::Japanese, QLocale::Japan), QStringLiteral("qtbase"),
                         QStringLiteral("_"),
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        QCoreApplication::installTranslator(translator);
    } else {
        delete translator;
    }
}

CTickoraApp::CTickoraApp(const SiteAccess& access, ConnectionLayer commandLine)
    : m_pTrial(std::make_unique<TrialSite>()),
      m_access(access),
      m_commandLine(std::move(commandLine)) {
    InitTickoraResources();
}

CTickoraApp::~CTickoraApp() {
    (void)ExitInstance();
}

CTickoraView* CTickoraApp::View() const {
    return m_pFrame ? m_pFrame->View() : nullptr;
}

bool CTickoraApp::InitInstance() {
    QApplication::setApplicationName(FromUtf8(kAppTitle));
    QApplication::setWindowIcon(ProgramIcon());
    InstallJapaneseTranslations();

    m_pObjects = std::make_unique<StartupObjects>();
    LoadStartupObjects(*m_pObjects, m_access.hosts);

    m_pDoc = std::make_unique<CTickoraDoc>(m_pObjects->settings, m_pObjects->markets,
                                           m_pObjects->stocks);
    m_pDoc->SetSiteAccess(m_access);
    m_pFrame = std::make_unique<CMainFrame>();
    CTickoraView* view = m_pFrame->View();
    view->SetDocument(m_pDoc.get());
    m_pDoc->SetView(view);
    connect(m_pFrame.get(), &CMainFrame::command, this, &CTickoraApp::OnCommand);
    connect(m_pFrame.get(), &CMainFrame::closed, this, &CTickoraApp::finished);
    connect(view, &CTickoraView::quitRequested, this, [this] {
        // Exit after fetch: the process tells a scheduler how the fetch went, as the command
        // line does.
        m_exitStatus = ExitStatusOf(m_pDoc->LastOutcome());
        m_pFrame->close();
    });
    connect(view, &CTickoraView::jobEnded, this, &CTickoraApp::OnJobEnded);
    m_pFrame->Results()->SetStockNames(
        [stocks = &m_pObjects->stocks](int code) { return StockNameOf(*stocks, code); });
    CTickoraDoc* doc = m_pDoc.get();
    m_pFrame->SetJobHooks([doc] { return doc->IsJobRunning(); }, [doc] { doc->CancelJob(); });
    NewDocument();

    if (!m_pObjects->irregularFile.empty()) {
        QMessageBox box(QMessageBox::NoIcon, QStringLiteral("error"),
                        QString::fromStdString(m_pObjects->irregularFile), QMessageBox::Ok,
                        m_pFrame.get());
        box.setObjectName(QStringLiteral("startupError"));
        std::fprintf(stderr, "tickora: %s\n", m_pObjects->irregularFile.c_str());
        box.exec();
        return false;
    }
    if (!m_pObjects->marketLoaded) {
        QMessageBox box(QMessageBox::NoIcon, QStringLiteral("error"),
                        QStringLiteral("market.csv not found."), QMessageBox::Ok, m_pFrame.get());
        box.setObjectName(QStringLiteral("startupError"));
        // Which folder was searched, so that the user knows where the table belongs.
        const QString folder = QDir::toNativeSeparators(QDir::currentPath());
        box.setInformativeText(QStringLiteral("作業フォルダ: %1").arg(folder));
        std::fprintf(stderr, "tickora: market.csv not found in the working folder %s\n",
                     folder.toLocal8Bit().constData());
        box.exec();
        return false;
    }
    if (!m_pObjects->cannotRun.empty()) {
        m_pDoc->RefuseJobs(m_pObjects->cannotRun);
    }
    QStringList notices;
    for (const std::string& notice : m_pObjects->notices) {
        notices << FromUtf8(PhraseJa(notice));
    }
    if (!m_pObjects->cannotRun.empty()) {
        notices.prepend(FromUtf8(PhraseJa(m_pObjects->cannotRun)));
    }
    if (!notices.isEmpty()) {
        m_pFrame->ShowNote(notices.first(), notices.mid(1).join(QLatin1Char('\n')));
    }
    m_pFrame->show();
    m_bRunning = true;
    return true;
}

int CTickoraApp::ExitInstance() {
    m_bRunning = false;
    if (m_pDoc) {
        if (m_pDoc->IsJobRunning()) {
            if (View() != nullptr) {
                View()->SetClosing(true);
            }
            m_pDoc->CancelJob();
        }
        // The worker's last calls to the form run on this thread: keep serving them.
        while (m_pDoc->IsJobRunning()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            QThread::msleep(5);
        }
        m_pDoc->WaitForJob();
        m_pDoc->SetView(nullptr);
    }
    m_pFrame.reset();
    m_pDoc.reset();
    m_pObjects.reset();  // the stock list, then the market table, then the settings
    // A trial site lives as long as the program that started it.
    m_pTrial->Stop();
    return 0;
}

void CTickoraApp::NewDocument() {
    if (m_pDoc->OnNewDocument()) {
        PostFetch();
    }
}

void CTickoraApp::PostFetch() {
    const bool unattended = m_pObjects->settings.m_bExitAfterFetch != 0;
    QMetaObject::invokeMethod(
        this,
        [this, unattended] {
            if (unattended) {
                UnattendedFetch();
            } else {
                OnCommand(kIdFetch);
            }
        },
        Qt::QueuedConnection);
}

void CTickoraApp::UnattendedFetch() {
    if (!m_bRunning || !m_pDoc || !m_pFrame || m_pFrame->IsClosePending() ||
        !m_pFrame->isVisible()) {
        m_bWaitingForFolder = false;
        return;
    }
    if (m_pDoc->IsJobRunning()) {
        // A job of this window holds the folder; the command says so, as it would to a user.
        m_bWaitingForFolder = false;
        OnCommand(kIdFetch);
        return;
    }
    WorkLockResult taken = TryLockWorkFolder(".");
    if (taken.Taken()) {
        m_bWaitingForFolder = false;
        m_pDoc->HandOverWorkLock(std::move(taken.lock));
        OnCommand(kIdFetch);
        if (!m_pDoc->IsJobRunning()) {
            m_pDoc->HandOverWorkLock(WorkLock{});  // not started: the folder is free again
        }
        return;
    }
    const auto now = std::chrono::steady_clock::now();
    if (!m_bWaitingForFolder) {
        m_bWaitingForFolder = true;
        m_lockWaitEnd = now + m_lockWait;
        std::fprintf(stderr, "tickora: %s; waiting for it to end\n", taken.Message().c_str());
    }
    if (taken.status == WorkLockStatus::kBusy && now < m_lockWaitEnd) {
        m_pFrame->ShowNote(QStringLiteral("作業フォルダが空くのを待っています: ") +
                           QString::fromStdString(taken.Message()));
        QTimer::singleShot(100, this, [this] { UnattendedFetch(); });
        return;
    }
    m_bWaitingForFolder = false;
    std::fprintf(stderr, "tickora: %s\n", taken.Message().c_str());
    m_exitStatus = taken.status == WorkLockStatus::kBusy ? kExitLocked : kExitEndedEarly;
    m_pFrame->close();
}

void CTickoraApp::OnCommand(int id) {
    // Nothing starts once the program is on its way out (or before its window was shown).
    if (!m_bRunning || !m_pDoc || !m_pFrame || m_pFrame->IsClosePending()) {
        return;
    }
    if (IsJobCommand(id)) {
        (void)StartJobCommand(id);
        return;
    }
    if (id == kIdSaveQuoteFile) {
        OnSaveQuoteFile();
        return;
    }
    if (id == kIdAppExit) {
        m_pFrame->close();
        return;
    }
    static constexpr struct {
        int id;
        void (CTickoraApp::*handler)();
    } kHandlers[] = {
        {kIdSettings, &CTickoraApp::OnSettings},
        {kIdConnectionSettings, &CTickoraApp::OnConnectionSettings},
        {kIdAppAbout, &CTickoraApp::OnAppAbout},
        {kIdUsersGuide, &CTickoraApp::OnUsersGuide},
        {kIdGuideWindow, &CTickoraApp::OnGuideWindow},
        {kIdFileNew, &CTickoraApp::OnFileNew},
        {kIdFileOpen, &CTickoraApp::OnFileOpen},
        {kIdFilePrint, &CTickoraApp::OnFilePrint},
        {kIdOpenOutputFolder, &CTickoraApp::OnOpenOutputFolder},
        {kIdViewRuns, &CTickoraApp::OnViewRuns},
        {kIdRetryFailed, &CTickoraApp::OnRetryFailed},
        {kIdViewChart, &CTickoraApp::OnViewChart},
        {kIdViewQuotes, &CTickoraApp::OnViewQuotes},
    };
    if (const auto* command = RowOf(kHandlers, id)) {
        (this->*command->handler)();
    }
}

bool CTickoraApp::StartJobCommand(int id, const std::function<bool(CTickoraDoc&)>& start) {
    CMainFrame* frame = m_pFrame.get();
    const bool idle = !m_pDoc->IsJobRunning();
    if (id == kIdFetch && idle && m_pObjects->stocks.GetBlock(0) == nullptr) {
        if (OfferToBuildList(frame)) {
            m_chain.FetchAfterList();
            return StartJobCommand(kIdMakeFetchList);
        }
        frame->ShowNote(
            QStringLiteral("fetchlist.csv に銘柄がないため、取得するものがありません"));
        return false;
    }
    if (WritesOutputFolder(id) && idle && m_pObjects->settings.m_bExitAfterFetch == 0) {
        OfferVisibleOutputFolderOnce();
    }
    // A missing output folder is found before any page is asked, not after the last one.
    if (WritesOutputFolder(id) && idle) {
        const QString folder = FromUtf8(m_pObjects->settings.OutputDirPath());
        const QString whole = QDir::toNativeSeparators(QDir(folder).absolutePath());
        if (!folder.isEmpty() && !QFileInfo(folder).isDir()) {
            if (!OfferToCreateFolder(frame, whole)) {
                frame->ShowNote(
                    QStringLiteral("出力先ディレクトリ %1 がないため、取得しませんでした").arg(whole));
                return false;
            }
            if (!QDir().mkpath(folder)) {
                frame->ShowNote(QStringLiteral("出力先ディレクトリ %1 を作成できません").arg(whole));
                return false;
            }
        }
    }
    const QString title = frame->DocTitle();
    const JobStarter* job = RowOf(kJobStarters, id);
    const bool started = start ? start(*m_pDoc) : job != nullptr && (m_pDoc.get()->*job->start)();
    if (!started) {
        // A job command while a job runs starts nothing: every job shares the stock list, the
        // page buffer and the work files, and another process may hold the working folder. The
        // document says why; the status bar shows that, never a box to click away.
        frame->SetDocTitle(title);
        if (!m_pDoc->LastRefusal().empty()) {
            frame->ShowNote(FromUtf8(PhraseJa(m_pDoc->LastRefusal())));
        }
        return false;
    }
    // Every run starts clean: the last summary goes, and the performance job's title waits for
    // the date of its file. Jobs that write no dated file leave the day's title as it was.
    frame->ShowNote({});
    if (id == kIdGetPerformance) {
        frame->SetDocTitle(FromUtf8(kUntitled));
    }
    m_jobClock.start();
    return true;
}

void CTickoraApp::OnJobEnded(const JobOutcome& outcome) {
    m_pFrame->ShowOutcome(outcome);
    const bool closing = View() == nullptr || View()->IsClosing() || m_pFrame->IsClosePending();
    if (m_jobClock.isValid() && m_jobClock.elapsed() > kNoticeAfterMs && !closing &&
        !m_pFrame->isActiveWindow() && outcome.end != JobEnd::kNotRun) {
        (void)NotifyDesktop(FromUtf8(JobNameJa(outcome.job)) + QStringLiteral("が終わりました"),
                            m_pFrame->Note());
    }
    m_jobClock.invalidate();
    m_chain.JobEnded(outcome, View() != nullptr ? View()->LastListAnswer() : std::nullopt,
                     m_pObjects->stocks.GetBlock(0) != nullptr);
    // An unattended run never waits for a click.
    if (closing || m_pObjects->settings.m_bExitAfterFetch != 0) {
        m_chain.Forget();
    } else if (SiteUnreachable(outcome)) {
        // After the worker has gone: it waits for this call to return.
        QTimer::singleShot(0, this, [this] { OfferAfterJob(true); });
    } else if (std::optional<ChainedJob> next = m_chain.TakeNext()) {
        QTimer::singleShot(0, this, [this, next] { StartChained(next); });
    }
}

void CTickoraApp::WaitForWorkerToGo() {
    while (m_pDoc->IsJobRunning()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
}

void CTickoraApp::StartChained(std::optional<ChainedJob> job) {
    if (!job || !m_bRunning || !m_pFrame || m_pFrame->IsClosePending()) {
        return;
    }
    WaitForWorkerToGo();
    if (job->list) {
        const ListOptions options = *job->list;
        (void)StartJobCommand(kIdMakeFetchList,
                              [options](CTickoraDoc& doc) { return doc.OnMakeFetchList(options); });
    } else {
        OnCommand(job->command);
    }
}

void CTickoraApp::OfferAfterJob(bool unreachable) {
    if (!unreachable || !m_pFrame || m_pFrame->IsClosePending()) {
        return;
    }
    // The worker is on its last steps: the connection settings refuse while it lives.
    WaitForWorkerToGo();
    const SiteHosts hosts = m_access.hosts;
    const int port = TrialSitePort(hosts);
    const bool trialPossible = port > 0 && !m_pTrial->Running();
    switch (OfferForUnreachableSite(m_pFrame.get(), FromUtf8(hosts.quote), trialPossible)) {
        case UnreachableChoice::kConnectionSettings:
            OnConnectionSettings();
            break;
        case UnreachableChoice::kStartTrialSite: {
            QString why;
            if (!m_pTrial->Start(port, &why)) {
                m_pFrame->ShowNote(QStringLiteral("試用サイトを起動できません: ") + why);
                break;
            }
            m_pFrame->ShowNote(
                QStringLiteral("試用の模擬サイト %1 を起動しました (Tickora の終了時に止めます)")
                    .arg(FromUtf8(hosts.quote)));
            // What the user asked for goes on, with the answers already given.
            StartChained(m_chain.TakeInterrupted());
            return;
        }
        case UnreachableChoice::kClose:
            break;
    }
    m_chain.Forget();
}

void CTickoraApp::OnSaveQuoteFile() {
    const SaveResult result = m_pDoc->OnSaveQuoteFile();
    const QString note = FromUtf8(SaveNoteJa(result));
    // Nothing written, or fewer stocks than before: the note says so in the warning colour.
    if (result.Refused()) {
        m_pFrame->ShowWarningNote(note, true);
    } else if (result.replacedStocks > result.stocks || !result.setAside.empty()) {
        m_pFrame->ShowWarningNote(note, false);
    } else {
        m_pFrame->ShowNote(note);
    }
}

void CTickoraApp::OnOpenOutputFolder() {
    const QString folder = FromUtf8(m_pObjects->settings.OutputDirPath());
    const QString whole = QDir(folder.isEmpty() ? QStringLiteral(".") : folder).absolutePath();
    if (!QFileInfo(whole).isDir()) {
        if (!OfferToCreateFolder(m_pFrame.get(), QDir::toNativeSeparators(whole)) ||
            !QDir().mkpath(whole)) {
            return;
        }
    }
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(whole))) {
        m_pFrame->ShowNote(QStringLiteral("ファイルマネージャで %1 を開けませんでした")
                               .arg(QDir::toNativeSeparators(whole)));
    }
}

void CTickoraApp::OnAppAbout() {
    CAboutDlg dlg(m_pFrame.get());
    dlg.exec();
}

void CTickoraApp::OnUsersGuide() {
    if (!LaunchUsersGuide()) {
        (void)ShowGuide();
        m_pFrame->ShowStatusText(FromUtf8(kNoBrowserText));
    }
}

void CTickoraApp::OnGuideWindow() {
    (void)ShowGuide();
}

CHelpBrowser* CTickoraApp::ShowGuide() {
    if (m_pGuide == nullptr) {
        m_pGuide = new CHelpBrowser(m_pFrame.get());
        connect(m_pGuide, &QObject::destroyed, this, [this] { m_pGuide = nullptr; });
    }
    (void)m_pGuide->OpenGuide(UsersGuidePath());
    m_pGuide->show();
    m_pGuide->raise();
    m_pGuide->activateWindow();
    return m_pGuide;
}

void CTickoraApp::OnConnectionSettings() {
    const QString message = RunConnectionDialog(m_pFrame.get(), *m_pObjects, m_pDoc->IsJobRunning(),
                                                m_commandLine, m_access);
    // The next job reaches the site as the dialog left the settings.
    m_pDoc->SetSiteAccess(m_access);
    if (!message.isEmpty()) {
        m_pFrame->ShowStatusText(message);
    }
}

void CTickoraApp::OnSettings() {
    (void)RunSettingsDialog(m_pObjects->settings, m_pFrame.get(),
                            [this](const CAppSettings& s) { (void)SaveSettings(s); });
}

bool CTickoraApp::SaveSettings(const CAppSettings& settings) {
    // A job of this program already holds the working folder; otherwise the save takes it, so
    // that a job of another process never reads a half-made change.
    WorkLockResult taken;
    if (!m_pDoc->IsJobRunning()) {
        taken = TryLockWorkFolder(".");
        if (!taken.Taken()) {
            m_pFrame->ShowNote(QStringLiteral("Tickora.ini を保存しませんでした: ") +
                               FromUtf8(PhraseJa(taken.Message())));
            return false;
        }
    }
    if (!settings.Save()) {
        m_pFrame->ShowNote(QStringLiteral("Tickora.ini を書けませんでした: ") +
                           FromUtf8(PhraseJa(std::strerror(errno))));
        return false;
    }
    m_pFrame->ShowNote(QStringLiteral("初期設定を %1 に保存しました")
                           .arg(QDir::toNativeSeparators(
                               QDir::current().absoluteFilePath(QStringLiteral("Tickora.ini")))));
    return true;
}

void CTickoraApp::OfferVisibleOutputFolderOnce() {
    CAppSettings& settings = m_pObjects->settings;
    const QString visible = VisibleOutputFolder();
    if (visible.isEmpty() ||
        !OffersVisibleOutputFolder(QDir::currentPath(),
                                   QFileInfo::exists(QStringLiteral("Tickora.ini")),
                                   settings.OutputDirPath())) {
        return;
    }
    // Either answer is kept, so that it is asked once.
    const std::string folder =
        OfferVisibleOutputFolder(m_pFrame.get(), visible, QDir::currentPath())
            ? Utf8ToSjis(visible.toStdString())
            : std::string(".");
    std::memset(settings.m_szOutputDir, 0, sizeof settings.m_szOutputDir);
    std::memcpy(settings.m_szOutputDir, folder.data(),
                std::min(folder.size(), sizeof settings.m_szOutputDir - 1));
    (void)QDir().mkpath(FromUtf8(settings.OutputDirPath()));
    (void)SaveSettings(settings);
}

void CTickoraApp::OnFileNew() {
    // The empty document again: untitled, and with auto-start another Fetch.
    m_pFrame->SetDocTitle(FromUtf8(kUntitled));
    if (!m_pDoc->IsJobRunning()) {
        View()->ShowIdle();
    }
    NewDocument();
}

void CTickoraApp::OnFileOpen() {
    // The document keeps no file: opening one only gives the window its name.
    QFileDialog dialog(m_pFrame.get());
    dialog.setObjectName(QStringLiteral("openDialog"));
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()) {
        m_pFrame->SetDocTitle(QFileInfo(dialog.selectedFiles().constFirst()).fileName());
    }
}

void CTickoraApp::OnFilePrint() {
    // The form draws nothing on paper: the printout is an empty page.
    QPrinter printer;
    QPrintDialog dialog(&printer, m_pFrame.get());
    if (dialog.exec() == QDialog::Accepted) {
        QPainter painter(&printer);
        painter.end();
    }
}

void CTickoraApp::OnRetryFailed() {
    if (m_pDoc->IsJobRunning()) {
        m_pFrame->ShowNote(QStringLiteral("処理の実行中は再取得できません"));
        return;
    }
    // The later of the two jobs' last runs, as the command line finds its job's: the one the
    // user has just seen fail.
    static constexpr RetryJob kJobs[] = {RetryJob::kKdtAll, RetryJob::kProfiles};
    RetryPlan plan = PlanRetry(kJobs);
    if (plan.last.found == LastRun::Found::kNone) {
        m_pFrame->ShowNote(
            QStringLiteral("この作業フォルダには全銘柄の株価履歴取得・基本情報取得の記録がないため"
                           "、再取得するものがありません"));
        return;
    }
    if (plan.last.found == LastRun::Found::kUnreadable) {
        // Never "nothing failed": what the last run left to do cannot be told.
        m_pFrame->ShowNote(
            QStringLiteral("実行記録 %1 の最新の記録が読めないため、前回失敗した銘柄がわからず、"
                           "再取得しませんでした。通常どおり実行し直してください")
                .arg(FromUtf8(AbsolutePath(kRunHistoryName))));
        return;
    }
    if (plan.codes.empty()) {
        m_pFrame->ShowNote(NothingToRetryJa(plan));
        return;
    }
    // Said before anything is asked; only what the run did not keep is asked.
    CRetryDlg dlg(plan, m_pFrame.get());
    if (dlg.exec() != QDialog::Accepted) {
        m_pFrame->ShowNote(QStringLiteral("再取得しませんでした"));
        return;
    }
    plan = dlg.Plan();
    const bool kdt = plan.last.job == RetryJob::kKdtAll;
    m_pDoc->LimitNextJobTo(plan.codes);
    const auto start = [&plan, kdt](CTickoraDoc& doc) {
        return kdt ? doc.OnMakeKdt(plan.code) : doc.OnGetProfiles(plan.profile);
    };
    if (!StartJobCommand(kdt ? kIdMakeKdt : kIdGetProfiles, start)) {
        m_pDoc->ForgetNextJobLimit();
        return;
    }
    m_pFrame->ShowNote(RetrySentenceJa(plan, true));
}

void CTickoraApp::OnViewRuns() {
    CRunsDlg dlg(ReadRunHistory(), m_pFrame.get());
    dlg.exec();
}
CChartWindow* CTickoraApp::ShowChart(int code) {
    if (m_pChart == nullptr) {
        m_pChart = new CChartWindow(m_pFrame.get(), &m_pObjects->stocks);
        connect(m_pChart, &QObject::destroyed, this, [this] { m_pChart = nullptr; });
    }
    if (code < 0 && m_pObjects->stocks.GetBlock(0) != nullptr) {
        code = m_pObjects->stocks.GetBlock(0)->m_aStocks[0].m_nCode;
    }
    if (code >= 0) {
        (void)m_pChart->OpenCode(code);
    }
    m_pChart->show();
    m_pChart->raise();
    m_pChart->activateWindow();
    return m_pChart;
}

void CTickoraApp::OnViewChart() {
    (void)ShowChart(-1);
}

void CTickoraApp::OnViewQuotes() {
    delete m_pQuotes;
    m_pQuotes = new CQuotesDlg(m_pObjects->stocks, m_pObjects->markets, m_pFrame.get());
    connect(m_pQuotes, &QObject::destroyed, this, [this] { m_pQuotes = nullptr; });
    connect(m_pQuotes, &CQuotesDlg::chartRequested, this, [this](int code) { (void)ShowChart(code); });
    m_pQuotes->show();
}

namespace {

// --help, --version and a command line that cannot be taken are answered without a window.
std::optional<int> AnswerWithoutWindow(const DesktopArgs& args) {
    if (!args.ok) {
        std::fprintf(stderr, "tickora: %s\nTry 'tickora --help'.\n", args.error.c_str());
        return 2;
    }
    if (args.help) {
        std::fputs(DesktopUsageText().c_str(), stdout);
        return 0;
    }
    if (args.version) {
        std::printf("Tickora %s\n", std::string(kVersionText).c_str());
        return 0;
    }
    return std::nullopt;
}

bool EnterWorkdir(const DesktopArgs& args) {
    const WorkdirChoice workdir = ChooseWorkdir(WorkdirInputsFromProcess(args.workdir));
    std::error_code error;
    if (workdir.ok) {
        std::filesystem::current_path(workdir.folder, error);
    }
    if (!workdir.ok || error) {
        std::fprintf(stderr, "tickora: cannot use the working folder %s: %s\n",
                     workdir.folder.c_str(),
                     workdir.ok ? error.message().c_str() : workdir.error.c_str());
        return false;
    }
    return true;
}

// Sets access from the connection settings; returns the values that could not be taken, each
// already told on stderr.
std::vector<std::string> LoadDesktopConnection(const DesktopArgs& args, SiteAccess& access) {
    const ConnectionLoad connection = LoadConnectionSettings(args.connection);
    // A bad value must not keep the window from opening: the user fixes it in the dialog. The
    // values that could be read are in force meanwhile.
    std::vector<std::string> connectionErrors = connection.Errors();
    for (const std::string& message : connectionErrors) {
        std::fprintf(stderr, "tickora: %s\n", message.c_str());
    }
    access = SiteAccessOf(connection.settings);
    return connectionErrors;
}

// A picture of widget written whole to path, in the format its suffix names (PNG without one),
// through the same door as every other file the program writes.
bool SaveScreenshot(QWidget& widget, const QString& path) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    const QByteArray suffix = QFileInfo(path).suffix().toLatin1();
    if (!buffer.open(QIODevice::WriteOnly) ||
        !widget.grab().save(&buffer, suffix.isEmpty() ? "PNG" : suffix.constData())) {
        return false;
    }
    return ReplaceFile(path.toStdString(), std::string_view(bytes.constData(), bytes.size())) == 0;
}

// Only the chart, for a launcher or a script: the window of jobs is not opened.
int RunChartOnly(QApplication& application, int code, const QString& screenshot) {
    InitTickoraResources();
    QApplication::setWindowIcon(ProgramIcon());
    InstallJapaneseTranslations();
    // The list names the stock in the title; it is only read, never set up.
    CMarketTable markets;
    CStockList stocks;
    if (markets.Load("market.csv") != 0) {
        (void)stocks.Load(markets, "", kFetchListPath);
    }
    CChartWindow chart(nullptr, &stocks);
    (void)chart.OpenCode(code);
    chart.show();
    if (!screenshot.isEmpty()) {
        QTimer::singleShot(1000, &chart, [&chart, screenshot] {
            if (!SaveScreenshot(chart, screenshot)) {
                std::fprintf(stderr, "tickora: cannot write %s\n",
                             screenshot.toLocal8Bit().constData());
            }
            chart.close();
        });
    }
    return application.exec() == 0 ? 0 : 1;
}

// A picture of the window once start-up (and an auto-started fetch) has settled.
void ScreenshotWhenSettled(CTickoraApp& app, const QString& screenshot) {
    CMainFrame* frame = app.Frame();
    CTickoraDoc* doc = app.Document();
    auto* poll = new QTimer(frame);
    auto* shown = new QElapsedTimer;
    shown->start();
    QObject::connect(poll, &QTimer::timeout, frame, [frame, doc, poll, shown, screenshot] {
        if (shown->elapsed() < 1000 || doc->IsJobRunning()) {
            return;
        }
        poll->stop();
        delete shown;
        if (!SaveScreenshot(*frame, screenshot)) {
            std::fprintf(stderr, "tickora: cannot write %s\n",
                         screenshot.toLocal8Bit().constData());
        }
        frame->close();
    });
    poll->start(200);
}

}  // namespace

int RunDesktop(int argc, char** argv) {
    // Everything the command line decides is settled before QApplication, which needs a display.
    const DesktopArgs args = ParseDesktopArgs(std::vector<std::string>(argv, argv + argc));
    if (const std::optional<int> status = AnswerWithoutWindow(args)) {
        return *status;
    }
    if (!EnterWorkdir(args)) {
        return 2;
    }
    SiteAccess access;
    const std::vector<std::string> connectionErrors = LoadDesktopConnection(args, access);

    // Qt's own options (-platform, -style, ...) are handed on; ours are not.
    std::vector<std::string> toolkitArgs = args.toolkitArgs;
    std::vector<char*> toolkitArgv;
    for (std::string& arg : toolkitArgs) {
        toolkitArgv.push_back(arg.data());
    }
    toolkitArgv.push_back(nullptr);
    int toolkitArgc = static_cast<int>(toolkitArgs.size());
    QApplication application(toolkitArgc, toolkitArgv.data());
    const QString screenshot = QString::fromStdString(args.screenshot);
    const bool quitWhenShown = args.quitWhenShown;

    if (args.chartCode >= 0) {
        return RunChartOnly(application, args.chartCode, screenshot);
    }

    CTickoraApp app(access, args.connection);
    if (!app.InitInstance()) {
        (void)app.ExitInstance();
        return 1;
    }
    QObject::connect(&app, &CTickoraApp::finished, &application, &QApplication::quit,
                     Qt::QueuedConnection);
    if (!connectionErrors.empty()) {
        app.Frame()->ShowStatusText(QStringLiteral("接続設定に誤りがあります: ") +
                                    FromUtf8(PhraseJa(connectionErrors.front())));
    }
    if (!screenshot.isEmpty()) {
        ScreenshotWhenSettled(app, screenshot);
    }
    if (quitWhenShown) {
        // A zero timer runs after the events that show and paint the window are handled.
        QTimer::singleShot(0, app.Frame(), [&app] { app.Frame()->close(); });
    }
    application.exec();
    const int exitStatus = app.ExitStatus();
    (void)app.ExitInstance();
    return exitStatus;
}

}  // namespace tickora::gui
