// SPDX-License-Identifier: GPL-3.0-or-later
// The outcome of a job as the desktop program shows it: the Japanese summary read from the same
// outcome the command line prints, the results panel with the failures grouped by cause, and the
// warning that stays in the status bar.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDockWidget>
#include <QLabel>
#include <QTreeWidget>

#include "app/main_frame.h"
#include "app/outcome_ja.h"
#include "app/results_panel.h"
#include "app/tickora_app.h"
#include "jobs/job_outcome.h"

namespace tickora::gui {
namespace {

// A history job of every stock that the site left at stock 571 of 3,803.
JobOutcome StoppedHistoryJob() {
    JobOutcome outcome;
    outcome.job = "kdt";
    outcome.unit = "stocks";
    outcome.itemsTotal = 3803;
    outcome.itemsDone = 571;
    outcome.extracted = 568;
    outcome.AddFile("/w/DATA/1000/KD1301.KDT", FileState::kWritten);
    outcome.AddFile("/w/DATA/1000/KD1332.KDT", FileState::kKept, "a page failed");
    ItemFailure& a = outcome.Fail("page 2 of 1332", "Failed to connect to 127.0.0.1 port 8053 after "
                                  "0 ms: Couldn't connect to server",
                                  "http://127.0.0.1:8053/t?s=1332", "the stored history kept");
    a.codes = {1332};
    ItemFailure& b = outcome.Fail("page 1 of 1333", "HTTP 500", "http://127.0.0.1:8053/t?s=1333",
                                  "no history file");
    b.codes = {1333};
    ItemFailure& c = outcome.Fail("page 1 of 1334", "Failed to connect to 127.0.0.1 port 8053 after "
                                  "0 ms: Couldn't connect to server",
                                  "http://127.0.0.1:8053/t?s=1334", "no history file");
    c.codes = {1334};
    outcome.StopAt(c);
    return outcome;
}

JobOutcome CompletedFetch() {
    JobOutcome outcome;
    outcome.job = "fetch";
    outcome.itemsTotal = 123;
    outcome.itemsDone = 123;
    outcome.extracted = 120;
    outcome.notExtracted = 3;
    outcome.quoteDate = "2026/12/7";
    outcome.AddFile("/w/DS261207.DAT", FileState::kWritten);
    return outcome;
}

struct SummaryCase {
    const char* name;
    JobOutcome outcome;
    const char* summary;
    const char* neverAsked;
    bool attention;
};

TEST(OutcomeJa, SummaryAndWhatWasNeverAskedComeFromTheOneOutcome) {
    JobOutcome notRun;
    notRun.job = "kdt";
    notRun.end = JobEnd::kNotRun;
    notRun.endCause = "code 1301 is not in fetchlist.csv, so its history cannot be asked for";
    JobOutcome cancelled = CompletedFetch();
    cancelled.end = JobEnd::kCancelled;
    cancelled.itemsDone = 50;
    cancelled.files.clear();
    const SummaryCase cases[] = {
        {"a whole fetch", CompletedFetch(),
         "株価取得: 123/123 銘柄、抽出 120、抽出できず 3、2026/12/7 の株価。書いたファイル: "
         "/w/DS261207.DAT",
         "", false},
        {"a history job stopped early", StoppedHistoryJob(),
         "株価履歴取得: 571/3,803 銘柄、失敗 3 件、1334 の 1 ページ目で中断。書いたファイル: "
         "/w/DATA/1000/KD1301.KDT。残したファイル: /w/DATA/1000/KD1332.KDT (ページの取得に失敗)",
         "3,232 銘柄は未取得", true},
        {"a cancelled fetch", cancelled,
         "株価取得: 50/123 銘柄、抽出 120、抽出できず 3、キャンセル、2026/12/7 の株価。ファイルは"
         "書いていません",
         "73 銘柄は未取得", true},
        {"a refused job", notRun,
         "株価履歴取得: 実行していません (コード 1301 は fetchlist.csv にないため、履歴を求められま"
         "せん)",
         "", false},
    };
    for (const SummaryCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(SummaryJa(c.outcome), c.summary);
        EXPECT_EQ(NeverAskedJa(c.outcome), c.neverAsked);
        EXPECT_EQ(NeedsAttention(c.outcome), c.attention);
    }
}

TEST(OutcomeJa, PhrasesOfTheCoreReadInJapaneseAndUnknownTextStaysAsItCame) {
    const std::pair<const char*, const char*> cases[] = {
        {"50 stocks of block 3", "ブロック 3 の 50 銘柄"},
        {"1 stock of block 0", "ブロック 0 の 1 銘柄"},
        {"listing page 12", "一覧ページ 12"},
        {"another Tickora job (pid 42) is using /w",
         "別の Tickora の処理 (pid 42) が /w を使っています"},
        {"Failed to connect to 127.0.0.1 port 8053 after 0 ms: Couldn't connect to server",
         "127.0.0.1 のポート 8053 に接続できません"},
        {"the page arrived only in part (time-out)", "ページが一部しか届きませんでした (時間切れ)"},
        {"HTTP 503", "サイトが一時的に利用できません (HTTP 503)"},
        {"the proxy 127.0.0.1:3128 cannot be reached: Connection refused",
         "プロキシ 127.0.0.1:3128 に接続できません: 接続を拒否されました"},
        {"the proxy 127.0.0.1:3128 refused the tunnel to the site: HTTP 407 (it asks for a user "
         "name and password)",
         "プロキシ 127.0.0.1:3128 がサイトへの中継を拒否しました: HTTP 407 "
         "(ユーザー名とパスワードが必要です)"},
        {"the proxy 127.0.0.1:3128 refused the request: HTTP 407 (it asks for a user name and "
         "password)",
         "プロキシ 127.0.0.1:3128 が要求を拒否しました: HTTP 407 "
         "(ユーザー名とパスワードが必要です)"},
        {"bad gzip body from the site: it does not decode",
         "サイトから届いた gzip 圧縮の本文を展開できません"},
        {"/w/DS261207.DAT: No space left on device", "/w/DS261207.DAT: ディスクの空きがありません"},
    };
    for (const auto& [english, japanese] : cases) {
        EXPECT_EQ(PhraseJa(english), japanese) << english;
    }
    EXPECT_EQ(Thousands(0), "0");
    EXPECT_EQ(Thousands(1234567), "1,234,567");
}

// The history file may hold texts of any length and shape (a damaged or hand-made line): they are
// turned into Japanese by a plain scan, or shown as they came, never by a matcher whose stack grows
// with the text. (A regular expression once overflowed the stack on a 33,000-character cause.)
TEST(OutcomeJa, TextsOfAnyLengthOrNestingAreTurnedOrShownAsTheyCame) {
    const std::string path = "/w/" + std::string(3000, 'd') + "/tickora.lock";
    std::string nested = "x";
    for (int i = 0; i < 900; ++i) {
        nested += " (y)";
    }
    const std::string deep =
        "the page arrived only in part (the page arrived only in part ("
        "the page arrived only in part (time-out)))";
    const std::pair<std::string, std::string> cases[] = {
        {std::string(33000, 'a'), std::string(33000, 'a')},
        {std::string(33000, 'a') + " (time-out)", std::string(33000, 'a') + " (time-out)"},
        {"HTTP 500 (" + std::string(33000, '(') + ")",
         "HTTP 500 (" + std::string(33000, '(') + ")"},
        {"cannot lock " + path + ": Resource temporarily unavailable",
         path + " をロックできません: いまは使えません"},
        {"page " + std::string(4000, '9') + " of 1301",
         "1301 の " + std::string(4000, '9') + " ページ目"},
        {"page " + std::string(5000, '9') + " of 1301",
         "page " + std::string(5000, '9') + " of 1301"},
        {nested, nested},
        {deep,
         "ページが一部しか届きませんでした (ページが一部しか届きませんでした (ページが一部"
         "しか届きませんでした (時間切れ)))"},
        {"Failed to connect to " + std::string(2000, 'h') + " port 80 after 1 ms: x",
         std::string(2000, 'h') + " のポート 80 に接続できません"},
        {"another Tickora job is using ", "別の Tickora の処理が  を使っています"},
        {"50 stocks of block ", "50 stocks of block "},
        {"a (b) c", "a (b) c"},
        {"a (b(c))", "a (b(c))"},
        {"the page arrived only in part (a) (b)", "ページが一部しか届きませんでした (a) (b)"},
    };
    for (const auto& [english, japanese] : cases) {
        EXPECT_EQ(PhraseJa(english), japanese) << english.substr(0, 80);
    }
}

TEST(OutcomeJa, ResultsPanelGroupsTheFailuresByCauseAndTheWarningStays) {
    CMainFrame frame;
    frame.show();
    frame.ShowOutcome(StoppedHistoryJob());
    EXPECT_TRUE(frame.NoteIsWarning());
    EXPECT_NE(frame.Note().toStdString().find("3,232 銘柄は未取得"), std::string::npos);
    EXPECT_FALSE(frame.findChild<QLabel*>(QStringLiteral("statusIcon"))->isHidden());
    EXPECT_TRUE(frame.ResultsDock()->isVisible()) << "a job that stopped early opens the results";

    CResultsPanel* panel = frame.Results();
    EXPECT_EQ(panel->NeverAskedLabel()->text().toStdString(), "3,232 銘柄は未取得");
    QTreeWidget* tree = panel->Failures();
    ASSERT_EQ(tree->topLevelItemCount(), 2) << "two causes";
    QTreeWidgetItem* refused = tree->topLevelItem(0);
    EXPECT_EQ(refused->text(0).toStdString(), "127.0.0.1 のポート 8053 に接続できません (2 件)");
    ASSERT_EQ(refused->childCount(), 2);
    const QTreeWidgetItem* first = refused->child(0);
    EXPECT_EQ(first->text(0).toStdString(), "1332 の 2 ページ目");
    EXPECT_EQ(first->text(1).toStdString(), "1332");
    EXPECT_EQ(first->text(2).toStdString(), "http://127.0.0.1:8053/t?s=1332");
    EXPECT_EQ(first->text(3).toStdString(), "保存済みの履歴はそのまま");
    EXPECT_EQ(tree->topLevelItem(1)->text(0).toStdString(),
              "サイトのサーバーでエラーが起きました (HTTP 500) (1 件)");

    // A dialog dismissed without a job keeps what the last job said.
    const QString note = frame.Note();
    JobOutcome dismissed;
    dismissed.job = "kdt";
    dismissed.end = JobEnd::kNotRun;
    frame.ShowNote({});
    frame.ShowOutcome(dismissed);
    EXPECT_EQ(frame.Note(), note);
    EXPECT_TRUE(frame.NoteIsWarning());

    // A clean job takes the warning away, and leaves the panel closed if it was.
    frame.ResultsDock()->hide();
    frame.ShowOutcome(CompletedFetch());
    EXPECT_FALSE(frame.NoteIsWarning());
    EXPECT_TRUE(frame.findChild<QLabel*>(QStringLiteral("statusIcon"))->isHidden());
    EXPECT_FALSE(frame.ResultsDock()->isVisible());
    EXPECT_EQ(frame.DocTitle().toStdString(), "2026/12/7") << "the date of the file written";
}

TEST(OutcomeJa, QtsOwnDialogsSpeakJapanese) {
    InstallJapaneseTranslations();
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel").toStdString(),
              "キャンセル");
}

}  // namespace
}  // namespace tickora::gui
