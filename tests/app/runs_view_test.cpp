// SPDX-License-Identifier: GPL-3.0-or-later
// 履歴: the runs kept in the working folder's history.jsonl, whoever ran them, newest first, each
// shown in full when picked.
#include <gtest/gtest.h>

#include <QLabel>
#include <QTableWidget>
#include <QTreeWidget>

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
    const std::vector<std::vector<std::string>> expected = {
        {"2026-12-07 19:02:44+0900", "株価履歴取得 (再取得)", "中断", "571/3,803", "1", "1"},
        {"2026-12-07 18:31:05+0900", "株価取得", "完了", "123/123", "0", "0"},
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

TEST(RunsView, AFolderWithoutHistoryHasNoRun) {
    test::ScopedWorkDir dir;
    EXPECT_TRUE(ReadRunHistory().empty());
    CRunsDlg dlg(ReadRunHistory());
    EXPECT_EQ(dlg.Table()->rowCount(), 0);
}

}  // namespace
}  // namespace tickora::gui
