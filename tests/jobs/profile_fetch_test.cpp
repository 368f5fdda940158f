// SPDX-License-Identifier: GPL-3.0-or-later
// Profile pages brought to disk for the jobs: what a failed download leaves in the shared work
// file and beside a kept page, the folders kept pages go to, and the markets of a listing page
// completed from kept profile pages.
#include "jobs/profile_fetch.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "catalog/market_table.h"
#include "pages/list_pages.h"
#include "tests/support/page_builder.h"
#include "tests/support/site_access_for_test.h"
#include "tests/support/temp_dir.h"
#include "text/sjis.h"

namespace tickora {
namespace {

namespace fs = std::filesystem;
using test::WriteFileBytes;

// Nothing listens on port 1: every download fails at once.
constexpr const char* kRefusedHost = "http://127.0.0.1:1";

SiteAccess RefusedSite() {
    return test::AccessForTest(kRefusedHost);
}

TEST(ProfileFolders, FoldersForEveryThousand) {
    test::ScopedWorkDir dir;
    CreateProfileFolders();
    CreateProfileFolders();  // existing folders are fine
    for (int k = 1000; k <= 9000; k += 1000) {
        EXPECT_TRUE(fs::is_directory("Webtemp/fundamental/" + std::to_string(k))) << k;
    }
    EXPECT_FALSE(fs::exists("Webtemp/fundamental/0000"));
}

class ObtainProfileTest : public ::testing::Test {
  protected:
    void SetUp() override { CreateProfileFolders(); }
    std::string Obtain(int code, bool keepHtml, bool useKeptHtml) {
        return ObtainProfilePage(access, {pacer, CancelToken()}, code, keepHtml, useKeptHtml);
    }
    test::ScopedWorkDir dir;
    const SiteAccess access = RefusedSite();
    Pacer pacer;
};

TEST_F(ObtainProfileTest, AFailedDownloadNeverLeavesTheLastStocksPageInTheSharedFile) {
    WriteFileBytes(kSharedProfilePath, test::ProfilePage("化学", "東証1部", "前の銘柄", "b"));
    const std::string path = Obtain(1332, false, false);
    EXPECT_EQ(path, kSharedProfilePath);
    CompanyProfile profile{};
    EXPECT_EQ(ParseProfilePage(path.c_str(), profile), -1);
}

TEST_F(ObtainProfileTest, AFailedDownloadKeepsThePageKeptForThisStock) {
    const std::string kept = test::ProfilePage("化学", "東証1部", "以前", "b");
    WriteFileBytes(KeptProfilePath(1332), kept);
    EXPECT_EQ(Obtain(1332, true, false), KeptProfilePath(1332));
    EXPECT_EQ(test::ReadFileBytes(KeptProfilePath(1332)), kept);
    EXPECT_FALSE(fs::exists(KeptProfilePath(1332) + ".part"));
}

TEST_F(ObtainProfileTest, KeptPagesAreReadWithoutDownload) {
    EXPECT_EQ(Obtain(4063, true, true), KeptProfilePath(4063));
    EXPECT_FALSE(fs::exists(KeptProfilePath(4063)));
}

// A listing page whose markets are completed from the profile pages kept on disk: nothing is
// fetched, so the refused site is never asked.
class KeptProfileMarketsTest : public ::testing::Test {
  protected:
    struct Slot {
        int slot;
        int code;
        int marketNo;
        bool added;
    };

    void SetUp() override {
        test::WriteTestMarkets();
        ASSERT_EQ(markets.Load("market.csv"), 1);
        CreateProfileFolders();
        WriteFileBytes(KeptProfilePath(1301),
                       test::ProfilePage("水産・農林業", "大証1部", "f", "b"));
        WriteFileBytes(KeptProfilePath(1332),
                       test::ProfilePage("水産・農林業", "名証1部", "f", "b"));
    }

    void Fill(const std::vector<Slot>& slots) {
        for (const Slot& s : slots) {
            CListEntry& e = page.m_aEntries[s.slot];
            e.m_nCode = s.code;
            std::snprintf(e.m_szSymbol, sizeof e.m_szSymbol, "%04d", s.code);
            e.m_nMarketNo = s.marketNo;
            e.m_bAdded = s.added ? 1 : 0;
        }
    }

    std::vector<ProfileSlotResult> Complete(bool addedOnly) {
        Pacer pacer;
        PagePool pool(access, {pacer, CancelToken()});
        PageAhead ahead(pool);
        ProfilesAhead pages(ahead, access, true, true);
        return FetchMarketsFromProfiles(page, pages, addedOnly, markets);
    }

    test::ScopedWorkDir dir;
    const SiteAccess access = RefusedSite();
    CMarketTable markets;
    CListPage page{0, kRefusedHost};
};

TEST_F(KeptProfileMarketsTest, KeptProfilePagesCompleteTheMarkets) {
    WriteFileBytes(KeptProfilePath(2001), test::ProfilePage("食料品", "どこか", "f", "b"));
    WriteFileBytes(KeptProfilePath(4001), "<html>maintenance</html>");
    ASSERT_EQ(KeptProfilePath(1301), "Webtemp/fundamental/1000/1301.html");
    // 3001 has no page kept and 4001 a page that is none: both keep their market.
    Fill({{0, 1301, 1, false},
          {1, 1332, 99, true},
          {2, 2001, 99, true},
          {3, 3001, 2, false},
          {5, 4001, 5, false}});

    const std::vector<ProfileSlotResult> results = Complete(false);
    EXPECT_EQ(page.m_aEntries[0].m_nMarketNo, 3);
    EXPECT_EQ(page.m_aEntries[1].m_nMarketNo, 4);
    EXPECT_EQ(page.m_aEntries[2].m_nMarketNo, 0);  // a market the table does not hold
    EXPECT_EQ(page.m_aEntries[3].m_nMarketNo, 2);
    EXPECT_EQ(page.m_aEntries[5].m_nMarketNo, 5);
    // What the job reports per stock: every slot visited, and why a page failed.
    ASSERT_EQ(results.size(), 5u);
    const int expected[][3] = {{0, 1301, kProfileRead},
                               {1, 1332, kProfileRead},
                               {2, 2001, kProfileRead},
                               {3, 3001, kProfileNoFile},
                               {5, 4001, kProfileNotAProfile}};
    for (std::size_t i = 0; i < results.size(); ++i) {
        EXPECT_EQ(results[i].slot, expected[i][0]) << i;
        EXPECT_EQ(results[i].code, expected[i][1]) << i;
        EXPECT_EQ(results[i].result, expected[i][2]) << i;
    }
}

TEST_F(KeptProfileMarketsTest, AddedOnlyCompletesOnlyTheAddedStocks) {
    Fill({{0, 1301, 1, false}, {1, 1332, 99, true}});
    (void)Complete(true);
    EXPECT_EQ(page.m_aEntries[0].m_nMarketNo, 1);
    EXPECT_EQ(page.m_aEntries[1].m_nMarketNo, 4);
}

}  // namespace
}  // namespace tickora
