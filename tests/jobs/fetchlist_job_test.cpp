// SPDX-License-Identifier: GPL-3.0-or-later
// The fetch-list job as the document runs it, from listing and profile pages kept on disk: no
// site needed. Its dialog, the progress protocol, the end-of-list row and the pages it reads.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include "catalog/clock.h"
#include "jobs/profile_fetch.h"
#include "jobs/run_history.h"
#include "jobs/tickora_doc.h"
#include "pages/list_pages.h"
#include "pages/profile_page.h"
#include "tests/support/doc_job_fixture.h"
#include "tests/support/fake_view.h"
#include "tests/support/page_builder.h"
#include "tests/support/site_access_for_test.h"
#include "tests/support/temp_dir.h"
#include "text/sjis.h"

namespace tickora {
namespace {

namespace fs = std::filesystem;
using test::ListPage;
using test::ListRow;
using test::ReadFileBytes;
using test::WriteFileBytes;

constexpr const char* kRefused = "http://127.0.0.1:1";

class FetchListJobTest : public test::DocJobTest {
  protected:
    FetchListJobTest() : DocJobTest(test::WriteTestMarkets, test::StartFetchList) {}
    void SetUp() override {
        DocJobTest::SetUp();
        // Nothing listens on port 1: any download would fail at once.
        doc.SetSiteAccess(test::AccessForTest(kRefused));
    }
};

TEST_F(FetchListJobTest, DismissedDialogWritesNothingAndReturnsToIdle) {
    WriteFileBytes("fetchlist.csv", "1301,1301,T,OLD\r\n");
    view.answersDialogs = false;
    const JobOutcome r = Run();
    EXPECT_TRUE(r.end == JobEnd::kNotRun);
    EXPECT_EQ(view.Protocol(), (std::vector<std::string>{"running", "ask list", "idle"}));
    EXPECT_FALSE(doc.m_bBusy);
    EXPECT_EQ(ReadFileBytes("fetchlist.csv"), "1301,1301,T,OLD\r\n");
    EXPECT_FALSE(fs::exists("fetchlist.bak"));
}

TEST_F(FetchListJobTest, KeptPagesUpToTheEndOfListMakeTheSortedList) {
    WriteFileBytes("fetchlist.csv", "1301,1301,T,OLD\r\n");
    WriteFileBytes("Webtemp/listtemp-000.html",
                   ListPage({ListRow("1332", "(株)日本水産"), ListRow("1301", "(株)極洋")}));
    WriteFileBytes("Webtemp/listtemp-001.html",
                   ListPage({ListRow("998405", "TOPIX"), ListRow("998407", "日経ジャスダック"),
                             ListRow("2001", "後ろ")}));
    // A page after the end of the list is never read.
    WriteFileBytes("Webtemp/listtemp-002.html", ListPage({ListRow("3001", "読まない")}));
    CreateProfileFolders();
    WriteFileBytes(KeptProfilePath(1332), test::ProfilePage("水産・農林業", "東証1部", "f", "b"));
    WriteFileBytes(KeptProfilePath(1010), test::ProfilePage("", "", "", ""));

    view.listOptions.useKeptHtml = true;
    const JobOutcome r = Run();
    // Using the kept pages keeps them, and the run's record says it used them.
    EXPECT_TRUE(fs::exists(KeptProfilePath(1332)));
    const std::vector<RunRecord> runs = ReadRunHistory();
    ASSERT_FALSE(runs.empty());
    EXPECT_EQ(runs.back().options.useKeptHtml, true);
    EXPECT_FALSE(r.Cancelled());
    EXPECT_FALSE(r.Stopped());
    // The end-of-list row on page 1: the listing had two pages.
    EXPECT_EQ(r.itemsDone, 2);
    EXPECT_EQ(r.itemsTotal, 2);
    EXPECT_EQ(r.unit, "pages");
    EXPECT_EQ(view.Count("step"), 2);
    // 1332 from its profile; 1010's page carries no marker, so it is no profile page and the
    // stock keeps its market; the others have no page and no known market.
    EXPECT_EQ(ReadFileBytes("fetchlist.csv"),
              Utf8ToSjis("998405,1001,X,TOPIX\r\n998407,1010,X,日経ジャスダック\r\n"
                         "1301,1301,X,極洋\r\n1332,1332,T,日本水産\r\n"));
    EXPECT_EQ(ReadFileBytes("fetchlist.bak"), "1301,1301,T,OLD\r\n");
    EXPECT_EQ(r.Written(), (std::vector<std::string>{AbsolutePath("fetchlist.csv")}));
    EXPECT_EQ(r.stocksListed, 4);
    // Each stock whose profile could not be read is named: no kept page, or no marker on it.
    std::vector<int> failed;
    for (const ItemFailure& f : r.failures) {
        failed.insert(failed.end(), f.codes.begin(), f.codes.end());
        EXPECT_FALSE(f.endedJob);
    }
    EXPECT_EQ(failed, (std::vector<int>{1301, 1001, 1010}));
    const std::vector<std::string> events = view.Protocol();
    ASSERT_GE(events.size(), 6u);
    EXPECT_EQ(std::vector<std::string>(events.begin(), events.begin() + 4),
              (std::vector<std::string>{"running", "ask list", "range 100", "setstep 1"}));
    EXPECT_EQ(std::vector<std::string>(events.end() - 2, events.end()),
              (std::vector<std::string>{"pos 0", "idle"}));
    EXPECT_EQ(view.Calls("counts "), (std::vector<std::string>{"counts 0 0"}));
    EXPECT_FALSE(doc.m_bBusy);
    // The listing pages stay for the next offline run.
    EXPECT_TRUE(fs::exists("Webtemp/listtemp-000.html"));
}

TEST_F(FetchListJobTest, KeptModeTriesAllPagesAndAMissingOneKeepsTheList) {
    // No end-of-list row: the hundredth page ends the listing. Page i lists the stock 2000 + i,
    // but for the first, the middle and the last page.
    CListPages pages(kRefused);
    std::string list = "1000,1000,X,B\r\n1301,1301,X,A\r\n";
    for (int i = 0; i < pages.m_nPages; ++i) {
        const std::string code = std::to_string(2000 + i);
        WriteFileBytes(pages.GetPagePath(i), ListPage({ListRow(code, "P")}));
        if (i != 0 && i != 50 && i != 99) {
            list += code + "," + code + ",X,P\r\n";
        }
    }
    list += "9999,9999,X,C\r\n";
    WriteFileBytes("Webtemp/listtemp-000.html", ListPage({ListRow("1301", "A")}));
    WriteFileBytes("Webtemp/listtemp-050.html", ListPage({ListRow("1000", "B")}));
    WriteFileBytes("Webtemp/listtemp-099.html", ListPage({ListRow("9999", "C")}));
    view.listOptions.useKeptHtml = true;
    JobOutcome r = Run();
    EXPECT_EQ(r.itemsDone, 100);
    EXPECT_EQ(view.Count("step"), 100);
    EXPECT_EQ(ReadFileBytes("fetchlist.csv"), list);

    // One kept page missing: the listing was not read whole, and the list stays.
    fs::remove("Webtemp/listtemp-050.html");
    r = Run();
    EXPECT_EQ(r.itemsDone, 100);
    EXPECT_FALSE(r.Stopped());
    EXPECT_EQ(ReadFileBytes("fetchlist.csv"), list);
    EXPECT_FALSE(fs::exists("fetchlist.bak"));
    EXPECT_EQ(r.Kept(), std::vector<std::string>{AbsolutePath("fetchlist.csv")});
    const auto missing =
        std::find_if(r.failures.begin(), r.failures.end(),
                     [](const ItemFailure& f) { return f.what == "listing page 51"; });
    ASSERT_NE(missing, r.failures.end());
    EXPECT_EQ(missing->where, AbsolutePath("Webtemp/listtemp-050.html"));
    EXPECT_NE(missing->cause.find("No such file or directory"), std::string::npos);
    EXPECT_EQ(ExitStatusOf(r), kExitItemsFailed);
}

TEST_F(FetchListJobTest, KnownStocksKeepTheirMarketAndAddedOnlyListsTheNewOnes) {
    WriteFileBytes("fetchlist.csv", Utf8ToSjis("1301,1301,O,極洋\r\n"));
    ASSERT_EQ(stocks.Load(markets, "http://127.0.0.1:1"), 0);
    WriteFileBytes(
        "Webtemp/listtemp-000.html",
        ListPage({ListRow("1301", "極洋"), ListRow("1332", "日本水産"), ListRow("998407", "End")}));
    CreateProfileFolders();
    // The known stock's page would say otherwise; with added-only it is not read.
    WriteFileBytes(KeptProfilePath(1301), test::ProfilePage("水産・農林業", "名証1部", "f", "b"));
    WriteFileBytes(KeptProfilePath(1332), test::ProfilePage("水産・農林業", "東証2部", "f", "b"));
    SetTodayForTesting(LocalDate{2027, 1, 4});
    view.listOptions.useKeptHtml = true;
    view.listOptions.addedOnly = true;
    const JobOutcome r = Run();
    SetTodayForTesting(std::nullopt);
    EXPECT_EQ(r.Written(), (std::vector<std::string>{AbsolutePath("addlist-270104.csv")}));
    EXPECT_EQ(ReadFileBytes("addlist-270104.csv"),
              Utf8ToSjis("1332,1332,T2,日本水産\r\n998407,1010,X,End\r\n"));
    EXPECT_EQ(ReadFileBytes("fetchlist.csv"), Utf8ToSjis("1301,1301,O,極洋\r\n"));
}

TEST_F(FetchListJobTest, AFailedFirstDownloadLeavesTheListAndDropsTheStalePage) {
    WriteFileBytes("fetchlist.csv", "1301,1301,T,OLD\r\n");
    // An earlier run's page: with the site unreachable it must not be read as today's.
    WriteFileBytes("Webtemp/listtemp-000.html", ListPage({ListRow("1332", "Stale")}));
    const JobOutcome r = Run();
    EXPECT_TRUE(r.Stopped());
    EXPECT_EQ(r.itemsDone, 0);
    EXPECT_TRUE(r.Written().empty());
    ASSERT_EQ(r.failures.size(), 1u);
    EXPECT_EQ(r.failures[0].what, "listing page 1");
    EXPECT_TRUE(r.failures[0].endedJob);
    EXPECT_EQ(ReadFileBytes("fetchlist.csv"), "1301,1301,T,OLD\r\n");
    EXPECT_FALSE(fs::exists("fetchlist.bak"));
    EXPECT_FALSE(doc.m_bBusy);
    EXPECT_EQ(view.Protocol().back(), "idle");
}

}  // namespace
}  // namespace tickora
