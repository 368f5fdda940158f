// SPDX-License-Identifier: GPL-3.0-or-later
// 履歴: the runs kept in the working folder's history.jsonl, whoever ran them, newest first, each
// shown in full when picked.
#include <gtest/gtest.h>

#include <QLabel>
#include <QTableWidget>
#include <QTreeWidget>

#include "app/outcome_ja.h"
#include "app/results_panel.h"
#include "app/runs_dlg.h"
#include "jobs/run_history.h"
#include "tests/support/temp_dir.h"

namespace tickora::gui {
namespace {

// Two runs as the document keeps them, and the half line of a run killed while writing.
constexpr const char* kHistory =
    R"({"job":"fetch","exitStatus":0,"end":"completed","endCause":"","unit":"stocks",)"
    R"("itemsTotal":123,"itemsDone":123,"extracted":123,"notExtracted":0,"quoteDate":"2026/12/7",)"
    R"("failures":[],"files":[{"path":"/w/DS261207.DAT","state":"written","reason":""}],)"
    R"("warnings":[],"endedAt":"2026-12-07T18:31:05+0900","retry":false})"
    "\n"
    R"({"job":"kdt","exitStatus":1,"end":"stopped","endCause":"","unit":"stocks",)"
    R"("itemsTotal":3803,"itemsDone":571,"extracted":568,"notExtracted":0,)"
    R"("failures":[{"what":"page 1 of 1334","codes":[1334],"cause":"HTTP 500",)"
    R"("where":"http://127.0.0.1:8053/t?s=1334","action":"no history file","endedJob":true}],)"
    R"("files":[],"warnings":[],"endedAt":"2026-12-07T19:02:44+0900","retry":true})"
    "\n"
    R"({"job":"profiles","exitStatus":0,"end":"comp)";

TEST(RunsView, ListsEveryReadableRunNewestFirstAndShowsThePickedOneInFull) {
    test::ScopedWorkDir dir;
    test::WriteFileBytes(dir.Path() / "history.jsonl", kHistory);
    CRunsDlg dlg(ReadRunHistory());
    QTableWidget* table = dlg.Table();
    ASSERT_EQ(table->rowCount(), 2) << "the cut line is left out";
    // Local time without an offset, and the exit status in words after its number.
    const std::vector<std::vector<std::string>> expected = {
        {"2026/12/07 19:02:44", "株価履歴取得 (再取得)", "中断", "571/3,803", "1", "1 中断"},
        {"2026/12/07 18:31:05", "株価取得", "完了", "123/123", "0", "0 完了"},
    };
    for (int row = 0; row < 2; ++row) {
        for (int column = 0; column < 6; ++column) {
            EXPECT_EQ(table->item(row, column)->text().toStdString(),
                      expected[static_cast<std::size_t>(row)][static_cast<std::size_t>(column)])
                << row << "," << column;
        }
    }
    EXPECT_EQ(dlg.Details()->NeverAskedLabel()->text().toStdString(), "3,232 銘柄は未取得");

    // Sorted by the count of items done, the fetch (123) comes first; picking it shows it.
    table->sortItems(3, Qt::AscendingOrder);
    ASSERT_EQ(table->item(0, 1)->text().toStdString(), "株価取得");
    table->setCurrentCell(0, 0);
    EXPECT_EQ(dlg.Details()->SummaryLabel()->text().toStdString().rfind("株価取得: 123/123 銘柄", 0),
              0u);
}

// The view once crashed (a regular expression ran out of stack) on a run whose failure text was
// 33,000 characters long; the text is shown as it came.
TEST(RunsView, ARunWithAFailureTextOfAnyLengthIsShown) {
    test::ScopedWorkDir dir;
    const std::string cause = std::string(33000, 'a') + " (time-out)";
    test::WriteFileBytes(
        dir.Path() / "history.jsonl",
        R"({"job":"kdt","exitStatus":4,"end":"completed","endCause":"","unit":"stocks",)"
        R"("itemsTotal":2,"itemsDone":2,"extracted":1,"notExtracted":0,)"
        R"("failures":[{"what":"page 1 of 1334","codes":[1334],"cause":")" +
            cause +
            R"(","where":"http://127.0.0.1:8053/t?s=1334","action":"no history file",)"
            R"("endedJob":false}],"files":[],"warnings":[],"endedAt":"2026-12-07T19:02:44+0900",)"
            R"("retry":false})"
            "\n");
    CRunsDlg dlg(ReadRunHistory());
    ASSERT_EQ(dlg.Table()->rowCount(), 1);
    dlg.Table()->setCurrentCell(0, 0);
    QTreeWidget* failures = dlg.Details()->Failures();
    ASSERT_EQ(failures->topLevelItemCount(), 1);
    // However much of it the history keeps.
    const std::string shown = failures->topLevelItem(0)->text(0).toStdString();
    EXPECT_EQ(shown.substr(0, 1000), cause.substr(0, 1000));
    EXPECT_TRUE(shown.ends_with(" (1 件)")) << shown.substr(shown.size() - 40);
    ASSERT_EQ(failures->topLevelItem(0)->childCount(), 1);
    EXPECT_EQ(failures->topLevelItem(0)->child(0)->text(0).toStdString(), "1334 の 1 ページ目");
}

// The times of records written under any offset read as the local time of this program, and
// sort by the moment they name; the statuses read in words after their numbers.
TEST(RunsView, TimesAreLocalWithoutAnOffsetAndStatusesAreSaidInWords) {
    const std::pair<const char*, const char*> times[] = {
        {"2026-12-08T08:19:08+0000", "2026/12/08 17:19:08"},
        {"2026-12-08T17:19:08+0900", "2026/12/08 17:19:08"},
        {"2026-12-07T23:30:00-0500", "2026/12/08 13:30:00"},
        {"2026-12-31T20:00:00+0000", "2027/01/01 05:00:00"},
        {"yesterday", "yesterday"},
        {"2026-13-45T99:99:99+0900", "2026-13-45T99:99:99+0900"},
    };
    for (const auto& [endedAt, shown] : times) {
        EXPECT_EQ(RunTimeJa(endedAt).toStdString(), shown) << endedAt;
    }
    const std::pair<int, const char*> statuses[] = {
        {0, "0 完了"},
        {1, "1 中断"},
        {2, "2 指定の誤り"},
        {3, "3 market.csv なし"},
        {4, "4 一部失敗"},
        {5, "5 作業フォルダが使用中"},
        {9, "9"},
    };
    for (const auto& [status, shown] : statuses) {
        EXPECT_EQ(ExitStatusTextJa(status).toStdString(), shown);
    }
}

// A run of thousands of files keeps fifty of them in its record: 履歴 says how many there were,
// as 結果 did.
TEST(RunsView, ARunOfThousandsOfFilesIsCountedInFull) {
    test::ScopedWorkDir dir;
    JobOutcome outcome;
    outcome.job = "kdt";
    outcome.itemsTotal = outcome.itemsDone = 3786;
    for (int i = 0; i < 3786; ++i) {
        outcome.AddFile("/w/DATA/" + std::to_string(1000 + i) + ".KDT", FileState::kWritten);
    }
    const std::string live = SummaryJa(outcome);
    ASSERT_NE(live.find("(他 3,781 件)"), std::string::npos) << live;
    ASSERT_EQ(AppendRunHistory(outcome, false), 0);
    CRunsDlg dlg(ReadRunHistory());
    ASSERT_EQ(dlg.Table()->rowCount(), 1);
    dlg.Table()->setCurrentCell(0, 0);
    EXPECT_EQ(dlg.Details()->SummaryLabel()->text().toStdString(), live);
}

TEST(RunsView, AFolderWithoutHistoryHasNoRun) {
    test::ScopedWorkDir dir;
    EXPECT_TRUE(ReadRunHistory().empty());
    CRunsDlg dlg(ReadRunHistory());
    EXPECT_EQ(dlg.Table()->rowCount(), 0);
}

}  // namespace
}  // namespace tickora::gui
