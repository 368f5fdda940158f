// SPDX-License-Identifier: GPL-3.0-or-later
// ﾌｧｲﾙ › 毎日の更新 against the simulated site: the steps in their order with a line each in the
// run history, one Japanese section per step in 結果, the other commands refused while it runs,
// a failing step that leaves the others running, and Cancel ending the routine.
#include <gtest/gtest.h>

#include <QAction>
#include <QDockWidget>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTreeWidget>
#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "app/command_table.h"
#include "app/daily_command.h"
#include "app/form_view.h"
#include "app/main_frame.h"
#include "app/results_panel.h"
#include "app/tickora_app.h"
#include "catalog/app_settings.h"
#include "catalog/clock.h"
#include "jobs/run_history.h"
#include "jobs/tickora_doc.h"
#include "tests/support/gui_test_util.h"
#include "tests/support/site_fixture.h"
#include "tests/support/temp_dir.h"

namespace tickora::gui {
namespace {

using namespace std::chrono_literals;
using test::WaitUntil;

constexpr int kStocks = 60;
// A whole routine on the loopback site takes seconds; this only bounds a hang.
constexpr int kRoutineMs = 120000;

class DesktopDaily : public ::testing::Test {
  protected:
    void SetUp() override {
        SetTodayForTesting(LocalDate{2026, 12, 4});
        CAppSettings settings;
        std::strcpy(settings.m_szOutputDir, ".");
        ASSERT_TRUE(settings.Save());
        m_app = std::make_unique<CTickoraApp>(tickora::test::AccessTo(m_site.server));
        ASSERT_TRUE(m_app->InitInstance());
        m_app->Daily()->SetRetryPause(0ms);
    }
    void TearDown() override {
        m_app.reset();
        SetTodayForTesting(std::nullopt);
    }

    CMainFrame* Frame() const { return m_app->Frame(); }
    CTickoraView* Form() const { return Frame()->View(); }

    // Starts 毎日の更新 with every quote page stalled, and waits until the first is asked for.
    [[nodiscard]] bool StartTheRoutineOnStalledQuotePages() {
        site::Fault stall;
        stall.kind = site::FaultKind::kStall;
        stall.stall = 3s;
        m_site.server.SetFault("/q?s=", stall);
        m_app->OnCommand(kIdDaily);
        return WaitUntil(
            [this] { return tickora::test::CountRequests(m_site.server, "/q?") > 0; });
    }
    bool RoutineEnded() const {
        return WaitUntil([this] { return !m_app->Daily()->IsRunning(); }, kRoutineMs);
    }

    std::vector<std::string> Headings() const {
        std::vector<std::string> headings;
        QTreeWidget* tree = Frame()->Results()->Failures();
        for (int i = 0; i < tree->topLevelItemCount(); ++i) {
            headings.push_back(tree->topLevelItem(i)->text(0).toStdString());
        }
        return headings;
    }

    static std::vector<std::string> HistoryJobs() {
        std::vector<std::string> jobs;
        for (const RunRecord& record : ReadRunHistory()) {
            jobs.push_back(record.outcome.job + (record.retry ? " (retry)" : ""));
        }
        return jobs;
    }

    // The list's stocks (the site's listed stocks and its indices) for each '#' of words.
    std::string Of(std::string words) const {
        int listed = 0;
        for (int b = 0; b < m_site.list.m_nBlocks; ++b) {
            listed += m_site.list.GetBlock(b)->m_nStocks;
        }
        for (std::size_t at = words.find('#'); at != std::string::npos; at = words.find('#')) {
            words.replace(at, 1, std::to_string(listed));
        }
        return words;
    }

    std::string FiguresPage(int block) const {
        return m_site.Target(m_site.list.GetBlock(block)->m_szFiguresUrl);
    }

    tickora::test::ScopedWorkDir m_dir;
    tickora::test::SiteFixture m_site{kStocks};
    std::unique_ptr<CTickoraApp> m_app;
};

struct RoutineCase {
    const char* name;
    bool figuresFail;                   // one figures page without its rows, every time it is asked
    std::vector<std::string> headings;  // how each section's heading starts
    std::vector<std::string> history;
    const char* summary;
    bool warning;
    // A stock whose day file's close the site makes differ from its history: the one finding
    // 検証 lists by itself, in Japanese.
    bool closeDiffers = false;
};

const RoutineCase kRoutineCases[] = {
    {"a clean day: every step ran, nothing to retry, no finding",
     false,
     {"株価 — 実行: #/# 銘柄", "業績 — 実行: ", "株価履歴 — 実行: #/# 銘柄", "再取得 — 再取得なし",
      "検証 — 実行: "},
     {"fetch", "performance", "kdt", "check"},
     "毎日の更新: 終了コード 0 完了。検証: 指摘なし",
     false},
    {"the figures fail: the histories and the check still run, the retry asks the figures again",
     true,
     {"株価 — 実行: #/# 銘柄", "業績 — 実行: ", "株価履歴 — 実行: #/# 銘柄",
      "再取得 — 実行 (業績情報取得): ", "検証 — 実行: "},
     {"fetch", "performance", "kdt", "performance", "check"},
     "毎日の更新: 終了コード 4 一部失敗。再取得: 業績情報取得。検証: 指摘なし",
     true},
    {"a close that differs: the check finds it, and a finding is no failure",
     false,
     {"株価 — 実行: #/# 銘柄", "業績 — 実行: ", "株価履歴 — 実行: #/# 銘柄", "再取得 — 再取得なし",
      "検証 — 実行: "},
     {"fetch", "performance", "kdt", "check"},
     "毎日の更新: 終了コード 0 完了。検証: 指摘 1 件 (警告 1 件、注意 0 件)",
     false,
     true},
};

TEST_F(DesktopDaily, TheMenuItemRunsEveryStepInOrderAndShowsASectionEach) {
    for (const RoutineCase& c : kRoutineCases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove("history.jsonl");
        m_site.server.ClearFaults();
        m_site.server.ClearDataFaults();
        if (c.figuresFail) {
            m_site.server.SetFault(FiguresPage(1), {.kind = site::FaultKind::kMaintenance});
        }
        std::optional<site::DataFaultPlace> fault;
        if (c.closeDiffers) {
            fault = m_site.server.SetDataFault(site::DataFault::kCloseDiffers);
            ASSERT_TRUE(fault.has_value());
        }
        QAction* daily = Frame()->Action(kIdDaily);
        ASSERT_NE(daily, nullptr);
        ASSERT_TRUE(daily->isEnabled());
        daily->trigger();
        ASSERT_TRUE(m_app->Daily()->IsRunning());
        // As for any job: Fetch off, Cancel on, and the other commands refused.
        EXPECT_FALSE(Form()->FetchButton()->isEnabled());
        EXPECT_TRUE(Form()->CancelButton()->isEnabled());
        m_app->OnCommand(kIdGetPerformance);
        EXPECT_EQ(Frame()->Note(), QStringLiteral("処理の実行中です"));
        daily->trigger();
        EXPECT_EQ(Frame()->Note(), QStringLiteral("処理の実行中です"));
        ASSERT_TRUE(RoutineEnded());

        EXPECT_EQ(HistoryJobs(), c.history);
        const std::vector<std::string> headings = Headings();
        ASSERT_EQ(headings.size(), c.headings.size());
        for (std::size_t i = 0; i < headings.size(); ++i) {
            EXPECT_TRUE(headings[i].starts_with(Of(c.headings[i]))) << headings[i];
            EXPECT_EQ(headings[i].find("check"), std::string::npos) << "no English job name";
            EXPECT_EQ(headings[i].find("実行していません"), std::string::npos) << headings[i];
        }
        EXPECT_EQ(Frame()->Results()->SummaryLabel()->text().toStdString(), c.summary);
        QTreeWidgetItem* check = Frame()->Results()->Failures()->topLevelItem(4);
        ASSERT_NE(check, nullptr);
        int findings = 0;
        for (int i = 0; i < check->childCount(); ++i) {
            const std::string line = check->child(i)->text(0).toStdString();
            if (line.find("終値の不一致") != std::string::npos) {
                ++findings;
                EXPECT_TRUE(line.starts_with("警告 " + std::to_string(fault->stock->code))) << line;
            }
        }
        EXPECT_EQ(findings, c.closeDiffers ? 1 : 0);
        EXPECT_EQ(Frame()->Note().toStdString(), c.summary);
        EXPECT_EQ(Frame()->NoteIsWarning(), c.warning);
        EXPECT_TRUE(Frame()->ResultsDock()->isVisibleTo(Frame()));
        // The form ends idle, and the folder is free for the next command.
        EXPECT_TRUE(Form()->FetchButton()->isEnabled());
        EXPECT_FALSE(Form()->CancelButton()->isEnabled());
        EXPECT_FALSE(m_app->Document()->IsJobRunning());
        EXPECT_EQ(m_app->Daily()->LastOutcome()->exitStatus, c.warning ? kExitItemsFailed : 0);
    }
    m_site.server.ClearFaults();
    m_site.server.ClearDataFaults();
    m_app->OnCommand(kIdFetch);
    EXPECT_TRUE(WaitUntil([this] { return !m_app->Document()->IsJobRunning(); }, kRoutineMs));
    EXPECT_EQ(ReadRunHistory().back().outcome.job, "fetch") << "the lock went with the routine";
}

TEST_F(DesktopDaily, CancelEndsTheStepInProgressAndNoLaterStepRuns) {
    ASSERT_TRUE(StartTheRoutineOnStalledQuotePages());
    QTest::mouseClick(Form()->CancelButton(), Qt::LeftButton);
    ASSERT_TRUE(RoutineEnded());
    EXPECT_EQ(HistoryJobs(), std::vector<std::string>{"fetch"});
    const std::vector<std::string> headings = Headings();
    ASSERT_EQ(headings.size(), 5u);
    for (std::size_t i = 1; i < headings.size(); ++i) {
        EXPECT_TRUE(headings[i].ends_with(" — 未実行 (中止)")) << headings[i];
    }
    EXPECT_TRUE(m_app->Daily()->LastOutcome()->cancelled);
    EXPECT_TRUE(
        Frame()->Note().startsWith(QStringLiteral("毎日の更新: 終了コード 1 中断 (中止しました)")))
        << Frame()->Note().toStdString();
    EXPECT_TRUE(Form()->FetchButton()->isEnabled());
    EXPECT_FALSE(Form()->CancelButton()->isEnabled());
}

TEST_F(DesktopDaily, ClosingTheWindowEndsTheRoutineAndThenCloses) {
    ASSERT_TRUE(StartTheRoutineOnStalledQuotePages());
    Frame()->close();
    EXPECT_TRUE(Frame()->isVisible()) << "it waits for the routine";
    ASSERT_TRUE(WaitUntil([this] { return !Frame()->isVisible(); }, kRoutineMs));
    EXPECT_FALSE(m_app->Daily()->IsRunning());
    EXPECT_EQ(HistoryJobs(), std::vector<std::string>{"fetch"});
}

}  // namespace
}  // namespace tickora::gui
