// SPDX-License-Identifier: GPL-3.0-or-later
// The program from start-up to shut-down against the simulated site: the missing market table,
// auto-start, exit after fetch, Ctrl+N, Alt+K, Cancel, and closing the window during a job.
#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QDockWidget>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QSpinBox>
#include <QStatusBar>
#include <QTableWidget>
#include <QTextBrowser>
#include <QTimer>
#include <QTreeWidget>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <functional>
#include <optional>
#include <set>
#include <string>

#include "app/chart_window.h"
#include "app/command_table.h"
#include "app/first_start.h"
#include "app/form_view.h"
#include "app/help_browser.h"
#include "app/main_frame.h"
#include "app/options_dlgs.h"
#include "app/quotes_dlg.h"
#include "app/results_panel.h"
#include "app/retry_dlg.h"
#include "app/tickora_app.h"
#include "catalog/app_settings.h"
#include "catalog/clock.h"
#include "catalog/work_lock.h"
#include "formats/kdt_file.h"
#include "jobs/job_outcome.h"
#include "jobs/run_history.h"
#include "jobs/startup.h"
#include "jobs/tickora_doc.h"
#include "site/data_faults.h"
#include "site/site_server.h"
#include "tests/support/gui_test_util.h"
#include "tests/support/site_access_for_test.h"
#include "tests/support/site_options.h"
#include "tests/support/temp_dir.h"
#include "text/sjis.h"

namespace tickora::gui {
namespace {

// The site of the case that runs: an offer's answer compares it with what the box says.
std::string t_siteUrl;

using test::WaitUntil;
using test::WhenModal;
using tickora::test::ScopedWorkDir;
using tickora::test::WriteFileBytes;

class DesktopApp : public ::testing::Test {
  public:
    void SetUp() override {
        tickora::test::CopyShippedMarketTable(m_dir.Path());
        StartSite();
        m_app = NewApp();
    }
    // A fresh site of three quote blocks, and its list as the fetch list.
    void StartSite() {
        site::SiteOptions options;
        options.port = 0;
        options.stocks = 120;  // three quote blocks
        m_site = std::make_unique<site::SiteServer>(options);
        ASSERT_TRUE(m_site->Start());
        m_access.Site(m_site->Url());
        WriteFileBytes(m_dir.Path() / "fetchlist.csv", m_site->FetchListCsv());
    }
    void TearDown() override {
        test::DropPendingHandlers();
        m_app.reset();
        m_site->Stop();
    }

    void WriteSettings(bool autoStart, bool exitAfterFetch, const char* outputDir = ".") {
        CAppSettings settings;
        std::strcpy(settings.m_szOutputDir, outputDir);
        settings.m_bAutoStart = autoStart ? 1 : 0;
        settings.m_bExitAfterFetch = exitAfterFetch ? 1 : 0;
        ASSERT_TRUE(settings.Save());
    }

    // Start-up with these settings, as the program starts.
    bool Started(bool autoStart = false, bool exitAfterFetch = false) {
        WriteSettings(autoStart, exitAfterFetch);
        return !HasFatalFailure() && m_app->InitInstance();
    }

    int QuoteRequests() const {
        int count = 0;
        for (const site::ReceivedRequest& request : m_site->Requests()) {
            count += request.target.starts_with("/q?s=") ? 1 : 0;
        }
        return count;
    }

    static std::string Today() {
        const std::time_t now = std::time(nullptr);
        std::tm local{};
        localtime_r(&now, &local);
        char text[32];
        std::snprintf(text, sizeof text, "%d/%d/%d", local.tm_year + 1900, local.tm_mon + 1,
                      local.tm_mday);
        return text;
    }

    std::vector<std::string> QuoteFiles(const std::string& folder = ".") const {
        std::vector<std::string> files;
        for (const auto& entry : std::filesystem::directory_iterator(m_dir.Path() / folder)) {
            const std::string name = entry.path().filename().string();
            if (name.starts_with("DS")) {
                files.push_back(name);
            }
        }
        return files;
    }

    // Every quote page answers only after delay: a job stays in its first item that long.
    void SlowQuotePages(std::chrono::milliseconds delay) {
        site::Fault fault;
        fault.kind = site::FaultKind::kStall;
        fault.stall = delay;
        m_site->SetFault("/q?s=", fault);
    }

    // The program as its command line starts it, reaching the site as m_access says.
    std::unique_ptr<CTickoraApp> NewApp() const { return std::make_unique<CTickoraApp>(m_access); }

    ScopedWorkDir m_dir;
    std::unique_ptr<site::SiteServer> m_site;
    tickora::test::AccessForTest m_access;
    std::unique_ptr<CTickoraApp> m_app;
};

TEST_F(DesktopApp, MissingMarketTableEndsStartUpAfterItsMessage) {
    std::filesystem::remove(m_dir.Path() / "market.csv");
    WriteSettings(true, true);  // the Fetch that auto-start posts must be discarded
    QString text;
    QString caption;
    QString folder;
    WhenModal(QStringLiteral("startupError"), [&](QWidget* w) {
        auto* box = static_cast<QMessageBox*>(w);
        text = box->text();
        caption = box->windowTitle();
        folder = box->informativeText();
        test::Accept(box);
    });
    EXPECT_FALSE(m_app->InitInstance());
    EXPECT_EQ(text.toStdString(), "market.csv not found.");
    EXPECT_TRUE(folder.contains(QString::fromStdString(m_dir.Path().string())))
        << "the folder searched is named: " << folder.toStdString();
    EXPECT_EQ(caption.toStdString(), "error");
    EXPECT_FALSE(m_app->Frame()->isVisible());
    WaitUntil([] { return false; }, 300);
    EXPECT_FALSE(m_app->Document()->IsJobRunning());
    EXPECT_EQ(m_app->Frame()->DocTitle().toStdString(), "無題");
    EXPECT_EQ(QuoteRequests(), 0);
    EXPECT_EQ(m_app->ExitInstance(), 0);
}

TEST_F(DesktopApp, WithoutAutoStartNothingIsFetched) {
    ASSERT_TRUE(Started());
    EXPECT_TRUE(m_app->Frame()->isVisible());
    EXPECT_EQ(m_app->Frame()->windowTitle().toStdString(), "無題 - Tickora");
    EXPECT_TRUE(m_app->Frame()->WorkFolderLabel()->toolTip().endsWith(
        QString::fromStdString(m_dir.Path().string())))
        << "the working folder is in view";
    EXPECT_TRUE(m_app->View()->FetchButton()->isEnabled());
    EXPECT_FALSE(m_app->View()->CancelButton()->isEnabled());
    WaitUntil([] { return false; }, 300);
    EXPECT_EQ(QuoteRequests(), 0);
    EXPECT_TRUE(std::filesystem::is_directory(m_dir.Path() / "Webtemp") ||
                std::filesystem::is_directory(m_dir.Path() / "webtemp"));
}

TEST_F(DesktopApp, AutoStartWithExitAfterFetchWritesTheQuoteFileAndCloses) {
    ASSERT_TRUE(Started(true, true));
    QSignalSpy finished(m_app.get(), &CTickoraApp::finished);
    ASSERT_TRUE(WaitUntil([&] { return finished.count() == 1; }, 60000));
    EXPECT_FALSE(m_app->Frame()->isVisible());
    EXPECT_FALSE(m_app->Document()->IsJobRunning());
    EXPECT_EQ(QuoteRequests(), 3);
    EXPECT_EQ(m_app->Frame()->DocTitle().toStdString(), Today());
    EXPECT_EQ(QuoteFiles().size(), 1u);
    int listed = 0;
    for (int i = 0; i < m_app->Objects()->stocks.m_nBlocks; ++i) {
        listed += m_app->Objects()->stocks.GetBlock(i)->m_nStocks;
    }
    EXPECT_GE(listed, 120);
    EXPECT_EQ(m_app->View()->FirstCounter()->text().toInt() +
                  m_app->View()->SecondCounter()->text().toInt(),
              listed);
}

TEST_F(DesktopApp, CtrlNWithAutoStartFetchesAgain) {
    ASSERT_TRUE(Started(true, false));
    ASSERT_TRUE(WaitUntil(
        [&] { return QuoteRequests() == 3 && !m_app->Document()->IsJobRunning(); }, 60000));
    EXPECT_EQ(m_app->Frame()->DocTitle().toStdString(), Today());
    EXPECT_TRUE(m_app->Frame()->isVisible()) << "exit after fetch is off";

    m_app->Frame()->Action(kIdFileNew)->trigger();
    EXPECT_EQ(m_app->Frame()->DocTitle().toStdString(), "無題");
    ASSERT_TRUE(WaitUntil(
        [&] { return QuoteRequests() == 6 && !m_app->Document()->IsJobRunning(); }, 60000));
    EXPECT_EQ(m_app->Frame()->DocTitle().toStdString(), Today());
    EXPECT_TRUE(m_app->View()->FetchButton()->isEnabled());
}

TEST_F(DesktopApp, AltKAsksForTheStockAndCancellingLeavesTheFormIdle) {
    ASSERT_TRUE(Started());
    bool allStocksShown = false;
    bool fetchDisabledMeanwhile = false;
    WhenModal(QStringLiteral("codeDlg"), [&](QWidget* w) {
        auto* dlg = static_cast<CCodeDlg*>(w);
        allStocksShown = !dlg->m_pAllStocks->isHidden();
        fetchDisabledMeanwhile = !m_app->View()->FetchButton()->isEnabled();
        test::Reject(dlg);
    });
    m_app->Frame()->Action(kIdMakeKdt)->trigger();
    ASSERT_TRUE(WaitUntil([&] { return !m_app->Document()->IsJobRunning(); }));
    EXPECT_TRUE(allStocksShown);
    EXPECT_TRUE(fetchDisabledMeanwhile) << "the dialog is asked after the form went running";
    EXPECT_TRUE(m_app->View()->FetchButton()->isEnabled());
    EXPECT_FALSE(m_app->View()->CancelButton()->isEnabled());
    EXPECT_FALSE(m_app->Frame()->Action(kIdMakeKdtMenu)->isEnabled());
}

TEST_F(DesktopApp, CancelStopsTheFetchAfterItsCurrentBlock) {
    SlowQuotePages(std::chrono::milliseconds(800));
    ASSERT_TRUE(Started());
    CTickoraView* view = m_app->View();
    QTest::mouseClick(view->FetchButton(), Qt::LeftButton);
    ASSERT_TRUE(m_app->Document()->IsJobRunning());
    EXPECT_FALSE(view->FetchButton()->isEnabled());
    EXPECT_TRUE(view->CancelButton()->isEnabled());
    // A second job command while one runs starts nothing.
    m_app->Frame()->Action(kIdFetch)->trigger();
    // The worker clears the cancel flag when it starts: cancel once it is at its first page.
    ASSERT_TRUE(WaitUntil([&] { return QuoteRequests() == 1; }));
    // Ctrl+N meanwhile renames the window but leaves the running form alone.
    m_app->Frame()->Action(kIdFileNew)->trigger();
    EXPECT_EQ(m_app->Frame()->DocTitle().toStdString(), "無題");
    EXPECT_FALSE(view->FetchButton()->isEnabled());
    EXPECT_TRUE(view->CancelButton()->isEnabled());

    QTest::mouseClick(view->CancelButton(), Qt::LeftButton);
    EXPECT_TRUE(m_app->Document()->m_bCancel);
    EXPECT_FALSE(m_app->Document()->m_bBusy);
    ASSERT_TRUE(WaitUntil([&] { return !m_app->Document()->IsJobRunning(); }, 30000));
    EXPECT_EQ(QuoteRequests(), 1);
    EXPECT_TRUE(view->FetchButton()->isEnabled());
    EXPECT_FALSE(view->CancelButton()->isEnabled());
    EXPECT_EQ(view->ProgressBar()->value(), 0);
    EXPECT_EQ(view->ProgressBar()->maximum(), 3);
    // The slow page was given up a moment after Cancel: no quote arrived, so no day is written,
    // and the status bar says so.
    EXPECT_TRUE(QuoteFiles().empty());
    EXPECT_NE(m_app->Frame()->Note().toStdString().find("キャンセル"), std::string::npos)
        << m_app->Frame()->Note().toStdString();
}

TEST_F(DesktopApp, ClosingDuringAJobStopsItWaitsAndThenCloses) {
    SlowQuotePages(std::chrono::milliseconds(1500));
    ASSERT_TRUE(Started());
    QSignalSpy finished(m_app.get(), &CTickoraApp::finished);
    m_app->Frame()->Action(kIdFetch)->trigger();
    ASSERT_TRUE(m_app->Document()->IsJobRunning());
    ASSERT_TRUE(WaitUntil([&] { return QuoteRequests() == 1; }));

    QElapsedTimer clock;
    clock.start();
    EXPECT_FALSE(m_app->Frame()->close()) << "the window waits for the worker";
    EXPECT_LT(clock.elapsed(), 1000) << "closing must not block the event loop";
    EXPECT_TRUE(m_app->Frame()->isVisible());
    EXPECT_TRUE(m_app->Frame()->IsClosePending());
    EXPECT_TRUE(m_app->Document()->m_bCancel);
    // Commands that arrive meanwhile start nothing.
    m_app->Frame()->Action(kIdMakeFetchList)->trigger();

    ASSERT_TRUE(WaitUntil([&] { return finished.count() == 1; }, 30000));
    EXPECT_FALSE(m_app->Frame()->isVisible());
    EXPECT_FALSE(m_app->Document()->IsJobRunning());
    EXPECT_EQ(QuoteRequests(), 1);
    EXPECT_EQ(m_app->ExitInstance(), 0);
    EXPECT_EQ(m_app->Document(), nullptr);
}

TEST_F(DesktopApp, ExitInstanceDuringAJobWaitsForTheWorker) {
    SlowQuotePages(std::chrono::milliseconds(800));
    ASSERT_TRUE(Started());
    m_app->Frame()->Action(kIdFetch)->trigger();
    ASSERT_TRUE(m_app->Document()->IsJobRunning());
    ASSERT_TRUE(WaitUntil([&] { return QuoteRequests() == 1; }));
    EXPECT_EQ(m_app->ExitInstance(), 0);
    EXPECT_EQ(m_app->Frame(), nullptr);
    EXPECT_EQ(QuoteRequests(), 1);
}

TEST_F(DesktopApp, OpenNamesTheWindowAfterTheFileAndReadsNothing) {
    ASSERT_TRUE(Started());
    const int blocksBefore = m_app->Objects()->stocks.m_nBlocks;
    ASSERT_EQ(blocksBefore, 3);
    const std::filesystem::path chosen = m_dir.Path() / "ある日.csv";
    WriteFileBytes(chosen, "1301,1301,T,x\r\n");
    WhenModal(QStringLiteral("openDialog"), [&](QWidget* w) {
        auto* dialog = static_cast<QFileDialog*>(w);
        // As if typed: selectFile leaves a focused name field alone.
        auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        ASSERT_NE(name, nullptr);
        name->setText(QString::fromStdString(chosen.string()));
        // Straight to the answer: the dialog's own checks wait for its folder model to load.
        QMetaObject::invokeMethod(dialog, "done", Q_ARG(int, QDialog::Accepted));
    });
    m_app->Frame()->Action(kIdFileOpen)->trigger();
    EXPECT_EQ(m_app->Frame()->windowTitle().toStdString(), "ある日.csv - Tickora");
    EXPECT_EQ(m_app->Objects()->stocks.m_nBlocks, blocksBefore)
        << "the list loaded at start-up is untouched";
}

TEST_F(DesktopApp, AboutAndSettingsCommandsOpenTheirDialogs) {
    ASSERT_TRUE(Started());
    bool aboutShown = false;
    WhenModal(QStringLiteral("aboutDlg"), [&](QWidget* w) {
        aboutShown = true;
        test::Accept(w);
    });
    m_app->Frame()->Action(kIdAppAbout)->trigger();
    EXPECT_TRUE(aboutShown);

    WhenModal(QStringLiteral("settingsDlg"), [](QWidget* w) {
        auto* dlg = static_cast<QDialog*>(w);
        dlg->findChild<QCheckBox*>(QStringLiteral("check1009"))->click();
        dlg->accept();
    });
    m_app->Frame()->Action(kIdSettings)->trigger();
    EXPECT_EQ(m_app->Objects()->settings.m_bExitAfterFetch, 1) << "takes effect at once";
    CAppSettings reread;
    reread.Load();
    EXPECT_EQ(reread.m_bExitAfterFetch, 1);
    // OK says where the settings went, as 接続設定 does.
    EXPECT_EQ(m_app->Frame()->Note().toStdString(),
              "初期設定を " + (m_dir.Path() / "Tickora.ini").string() + " に保存しました");
    EXPECT_STREQ(reread.m_szOutputDir, ".") << "a folder the user did not change stays as given";
}

TEST_F(DesktopApp, HelpWithoutABrowserSaysSoOnTheStatusLine) {
    const char* previous = std::getenv("BROWSER");
    const std::string saved = previous != nullptr ? previous : "";
    setenv("BROWSER", (m_dir.Path() / "no-such-browser").c_str(), 1);
    ASSERT_TRUE(m_app->InitInstance());
    m_app->OnCommand(kIdUsersGuide);
    EXPECT_EQ(m_app->Frame()->Note().toStdString(), kNoBrowserText);
    // The guide opens inside the program instead.
    CHelpBrowser* guide = m_app->Frame()->findChild<CHelpBrowser*>(QStringLiteral("helpBrowser"));
    ASSERT_NE(guide, nullptr);
    EXPECT_TRUE(guide->isVisible());
    EXPECT_TRUE(guide->Browser()->toPlainText().contains(QStringLiteral("ユーザーズガイド")));
    previous != nullptr ? setenv("BROWSER", saved.c_str(), 1) : unsetenv("BROWSER");
}

TEST_F(DesktopApp, AJobsSummaryStaysInTheStatusBarUntilTheNextJob) {
    ASSERT_TRUE(Started());
    m_app->OnCommand(kIdFetch);
    ASSERT_TRUE(WaitUntil([&] { return !m_app->Frame()->Note().isEmpty(); }, 60000));
    const std::string note = m_app->Frame()->Note().toStdString();
    EXPECT_EQ(note.rfind("株価取得: 123/123 銘柄、", 0), 0u) << note;
    // The file is named with its whole path, so that the user can find it.
    EXPECT_NE(note.find("書いたファイル: " + m_dir.Path().string() + "/DS"), std::string::npos)
        << note;
    EXPECT_FALSE(m_app->Frame()->NoteIsWarning());
    EXPECT_TRUE(m_app->Frame()->statusBar()->currentMessage().isEmpty())
        << "the summary stands where the ready text would";
    // Neither a dialog nor Ctrl+N takes it away; the next job does.
    WhenModal(QStringLiteral("settingsDlg"), test::Reject);
    m_app->OnCommand(kIdSettings);
    m_app->OnCommand(kIdFileNew);
    EXPECT_EQ(m_app->Frame()->Note().toStdString(), note);
    WhenModal(QStringLiteral("codeDlg"), test::Reject);
    m_app->OnCommand(kIdHistoryJob);
    ASSERT_TRUE(WaitUntil([&] { return !m_app->Document()->IsJobRunning(); }));
    WaitUntil([] { return false; }, 100);
    EXPECT_EQ(m_app->Frame()->Note().toStdString(), note) << "a dismissed job dialog keeps it";
    SlowQuotePages(std::chrono::milliseconds(800));
    m_app->OnCommand(kIdFetch);
    EXPECT_TRUE(m_app->Frame()->Note().isEmpty());
    m_app->Document()->CancelJob();
    ASSERT_TRUE(WaitUntil([&] { return !m_app->Document()->IsJobRunning(); }, 30000));
}

// Ctrl+S as the user presses it: the window active, the key on the frame.
void PressCtrlS(CMainFrame* frame) {
    frame->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(frame));
    QTest::keyClick(frame, Qt::Key_S, Qt::ControlModifier);
}

// The stock lines of a day file (those after its header).
int StockLines(const std::string& bytes, int headerLines) {
    int lines = 0;
    for (std::size_t at = bytes.find("\r\n"); at != std::string::npos;
         at = bytes.find("\r\n", at + 2)) {
        ++lines;
    }
    return lines - headerLines;
}

// Ctrl+S after a restart, before any fetch: the day's whole file is left as it is, or written
// again whole in the layout chosen since, and the status bar says which. Never a file of no
// stock in its place.
TEST_F(DesktopApp, CtrlSAfterARestartKeepsTheDaysWholeFile) {
    ASSERT_TRUE(Started());
    m_app->OnCommand(kIdFetch);
    ASSERT_TRUE(WaitUntil(
        [&] { return !m_app->Frame()->Note().isEmpty() && !m_app->Document()->IsJobRunning(); },
        60000));
    ASSERT_EQ(QuoteFiles().size(), 1u);
    const std::filesystem::path day = m_dir.Path() / QuoteFiles()[0];
    const std::string whole = tickora::test::ReadFileBytes(day);
    ASSERT_EQ(StockLines(whole, 2), 123);
    EXPECT_EQ(m_app->ExitInstance(), 0);

    m_app = NewApp();
    ASSERT_TRUE(m_app->InitInstance());
    PressCtrlS(m_app->Frame());
    EXPECT_TRUE(tickora::test::ReadFileBytes(day) == whole);
    EXPECT_FALSE(std::filesystem::exists(day.string() + ".bak"));
    std::string note = m_app->Frame()->Note().toStdString();
    EXPECT_NE(note.find("保存済みの内容と同じです (123 銘柄)"), std::string::npos) << note;
    EXPECT_FALSE(m_app->Frame()->NoteIsWarning());

    // The layout changed in the settings since: the same day in it, every stock of it.
    m_app->Objects()->settings.m_nOutputFormat = 1;
    PressCtrlS(m_app->Frame());
    const std::string tabbed = tickora::test::ReadFileBytes(day);
    EXPECT_EQ(tabbed.rfind("\"20", 0), 0u) << "the tabbed layout's header";
    EXPECT_EQ(StockLines(tabbed, 4), 123);
    EXPECT_TRUE(tickora::test::ReadFileBytes(day.string() + ".bak") == whole);
    note = m_app->Frame()->Note().toStdString();
    EXPECT_EQ(note, "株取虫32 で保存しました: " + day.string() +
                        " (123 銘柄)。保存済みの株取虫もどきのファイルから書き直しました");
    EXPECT_EQ(QuoteRequests(), 3) << "the first run's pages only";
}

// With no quote fetched and no day file to save from, Ctrl+S writes nothing and says why.
TEST_F(DesktopApp, CtrlSWithNothingToSaveFromWritesNothingAndSaysWhy) {
    ASSERT_TRUE(Started());
    PressCtrlS(m_app->Frame());
    EXPECT_TRUE(QuoteFiles().empty());
    const std::string note = m_app->Frame()->Note().toStdString();
    EXPECT_EQ(note.rfind("保存しませんでした: この起動ではまだ株価を取得しておらず", 0), 0u)
        << note;
    EXPECT_TRUE(m_app->Frame()->NoteIsWarning());
}

TEST_F(DesktopApp, EveryJobStartsWithCountersProgressAndTitleCleared) {
    ASSERT_TRUE(Started());
    CTickoraView* view = m_app->View();
    m_app->OnCommand(kIdFetch);
    ASSERT_TRUE(WaitUntil([&] { return !m_app->Frame()->Note().isEmpty(); }, 60000));
    ASSERT_GT(view->FirstCounter()->text().toInt(), 0);
    ASSERT_EQ(m_app->Frame()->DocTitle().toStdString(), Today());

    // A history job writes no dated file: the day's title stays while it runs.
    site::Fault slow;
    slow.kind = site::FaultKind::kStall;
    slow.stall = std::chrono::milliseconds(1500);
    m_site->SetFault("/t?s=", slow);
    WhenModal(QStringLiteral("codeDlg"), test::Accept);
    m_app->OnCommand(kIdHistoryJob);
    ASSERT_TRUE(WaitUntil([&] { return m_app->Document()->IsJobRunning(); }));
    EXPECT_EQ(m_app->Frame()->DocTitle().toStdString(), Today());
    m_app->Document()->CancelJob();
    ASSERT_TRUE(WaitUntil([&] { return !m_app->Document()->IsJobRunning(); }, 30000));
    EXPECT_EQ(m_app->Frame()->DocTitle().toStdString(), Today());

    // The next job of the process: its first page is slow, so the form is seen as it starts.
    SlowQuotePages(std::chrono::milliseconds(1500));
    view->ProgressBar()->setValue(2);  // as a job cut short may leave it
    m_app->OnCommand(kIdGetPerformance);
    ASSERT_TRUE(m_app->Document()->IsJobRunning());
    EXPECT_EQ(view->FirstCounter()->text().toStdString(), "0");
    EXPECT_EQ(view->SecondCounter()->text().toStdString(), "0");
    EXPECT_EQ(view->ProgressBar()->value(), 0);
    EXPECT_EQ(m_app->Frame()->DocTitle().toStdString(), "無題")
        << "the date of the last job's file is no date of this one's";
    m_app->Document()->CancelJob();
    ASSERT_TRUE(WaitUntil([&] { return !m_app->Document()->IsJobRunning(); }, 30000));
}

// A command that does nothing says why, in the status bar and never in a box to click away.
struct RefusalCase {
    const char* name;
    std::function<void(const std::filesystem::path& dir)> setUp;
    const char* noteHas;
};

TEST_F(DesktopApp, ACommandThatDoesNothingSaysWhy) {
    std::optional<WorkLock> held;
    const RefusalCase cases[] = {
        {"no list, and the offer to build one declined",
         [](const auto& dir) {
             std::filesystem::remove(dir / "fetchlist.csv");
             WhenModal(QStringLiteral("emptyListOffer"), [](QWidget* box) {
                 static_cast<QMessageBox*>(box)->button(QMessageBox::No)->click();
             });
         },
         "fetchlist.csv に銘柄がない"},
        {"another job holds the folder",
         [&](const auto&) { held = std::move(TryLockWorkFolder(".").lock); },
         "別の Tickora の処理"},
    };
    WriteSettings(false, false);
    for (const RefusalCase& c : cases) {
        SCOPED_TRACE(c.name);
        WriteFileBytes(m_dir.Path() / "fetchlist.csv", m_site->FetchListCsv());
        c.setUp(m_dir.Path());
        m_app = NewApp();
        ASSERT_TRUE(m_app->InitInstance());
        m_app->OnCommand(kIdFetch);
        EXPECT_NE(m_app->Frame()->Note().toStdString().find(c.noteHas), std::string::npos)
            << m_app->Frame()->Note().toStdString();
        EXPECT_FALSE(m_app->Document()->IsJobRunning());
        EXPECT_EQ(QuoteRequests(), 0);
        m_app.reset();
        held.reset();
    }
}

TEST_F(DesktopApp, ExitAfterFetchEndsWithTheCommandLinesStatus) {
    WriteSettings(true, true);
    m_site->Stop();  // nothing answers: the fetch stops at its first page
    ASSERT_TRUE(m_app->InitInstance());
    QSignalSpy finished(m_app.get(), &CTickoraApp::finished);
    ASSERT_TRUE(WaitUntil([&] { return finished.count() == 1; }, 60000));
    EXPECT_EQ(m_app->ExitStatus(), kExitEndedEarly);
    EXPECT_TRUE(QuoteFiles().empty()) << "no empty day file for a fetch that fetched nothing";
}

// An unattended start (auto-start with exit after fetch) finds another job in the folder: it
// waits for it, as "tickora-cli --wait" does, but not for ever; nobody is there to close it.
TEST_F(DesktopApp, UnattendedStartWaitsForAHeldFolderThenFetchesOrEndsWithStatus5) {
    struct Case {
        const char* name;
        int releaseAfterMs;  // -1: the other job holds the folder throughout
        int waitMs;
        int exitStatus;
        int quoteRequests;
        std::size_t files;
    } cases[] = {
        {"the other job ends in time", 500, 30000, kExitDone, 3, 1},
        {"the other job outlasts the wait", -1, 800, kExitLocked, 0, 0},
    };
    WriteSettings(true, true);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (const std::string& name : QuoteFiles()) {
            std::filesystem::remove(m_dir.Path() / name);
        }
        m_site->ClearRequests();
        // Another handle on the lock file: to this program it is another process's job.
        std::optional<WorkLock> held(TryLockWorkFolder(".").lock);
        ASSERT_TRUE(held->Held());
        m_app = NewApp();
        m_app->SetLockWait(std::chrono::milliseconds(c.waitMs));
        QElapsedTimer clock;
        clock.start();
        if (c.releaseAfterMs >= 0) {
            QTimer::singleShot(c.releaseAfterMs, [&held] { held.reset(); });
        }
        ASSERT_TRUE(m_app->InitInstance());
        QSignalSpy finished(m_app.get(), &CTickoraApp::finished);
        ASSERT_TRUE(WaitUntil([&] { return finished.count() == 1; }, 60000)) << "still open";
        EXPECT_EQ(m_app->ExitStatus(), c.exitStatus);
        EXPECT_EQ(QuoteRequests(), c.quoteRequests);
        EXPECT_EQ(QuoteFiles().size(), c.files);
        if (c.releaseAfterMs < 0) {
            EXPECT_GE(clock.elapsed(), c.waitMs) << "it waited before giving up";
        }
        (void)m_app->ExitInstance();
        held.reset();
    }
}

TEST_F(DesktopApp, FetchUsesTheListThatFetchListGenerationHasJustWritten) {
    WriteSettings(false, false);
    // A list of one stock at start-up; the site lists 123.
    const std::string site = m_site->FetchListCsv();
    WriteFileBytes(m_dir.Path() / "fetchlist.csv", site.substr(0, site.find('\n') + 1));
    ASSERT_TRUE(m_app->InitInstance());
    WhenModal(QStringLiteral("listOptionsDlg"), [](QWidget* w) { test::Accept(w); });
    m_app->OnCommand(kIdMakeFetchList);
    ASSERT_TRUE(WaitUntil([&] { return !m_app->Frame()->Note().isEmpty(); }, 60000));
    ASSERT_NE(m_app->Frame()->Note().toStdString().find("書いたファイル: " + m_dir.Path().string() +
                                                        "/fetchlist.csv"),
              std::string::npos)
        << m_app->Frame()->Note().toStdString();
    m_app->OnCommand(kIdFetch);
    ASSERT_TRUE(WaitUntil([&] { return !m_app->Frame()->Note().isEmpty(); }, 60000));
    EXPECT_EQ(m_app->Frame()->Note().toStdString().rfind("株価取得: 123/123 銘柄", 0), 0u)
        << m_app->Frame()->Note().toStdString();
    EXPECT_EQ(QuoteRequests(), 3);
}

// A first start leads somewhere: each case answers the offer the program makes and checks where
// that led.
struct OfferCase {
    const char* name;
    std::function<void(DesktopApp&)> setUp;
    const char* offer;                 // the box that must appear
    std::function<void(QWidget*)> answer;
    std::function<void(DesktopApp&)> check;
};

QPushButton* ButtonNamed(QWidget* box, const char* name) {
    return box->findChild<QPushButton*>(QString::fromLatin1(name));
}
void ClickYes(QWidget* box) {
    static_cast<QMessageBox*>(box)->button(QMessageBox::Yes)->click();
}
void ClickNo(QWidget* box) {
    static_cast<QMessageBox*>(box)->button(QMessageBox::No)->click();
}

TEST_F(DesktopApp, TheFirstStartOffersTheWayOn) {
    bool trialOffered = false;
    bool siteNamed = false;
    const OfferCase cases[] = {
        {"an empty list: build it now",
         [](DesktopApp& t) {
             std::filesystem::remove(t.m_dir.Path() / "fetchlist.csv");
             WhenModal(QStringLiteral("listOptionsDlg"), test::Accept);
         },
         "emptyListOffer", ClickYes,
         [](DesktopApp& t) {
             // The list, then the fetch the user asked for, without a second Fetch.
             ASSERT_TRUE(WaitUntil(
                 [&] {
                     return !t.m_app->Document()->IsJobRunning() &&
                            t.m_app->Frame()->Note().startsWith(QStringLiteral("株価取得"));
                 },
                 60000))
                 << t.m_app->Frame()->Note().toStdString();
             EXPECT_GT(t.m_app->Objects()->stocks.m_nBlocks, 0);
             const std::vector<RunRecord> runs = ReadRunHistory();
             ASSERT_EQ(runs.size(), 2u);
             EXPECT_EQ(runs[0].outcome.job, "fetchlist");
             EXPECT_EQ(runs[1].outcome.job, "fetch");
         }},
        {"the simulated site is not running: start it for a trial",
         [](DesktopApp& t) { t.m_site->Stop(); }, "siteUnreachable",
         [&](QWidget* box) {
             siteNamed = static_cast<QMessageBox*>(box)->text().contains(
                 QString::fromStdString(t_siteUrl));
             QPushButton* trial = ButtonNamed(box, "startTrialSite");
             trialOffered = trial != nullptr;
             ASSERT_NE(trial, nullptr);
             trial->click();
         },
         [&](DesktopApp& t) {
             EXPECT_TRUE(siteNamed) << "the message names the site";
             ASSERT_TRUE(WaitUntil([&] { return t.m_app->Trial().Running(); }, 15000));
             // The fetch the site could not answer runs again by itself once the site is up.
             ASSERT_TRUE(WaitUntil(
                 [&] {
                     return !t.m_app->Document()->IsJobRunning() &&
                            t.m_app->Frame()->Note().startsWith(QStringLiteral("株価取得"));
                 },
                 60000));
             EXPECT_FALSE(t.m_app->Frame()->NoteIsWarning()) << t.m_app->Frame()->Note().toStdString();
             EXPECT_EQ(t.QuoteFiles().size(), 1u);
             EXPECT_EQ(t.m_app->ExitInstance(), 0);
             EXPECT_FALSE(t.m_app->Trial().Running()) << "stopped when the program ends";
         }},
        {"a site elsewhere does not answer: the connection settings",
         [](DesktopApp& t) {
             t.m_site->Stop();
             t.m_access.Site(t.m_site->Url() + "/elsewhere");
             WhenModal(QStringLiteral("connectionDialog"), test::Reject);
         },
         "siteUnreachable",
         [&](QWidget* box) {
             trialOffered = ButtonNamed(box, "startTrialSite") != nullptr;
             ButtonNamed(box, "openConnectionSettings")->click();
         },
         [&](DesktopApp&) { EXPECT_FALSE(trialOffered) << "no trial for a site elsewhere"; }},
        {"a missing output folder: create it before any page is asked",
         [](DesktopApp&) { std::filesystem::remove_all("out"); }, "outputFolderOffer", ClickYes,
         [](DesktopApp& t) {
             ASSERT_TRUE(WaitUntil([&] { return !t.m_app->Frame()->Note().isEmpty(); }, 60000));
             EXPECT_EQ(t.QuoteFiles("out/day").size(), 1u);
         }},
        {"a missing output folder, declined: nothing is asked",
         [](DesktopApp&) { std::filesystem::remove_all("out"); }, "outputFolderOffer", ClickNo,
         [](DesktopApp& t) {
             EXPECT_FALSE(std::filesystem::exists(t.m_dir.Path() / "out/day"));
             EXPECT_EQ(t.QuoteRequests(), 0);
             EXPECT_NE(t.m_app->Frame()->Note().toStdString().find("出力先ディレクトリ"),
                       std::string::npos);
         }},
    };
    for (const OfferCase& c : cases) {
        SCOPED_TRACE(c.name);
        const bool outputCase = std::string(c.offer) == "outputFolderOffer";
        WriteSettings(false, false, outputCase ? "out/day" : ".");
        if (!m_site->Url().empty()) {
            m_site->Stop();
        }
        ASSERT_NO_FATAL_FAILURE(StartSite());
        t_siteUrl = m_site->Url();
        std::filesystem::remove(m_dir.Path() / "history.jsonl");
        c.setUp(*this);
        m_app = NewApp();
        m_app->Trial().SetProgram(QStringLiteral(TICKORA_SITE_BINARY));
        ASSERT_TRUE(m_app->InitInstance());
        WhenModal(QString::fromLatin1(c.offer), c.answer);
        m_app->OnCommand(kIdFetch);
        ASSERT_TRUE(WaitUntil(
            [&] { return !m_app->Document()->IsJobRunning() && !m_app->Frame()->Note().isEmpty(); },
            60000));
        WaitUntil([] { return false; }, 200);
        c.check(*this);
        m_app.reset();
    }
}

// A new user's working folder is the hidden per-user folder: the first fetch offers ~/Tickora
// for the files, which its default button takes; either answer is kept and asked once.
TEST_F(DesktopApp, TheFirstFetchOffersAVisibleOutputFolder) {
    const std::string savedHome = std::getenv("HOME") != nullptr ? std::getenv("HOME") : "";
    const std::filesystem::path home = m_dir.Path() / "home";
    const std::filesystem::path work = home / ".local/share/tickora";
    for (const bool take : {true, false}) {
        SCOPED_TRACE(take ? "taken" : "declined");
        std::filesystem::remove_all(home);
        std::filesystem::create_directories(work);
        std::filesystem::copy_file(m_dir.Path() / "market.csv", work / "market.csv");
        WriteFileBytes(work / "fetchlist.csv", m_site->FetchListCsv());
        std::filesystem::current_path(work);
        setenv("HOME", home.c_str(), 1);
        m_app = NewApp();
        ASSERT_TRUE(m_app->InitInstance());
        QString offered;
        WhenModal(QStringLiteral("visibleFolderOffer"), [&](QWidget* w) {
            auto* box = static_cast<QMessageBox*>(w);
            offered = box->text();
            EXPECT_EQ(box->defaultButton(), box->button(QMessageBox::Yes));
            (take ? box->defaultButton() : box->button(QMessageBox::No))->click();
        });
        m_app->OnCommand(kIdFetch);
        ASSERT_TRUE(WaitUntil([&] { return !m_app->Document()->IsJobRunning(); }, 60000));
        EXPECT_TRUE(offered.contains(QString::fromStdString((home / "Tickora").string())))
            << offered.toStdString();
        const std::filesystem::path out = take ? home / "Tickora" : work;
        EXPECT_EQ(QuoteFiles(std::filesystem::relative(out, m_dir.Path()).string()).size(), 1u);
        CAppSettings saved;
        saved.Load();
        EXPECT_STREQ(saved.m_szOutputDir, take ? (home / "Tickora").c_str() : ".");
        // Asked once: the next fetch just fetches.
        bool askedAgain = false;
        WhenModal(
            QStringLiteral("visibleFolderOffer"),
            [&](QWidget* w) {
                askedAgain = true;
                test::Reject(w);
            },
            test::Expect::kMayAppear, 300);
        m_app->OnCommand(kIdFetch);
        ASSERT_TRUE(WaitUntil([&] { return !m_app->Document()->IsJobRunning(); }, 60000));
        WaitUntil([] { return false; }, 400);
        EXPECT_FALSE(askedAgain);
        m_app.reset();
        std::filesystem::current_path(m_dir.Path());
    }
    setenv("HOME", savedHome.c_str(), 1);
}

TEST_F(DesktopApp, TheHistoryMenuItemOpensItsDialogWhichRemembersItsChoices) {
    {
        QSettings remembered = UserSettings();
        remembered.remove(QStringLiteral("history"));
    }
    ASSERT_TRUE(Started());
    QAction* item = m_app->Frame()->Action(kIdHistoryJob);
    ASSERT_TRUE(item->isEnabled());
    EXPECT_FALSE(m_app->Frame()->Action(kIdMakeKdtMenu)->isEnabled()) << "the old item stays off";
    std::vector<std::pair<bool, bool>> seen;
    for (const bool accept : {true, false}) {
        WhenModal(QStringLiteral("codeDlg"), [&, accept](QWidget* w) {
            auto* dlg = static_cast<CCodeDlg*>(w);
            seen.emplace_back(dlg->m_pAllStocks->isChecked(), dlg->m_pUpdate->isChecked());
            dlg->m_pAllStocks->setChecked(true);
            dlg->m_pUpdate->setChecked(true);
            accept ? test::Accept(dlg) : test::Reject(dlg);
        });
        item->trigger();
        ASSERT_TRUE(WaitUntil([&] { return seen.size() == (accept ? 1u : 2u); }));
        m_app->Document()->CancelJob();
        ASSERT_TRUE(WaitUntil([&] { return !m_app->Document()->IsJobRunning(); }, 30000));
    }
    EXPECT_EQ(seen, (std::vector<std::pair<bool, bool>>{{false, false}, {true, true}}));
}

// 失敗した銘柄を再取得: the history job again on the stocks its last run kept in history.jsonl as
// failed, and nothing at all when no such run is kept.
TEST_F(DesktopApp, RetryFailedAsksOnlyTheStocksTheLastRunFailed) {
    struct Case {
        const char* name;
        bool keepRun;  // a stopped kdt run of all stocks that failed the first two stocks
        int asked;     // stocks the retry asks; -1: no job starts
    };
    const Case cases[] = {{"after a failed run", true, 2}, {"with no run kept", false, -1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove(m_dir.Path() / "history.jsonl");
        m_app = NewApp();
        ASSERT_TRUE(Started());
        const CQuoteBlock* block = m_app->Objects()->stocks.GetBlock(0);
        const int first = block->m_aStocks[0].m_nCode;
        const int second = block->m_aStocks[1].m_nCode;
        if (c.keepRun) {
            WriteFileBytes(
                m_dir.Path() / "history.jsonl",
                R"({"job":"kdt","exitStatus":1,"end":"stopped","endCause":"","unit":"stocks",)"
                R"("itemsTotal":3,"itemsDone":1,"extracted":0,"notExtracted":0,)"
                R"("failures":[{"what":"page 1 of )" + std::to_string(first) +
                    R"(","codes":[)" + std::to_string(first) +
                    R"(],"cause":"HTTP 500","where":"","action":"no history file",)"
                    R"("endedJob":true}],"notAskedCodes":[)" + std::to_string(second) +
                    R"(],"files":[],"warnings":[],"endedAt":"2026-12-07T19:02:44+0900",)"
                    R"("retry":false})"
                    "\n");
        }
        // Only a retry that starts asks anything: a hand left waiting for a dialog that never
        // came would answer the next test's.
        if (c.asked >= 0) {
            // The record kept no options: the days are asked, and nothing else.
            WhenModal(QStringLiteral("retryDlg"), [](QWidget* w) {
                auto* dlg = static_cast<CRetryDlg*>(w);
                EXPECT_EQ(
                    dlg->Sentence()->text(),
                    QStringLiteral("前回 (2026/12/07 19:02:44) の株価履歴取得で失敗した銘柄と、"
                                   "中断のため取得しなかった銘柄、合わせて 2 銘柄を再取得します"));
                for (const QLineEdit* edit : dlg->findChildren<QLineEdit*>()) {
                    EXPECT_NE(qobject_cast<QSpinBox*>(edit->parent()), nullptr) << "no code box";
                }
                ASSERT_NE(dlg->Days(), nullptr);
                dlg->Days()->setValue(60);
                dlg->RetryButton()->click();
            });
        }
        m_app->Frame()->Action(kIdRetryFailed)->trigger();
        if (c.asked < 0) {
            EXPECT_FALSE(m_app->Document()->IsJobRunning());
            EXPECT_TRUE(m_app->Frame()->Note().contains(QStringLiteral("再取得するものがありません")))
                << m_app->Frame()->Note().toStdString();
        } else {
            ASSERT_TRUE(WaitUntil([&] { return !m_app->Document()->IsJobRunning(); }, 60000));
            const JobOutcome outcome = m_app->Document()->LastOutcome();
            EXPECT_EQ(outcome.job, "kdt");
            EXPECT_EQ(outcome.itemsTotal, c.asked);
            EXPECT_FALSE(StoredHistoryPath(first).empty());
            EXPECT_FALSE(StoredHistoryPath(second).empty());
            EXPECT_TRUE(StoredHistoryPath(block->m_aStocks[2].m_nCode).empty());
            const std::vector<RunRecord> runs = ReadRunHistory();
            ASSERT_FALSE(runs.empty());
            EXPECT_TRUE(runs.back().retry);
        }
        // Whatever happened, the next job is not limited to those stocks.
        WhenModal(QStringLiteral("codeDlg"), [](QWidget* w) { test::Reject(w); });
        m_app->OnCommand(kIdHistoryJob);
        ASSERT_TRUE(WaitUntil([&] { return !m_app->Document()->IsJobRunning(); }, 30000));
        m_app.reset();
    }
}

// A line of history.jsonl for a run of job that failed code, ended at endedAt, with options (a
// JSON object, or nothing for a line of a version that kept none).
std::string RunLine(const char* job, int code, const char* endedAt, const char* options) {
    return std::string(R"({"job":")") + job +
           R"(","unit":"stocks","exitStatus":4,"end":"completed","endCause":"",)"
           R"("itemsTotal":3,"itemsDone":3,"extracted":0,"notExtracted":0,)"
           R"("failures":[{"what":"page 1","codes":[)" +
           std::to_string(code) +
           R"(],"cause":"HTTP 500","where":"","action":"kept","endedJob":false}],)"
           R"("notAskedCodes":[],"files":[],"warnings":[],"endedAt":")" +
           endedAt + R"(","retry":false)" + (options[0] != '\0' ? std::string(",") + options : "") +
           "}\n";
}

// 失敗した銘柄を再取得 follows the run that ended last, whatever time zone wrote its time, with
// the options that run was given (its dialog is not asked again); and when the newest line of
// the history cannot be read, it retries nothing and says why, never "nothing failed".
TEST_F(DesktopApp, RetryFailedFollowsTheLastRunWithItsOwnOptions) {
    struct Case {
        const char* name;
        std::function<std::string(int)> history;  // of the first stock's code
        const char* job;                          // the job retried; nullptr: none
        std::size_t days;                         // the days the retry asks
    };
    const Case cases[] = {
        {"the later run, written in another time zone",
         [](int code) {
             return RunLine("profiles", code, "2026-12-07T18:00:00+0900", "") +
                    RunLine("kdt", code, "2026-12-07T10:00:00+0000",
                            R"("options":{"days":60,"update":false})");
         },
         "kdt", 60},
        {"the options of the run, without its dialog",
         [](int code) {
             return RunLine("kdt", code, "2026-12-07T19:02:44+0900",
                            R"("options":{"days":60,"update":false})");
         },
         "kdt", 60},
        {"the newest line cut short",
         [](int code) {
             const std::string line = RunLine("kdt", code, "2026-12-07T19:02:44+0900", "");
             return line + line.substr(0, 60);
         },
         nullptr, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove_all(m_dir.Path() / "DATA");
        m_app = NewApp();
        ASSERT_TRUE(Started());
        const int first = m_app->Objects()->stocks.GetBlock(0)->m_aStocks[0].m_nCode;
        WriteFileBytes(m_dir.Path() / "history.jsonl", c.history(first));
        // Were the dialog asked, its 30 days would show in the file.
        WhenModal(
            QStringLiteral("codeDlg"),
            [](QWidget* w) {
                static_cast<CCodeDlg*>(w)->m_pDays->setText(QStringLiteral("30"));
                test::Accept(w);
            },
            test::Expect::kMayAppear, 3000);
        // The retry says what it follows and asks only to go on: the options are the run's.
        WhenModal(
            QStringLiteral("retryDlg"),
            [](QWidget* w) {
                auto* dlg = static_cast<CRetryDlg*>(w);
                EXPECT_EQ(dlg->Days(), nullptr) << "the run kept its days";
                EXPECT_TRUE(dlg->findChild<QLabel*>(QStringLiteral("retryOptions"))
                                ->text()
                                .startsWith(QStringLiteral("取得日数 60 日")));
                QTest::keyClick(dlg, Qt::Key_Return);
            },
            test::Expect::kMayAppear, 3000);
        // And had the wrong job been taken for the last run, its dialog would end it.
        WhenModal(QStringLiteral("profileOptionsDlg"), [](QWidget* w) { test::Reject(w); },
                  test::Expect::kMayAppear, 3000);
        m_app->Frame()->Action(kIdRetryFailed)->trigger();
        if (c.job == nullptr) {
            EXPECT_FALSE(m_app->Document()->IsJobRunning());
            EXPECT_TRUE(m_app->Frame()->Note().contains(QStringLiteral("読めない")))
                << m_app->Frame()->Note().toStdString();
            EXPECT_TRUE(StoredHistoryPath(first).empty());
        } else {
            ASSERT_TRUE(WaitUntil([&] { return !m_app->Document()->IsJobRunning(); }, 60000));
            const JobOutcome outcome = m_app->Document()->LastOutcome();
            EXPECT_EQ(outcome.job, c.job);
            EXPECT_EQ(outcome.itemsTotal, 1);
            std::vector<CKdtDay> days;
            ASSERT_EQ(ReadKdtFile(StoredHistoryPath(first), days), KdtRead::kOk);
            // Whole pages of 50 days: 60 days asked are 100 stored, the dialog's 30 would be 50.
            EXPECT_EQ(days.size(),
                      (c.days + kKdtDaysPerPage - 1) / kKdtDaysPerPage * kKdtDaysPerPage);
        }
        m_app.reset();
    }
}

// The colours a picture of the area holds, counted in a coarse grid: a blank or one-colour area
// has one or two.
std::set<QRgb> ColoursIn(const QImage& image, const QRect& area) {
    std::set<QRgb> colours;
    for (int y = area.top(); y <= area.bottom(); y += 2) {
        for (int x = area.left(); x <= area.right(); x += 2) {
            colours.insert(image.pixel(x, y));
        }
    }
    return colours;
}

TEST_F(DesktopApp, TheChartShowsAFetchedHistoryAndReadsTheDayUnderThePointer) {
    ASSERT_TRUE(Started());
    const int code = m_app->Objects()->stocks.GetBlock(0)->m_aStocks[0].m_nCode;
    WhenModal(QStringLiteral("codeDlg"), [&](QWidget* w) {
        auto* dlg = static_cast<CCodeDlg*>(w);
        dlg->m_pAllStocks->setChecked(false);
        dlg->m_pUpdate->setChecked(false);
        dlg->m_pCode->setText(QString::number(code));
        dlg->m_pDays->setText(QStringLiteral("120"));
        test::Accept(dlg);
    });
    m_app->OnCommand(kIdHistoryJob);
    ASSERT_TRUE(WaitUntil(
        [&] { return !m_app->Document()->IsJobRunning() && !m_app->Frame()->Note().isEmpty(); },
        60000));
    ASSERT_FALSE(StoredHistoryPath(code).empty()) << m_app->Frame()->Note().toStdString();

    CChartWindow* window = m_app->ShowChart(code);
    window->resize(760, 480);
    CChartView* chart = window->Chart();
    ASSERT_TRUE(WaitUntil([&] { return chart->isVisible() && chart->width() > 300; }));
    EXPECT_GE(chart->Days().size(), 100u);
    const QImage picture = chart->grab().toImage();
    const QImage blank = [&] {
        CChartView empty;
        empty.resize(chart->size());
        return empty.grab().toImage();
    }();
    EXPECT_GT(ColoursIn(picture, chart->PricePane()).size(), 3u) << "candles in the price pane";
    EXPECT_GT(ColoursIn(picture, chart->VolumePane()).size(), 2u) << "bars in the volume pane";
    EXPECT_NE(picture, blank);

    // The pointer over the last candle reads out its day.
    const QPoint last(chart->PricePane().right() - 2, chart->PricePane().center().y());
    QTest::mouseMove(chart, last);
    QMouseEvent move(QEvent::MouseMove, QPointF(last), chart->mapToGlobal(QPointF(last)),
                     Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(chart, &move);
    const CKdtDay& day = chart->Days().back();
    const QString date = QStringLiteral("%1/%2/%3")
                             .arg(day.m_nYear)
                             .arg(day.m_nMonth, 2, 10, QLatin1Char('0'))
                             .arg(day.m_nDay, 2, 10, QLatin1Char('0'));
    EXPECT_TRUE(chart->Readout().startsWith(date)) << chart->Readout().toStdString();
    EXPECT_TRUE(chart->Readout().contains(QStringLiteral("終値 "))) << chart->Readout().toStdString();

    // The title names the stock as the list does.
    const std::string name =
        SjisToUtf8(m_app->Objects()->stocks.GetBlock(0)->m_aStocks[0].m_szName);
    EXPECT_EQ(window->windowTitle().toStdString(),
              "チャート " + std::to_string(code) + " " + name + " - Tickora");

    // A code without a stored history says so instead of drawing nothing: a listed one can be
    // fetched, one the list does not hold cannot.
    const int other = m_app->Objects()->stocks.GetBlock(0)->m_aStocks[1].m_nCode;
    EXPECT_FALSE(window->OpenCode(other));
    EXPECT_TRUE(window->Message().contains(QStringLiteral("まだありません")))
        << window->Message().toStdString();
    EXPECT_FALSE(window->OpenCode(9998));
    EXPECT_TRUE(window->Message().contains(QStringLiteral("9998 は fetchlist.csv にありません")))
        << window->Message().toStdString();
    EXPECT_EQ(window->windowTitle().toStdString(), "チャート 9998 - Tickora");
}

TEST_F(DesktopApp, TheQuoteTableSortsAndMarksTheStocksNotExtracted) {
    WriteSettings(false, false);
    // A stock the site does not know: its quote cannot be extracted.
    WriteFileBytes(m_dir.Path() / "fetchlist.csv", m_site->FetchListCsv() + "9997,9997,T,none\r\n");
    ASSERT_TRUE(m_app->InitInstance());
    m_app->OnCommand(kIdFetch);
    ASSERT_TRUE(WaitUntil([&] { return !m_app->Frame()->Note().isEmpty(); }, 60000));
    const int missed = m_app->View()->SecondCounter()->text().toInt();
    m_app->OnCommand(kIdViewQuotes);
    ASSERT_NE(m_app->Quotes(), nullptr);
    QTableWidget* table = m_app->Quotes()->Table();
    ASSERT_EQ(table->rowCount(), 124);
    int marked = 0;
    for (int row = 0; row < table->rowCount(); ++row) {
        marked += table->item(row, kQuoteStateColumn)->text() == QStringLiteral("抽出できず") ? 1 : 0;
    }
    EXPECT_EQ(marked, missed) << "the marks agree with the form's second counter";
    EXPECT_GT(missed, 0);
    table->sortItems(7, Qt::DescendingOrder);  // 終値
    double previous = 1e18;
    for (int row = 0; row < table->rowCount(); ++row) {
        const double close = table->item(row, 7)->data(Qt::UserRole).toDouble();
        EXPECT_LE(close, previous) << "row " << row;
        previous = close;
    }
}

// Enter on the form is the Fetch button while it can be pressed; the window opens with Fetch in
// focus so that a first Enter gets there.
TEST_F(DesktopApp, EnterOnTheFormIsFetch) {
    ASSERT_TRUE(Started());
    CTickoraView* view = m_app->View();
    EXPECT_EQ(m_app->Frame()->focusWidget(), view->FetchButton());
    SlowQuotePages(std::chrono::milliseconds(300));
    QTest::keyClick(view->FetchButton(), Qt::Key_Return);
    ASSERT_TRUE(m_app->Document()->IsJobRunning());
    // While the job runs Fetch cannot be pressed, and Enter presses nothing either.
    QTest::keyClick(view, Qt::Key_Enter, Qt::KeypadModifier);
    ASSERT_TRUE(WaitUntil([&] { return !m_app->Document()->IsJobRunning(); }, 60000));
    EXPECT_EQ(QuoteRequests(), 3) << "one fetch of three blocks";
    QTest::keyClick(view, Qt::Key_Return, Qt::ControlModifier);
    EXPECT_FALSE(m_app->Document()->IsJobRunning()) << "Ctrl+Enter is no Enter";
}

// A simulated site of 120 stocks that the program starts as its trial site: the program's own
// arguments follow ours.
QString SmallTrialSite(const std::filesystem::path& folder) {
    const std::filesystem::path script = folder / "small-site.sh";
    WriteFileBytes(
        script, std::string("#!/bin/sh\nexec '") + TICKORA_SITE_BINARY + "' --stocks 120 \"$@\"\n");
    std::filesystem::permissions(script, std::filesystem::perms::owner_all);
    return QString::fromStdString(script.string());
}

// A first start with no list and the site not running, every offer answered with Enter: the
// list is built, the site is started, and the fetch follows by itself. Nothing is asked twice.
TEST_F(DesktopApp, AFirstStartAnsweredWithEnterGoesFromNoListToTheDayFile) {
    WriteSettings(false, false);
    std::filesystem::remove(m_dir.Path() / "fetchlist.csv");
    m_site->Stop();
    m_app = NewApp();
    m_app->Trial().SetProgram(SmallTrialSite(m_dir.Path()));
    ASSERT_TRUE(m_app->InitInstance());
    const auto answers = test::PressEnterAtEveryModal();
    QTest::keyClick(m_app->View()->FetchButton(), Qt::Key_Return);
    ASSERT_TRUE(WaitUntil(
        [&] {
            return !QuoteFiles().empty() && !m_app->Document()->IsJobRunning() &&
                   m_app->Frame()->Note().startsWith(QStringLiteral("株価取得"));
        },
        120000))
        << m_app->Frame()->Note().toStdString() << " after "
        << answers->seen.join(QLatin1Char(',')).toStdString();
    EXPECT_EQ(answers->seen,
              (QStringList{QStringLiteral("emptyListOffer"), QStringLiteral("listOptionsDlg"),
                           QStringLiteral("siteUnreachable")}));
    EXPECT_TRUE(m_app->Trial().Running());
    // The site's 120 stocks and its three indices.
    EXPECT_EQ(m_app->Frame()->Note().toStdString().rfind("株価取得: 123/123 銘柄", 0), 0u)
        << m_app->Frame()->Note().toStdString();
    EXPECT_FALSE(m_app->Frame()->NoteIsWarning());
    // The summary is readable on the form: its whole text in view and in the tool tip.
    EXPECT_EQ(m_app->View()->Summary()->text(), m_app->Frame()->Note());
    EXPECT_TRUE(m_app->View()->Summary()->toolTip().contains(m_app->Frame()->Note()));
    // Every offer led forward from its default: the list job ran twice, the fetch once.
    const std::vector<RunRecord> runs = ReadRunHistory();
    ASSERT_EQ(runs.size(), 3u);
    EXPECT_EQ(runs[0].outcome.job, "fetchlist");
    EXPECT_EQ(runs[1].outcome.job, "fetchlist");
    EXPECT_EQ(runs[2].outcome.job, "fetch");
    (void)m_app->ExitInstance();
}

// The form's counters say what the job's outcome says: a history job or a profile job whose
// pages fail for three stocks counts them as not extracted.
TEST_F(DesktopApp, TheCountersAgreeWithTheOutcomeOfEveryJobOfAllStocks) {
    struct Case {
        const char* name;
        int command;
        const char* dialog;
        std::function<std::string(const CStockRecord&)> pageOf;
    };
    const Case cases[] = {
        {"the history job", kIdHistoryJob, "codeDlg",
         [](const CStockRecord& stock) { return std::string("/t?s=") + stock.m_szSymbol; }},
        {"the profile job", kIdGetProfiles, "profileOptionsDlg",
         [](const CStockRecord& stock) {
             char path[64];
             std::snprintf(path, sizeof path, "/biz/fundamental/%04d.html", stock.m_nCode);
             return std::string(path);
         }},
    };
    ASSERT_TRUE(Started());
    const CQuoteBlock* block = m_app->Objects()->stocks.GetBlock(0);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_site->ClearFaults();
        site::Fault maintenance;
        maintenance.kind = site::FaultKind::kMaintenance;
        // Apart, so that no three failures in a row stop the job.
        for (const int i : {0, 5, 10}) {
            m_site->SetFault(c.pageOf(block->m_aStocks[i]), maintenance);
        }
        WhenModal(QString::fromLatin1(c.dialog), [](QWidget* w) {
            if (auto* dlg = qobject_cast<CCodeDlg*>(w)) {
                dlg->m_pAllStocks->setChecked(true);
                dlg->m_pUpdate->setChecked(false);
                dlg->m_pDays->setText(QStringLiteral("50"));
            }
            test::Accept(w);
        });
        m_app->OnCommand(c.command);
        ASSERT_TRUE(WaitUntil([&] { return !m_app->Document()->IsJobRunning(); }, 60000));
        const JobOutcome outcome = m_app->Document()->LastOutcome();
        ASSERT_EQ(outcome.end, JobEnd::kCompleted) << m_app->Frame()->Note().toStdString();
        EXPECT_EQ(outcome.notExtracted, 3);
        EXPECT_EQ(outcome.extracted, outcome.itemsDone - 3);
        EXPECT_EQ(m_app->View()->FirstCounter()->text().toInt(), outcome.extracted);
        EXPECT_EQ(m_app->View()->SecondCounter()->text().toInt(), 3);
    }
}

// データを検証: the day's check of the stored files runs as a job, and 結果 lists what it found
// under 検証, in Japanese, naming the stock by code and name; a finding is no failure.
TEST_F(DesktopApp, TheDaysCheckShowsItsFindingsUnderItsOwnSection) {
    m_site->Stop();
    m_site = std::make_unique<site::SiteServer>(tickora::test::LoopbackSite(120));
    ASSERT_TRUE(m_site->Start());
    m_access.Site(m_site->Url());
    WriteFileBytes(m_dir.Path() / "fetchlist.csv", m_site->FetchListCsv());
    SetTodayForTesting(LocalDate{tickora::test::kSiteFriday});
    const std::optional<site::DataFaultPlace> fault =
        m_site->SetDataFault(site::DataFault::kCloseDiffers);
    ASSERT_TRUE(fault.has_value());
    m_app = NewApp();
    ASSERT_TRUE(Started());
    CTickoraDoc* doc = m_app->Document();
    // The worker shows its progress on this thread: it is served while the test waits.
    ASSERT_TRUE(doc->OnFetch());
    ASSERT_TRUE(WaitUntil([&] { return !doc->IsJobRunning(); }, 60000));
    ASSERT_TRUE(doc->OnMakeKdt(JobOptions{0, 60, true, false}));
    ASSERT_TRUE(WaitUntil([&] { return !doc->IsJobRunning(); }, 60000));
    m_app->Frame()->Action(kIdCheckData)->trigger();
    ASSERT_TRUE(WaitUntil([&] { return !doc->IsJobRunning(); }, 60000));
    ASSERT_TRUE(WaitUntil([&] { return doc->LastOutcome().job == "check"; }));
    SetTodayForTesting(std::nullopt);

    const JobOutcome outcome = doc->LastOutcome();
    ASSERT_EQ(outcome.findings.size(), 1u) << m_app->Frame()->Note().toStdString();
    EXPECT_EQ(ExitStatusOf(outcome), kExitDone);
    EXPECT_FALSE(m_app->Frame()->NoteIsWarning()) << "a finding is no failure";
    const QString note = m_app->Frame()->Note();
    EXPECT_TRUE(note.startsWith(QStringLiteral("データの検証: 123/123 銘柄")))
        << note.toStdString();
    EXPECT_TRUE(note.contains(QStringLiteral("指摘 1 件 (警告 1 件、注意 0 件)")))
        << note.toStdString();
    EXPECT_FALSE(note.contains(QStringLiteral("失敗"))) << note.toStdString();

    CResultsPanel* results = m_app->Frame()->Results();
    EXPECT_FALSE(m_app->Frame()->ResultsDock()->isHidden()) << "結果 opens with the findings";
    EXPECT_FALSE(results->ChecksTitle()->isHidden());
    EXPECT_TRUE(results->ChecksTitle()->text().startsWith(QStringLiteral("検証: 指摘 1 件")));
    QTreeWidget* findings = results->Findings();
    ASSERT_EQ(findings->topLevelItemCount(), 1);
    const QTreeWidgetItem* row = findings->topLevelItem(0);
    const int code = fault->stock->code;
    const std::string name = StockNameOf(m_app->Objects()->stocks, code);
    ASSERT_FALSE(name.empty());
    char codeText[8];
    std::snprintf(codeText, sizeof codeText, "%04d", code);
    EXPECT_EQ(row->text(0), QStringLiteral("警告"));
    EXPECT_EQ(row->text(1).toStdString(), std::string(codeText) + " " + name);
    EXPECT_EQ(row->text(2).toStdString(), IsoDate(outcome.findings[0].date));
    EXPECT_EQ(row->text(3), QStringLiteral("終値の不一致"));
    EXPECT_EQ(row->text(4).toStdString(), "株価履歴の終値 " + PriceWord(fault->expected));
    EXPECT_EQ(row->text(5).toStdString(), "当日の株価ファイルの終値 " + PriceWord(fault->shown));

    // The next job that checks nothing has no 検証 section.
    m_app->OnCommand(kIdFetch);
    ASSERT_TRUE(WaitUntil([&] { return !doc->IsJobRunning(); }, 60000));
    ASSERT_TRUE(WaitUntil([&] { return doc->LastOutcome().job == "fetch"; }));
    EXPECT_TRUE(results->Findings()->isHidden());
}

// 失敗した銘柄を再取得 says which run it follows, when it ended in local time and how many stocks
// it asks, before anything starts; Cancel starts nothing, and a run that failed nothing is said
// so without a dialog.
TEST_F(DesktopApp, RetryFailedSaysWhatItRetriesBeforeItStarts) {
    struct Case {
        const char* name;
        int failed;          // stocks the kept run failed
        bool confirm;        // the dialog's answer
        const char* expect;  // the dialog's sentence, or the note when no dialog appears
    };
    const Case cases[] = {
        {"seventeen failed, cancelled", 17, false,
         "前回 (2026/12/08 17:19:08) の株価履歴取得で失敗した 17 銘柄を再取得します"},
        {"seventeen failed, confirmed with Enter", 17, true,
         "前回 (2026/12/08 17:19:08) の株価履歴取得で失敗した 17 銘柄を再取得しています"},
        {"nothing failed", 0, false,
         "前回 (2026/12/08 17:19:08) の株価履歴取得で失敗した銘柄はありません。再取得するものは"
         "ありません"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_app = NewApp();
        ASSERT_TRUE(Started());
        std::string codes;
        const CQuoteBlock* block = m_app->Objects()->stocks.GetBlock(0);
        for (int i = 0; i < c.failed; ++i) {
            codes += (i == 0 ? "" : ",") + std::to_string(block->m_aStocks[i].m_nCode);
        }
        // Written in UTC by another machine: shown in this program's local time.
        WriteFileBytes(
            m_dir.Path() / "history.jsonl",
            std::string(R"({"job":"kdt","unit":"stocks","exitStatus":4,"end":"completed",)") +
                R"("endCause":"","itemsTotal":40,"itemsDone":40,"extracted":23,"notExtracted":17,)" +
                R"("failures":[)" +
                (c.failed > 0
                     ? R"({"what":"page 1","codes":[)" + codes +
                           R"(],"cause":"HTTP 500","where":"","action":"kept","endedJob":false})"
                     : std::string()) +
                R"(],"notAskedCodes":[],"files":[],"warnings":[],)" +
                R"("endedAt":"2026-12-08T08:19:08+0000","retry":false,)" +
                R"("options":{"days":50,"update":false}})" + "\n");
        QString sentence;
        bool defaultIsRetry = false;
        if (c.failed > 0) {
            WhenModal(QStringLiteral("retryDlg"), [&](QWidget* w) {
                auto* dlg = static_cast<CRetryDlg*>(w);
                sentence = dlg->Sentence()->text();
                defaultIsRetry = dlg->RetryButton()->isDefault();
                if (c.confirm) {
                    QTest::keyClick(dlg, Qt::Key_Return);
                } else {
                    test::Reject(dlg);
                }
            });
        }
        m_app->Frame()->Action(kIdRetryFailed)->trigger();
        if (c.failed > 0) {
            EXPECT_TRUE(defaultIsRetry);
            EXPECT_EQ(sentence.toStdString(),
                      QString::fromUtf8(c.expect)
                          .replace(QStringLiteral("しています"), QStringLiteral("します"))
                          .toStdString());
        }
        if (c.confirm) {
            EXPECT_EQ(m_app->Frame()->Note().toStdString(), c.expect);
            ASSERT_TRUE(WaitUntil([&] { return !m_app->Document()->IsJobRunning(); }, 60000));
            EXPECT_EQ(m_app->Document()->LastOutcome().itemsTotal, c.failed);
        } else {
            EXPECT_FALSE(m_app->Document()->IsJobRunning());
            EXPECT_EQ(m_app->Frame()->Note().toStdString(),
                      c.failed > 0 ? std::string("再取得しませんでした") : std::string(c.expect));
        }
        m_app.reset();
    }
}

}  // namespace
}  // namespace tickora::gui
