// SPDX-License-Identifier: GPL-3.0-or-later
// The terminal view: one plain line per finished item in logs, a live bar on a terminal, the
// core's Shift-JIS texts shown as UTF-8, and no dialog: the command gives the job its options.
#include "cli/terminal_view.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "jobs/tickora_doc.h"
#include "tests/support/cli_run.h"
#include "tests/support/temp_dir.h"
#include "text/sjis.h"

namespace tickora::cli {
namespace {

using test::MemoryStream;

// The calls a worker makes for a job of `items` blocks of 50 stocks, with counters after each
// block; stops after `stopAfter` blocks as a cancelled job does.
void DriveJob(ITickoraView& view, int items, int stopAfter) {
    view.SetProgressRange(items);
    view.SetProgressStep(1);
    view.ShowItemsDone(0, items * 50, "stocks");
    for (int i = 1; i <= stopAfter; ++i) {
        view.StepProgress();
        view.ShowCounts(i * 50 - i, i);
        view.ShowItemsDone(i * 50, items * 50, "stocks");
    }
    view.SetProgressPos(0);
    view.ShowIdle();
}

TEST(TerminalView, PlainOutputHasOneLinePerFinishedItemWithItsCounters) {
    MemoryStream out;
    TerminalView view(out.File(), false, "fetch");
    DriveJob(view, 3, 3);
    EXPECT_EQ(out.Text(),
              "fetch: 50/150 stocks, 49 extracted, 1 not extracted\n"
              "fetch: 100/150 stocks, 98 extracted, 2 not extracted\n"
              "fetch: 150/150 stocks, 147 extracted, 3 not extracted\n");
}

TEST(TerminalView, PlainOutputOfACancelledJobEndsWithItsLastItem) {
    MemoryStream out;
    TerminalView view(out.File(), false, "performance");
    DriveJob(view, 5, 2);
    EXPECT_EQ(out.Text(),
              "performance: 50/250 stocks, 49 extracted, 1 not extracted\n"
              "performance: 100/250 stocks, 98 extracted, 2 not extracted\n");
}

TEST(TerminalView, JobsThatCountItemsShowNoCounters) {
    MemoryStream out;
    TerminalView view(out.File(), false, "kdt");
    view.SetProgressRange(2);
    view.SetProgressStep(1);
    view.ShowItemsDone(0, 2, "pages");
    for (int page = 1; page <= 2; ++page) {
        view.StepProgress();
        view.ShowCounts(page, 0);
        view.ShowItemsDone(page, 2, "pages");
    }
    view.SetProgressPos(0);
    EXPECT_EQ(out.Text(), "kdt: 1/2 pages\nkdt: 2/2 pages\n");
}

TEST(TerminalView, PlainOutputOfAJobWithNoItemsIsEmpty) {
    MemoryStream out;
    TerminalView view(out.File(), false, "fetchlist");
    DriveJob(view, 0, 0);
    EXPECT_EQ(out.Text(), "");
}

TEST(TerminalView, LiveBarRedrawsInPlaceFitsTheWidthAndIsClearedAtTheEnd) {
    {
        MemoryStream out;
        TerminalView view(out.File(), true, "fetch", 120);
        DriveJob(view, 3, 3);
        const std::string text = out.Text();
        EXPECT_EQ(text.find('\n'), std::string::npos) << "a live bar never scrolls";
        EXPECT_NE(text.find("\rfetch [" + std::string(30, '#') +
                            "] 150/150 stocks  extracted 147  not extracted 3"),
                  std::string::npos)
            << text;
        EXPECT_NE(text.find("\rfetch [" + std::string(10, '#') + std::string(20, '.') + "] 50/150"),
                  std::string::npos)
            << text;
        const std::string clear = "\r\033[K";
        ASSERT_GE(text.size(), clear.size());
        EXPECT_EQ(text.substr(text.size() - clear.size()), clear) << "the terminal is left clean";
    }
    // Each redraw stays within the width (one column left free); too narrow for a bar, plain
    // lines instead.
    for (const int columns : {40, 50, 79}) {
        MemoryStream out;
        TerminalView view(out.File(), true, "fetch", columns);
        DriveJob(view, 3, 3);
        const std::string text = out.Text();
        std::size_t at = 0;
        while ((at = text.find("\rfetch [", at)) != std::string::npos) {
            const std::size_t end = text.find("\033[K", at);
            ASSERT_NE(end, std::string::npos);
            EXPECT_LT(static_cast<int>(end - at - 1), columns) << text.substr(at, end - at);
            at = end;
        }
    }
    MemoryStream narrow;
    TerminalView view(narrow.File(), true, "fetch", kMinBarColumns - 1);
    DriveJob(view, 3, 1);
    EXPECT_EQ(narrow.Text(), "fetch: 50/150 stocks, 49 extracted, 1 not extracted\n");
}

TEST(TerminalView, MessagesOfTheCoreAreShownAsUtf8) {
    const std::string utf8 = "辞書ファイルVorlaneEx.DICがありません。";
    const std::string sjis = Utf8ToSjis(utf8);
    ASSERT_NE(sjis, utf8);
    for (bool interactive : {false, true}) {
        MemoryStream out;
        TerminalView view(out.File(), interactive, "profiles");
        view.ShowMessage(sjis);
        const std::string text = out.Text();
        EXPECT_NE(text.find(utf8 + "\n"), std::string::npos) << text;
        EXPECT_EQ(text.find(sjis), std::string::npos) << "no Shift-JIS bytes reach the terminal";
    }
}

TEST(TerminalView, NoteDuringALiveBarKeepsTheBarBelowTheLine) {
    MemoryStream out;
    TerminalView view(out.File(), true, "fetch", 80);
    view.SetProgressRange(4);
    view.SetProgressStep(1);
    view.ShowItemsDone(0, 200, "stocks");
    const std::size_t before = out.Text().size();
    view.Note("cancelling");
    const std::string added = out.Text().substr(before);
    // Cleared first, so the line does not share the row with the bar, then drawn again.
    EXPECT_EQ(added.rfind("\r\033[Kcancelling\n\rfetch [", 0), 0u) << added;
}

TEST(TerminalView, TitleIsKeptAsUtf8) {
    MemoryStream out;
    TerminalView view(out.File(), false, "fetch");
    view.SetTitle(Utf8ToSjis("2026/12/7"));
    EXPECT_EQ(view.Title(), "2026/12/7");
    EXPECT_FALSE(view.QuitPosted());
    view.PostQuit();
    EXPECT_TRUE(view.QuitPosted());
}

TEST(TerminalView, ShowsNoDialog) {
    MemoryStream out;
    TerminalView view(out.File(), false, "kdt");
    JobOptions list{.keepHtml = false, .addedOnly = true, .useKeptHtml = true};
    EXPECT_FALSE(view.AskListOptions(list));
    EXPECT_TRUE(list.addedOnly) << "a dismissed dialog leaves the options as they were";
    JobOptions profile;
    EXPECT_FALSE(view.AskProfileOptions(profile));
    JobOptions code{7203, 3000, false};
    EXPECT_FALSE(view.AskCodeOptions(code, true));
    EXPECT_EQ(code.code, 7203u);
    EXPECT_EQ(out.Text(), "");
}

// The command line gives the history job its options with the command: the job checks them,
// where a dialog that was asked would have ended it without a cause.
TEST(TerminalView, TheCommandGivesTheJobItsOptions) {
    test::ScopedWorkDir dir;
    MemoryStream out;
    TerminalView view(out.File(), false, "kdt");
    CAppSettings settings;
    CMarketTable markets;
    CStockList stocks;
    CTickoraDoc doc(settings, markets, stocks);
    doc.SetView(&view);
    JobOptions code{10000, 200, false};
    ASSERT_TRUE(doc.OnMakeKdt(code));
    doc.WaitForJob();
    EXPECT_EQ(doc.LastOutcome().end, JobEnd::kNotRun);
    EXPECT_EQ(doc.LastOutcome().endCause, "the code or the days are out of range");
}

}  // namespace
}  // namespace tickora::cli
