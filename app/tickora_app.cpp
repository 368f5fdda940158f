// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/tickora_app.h"

#include <QApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QLocale>
#include <QMessageBox>
#include <QThread>
#include <QTranslator>
#include <cstdio>

#include "app/chart_window.h"
#include "app/command_table.h"
#include "app/daily_command.h"
#include "app/first_start.h"
#include "app/form_view.h"
#include "app/main_frame.h"
#include "app/outcome_ja.h"
#include "app/qt_text.h"
#include "app/results_panel.h"
#include "app/tool_icons.h"
#include "jobs/startup.h"
#include "jobs/tickora_doc.h"

// Resources of a static library must be registered by name, outside any namespace.
static void InitTickoraResources() {
    Q_INIT_RESOURCE(tickora);
}

namespace tickora::gui {

namespace {

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

}  // namespace

void LoadProgramResources() {
    InitTickoraResources();
}

void InstallJapaneseTranslations() {
    static bool installed = false;
    if (installed || QCoreApplication::instance() == nullptr) {
        return;
    }
    installed = true;
    auto* translator = new QTranslator(QCoreApplication::instance());
    if (translator->load(QLocale(QLocale::Japanese, QLocale::Japan), QStringLiteral("qtbase"),
                         QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        QCoreApplication::installTranslator(translator);
    } else {
        delete translator;
    }
}

CTickoraApp::CTickoraApp(const SiteAccess& access, ConnectionLayer commandLine)
    : m_pTrial(std::make_unique<TrialSite>()),
      m_access(access),
      m_commandLine(std::move(commandLine)) {
    LoadProgramResources();
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
    m_pDaily = std::make_unique<CDailyCommand>(*m_pDoc, *m_pObjects, *m_pFrame);
    CDailyCommand* daily = m_pDaily.get();
    m_pFrame->SetJobHooks([doc, daily] { return doc->IsJobRunning() || daily->IsRunning(); },
                          [doc, daily] {
                              daily->Cancel();
                              doc->CancelJob();
                          });
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
    if (m_pDaily) {
        m_pDaily->Cancel();
        m_pDaily->WaitForEnd();
        m_pDaily.reset();
    }
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

void CTickoraApp::OnCommand(int id) {
    // Nothing starts once the program is on its way out (or before its window was shown).
    if (!m_bRunning || !m_pDoc || !m_pFrame || m_pFrame->IsClosePending()) {
        return;
    }
    // Between the routine's steps no job runs, yet the folder and the list are the routine's.
    if (m_pDaily->IsRunning() && RefusedDuringRoutine(id)) {
        m_pFrame->ShowNote(FromUtf8(PhraseJa("a job is running")));
        return;
    }
    if (id == kIdDaily) {
        (void)m_pDaily->Start();
        return;
    }
    if (JobOfCommand(id)) {
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

}  // namespace tickora::gui
