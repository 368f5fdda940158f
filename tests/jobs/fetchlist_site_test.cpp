// SPDX-License-Identifier: GPL-3.0-or-later
// The fetch-list job against the simulated site: the whole market's list, the faults of the
// listing and profile pages, kept pages reused offline, and the list of added stocks.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "catalog/clock.h"
#include "jobs/tickora_doc.h"
#include "pages/list_pages.h"
#include "pages/profile_page.h"
#include "tests/support/doc_job_fixture.h"
#include "tests/support/fake_view.h"
#include "tests/support/page_builder.h"
#include "tests/support/site_fixture.h"

namespace tickora {
namespace {

namespace fs = std::filesystem;
using test::Lines;
using test::ReadFileBytes;
using test::WriteFileBytes;

std::string Join(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) {
        text += line + "\r\n";
    }
    return text;
}

std::string Field(const std::string& line, int index) {
    size_t start = 0;
    for (int i = 0; i < index; ++i) {
        start = line.find(',', start) + 1;
    }
    return line.substr(start, line.find(',', start) - start);
}

// The line with its third column (the market symbol) replaced.
std::string WithMarket(const std::string& line, const std::string& market) {
    const size_t second = line.find(',', line.find(',') + 1);
    const size_t third = line.find(',', second + 1);
    return line.substr(0, second + 1) + market + line.substr(third);
}

class FetchListSiteTest : public test::DocJobTest {
  protected:
    FetchListSiteTest() : DocJobTest(test::WriteSiteMarkets, test::StartFetchList) {}
    void Start(int stocks) {
        site = test::StartSite(stocks);
        ASSERT_NE(site, nullptr);
        doc.SetSiteAccess(test::AccessTo(*site));
        siteList = site->FetchListCsv();
        siteLines = Lines(siteList);
    }
    // The site's list without the lines whose code lies in [from, to].
    std::vector<std::string> SiteLinesExcept(int listingFrom, int listingTo) const {
        // Listing rows are numbered from 1 in listing order: the two index rows, the stocks by
        // code, the end row. The list is sorted by code, so it is found by code, not by place.
        std::vector<int> codes;
        for (const auto& row : test::SiteTruth(*site)) {
            codes.push_back(std::stoi(row.at("code")));
        }
        std::vector<std::string> kept;
        for (const std::string& line : siteLines) {
            const int code = std::stoi(Field(line, 1));
            const auto at = std::find(codes.begin(), codes.end(), code) - codes.begin() + 1;
            if (at < listingFrom || at > listingTo) {
                kept.push_back(line);
            }
        }
        return kept;
    }

    std::unique_ptr<site::SiteServer> site;
    std::string siteList;
    std::vector<std::string> siteLines;
};

TEST_F(FetchListSiteTest, TheListOfASmallMarketIsTheSites) {
    Start(120);  // 2 index rows, 120 stocks and the end row: three listing pages
    WriteFileBytes("fetchlist.csv", "1301,1301,T,OLD\r\n");
    const JobOutcome r = Run();
    EXPECT_EQ(ReadFileBytes("fetchlist.csv"), siteList);
    EXPECT_EQ(ReadFileBytes("fetchlist.bak"), "1301,1301,T,OLD\r\n");
    EXPECT_EQ(r.itemsDone, 3);
    EXPECT_FALSE(r.Cancelled());
    EXPECT_EQ(test::CountRequests(*site, "/l?s=%2a&m=1"), 2);  // m=1 and m=101
    EXPECT_EQ(test::CountRequests(*site, "/l?s=%2a&m=51"), 1);
    EXPECT_EQ(test::CountRequests(*site, "/l?s=%2a&m=151"), 0);
    EXPECT_EQ(test::CountRequests(*site, "/biz/fundamental/"), 123);
    for (const site::ReceivedRequest& req : site->Requests()) {
        EXPECT_EQ(req.userAgent, "Http Ver1.0 Session");
    }
    EXPECT_EQ(view.Count("step"), 3);
    EXPECT_EQ(view.Protocol().back(), "idle");
}

TEST_F(FetchListSiteTest, TheWholeMarketFitsThePagesTheParserReads) {
    Start(3800);
    // Every listing page of the full market, parsed and written with the markets of a loaded
    // list equal to the site's: the profile pages (one per stock) are left out for speed.
    WriteFileBytes("loaded.csv", siteList);
    ASSERT_EQ(stocks.Load(markets, site->Url().c_str(), "loaded.csv"), 0);
    CListPages pages(site->Url());
    int i = 0;
    for (; i < pages.m_nPages; ++i) {
        ASSERT_EQ(
            test::DownloadAlone(test::AccessTo(*site), pages.GetPageUrl(i), pages.GetPagePath(i)),
            0);
        EXPECT_LE(fs::file_size(pages.GetPagePath(i)), static_cast<uintmax_t>(kListPageLimit))
            << "the parser reads only the head of page " << i;
        const int parsed = ParseListPage(pages.GetPagePath(i), *pages.GetPage(i));
        pages.MarkKnownStocks(i, stocks);
        if (parsed == -2) {
            break;
        }
        ASSERT_EQ(parsed, 0) << "page " << i;
    }
    EXPECT_EQ(i + 1, static_cast<int>((siteLines.size() + 49) / 50));
    (void)pages.WriteList(false, markets);
    EXPECT_EQ(ReadFileBytes("fetchlist.csv"), siteList);
}

TEST_F(FetchListSiteTest, ARefusedListingPageKeepsTheListAndDropsAnEarlierRunsPage) {
    Start(120);
    WriteFileBytes("fetchlist.csv", "1301,1301,T,OLD\r\n");
    // An earlier run left page 1 on disk: with the site refusing it today, it must not count.
    WriteFileBytes("Webtemp/listtemp-001.html", test::ListPage({test::ListRow("9990", "STALE")}));
    site::Fault fault;
    fault.kind = site::FaultKind::kStatus;
    fault.status = 404;
    site->SetFault("/l?s=%2a&m=51", fault);
    const JobOutcome r = Run();
    EXPECT_FALSE(r.Stopped());
    EXPECT_EQ(r.itemsDone, 3);
    EXPECT_EQ(ReadFileBytes("fetchlist.csv"), "1301,1301,T,OLD\r\n");
    EXPECT_FALSE(fs::exists("fetchlist.bak"));
    EXPECT_FALSE(fs::exists("Webtemp/listtemp-001.html"));
    EXPECT_EQ(r.Kept(), std::vector<std::string>{AbsolutePath("fetchlist.csv")});
    ASSERT_EQ(r.failures.size(), 1u);
    EXPECT_EQ(r.failures[0].cause, "HTTP 404");
    EXPECT_EQ(r.failures[0].where, site->Url() + "/l?s=%2a&m=51");
    EXPECT_EQ(ExitStatusOf(r), kExitItemsFailed);
}

TEST_F(FetchListSiteTest, ACutListingPageEndsTheJobAndKeepsTheList) {
    Start(120);
    WriteFileBytes("fetchlist.csv", "1301,1301,T,OLD\r\n");
    site::Fault fault;
    fault.kind = site::FaultKind::kCut;
    site->SetFault("/l?s=%2a&m=51", fault);
    const JobOutcome r = Run();
    EXPECT_TRUE(r.Stopped());
    EXPECT_EQ(r.itemsDone, 1);
    EXPECT_EQ(ReadFileBytes("fetchlist.csv"), "1301,1301,T,OLD\r\n");
    EXPECT_FALSE(fs::exists("fetchlist.bak"));
    ASSERT_EQ(r.failures.size(), 1u);
    EXPECT_TRUE(r.failures[0].endedJob);
    EXPECT_EQ(r.failures[0].where, site->Url() + "/l?s=%2a&m=51");
    // The part of a page that arrived is not left for a later offline run.
    EXPECT_FALSE(fs::exists("Webtemp/listtemp-001.html"));
    EXPECT_EQ(test::CountRequests(*site, "/l?s=%2a&m=101"), 0);
}

TEST_F(FetchListSiteTest, CancelKeepsTheList) {
    Start(120);
    WriteFileBytes("fetchlist.csv", "1301,1301,T,OLD\r\n");
    // Pressed once the first listing page and its stocks' profiles are in hand: the job ends
    // before the next page. (Pressed before the page is asked, a machine slow enough to hold a
    // page past the Cancel grace would rightly drop it, and the case would flake.)
    view.onItemsDone = [this](int done) {
        if (done == 1) {
            doc.CancelJob();
        }
    };
    const JobOutcome r = Run();
    EXPECT_TRUE(r.Cancelled());
    EXPECT_EQ(r.itemsDone, 1);
    EXPECT_EQ(ReadFileBytes("fetchlist.csv"), "1301,1301,T,OLD\r\n");
    EXPECT_FALSE(fs::exists("fetchlist.bak"));
    EXPECT_EQ(r.Kept(), std::vector<std::string>{AbsolutePath("fetchlist.csv")});
    EXPECT_EQ(test::CountRequests(*site, "/l?"), 1);
    EXPECT_EQ(test::CountRequests(*site, "/biz/fundamental/"), 50);
    EXPECT_EQ(view.Protocol().back(), "idle");
}

TEST_F(FetchListSiteTest, ASiteThatAnswersNoListingKeepsTheUsersList) {
    Start(120);
    WriteFileBytes("fetchlist.csv", "1301,1301,T,OLD\r\n");
    WriteFileBytes("fetchlist.bak", "1301,1301,T,OLDER\r\n");
    site::Fault fault;
    fault.kind = site::FaultKind::kStatus;
    fault.status = 500;
    site->SetFault("/l?", fault);
    const JobOutcome r = Run();
    EXPECT_EQ(r.itemsDone, 100);  // no end row was seen: every page was tried
    EXPECT_TRUE(r.Written().empty());
    EXPECT_EQ(ReadFileBytes("fetchlist.csv"), "1301,1301,T,OLD\r\n");
    EXPECT_EQ(ReadFileBytes("fetchlist.bak"), "1301,1301,T,OLDER\r\n");
}

TEST_F(FetchListSiteTest, ARefusedProfileNeverTakesThePreviousStocksMarket) {
    Start(120);
    // A stock whose neighbour before it in the listing is on another market: a stale shared
    // profile file would give it that neighbour's market.
    size_t victim = 0;
    for (size_t i = 1; i < siteLines.size(); ++i) {
        const std::string before = Field(siteLines[i - 1], 2);
        const std::string mine = Field(siteLines[i], 2);
        if (before != "X" && mine != "X" && before != mine) {
            victim = i;
            break;
        }
    }
    ASSERT_NE(victim, 0u);
    const std::string code = Field(siteLines[victim], 1);
    site::Fault fault;
    fault.kind = site::FaultKind::kStatus;
    fault.status = 404;
    site->SetFault("/biz/fundamental/" + code + ".html", fault);
    (void)Run();
    std::vector<std::string> expected = siteLines;
    expected[victim] = WithMarket(siteLines[victim], "X");
    EXPECT_EQ(ReadFileBytes("fetchlist.csv"), Join(expected));
}

TEST_F(FetchListSiteTest, KeptPagesMakeTheSameListWithTheSiteGone) {
    Start(120);
    view.listOptions.keepHtml = true;
    (void)Run();
    ASSERT_EQ(ReadFileBytes("fetchlist.csv"), siteList);
    EXPECT_TRUE(fs::exists(KeptProfilePath(std::stoi(Field(siteLines[3], 1)))));
    EXPECT_FALSE(fs::exists(kSharedProfilePath));

    site->Stop();
    fs::remove("fetchlist.csv");
    view.listOptions = JobOptions{};
    view.listOptions.useKeptHtml = true;
    const JobOutcome r = Run();
    EXPECT_FALSE(r.Stopped());
    EXPECT_EQ(ReadFileBytes("fetchlist.csv"), siteList);
}

TEST_F(FetchListSiteTest, AddedOnlyListsTheStocksMissingFromTheLoadedList) {
    Start(120);
    // The loaded list lacks three stocks, one from each listing page.
    const std::vector<size_t> missing = {10, 60, 110};
    std::vector<std::string> loaded;
    std::vector<std::string> added;
    for (size_t i = 0; i < siteLines.size(); ++i) {
        if (std::find(missing.begin(), missing.end(), i) != missing.end()) {
            added.push_back(siteLines[i]);
        } else {
            loaded.push_back(siteLines[i]);
        }
    }
    WriteFileBytes("fetchlist.csv", Join(loaded));
    ASSERT_EQ(stocks.Load(markets, site->Url().c_str()), 0);
    SetTodayForTesting(LocalDate{2026, 12, 4});
    view.listOptions.addedOnly = true;
    const JobOutcome r = Run();
    SetTodayForTesting(std::nullopt);
    EXPECT_EQ(r.Written(), (std::vector<std::string>{AbsolutePath("addlist-261204.csv")}));
    EXPECT_EQ(ReadFileBytes("addlist-261204.csv"), Join(added));
    EXPECT_EQ(ReadFileBytes("fetchlist.csv"), Join(loaded));
    EXPECT_FALSE(fs::exists("fetchlist.bak"));
    // Only the added stocks' profiles were asked for.
    EXPECT_EQ(test::CountRequests(*site, "/biz/fundamental/"), 3);
}

}  // namespace
}  // namespace tickora
