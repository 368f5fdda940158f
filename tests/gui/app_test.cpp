// SPDX-License-Identifier: GPL-3.0-or-later
// The program from start-up to shut-down against the simulated site: the missing market table,
// auto-start, exit after fetch, Ctrl+N, Alt+K, Cancel, and closing the window during a job.
#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QStatusBar>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "app/command_table.h"
#include "app/form_view.h"
#include "app/main_frame.h"
#include "app/options_dlgs.h"
#include "app/tickora_app.h"
#include "catalog/app_settings.h"
#include "catalog/work_lock.h"
#include "jobs/job_outcome.h"
#include "jobs/startup.h"
#include "jobs/tickora_doc.h"
#include "site/site_server.h"
#include "tests/gui/gui_test_util.h"
#include "tests/support/temp_dir.h"
#include "web/hosts.h"
#include "web/sjis.h"

namespace tickora::gui {
namespace {

using test::WaitUntil;
using test::WhenModal;
using tickora::test::ScopedWorkDir;
using tickora::test::WriteFileBytes;

class DesktopApp : public ::testing::Test {
  protected:
    void SetUp() override {
        site::SiteOptions options;
        options.port = 0;
        options.stocks = 120;  // three quote blocks
        m_site = std::make_unique<site::SiteServer>(options);
        ASSERT_TRUE(m_site->Start());
        SetSite(m_site->Url());
        const std::filesystem::path shipped = tickora::test::SourcePath("data/market.csv");
        ASSERT_TRUE(std::filesystem::exists(shipped));
        std::filesystem::copy_file(shipped, m_dir.Path() / "market.csv");
        WriteFileBytes(m_dir.Path() / "fetchlist.csv", m_site->FetchListCsv());
    }
    void TearDown() override {
        m_app.reset();
        m_site->Stop();
    }

    void WriteSettings(bool autoStart, bool exitAfterFetch) {
        CAppSettings settings;
        std::strcpy(settings.m_szOutputDir, ".");
        settings.m_bAutoStart = autoStart ? 1 : 0;
        settings.m_bExitAfterFetch = exitAfterFetch ? 1 : 0;
        ASSERT_TRUE(settings.Save());
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

    std::vector<std::string> QuoteFiles() const {
        std::vector<std::string> files;
        for (const auto& entry : std::filesystem::directory_iterator(m_dir.Path())) {
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

    ScopedWorkDir m_dir;
    std::unique_ptr<site::SiteServer> m_site;
    std::unique_ptr<CTickoraApp> m_app = std::make_unique<CTickoraApp>();
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
    WriteSettings(false, false);
    ASSERT_TRUE(m_app->InitInstance());
    EXPECT_TRUE(m_app->Frame()->isVisible());
    EXPECT_EQ(m_app->Frame()->windowTitle().toStdString(), "無題 - Tickora");
    EXPECT_TRUE(m_app->View()->FetchButton()->isEnabled());
    EXPECT_FALSE(m_app->View()->CancelButton()->isEnabled());
    WaitUntil([] { return false; }, 300);
    EXPECT_EQ(QuoteRequests(), 0);
    EXPECT_TRUE(std::filesystem::is_directory(m_dir.Path() / "Webtemp") ||
                std::filesystem::is_directory(m_dir.Path() / "webtemp"));
}

TEST_F(DesktopApp, AutoStartWithExitAfterFetchWritesTheQuoteFileAndCloses) {
    WriteSettings(true, true);
    ASSERT_TRUE(m_app->InitInstance());
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
    WriteSettings(true, false);
    ASSERT_TRUE(m_app->InitInstance());
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
    WriteSettings(false, false);
    ASSERT_TRUE(m_app->InitInstance());
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
    WriteSettings(false, false);
    SlowQuotePages(std::chrono::milliseconds(800));
    ASSERT_TRUE(m_app->InitInstance());
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
    EXPECT_NE(m_app->Frame()->Note().toStdString().find("cancelled"), std::string::npos)
        << m_app->Frame()->Note().toStdString();
}

TEST_F(DesktopApp, ClosingDuringAJobStopsItWaitsAndThenCloses) {
    WriteSettings(false, false);
    SlowQuotePages(std::chrono::milliseconds(1500));
    ASSERT_TRUE(m_app->InitInstance());
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
    WriteSettings(false, false);
    SlowQuotePages(std::chrono::milliseconds(800));
    ASSERT_TRUE(m_app->InitInstance());
    m_app->Frame()->Action(kIdFetch)->trigger();
    ASSERT_TRUE(m_app->Document()->IsJobRunning());
    ASSERT_TRUE(WaitUntil([&] { return QuoteRequests() == 1; }));
    EXPECT_EQ(m_app->ExitInstance(), 0);
    EXPECT_EQ(m_app->Frame(), nullptr);
    EXPECT_EQ(QuoteRequests(), 1);
}

TEST_F(DesktopApp, OpenNamesTheWindowAfterTheFileAndReadsNothing) {
    WriteSettings(false, false);
    ASSERT_TRUE(m_app->InitInstance());
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
    WriteSettings(false, false);
    ASSERT_TRUE(m_app->InitInstance());
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
}

TEST_F(DesktopApp, HelpWithoutABrowserSaysSoOnTheStatusLine) {
    const char* previous = std::getenv("BROWSER");
    const std::string saved = previous != nullptr ? previous : "";
    setenv("BROWSER", (m_dir.Path() / "no-such-browser").c_str(), 1);
    ASSERT_TRUE(m_app->InitInstance());
    m_app->OnCommand(kIdUsersGuide);
    EXPECT_EQ(m_app->Frame()->Note().toStdString(), kNoBrowserText);
    previous != nullptr ? setenv("BROWSER", saved.c_str(), 1) : unsetenv("BROWSER");
}

TEST_F(DesktopApp, AJobsSummaryStaysInTheStatusBarUntilTheNextCommand) {
    WriteSettings(false, false);
    ASSERT_TRUE(m_app->InitInstance());
    m_app->OnCommand(kIdFetch);
    ASSERT_TRUE(WaitUntil([&] { return !m_app->Frame()->Note().isEmpty(); }, 60000));
    const std::string note = m_app->Frame()->Note().toStdString();
    EXPECT_EQ(note.rfind("fetch: 123/123 stocks, ", 0), 0u) << note;
    EXPECT_NE(note.find("; wrote DS"), std::string::npos) << note;
    EXPECT_TRUE(m_app->Frame()->statusBar()->currentMessage().isEmpty())
        << "the summary stands where the ready text would";
    m_app->OnCommand(kIdFileNew);
    EXPECT_TRUE(m_app->Frame()->Note().isEmpty());
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
        {"no list", [](const auto& dir) { std::filesystem::remove(dir / "fetchlist.csv"); },
         "fetchlist.csv has no stocks"},
        {"another job holds the folder",
         [&](const auto&) { held = std::move(TryLockWorkFolder(".").lock); },
         "another Tickora job"},
    };
    WriteSettings(false, false);
    for (const RefusalCase& c : cases) {
        SCOPED_TRACE(c.name);
        WriteFileBytes(m_dir.Path() / "fetchlist.csv", m_site->FetchListCsv());
        c.setUp(m_dir.Path());
        m_app = std::make_unique<CTickoraApp>();
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

TEST_F(DesktopApp, FetchUsesTheListThatFetchListGenerationHasJustWritten) {
    WriteSettings(false, false);
    // A list of one stock at start-up; the site lists 123.
    const std::string site = m_site->FetchListCsv();
    WriteFileBytes(m_dir.Path() / "fetchlist.csv", site.substr(0, site.find('\n') + 1));
    ASSERT_TRUE(m_app->InitInstance());
    WhenModal(QStringLiteral("listOptionsDlg"), [](QWidget* w) { test::Accept(w); });
    m_app->OnCommand(kIdMakeFetchList);
    ASSERT_TRUE(WaitUntil([&] { return !m_app->Frame()->Note().isEmpty(); }, 60000));
    ASSERT_NE(m_app->Frame()->Note().toStdString().find("wrote fetchlist.csv"), std::string::npos)
        << m_app->Frame()->Note().toStdString();
    m_app->OnCommand(kIdFetch);
    ASSERT_TRUE(WaitUntil([&] { return !m_app->Frame()->Note().isEmpty(); }, 60000));
    EXPECT_EQ(m_app->Frame()->Note().toStdString().rfind("fetch: 123/123 stocks", 0), 0u)
        << m_app->Frame()->Note().toStdString();
    EXPECT_EQ(QuoteRequests(), 3);
}

}  // namespace
}  // namespace tickora::gui
