// SPDX-License-Identifier: GPL-3.0-or-later
// The company-profile job against the simulated site: the dictionary equals the site's truth,
// kept pages rebuild it offline, each fault of a profile page gives the record its rules say and
// never the previous stock's page, added-only, and Cancel.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "formats/dictionary.h"
#include "jobs/tickora_doc.h"
#include "pages/profile_page.h"
#include "tests/support/dictionary_reader.h"
#include "tests/support/doc_job_fixture.h"
#include "tests/support/fake_view.h"
#include "tests/support/site_fixture.h"

namespace tickora {
namespace {

namespace fs = std::filesystem;
using test::ReadFileBytes;
using test::Record;
using test::RecordOf;
using test::WriteFileBytes;
using Truth = std::map<std::string, std::string>;

constexpr int kStocks = 30;  // with the three special rows: 33 stocks in one block

class ProfilesSiteTest : public test::DocJobTest {
  protected:
    ProfilesSiteTest() : DocJobTest(test::WriteSiteMarkets, test::StartProfiles) {}
    void SetUp() override {
        DocJobTest::SetUp();
        site = test::StartSite(kStocks);
        ASSERT_NE(site, nullptr);
        doc.SetSiteAccess(test::AccessTo(*site));
        WriteFileBytes("fetchlist.csv", site->FetchListCsv());
        ASSERT_EQ(stocks.Load(markets, site->Url().c_str()), 0);
        truth = test::SiteTruth(*site);
        ASSERT_EQ(truth.size(), static_cast<size_t>(kStocks + 3));
    }
    // The record a stock's truth gives: created from the fetch list, then filled from its
    // profile page when it has one.
    static void ExpectRecordFromTruth(const std::string& dictionary, const Truth& t) {
        const int code = std::stoi(t.at("code"));
        const Record r = RecordOf(dictionary, code);
        SCOPED_TRACE("code " + t.at("code"));
        EXPECT_EQ(r.code, code);
        EXPECT_EQ(r.symbol, t.at("symbol"));
        EXPECT_EQ(r.name, t.at("list_name"));
        const bool hasPage = !t.at("profile_market").empty();
        EXPECT_EQ(r.market, hasPage ? std::stoi(t.at("market_number")) : 0);
        EXPECT_EQ(r.industry, hasPage ? std::stoi(t.at("industry")) : 0);
        EXPECT_EQ(r.sjisFeature, hasPage ? Utf8ToSjis(t.at("feature")).substr(0, 254) : "");
        EXPECT_EQ(r.sjisBusiness, hasPage ? Utf8ToSjis(t.at("business")).substr(0, 254) : "");
    }
    // A stock with a profile page whose predecessor in the list also has one: what a stale shared
    // file would hand it is another stock's texts.
    const Truth& Victim() const {
        for (size_t i = 1; i < truth.size(); ++i) {
            if (!truth[i]["profile_market"].empty() && !truth[i - 1]["profile_market"].empty() &&
                std::stoi(truth[i]["code"]) > std::stoi(truth[i - 1]["code"])) {
                return truth[i];
            }
        }
        ADD_FAILURE() << "no stock follows another with a page";
        return truth[0];
    }

    std::unique_ptr<site::SiteServer> site;
    mutable std::vector<Truth> truth;
};

TEST_F(ProfilesSiteTest, TheDictionaryHoldsWhatTheProfilePagesSay) {
    const JobOutcome r = Run();
    const std::string dictionary = ReadFileBytes(kDictionaryPath);
    ASSERT_EQ(dictionary.size(), 10240000u);
    for (const Truth& t : truth) {
        ExpectRecordFromTruth(dictionary, t);
    }
    EXPECT_EQ(r.itemsDone, kStocks + 3);
    EXPECT_EQ(test::CountRequests(*site, "/biz/fundamental/"), kStocks + 3);
    EXPECT_EQ(view.Calls("counts ").back(), "counts " + std::to_string(kStocks + 3) + " 0");
    EXPECT_EQ(view.Count("step"), 1);
    EXPECT_FALSE(fs::exists(kSharedProfilePath));
    EXPECT_FALSE(fs::exists("Webtemp/fundamental"));
    EXPECT_EQ(view.Protocol().back(), "idle");
}

TEST_F(ProfilesSiteTest, KeptPagesRebuildTheSameDictionaryWithTheSiteGone) {
    view.profileOptions.keepHtml = true;
    (void)Run();
    const std::string online = ReadFileBytes(kDictionaryPath);
    EXPECT_TRUE(fs::exists(KeptProfilePath(std::stoi(Victim().at("code")))));
    EXPECT_FALSE(fs::exists(kSharedProfilePath));

    site->Stop();
    fs::remove(kDictionaryPath);
    view.profileOptions = JobOptions{};
    view.profileOptions.useKeptHtml = true;
    (void)Run();
    EXPECT_TRUE(ReadFileBytes(kDictionaryPath) == online);
    EXPECT_TRUE(fs::exists(KeptProfilePath(std::stoi(Victim().at("code")))));
}

struct FaultCase {
    const char* name;
    site::FaultKind kind;
    int status;
};

class ProfilesSiteFaultTest : public ProfilesSiteTest,
                              public ::testing::WithParamInterface<FaultCase> {};

TEST_P(ProfilesSiteFaultTest, AFaultyPageNeverGivesTheStockAnotherStocksTexts) {
    const FaultCase& c = GetParam();
    const Truth& victim = Victim();
    site::Fault fault;
    fault.kind = c.kind;
    fault.status = c.status;
    fault.bytes = 3000;
    fault.stall = std::chrono::seconds(4);
    site->SetFault("/biz/fundamental/" + victim.at("code") + ".html", fault);
    const JobOutcome r = Run();
    EXPECT_EQ(r.itemsDone, kStocks + 3);  // the job goes on with the next stock

    const std::string dictionary = ReadFileBytes(kDictionaryPath);
    for (const Truth& t : truth) {
        if (&t != &victim) {
            ExpectRecordFromTruth(dictionary, t);
        }
    }
    const Record v = RecordOf(dictionary, std::stoi(victim.at("code")));
    EXPECT_EQ(v.feature, "");
    EXPECT_EQ(v.business, "");
    EXPECT_EQ(v.industry, 0);
    // No faulty answer rewrites the record, not even an empty or garbled page that came with
    // status 200: it keeps the zero of its creation.
    EXPECT_EQ(v.market, 0);
    EXPECT_EQ(v.name, victim.at("list_name"));
}

INSTANTIATE_TEST_SUITE_P(Faults, ProfilesSiteFaultTest,
                         ::testing::Values(FaultCase{"NotFound", site::FaultKind::kStatus, 404},
                                           FaultCase{"ServerError", site::FaultKind::kStatus, 500},
                                           FaultCase{"Cut", site::FaultKind::kCut, 200},
                                           FaultCase{"Stall", site::FaultKind::kStall, 200},
                                           FaultCase{"Empty", site::FaultKind::kEmpty, 200},
                                           FaultCase{"Garbage", site::FaultKind::kGarbage, 200}),
                         [](const ::testing::TestParamInfo<FaultCase>& info) {
                             return info.param.name;
                         });

TEST_F(ProfilesSiteTest, AddedOnlyFetchesTheStocksTheDictionaryLacks) {
    // The dictionary was made when the list lacked two stocks.
    const Truth& first = truth[5];
    const Truth& second = truth[20];
    std::string older;
    for (const std::string& line : test::Lines(site->FetchListCsv())) {
        const std::string code = line.substr(line.find(',') + 1, 4);
        if (code != first.at("code") && code != second.at("code")) {
            older += line + "\r\n";
        }
    }
    WriteFileBytes("older.csv", older);
    {
        CStockList olderList;
        ASSERT_EQ(olderList.Load(markets, site->Url().c_str(), "older.csv"), 0);
        ASSERT_EQ(CreateDictionaryIfMissing(olderList), 0);
    }
    view.profileOptions.addedOnly = true;
    const JobOutcome r = Run();
    EXPECT_EQ(r.itemsDone, 2);
    EXPECT_EQ(test::CountRequests(*site, "/biz/fundamental/"), 2);
    EXPECT_EQ(test::CountRequests(*site, "/biz/fundamental/" + first.at("code")), 1);
    const std::string dictionary = ReadFileBytes(kDictionaryPath);
    for (const Truth* t : {&first, &second}) {
        const Record rec = RecordOf(dictionary, std::stoi(t->at("code")));
        EXPECT_EQ(rec.market, std::stoi(t->at("market_number")));
        EXPECT_EQ(rec.sjisFeature, Utf8ToSjis(t->at("feature")).substr(0, 254));
        EXPECT_EQ(rec.name, "");  // not in the list the dictionary was made from
    }
    EXPECT_EQ(RecordOf(dictionary, std::stoi(truth[10].at("code"))).feature, "");
}

TEST_F(ProfilesSiteTest, CancelEndsTheJobAfterTheStockInHand) {
    view.onCounts = [this](int first, int) {
        if (first == 5) {
            doc.CancelJob();
        }
    };
    const JobOutcome r = Run();
    EXPECT_TRUE(r.Cancelled());
    EXPECT_EQ(r.itemsDone, 5);
    EXPECT_EQ(test::CountRequests(*site, "/biz/fundamental/"), 5);
    EXPECT_FALSE(fs::exists(kSharedProfilePath));
    const std::vector<std::string> events = view.Protocol();
    EXPECT_EQ(std::vector<std::string>(events.end() - 2, events.end()),
              (std::vector<std::string>{"pos 0", "idle"}));
}

}  // namespace
}  // namespace tickora
