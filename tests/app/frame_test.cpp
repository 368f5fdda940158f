// SPDX-License-Identifier: GPL-3.0-or-later
// The main window as the user meets it: the menu tree with its texts, accelerators and enabled
// states, the tool bar, the status line and the caption.
#include <gtest/gtest.h>

#include <QAction>
#include <QDockWidget>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTest>
#include <QToolBar>
#include <QTreeWidget>
#include <string>
#include <vector>

#include "app/command_table.h"
#include "app/form_view.h"
#include "app/main_frame.h"
#include "app/results_panel.h"
#include "jobs/job_outcome.h"
#include "tests/support/gui_test_util.h"

namespace tickora::gui {
namespace {

// One menu line as the user reads it: "-" for a separator, the text with "\t" and the shortcut,
// and "(off)" after a disabled item.
std::vector<std::string> MenuLines(QMenu* menu) {
    std::vector<std::string> lines;
    for (QAction* action : menu->actions()) {
        if (action->isSeparator()) {
            lines.push_back("-");
            continue;
        }
        QString line = action->text();
        if (!action->shortcut().isEmpty()) {
            line += QLatin1Char('\t') + action->shortcut().toString(QKeySequence::PortableText);
        }
        if (!action->isEnabled()) {
            line += QStringLiteral(" (off)");
        }
        lines.push_back(line.toStdString());
    }
    return lines;
}

TEST(MainFrame, MenuTreeHoldsEveryItemInOrderWithItsShortcutAndState) {
    CMainFrame frame;
    std::vector<std::string> titles;
    std::vector<std::vector<std::string>> menus;
    for (QAction* top : frame.menuBar()->actions()) {
        titles.push_back(top->text().toStdString());
        menus.push_back(MenuLines(top->menu()));
    }
    EXPECT_EQ(titles, (std::vector<std::string>{"ﾌｧｲﾙ(&F)", "編集(&E)", "表示(&V)", "ﾍﾙﾌﾟ(&H)"}));
    ASSERT_EQ(menus.size(), 4u);
    EXPECT_EQ(
        menus[0],
        (std::vector<std::string>{
            "Fetch", "fetchlist.csv生成...", "KDTファイル生成... (off)", "株価履歴取得...",
            "基本情報取得...", "業績情報取得...", "失敗した銘柄を再取得...", "毎日の更新", "-",
            "株取虫ファイル保存(&S)\tCtrl+S", "出力フォルダを開く", "-", "ｱﾌﾟﾘｹｰｼｮﾝの終了(&X)"}));
    EXPECT_EQ(menus[1], (std::vector<std::string>{
                            "元に戻す(&U)\tCtrl+Z (off)", "-", "切り取り(&T)\tCtrl+X (off)",
                            "ｺﾋﾟｰ(&C)\tCtrl+C (off)", "貼り付け(&P)\tCtrl+V (off)", "-",
                            "初期設定...", "接続設定..."}));
    EXPECT_EQ(menus[2], (std::vector<std::string>{"ﾂｰﾙ ﾊﾞｰ(&T)", "ｽﾃｰﾀｽ ﾊﾞｰ(&S)", "-", "結果(&R)",
                                                  "履歴(&H)...", "チャート(&C)...",
                                                  "株価一覧(&Q)...", "データを検証(&K)"}));
    EXPECT_EQ(menus[3],
              (std::vector<std::string>{"Tickora のﾊﾞｰｼﾞｮﾝ情報(&A)...", "ユーザーズガイド"}));
}

struct PromptCase {
    int id;
    const char* statusTip;
    const char* toolTip;
};

TEST(MainFrame, EveryCommandCarriesItsStatusPromptAndToolTip) {
    const PromptCase cases[] = {
        {32773, "取得リストファイルfetchlist.csv生成", "fetchlist.csv生成"},
        {32776, "ＶｏｒｌａｎｅのKDTファイル生成", "KDTファイル生成"},
        {32782, "基本情報を取得する", "基本情報取得"},
        {32783, "業績情報を取得する", "業績情報取得"},
        {32791, "前回の株価履歴取得または基本情報取得で取得できなかった銘柄だけを取得し直す",
         "失敗した銘柄を再取得"},
        {57603, "取得した株価データを株取虫ファイルとして保存", "保存"},
        {57665, "ｱﾌﾟﾘｹｰｼｮﾝを終了し、ﾌｧｲﾙの保存を指示", "終了"},
        {32775, "初期設定", "初期設定"},
        {32784, "金融情報サイトのアドレス、再試行、間隔、タイムアウト、同時接続数", "接続設定"},
        {57664, "ﾌﾟﾛｸﾞﾗﾑの情報、ﾊﾞｰｼﾞｮﾝそして著作権を表示", "ﾊﾞｰｼﾞｮﾝ情報"},
        {32780, "ブラウザでユーザーズガイドを見る", "ユーザーズガイド"},
    };
    CMainFrame frame;
    for (const PromptCase& c : cases) {
        SCOPED_TRACE(c.id);
        QAction* action = frame.Action(c.id);
        ASSERT_NE(action, nullptr);
        EXPECT_EQ(action->statusTip().toStdString(), c.statusTip);
        EXPECT_EQ(action->toolTip().toStdString(), c.toolTip);
    }
    // The fetch prompt names the site as the source; its tool tip is fixed.
    EXPECT_EQ(frame.Action(32771)->toolTip().toStdString(), "株価データ取得");
    EXPECT_TRUE(frame.Action(32771)->statusTip().contains(QStringLiteral("サイト")));
}

TEST(MainFrame, ToolBarButtonsInOrderWithKdtDisabled) {
    CMainFrame frame;
    std::vector<int> ids;
    for (QAction* action : frame.ToolBar()->actions()) {
        ids.push_back(action->isSeparator() ? 0 : action->data().toInt());
        if (!action->isSeparator()) {
            EXPECT_FALSE(action->icon().isNull()) << action->data().toInt();
        }
    }
    EXPECT_EQ(ids, (std::vector<int>{32771, 32773, 32776, 57603, 0, 32775, 0, 57664}));
    EXPECT_FALSE(frame.Action(32776)->isEnabled());
    EXPECT_TRUE(frame.Action(32771)->isEnabled());
}

struct KeyCase {
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
    int expected;  // 0: the key reaches no command (its item is disabled)
};

TEST(MainFrame, AcceleratorsReachTheirCommands) {
    const KeyCase cases[] = {
        {Qt::Key_K, Qt::AltModifier, 32781},     {Qt::Key_S, Qt::ControlModifier, 57603},
        {Qt::Key_F1, Qt::NoModifier, 32792},     {Qt::Key_N, Qt::ControlModifier, 57600},
        {Qt::Key_O, Qt::ControlModifier, 57601}, {Qt::Key_P, Qt::ControlModifier, 57607},
        {Qt::Key_Z, Qt::ControlModifier, 0},     {Qt::Key_X, Qt::ControlModifier, 0},
        {Qt::Key_C, Qt::ControlModifier, 0},     {Qt::Key_V, Qt::ControlModifier, 0},
        {Qt::Key_Insert, Qt::ShiftModifier, 0},  {Qt::Key_Delete, Qt::ShiftModifier, 0},
        {Qt::Key_Backspace, Qt::AltModifier, 0},
    };
    CMainFrame frame;
    frame.show();
    frame.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&frame));
    QSignalSpy spy(&frame, &CMainFrame::command);
    for (const KeyCase& c : cases) {
        SCOPED_TRACE(QKeySequence(c.key | c.modifiers).toString().toStdString());
        spy.clear();
        QTest::keyClick(&frame, c.key, c.modifiers);
        if (c.expected == 0) {
            EXPECT_EQ(spy.count(), 0);
        } else {
            ASSERT_EQ(spy.count(), 1);
            EXPECT_EQ(spy.at(0).at(0).toInt(), c.expected);
        }
    }
    // The disabled edit items still list the framework's other keys for the same commands.
    EXPECT_TRUE(
        frame.Action(57634)->shortcuts().contains(QKeySequence(QStringLiteral("Ctrl+Ins"))));
    EXPECT_TRUE(
        frame.Action(57643)->shortcuts().contains(QKeySequence(QStringLiteral("Alt+Backspace"))));
}

TEST(MainFrame, StatusLineShowsReadyWhenNoPromptIsShown) {
    CMainFrame frame;
    frame.show();
    EXPECT_EQ(frame.statusBar()->currentMessage().toStdString(), "ﾚﾃﾞｨ");
    std::vector<std::string> indicators;
    for (QLabel* label : frame.Indicators()) {
        indicators.push_back(label->text().toStdString());
    }
    EXPECT_EQ(indicators, (std::vector<std::string>{"ｶﾅ", "CAP", "NUM", "SCRL"}));

    // Pointing at a command shows its prompt; leaving it brings "ﾚﾃﾞｨ" back.
    frame.Action(32782)->showStatusText(&frame);
    EXPECT_EQ(frame.statusBar()->currentMessage().toStdString(), "基本情報を取得する");
    QStatusTipEvent leave{QString()};
    QApplication::sendEvent(&frame, &leave);
    EXPECT_EQ(frame.statusBar()->currentMessage().toStdString(), "ﾚﾃﾞｨ");
}

TEST(MainFrame, CaptionIsDocumentTitleDashProgram) {
    CMainFrame frame;
    EXPECT_EQ(frame.windowTitle().toStdString(), "無題 - Tickora");
    frame.View()->SetTitle("2008/2/11");
    EXPECT_EQ(frame.windowTitle().toStdString(), "2008/2/11 - Tickora");
}

TEST(MainFrame, HidingAndShowingTheBarsLeavesTheFormAsItWas) {
    CMainFrame frame;
    frame.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&frame));
    const QRect fetch = frame.View()->FetchButton()->geometry();
    const QRect cancel = frame.View()->CancelButton()->geometry();
    const QSize form = frame.View()->size();

    frame.Action(59392)->trigger();
    frame.Action(59393)->trigger();
    EXPECT_FALSE(frame.ToolBar()->isVisible());
    EXPECT_FALSE(frame.statusBar()->isVisible());
    frame.Action(59392)->trigger();
    frame.Action(59393)->trigger();
    EXPECT_TRUE(frame.ToolBar()->isVisible());
    EXPECT_TRUE(frame.statusBar()->isVisible());
    EXPECT_TRUE(frame.Action(59392)->isChecked());
    QCoreApplication::processEvents();

    EXPECT_EQ(frame.View()->FetchButton()->geometry(), fetch);
    EXPECT_EQ(frame.View()->CancelButton()->geometry(), cancel);
    EXPECT_EQ(frame.View()->size(), form);
}

TEST(MainFrame, FormStartsIdleWithZeroCounters) {
    CMainFrame frame;
    EXPECT_TRUE(frame.View()->FetchButton()->isEnabled());
    EXPECT_FALSE(frame.View()->CancelButton()->isEnabled());
    EXPECT_EQ(frame.View()->FirstCounter()->text(), QStringLiteral("0"));
    EXPECT_EQ(frame.View()->SecondCounter()->text(), QStringLiteral("0"));
    EXPECT_EQ(frame.View()->FetchButton()->text(), QStringLiteral("Fetch"));
    EXPECT_EQ(frame.View()->CancelButton()->text(), QStringLiteral("Cancel"));
}

TEST(MainFrame, FetchButtonSendsTheFetchCommand) {
    CMainFrame frame;
    QSignalSpy spy(&frame, &CMainFrame::command);
    QTest::mouseClick(frame.View()->FetchButton(), Qt::LeftButton);
    ASSERT_EQ(spy.count(), 1);
    EXPECT_EQ(spy.at(0).at(0).toInt(), 32771);
}

TEST(MainFrame, TheWindowNeverShrinksTheFormUnderTheBars) {
    CMainFrame frame;
    frame.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&frame));
    const QSize form = frame.View()->minimumSize();
    for (const QSize asked : {QSize(200, 120), QSize(1, 1), QSize(form.width(), form.height())}) {
        frame.resize(asked);
        QCoreApplication::processEvents();
        const QRect view = frame.View()->geometry();
        EXPECT_GE(view.width(), form.width()) << asked.width() << "x" << asked.height();
        EXPECT_GE(view.height(), form.height()) << asked.width() << "x" << asked.height();
        EXPECT_LE(view.bottom(), frame.statusBar()->geometry().top())
            << asked.width() << "x" << asked.height();
        EXPECT_GE(view.top(), frame.ToolBar()->geometry().bottom())
            << asked.width() << "x" << asked.height();
    }
}

}  // namespace
}  // namespace tickora::gui

namespace tickora::gui {
namespace {

// A first start: no size of the user's own yet.
void ForgetTheWindowsLayout() {
    QSettings remembered = UserSettings();
    remembered.remove(QStringLiteral("window"));
}

JobOutcome LongHistoryRun() {
    JobOutcome outcome;
    outcome.job = "kdt";
    outcome.itemsTotal = 3803;
    outcome.itemsDone = 3803;
    for (int i = 0; i < 3786; ++i) {
        outcome.AddFile("/home/investor/.local/share/tickora/DATA/" + std::to_string(1 + i / 1000) +
                            "000/KD" + std::to_string(1000 + i) + ".KDT",
                        FileState::kWritten);
    }
    for (int code = 1301; code < 1318; ++code) {
        ItemFailure& failure =
            outcome.Fail("page 1 of " + std::to_string(code), "HTTP 503",
                         "http://quotes.example.jp:8053/t?s=" + std::to_string(code) +
                             "&a=1&b=1&c=1990&d=12&e=7&f=2026&g=d&q=t&y=0&x=.csv",
                         "the stored history kept");
        failure.codes = {code};
    }
    return outcome;
}

// The summary of a long run is read whole on the form at the size a first start opens with; the
// status bar keeps a line of it, and both carry it whole as their tool tip.
TEST(MainFrame, TheSummaryIsReadWholeOnTheFormAtTheFirstSize) {
    ForgetTheWindowsLayout();
    CMainFrame frame;
    frame.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&frame));
    EXPECT_GE(frame.width(), 600) << "a first start opens wider than the form needs";
    frame.ShowOutcome(LongHistoryRun());
    frame.ResultsDock()->hide();
    QCoreApplication::processEvents();
    QLabel* summary = frame.View()->Summary();
    EXPECT_EQ(summary->text(), frame.Note());
    EXPECT_TRUE(summary->text().contains(QStringLiteral("(他 3,781 件)")));
    EXPECT_TRUE(summary->isVisible());
    EXPECT_GE(summary->height(), summary->heightForWidth(summary->width()))
        << "every line of the summary has room";
    EXPECT_TRUE(summary->toolTip().contains(QStringLiteral("3,803/3,803")));
    EXPECT_TRUE(frame.findChild<QLabel*>(QStringLiteral("statusNote"))
                    ->toolTip()
                    .contains(QStringLiteral("3,803/3,803")));
    // A note that is no summary stands there too, and goes with the next.
    frame.ShowNote(QStringLiteral("処理の実行中は再取得できません"));
    EXPECT_EQ(summary->text().toStdString(), "処理の実行中は再取得できません");
    frame.ShowNote({});
    EXPECT_TRUE(summary->text().isEmpty());
}

TEST(MainFrame, TheWorkFolderIsWholeWhereTheBarHasRoomAndItsToolTipAlways) {
    ForgetTheWindowsLayout();
    CMainFrame frame;
    frame.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&frame));
    const QString folder = QStringLiteral("/home/investor/.local/share/tickora/kabu/2026/daily");
    frame.SetWorkFolder(folder);
    struct Case {
        int width;
        bool whole;
    };
    for (const Case c : {Case{1100, true}, Case{400, false}}) {
        frame.resize(c.width, frame.height());
        QCoreApplication::processEvents();
        const QString shown = frame.WorkFolderLabel()->text();
        EXPECT_EQ(shown == folder, c.whole) << c.width << ": " << shown.toStdString();
        EXPECT_EQ(frame.WorkFolderLabel()->toolTip(), QStringLiteral("作業フォルダ: ") + folder);
    }
}

// Closing the window keeps its size, and the results panel's, for the next start.
TEST(MainFrame, TheWindowAndItsPanelOpenAsTheyWereLeft) {
    ForgetTheWindowsLayout();
    QSize left;
    int panel = 0;
    {
        CMainFrame frame;
        frame.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&frame));
        frame.resize(930, 610);
        frame.ResultsDock()->show();
        frame.resizeDocks({frame.ResultsDock()}, {240}, Qt::Vertical);
        QCoreApplication::processEvents();
        left = frame.size();
        panel = frame.ResultsDock()->height();
        frame.close();
    }
    CMainFrame again;
    again.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&again));
    QCoreApplication::processEvents();
    EXPECT_EQ(again.size(), left);
    EXPECT_TRUE(again.ResultsDock()->isVisible());
    EXPECT_EQ(again.ResultsDock()->height(), panel);
    ForgetTheWindowsLayout();
}

// 対処 says what was done about each failure: it is in view at the size the panel opens with,
// however long the addresses beside it.
TEST(MainFrame, TheResultsShowWhatWasDoneAtTheirFirstSize) {
    ForgetTheWindowsLayout();
    CMainFrame frame;
    frame.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&frame));
    frame.ShowOutcome(LongHistoryRun());
    ASSERT_TRUE(frame.ResultsDock()->isVisible());
    QCoreApplication::processEvents();
    QTreeWidget* tree = frame.Results()->Failures();
    const QTreeWidgetItem* row = tree->topLevelItem(0)->child(0);
    EXPECT_EQ(row->text(3).toStdString(), "保存済みの履歴はそのまま");
    const int start = tree->header()->sectionViewportPosition(3);
    const int needed = tree->fontMetrics().horizontalAdvance(row->text(3));
    EXPECT_LE(start + needed, tree->viewport()->width())
        << "対処 starts at " << start << " of " << tree->viewport()->width();
    EXPECT_LE(tree->header()->length(), tree->viewport()->width())
        << "no column runs past the panel";
    EXPECT_TRUE(row->toolTip(2).startsWith(QStringLiteral("http://quotes.example.jp:8053/t?s=")))
        << "an address cut short is whole in its tool tip";
}

}  // namespace
}  // namespace tickora::gui
