// SPDX-License-Identifier: GPL-3.0-or-later
// The company-profile job as the document runs it, from pages kept on disk or with the site out
// of reach: the records it writes, the stocks it skips, Cancel, and no stale page read.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "formats/dictionary.h"
#include "jobs/profile_fetch.h"
#include "jobs/run_history.h"
#include "jobs/tickora_doc.h"
#include "pages/profile_page.h"
#include "tests/support/dictionary_reader.h"
#include "tests/support/doc_job_fixture.h"
#include "tests/support/fake_view.h"
#include "tests/support/page_builder.h"
#include "tests/support/site_access_for_test.h"
#include "tests/support/temp_dir.h"
#include "text/sjis.h"

namespace tickora {
namespace {

namespace fs = std::filesystem;
using test::ReadFileBytes;
using test::ReadRecord;
using test::Record;
using test::WriteFileBytes;

class ProfilesJobTest : public test::DocJobTest {
  protected:
    ProfilesJobTest() : DocJobTest(test::WriteTestMarkets, test::StartProfiles) {}
    void SetUp() override {
        DocJobTest::SetUp();
        doc.SetSiteAccess(test::AccessForTest("http://127.0.0.1:1"));  // refused
        WriteFileBytes("fetchlist.csv", Utf8ToSjis("1301,1301,T,極洋\r\n1332,1332,O,日本水産\r\n"
                                                   "998405,1001,X,TOPIX\r\n"));
        ASSERT_EQ(stocks.Load(markets, "http://127.0.0.1:1"), 0);
    }
    static void KeepPages() {
        CreateProfileFolders();
        WriteFileBytes(KeptProfilePath(1301),
                       test::ProfilePage("水産・農林業", "東証1部", "遠洋漁業", "水産70"));
        WriteFileBytes(KeptProfilePath(1001),
                       test::ProfilePage("化学工業", "大証1部", "指数", "資産"));
    }
};

TEST_F(ProfilesJobTest, KeptPagesFillTheNewDictionary) {
    KeepPages();
    view.profileOptions.useKeptHtml = true;
    const JobOutcome r = Run();
    // Using the kept pages keeps them: the run's record says so.
    const std::vector<RunRecord> runs = ReadRunHistory();
    ASSERT_FALSE(runs.empty());
    EXPECT_EQ(runs.back().options.keepHtml, true);
    EXPECT_TRUE(doc.m_bShowAllStocks);
    EXPECT_EQ(fs::file_size(kDictionaryPath), 10240000u);

    const Record r1301 = ReadRecord(1301);
    EXPECT_EQ(r1301.code, 1301);
    EXPECT_EQ(r1301.market, 1);
    EXPECT_EQ(r1301.industry, 1);
    EXPECT_EQ(r1301.symbol, "1301");
    EXPECT_EQ(r1301.name, "極洋");
    EXPECT_EQ(r1301.feature, "遠洋漁業");
    EXPECT_EQ(r1301.business, "水産70");
    // A special row of the list is a stock like any other.
    const Record r1001 = ReadRecord(1001);
    EXPECT_EQ(r1001.symbol, "998405");
    EXPECT_EQ(r1001.market, 3);
    EXPECT_EQ(r1001.industry, 7);  // the name only has to start the text
    // No kept page: the record stays as creation left it.
    const Record r1332 = ReadRecord(1332);
    EXPECT_EQ(r1332.code, 1332);
    EXPECT_EQ(r1332.name, "日本水産");
    EXPECT_EQ(r1332.market, 0);
    EXPECT_EQ(r1332.feature, "");

    // The stocks read, and those that failed (1332, without a kept page), as the outcome has them.
    EXPECT_EQ(view.Calls("counts "),
              (std::vector<std::string>{"counts 0 0", "counts 1 0", "counts 1 1", "counts 2 1"}));
    EXPECT_EQ(r.extracted, 2);
    EXPECT_EQ(r.notExtracted, 1);
    EXPECT_EQ(view.Count("step"), 1);
    EXPECT_EQ(r.itemsDone, 3);
    EXPECT_FALSE(r.Cancelled());
    EXPECT_EQ(view.Protocol().back(), "idle");
    EXPECT_FALSE(doc.m_bBusy);
    EXPECT_TRUE(fs::exists(KeptProfilePath(1301)));
}

TEST_F(ProfilesJobTest, AddedOnlyWithoutDictionaryShowsTheMessageAndStartsNothing) {
    view.profileOptions.addedOnly = true;
    (void)Run(false);
    EXPECT_EQ(view.Calls("message "),
              (std::vector<std::string>{"message " +
                                        Utf8ToSjis("辞書ファイルVorlaneEx.DICがありません。")}));
    EXPECT_FALSE(fs::exists(kDictionaryPath));
    EXPECT_FALSE(doc.m_bBusy);
    EXPECT_EQ(view.Protocol(), (std::vector<std::string>{"ask profile"}));
}

TEST_F(ProfilesJobTest, AddedOnlyFetchesOnlyStocksWithoutAnEntry) {
    // A dictionary made when the list held 1301 alone.
    {
        WriteFileBytes("one.csv", Utf8ToSjis("1301,1301,T,極洋\r\n"));
        CStockList one;
        ASSERT_EQ(one.Load(markets, "http://127.0.0.1:1", "one.csv"), 0);
        ASSERT_EQ(CreateDictionaryIfMissing(one), 0);
    }
    KeepPages();
    view.profileOptions.useKeptHtml = true;
    view.profileOptions.addedOnly = true;
    const JobOutcome r = Run();
    EXPECT_EQ(view.Calls("counts "),
              (std::vector<std::string>{"counts 0 0", "counts 0 1", "counts 1 1"}));
    EXPECT_EQ(ReadRecord(1301).feature, "");  // has an entry: not fetched
    const Record r1001 = ReadRecord(1001);
    EXPECT_EQ(r1001.feature, "指数");
    EXPECT_EQ(r1001.code, 1001);
    EXPECT_EQ(r1001.name, "");  // added after creation: the name stays empty
    EXPECT_EQ(r.itemsDone, 2);
}

TEST_F(ProfilesJobTest, CancelStopsAfterTheStockBeingProcessed) {
    KeepPages();
    view.profileOptions.useKeptHtml = true;
    view.onCounts = [this](int first, int) {
        if (first == 1) {
            doc.CancelJob();
        }
    };
    const JobOutcome r = Run();
    EXPECT_TRUE(r.Cancelled());
    EXPECT_EQ(view.Calls("counts ").back(), "counts 1 0");
    EXPECT_EQ(ReadRecord(1301).feature, "遠洋漁業");
    EXPECT_EQ(ReadRecord(1001).feature, "");
    EXPECT_EQ(view.Protocol().back(), "idle");
    EXPECT_EQ(view.Count("step"), 0);
}

TEST_F(ProfilesJobTest, FailedDownloadsLeaveRecordsAndNeverReadAnEarlierPage) {
    // What the shared file held before the job: it is nobody's page in this run.
    WriteFileBytes(kSharedProfilePath, test::ProfilePage("化学", "東証1部", "古い", "古い"));
    const JobOutcome r = Run();
    EXPECT_EQ(r.itemsDone, 3);
    for (int code : {1301, 1332, 1001}) {
        EXPECT_EQ(ReadRecord(code).feature, "") << code;
        EXPECT_EQ(ReadRecord(code).market, 0) << code;
    }
    EXPECT_FALSE(fs::exists(kSharedProfilePath));
    EXPECT_FALSE(fs::exists("Webtemp/fundamental"));
}

}  // namespace
}  // namespace tickora
