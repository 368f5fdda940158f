// SPDX-License-Identifier: GPL-3.0-or-later
// The desktop's commands that start no job: the files, the settings, the guide and the windows.
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QUrl>
#include <cerrno>
#include <cstring>

#include "app/about_dlg.h"
#include "app/browser_command.h"
#include "app/chart_window.h"
#include "app/command_table.h"
#include "app/connection_dlg.h"
#include "app/first_start.h"
#include "app/form_view.h"
#include "app/help_browser.h"
#include "app/main_frame.h"
#include "app/outcome_ja.h"
#include "app/qt_text.h"
#include "app/quotes_dlg.h"
#include "app/runs_dlg.h"
#include "app/settings_dlg.h"
#include "app/tickora_app.h"
#include "catalog/work_lock.h"
#include "jobs/run_history.h"
#include "jobs/startup.h"
#include "jobs/tickora_doc.h"

namespace tickora::gui {

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
    connect(m_pQuotes, &CQuotesDlg::chartRequested, this,
            [this](int code) { (void)ShowChart(code); });
    m_pQuotes->show();
}

}  // namespace tickora::gui
