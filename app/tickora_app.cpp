// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/tickora_app.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QThread>
#include <QTimer>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "app/about_dlg.h"
#include "app/browser_command.h"
#include "app/command_table.h"
#include "app/connection_dlg.h"
#include "app/desktop_args.h"
#include "app/form_view.h"
#include "app/main_frame.h"
#include "app/qt_text.h"
#include "app/settings_dlg.h"
#include "app/tool_icons.h"
#include "catalog/connection_settings.h"
#include "catalog/work_lock.h"
#include "jobs/startup.h"
#include "jobs/tickora_doc.h"
#include "jobs/workdir.h"

// Resources of a static library must be registered by name, outside any namespace.
static void InitTickoraResources() {
    Q_INIT_RESOURCE(tickora);
}

namespace tickora::gui {

CTickoraApp::CTickoraApp() {
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

    m_pObjects = std::make_unique<StartupObjects>();
    LoadStartupObjects(*m_pObjects);

    m_pDoc = std::make_unique<CTickoraDoc>(m_pObjects->settings, m_pObjects->markets,
                                           m_pObjects->stocks);
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
    connect(view, &CTickoraView::jobEnded, m_pFrame.get(), &CMainFrame::ShowNote);
    CTickoraDoc* doc = m_pDoc.get();
    m_pFrame->SetJobHooks([doc] { return doc->IsJobRunning(); }, [doc] { doc->CancelJob(); });
    NewDocument();

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
        notices << QString::fromStdString(notice);
    }
    if (!m_pObjects->cannotRun.empty()) {
        notices.prepend(QString::fromStdString(m_pObjects->cannotRun));
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
    return 0;
}

void CTickoraApp::NewDocument() {
    if (m_pDoc->OnNewDocument()) {
        PostFetch();
    }
}

void CTickoraApp::PostFetch() {
    QMetaObject::invokeMethod(
        this, [this] { OnCommand(kIdFetch); }, Qt::QueuedConnection);
}

void CTickoraApp::OnCommand(int id) {
    // Nothing starts once the program is on its way out (or before its window was shown).
    if (!m_bRunning || !m_pDoc || !m_pFrame || m_pFrame->IsClosePending()) {
        return;
    }
    // The last job's summary stays until the next command.
    m_pFrame->ShowNote({});
    // A job command while a job runs starts nothing: every job shares the stock list, the page
    // buffer and the work files, and another process may hold the working folder. The document
    // refuses it and says why; the status bar shows that, never a box to click away.
    bool started = true;
    switch (id) {
        case kIdFetch:
            started = m_pDoc->OnFetch();
            break;
        case kIdMakeFetchList:
            started = m_pDoc->OnMakeFetchList();
            break;
        case kIdMakeKdt:
            started = m_pDoc->OnMakeKdt();
            break;
        case kIdGetProfiles:
            started = m_pDoc->OnGetProfiles();
            break;
        case kIdGetPerformance:
            started = m_pDoc->OnGetPerformance();
            break;
        case kIdSaveQuoteFile:
            // The running job writes the records the file is made of.
            if (!m_pDoc->IsJobRunning()) {
                m_pDoc->OnSaveQuoteFile();
            }
            break;
        case kIdAppExit:
            m_pFrame->close();
            break;
        case kIdSettings:
            OnSettings();
            break;
        case kIdConnectionSettings:
            OnConnectionSettings();
            break;
        case kIdAppAbout:
            OnAppAbout();
            break;
        case kIdUsersGuide:
            OnUsersGuide();
            break;
        case kIdFileNew:
            OnFileNew();
            break;
        case kIdFileOpen:
            OnFileOpen();
            break;
        case kIdFilePrint:
            OnFilePrint();
            break;
        default:
            break;
    }
    if (!started && !m_pDoc->LastRefusal().empty()) {
        m_pFrame->ShowNote(QString::fromStdString(m_pDoc->LastRefusal()));
    }
}

void CTickoraApp::OnAppAbout() {
    CAboutDlg dlg(m_pFrame.get());
    dlg.exec();
}

void CTickoraApp::OnUsersGuide() {
    if (!LaunchUsersGuide()) {
        m_pFrame->ShowStatusText(FromUtf8(kNoBrowserText));
    }
}

void CTickoraApp::OnConnectionSettings() {
    const QString message =
        RunConnectionDialog(m_pFrame.get(), *m_pObjects, m_pDoc->IsJobRunning());
    if (!message.isEmpty()) {
        m_pFrame->ShowStatusText(message);
    }
}

void CTickoraApp::OnSettings() {
    (void)RunSettingsDialog(m_pObjects->settings, m_pFrame.get(), [this](const CAppSettings& s) {
        // A job of this program already holds the working folder; otherwise the save takes it,
        // so that a job of another process never reads a half-made change.
        WorkLockResult taken;
        if (!m_pDoc->IsJobRunning()) {
            taken = TryLockWorkFolder(".");
            if (!taken.Taken()) {
                m_pFrame->ShowNote(QStringLiteral("Tickora.ini not saved: ") +
                                   QString::fromStdString(taken.Message()));
                return;
            }
        }
        if (!s.Save()) {
            m_pFrame->ShowNote(QStringLiteral("Tickora.ini could not be written: ") +
                               QString::fromLocal8Bit(std::strerror(errno)));
        }
    });
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

int RunDesktop(int argc, char** argv) {
    // Everything the command line decides is settled before QApplication, which needs a display.
    const DesktopArgs args = ParseDesktopArgs(std::vector<std::string>(argv, argv + argc));
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
    const WorkdirChoice workdir = ChooseWorkdir(WorkdirInputsFromProcess(args.workdir));
    std::error_code error;
    if (workdir.ok) {
        std::filesystem::current_path(workdir.folder, error);
    }
    if (!workdir.ok || error) {
        std::fprintf(stderr, "tickora: cannot use the working folder %s: %s\n",
                     workdir.folder.c_str(),
                     workdir.ok ? error.message().c_str() : workdir.error.c_str());
        return 2;
    }
    SetDesktopConnectionOverrides(args.connection);
    const ConnectionLoad connection = LoadConnectionSettings(args.connection);
    // A bad value must not keep the window from opening: the user fixes it in the dialog. The
    // values that could be read are in force meanwhile.
    const std::vector<std::string> connectionErrors = connection.Errors();
    for (const std::string& message : connectionErrors) {
        std::fprintf(stderr, "tickora: %s\n", message.c_str());
    }
    ApplyConnectionSettings(connection.settings);

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

    CTickoraApp app;
    if (!app.InitInstance()) {
        (void)app.ExitInstance();
        return 1;
    }
    QObject::connect(&app, &CTickoraApp::finished, &application, &QApplication::quit,
                     Qt::QueuedConnection);
    if (!connectionErrors.empty()) {
        app.Frame()->ShowStatusText(FromUtf8(connectionErrors.front()));
    }
    if (!screenshot.isEmpty()) {
        // A picture of the window once start-up (and an auto-started fetch) has settled.
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
            if (!frame->grab().save(screenshot)) {
                std::fprintf(stderr, "tickora: cannot write %s\n",
                             screenshot.toLocal8Bit().constData());
            }
            frame->close();
        });
        poll->start(200);
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
