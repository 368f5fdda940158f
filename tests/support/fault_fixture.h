// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the fault tests share: the simulated site (and a second one whose prices differ, to make
// stale pages from), a working folder loaded the way start-up loads it, the files a job must
// never damage planted beforehand, and a job run that may not hang.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "catalog/clock.h"
#include "files/work_folder.h"
#include "formats/dictionary.h"
#include "formats/kdt_file.h"
#include "jobs/tickora_doc.h"
#include "site/market_model.h"
#include "site/site_server.h"
#include "tests/support/fake_view.h"
#include "tests/support/kdt_days.h"
#include "tests/support/site_access_for_test.h"
#include "tests/support/site_fixture.h"
#include "tests/support/site_options.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wait_for.h"
#include "web/download.h"

namespace tickora::test {

// 110 stocks and the three index rows: three quote blocks (50, 50, 13) and three listing pages,
// so a fault on the middle one has a page before it and a page after it.
inline constexpr int kFaultSiteStocks = 110;
inline constexpr std::uint64_t kFaultSiteSeed = 7;
// Same stocks, other prices and figures: its pages are what an earlier day left behind.
inline constexpr std::uint64_t kStaleSiteSeed = 99;
inline constexpr int kSiteYear = kSiteFriday.year;
inline constexpr int kSiteMonth = kSiteFriday.month;
inline constexpr int kSiteDay = kSiteFriday.day;
// No job may take longer than this against a loopback site, whatever the fault.
inline constexpr std::chrono::seconds kJobBound{60};

// The five jobs of the matrix, named as the command line names them.
enum class Job { kFetch, kFetchList, kKdt, kProfiles, kPerformance };

inline const char* JobName(Job job) {
    switch (job) {
        case Job::kFetch:
            return "fetch";
        case Job::kFetchList:
            return "fetchlist";
        case Job::kKdt:
            return "kdt";
        case Job::kProfiles:
            return "profiles";
        case Job::kPerformance:
            return "performance";
    }
    return "?";
}

inline site::SiteOptions FaultSiteOptions(std::uint64_t seed) {
    return LoopbackSite(kFaultSiteStocks, seed);
}

// A KDT record of one day with one price, packed as the writer packs it.
inline std::string KdtRecordBytes(int year, int month, int day, int price, int volume) {
    return Packed(Day(year, month, day, price, price, price, price, volume));
}

class FaultSiteTest : public ::testing::Test {
  protected:
    // Files planted before every job that no job may damage (except the one that owns them).
    static constexpr const char* kOldDaily = "out/DS261130.DAT";
    static constexpr const char* kOldFigures = "out/FN261130.DAT";
    static constexpr const char* kErrorLog = "ERRORLOG.TXT";

    void SetUp() override {
        SetTodayForTesting(LocalDate{kSiteYear, kSiteMonth, kSiteDay});
        ASSERT_TRUE(server.Start());
        ASSERT_TRUE(staleServer.Start());
        access.Site(server.Url());
        doc.SetSiteAccess(access);

        WriteSiteMarkets();
        ASSERT_EQ(markets.Load("market.csv"), 1);
        siteList = server.FetchListCsv();
        WriteFileBytes("fetchlist.csv", siteList);
        ASSERT_EQ(list.Load(markets, server.Url().c_str()), 0);
        ASSERT_EQ(list.m_nBlocks, 3);
        truth = SiteTruth(server);
        ASSERT_EQ(truth.size(), static_cast<size_t>(kFaultSiteStocks + 3));
        for (const auto& row : truth) {
            truthByCode[std::stoi(row.at("code"))] = row;
        }

        CreateWorkFolder();
        std::filesystem::create_directory("out");
        std::snprintf(settings.m_szOutputDir, sizeof settings.m_szOutputDir, "out");
        settings.m_nOutputFormat = 3;
        PlantProtectedFiles();
        doc.SetView(&view);
    }

    // Starts job on the document as its command does.
    bool Start(Job job) {
        switch (job) {
            case Job::kFetch:
                return doc.OnFetch();
            case Job::kFetchList:
                return doc.OnMakeFetchList();
            case Job::kKdt:
                return doc.OnMakeKdt();
            case Job::kProfiles:
                return doc.OnGetProfiles();
            case Job::kPerformance:
                return doc.OnGetPerformance();
        }
        return false;
    }

    void TearDown() override {
        if (doc.IsJobRunning()) {
            doc.CancelJob();
            server.Stop();
            doc.WaitForJob();
        }
        SetTodayForTesting(std::nullopt);
    }

    // The files of every kind a job writes, each in a state no job of this test should leave it
    // in by accident: an older list backup, a dictionary made from the list, history files of
    // other stocks, an older day's quote and figures files, an error log from an earlier run.
    void PlantProtectedFiles() {
        WriteFileBytes("fetchlist.bak", "1301,1301,T,OLDER\r\n");
        ASSERT_EQ(CreateDictionaryIfMissing(list), 0);
        WriteFileBytes(KdtFileName(9990, false), KdtRecordBytes(2026, 11, 27, 500, 10) +
                                                     KdtRecordBytes(2026, 11, 30, 510, 20));
        std::filesystem::create_directories("DATA/1000");
        WriteFileBytes(KdtFileName(1301, true), KdtRecordBytes(2026, 11, 30, 700, 30));
        WriteFileBytes(kOldDaily, "261130\r\n1,0\r\n1301,1,OLD,1,1,1,1,1\r\n");
        WriteFileBytes(kOldFigures, "261130\r\n1\r\n1301,0,OLD,1.00,0.00,0.00,0.00,0.00\r\n");
        WriteFileBytes(kErrorLog, "page=9 code=1 name=old\r\n");
        m_protected.clear();
        for (const char* path : {"fetchlist.csv", "fetchlist.bak", kDictionaryPath, kOldDaily,
                                 kOldFigures, kErrorLog}) {
            m_protected[path] = ReadFileBytes(path);
        }
        for (const std::string& path : {KdtFileName(9990, false), KdtFileName(1301, true)}) {
            m_protected[path] = ReadFileBytes(path);
        }
    }

    // Every planted file is as it was, except those named in owned (whose owner job checks them
    // itself). The error log may only have grown.
    void ExpectProtectedFilesKept(const std::vector<std::string>& owned) const {
        for (const auto& [path, bytes] : m_protected) {
            if (std::find(owned.begin(), owned.end(), path) != owned.end()) {
                continue;
            }
            ASSERT_TRUE(std::filesystem::exists(path)) << path << " is gone";
            const std::string now = ReadFileBytes(path);
            if (path == kErrorLog) {
                EXPECT_EQ(now.substr(0, bytes.size()), bytes) << "the error log was rewritten";
            } else {
                EXPECT_TRUE(now == bytes) << path << " changed (" << bytes.size()
                                          << " bytes before, " << now.size() << " after)";
            }
        }
    }

    // Starts a job with start and waits for its end, at most kJobBound.
    bool RunBounded(const std::function<bool()>& start) {
        if (!start()) {
            ADD_FAILURE() << "the job did not start";
            return false;
        }
        return EndsWithinBound(doc);
    }
    // Waits for the end of the job the document runs, at most kJobBound. A job that outlives the
    // bound fails the test, and is then cancelled with the site stopped so that the test ends.
    bool EndsWithinBound(CTickoraDoc& job) {
        if (!WaitFor([&] { return !job.IsJobRunning(); }, kJobBound)) {
            ADD_FAILURE() << "the job still ran after " << kJobBound.count() << " s";
            job.CancelJob();
            server.Stop();
            job.WaitForJob();
            return false;
        }
        job.WaitForJob();
        return true;
    }

    // The form is back to idle and the document free for the next job.
    void ExpectIdle() const {
        const std::vector<std::string> calls = view.Calls();
        ASSERT_FALSE(calls.empty());
        EXPECT_EQ(calls.back(), "idle");
        EXPECT_FALSE(doc.m_bBusy.load());
        EXPECT_FALSE(doc.IsJobRunning());
    }

    // The site's stocks with the longest histories (at least 400 days), in listing order.
    [[nodiscard]] std::vector<const site::Stock*> LongHistoryStocks() const {
        std::vector<const site::Stock*> stocks;
        for (const site::Stock& s : model.Listing()) {
            if (!s.isIndex && model.HistoryLength(s, nullptr) >= 400) {
                stocks.push_back(&s);
            }
        }
        return stocks;
    }
    [[nodiscard]] const site::Stock& LongHistoryStock() const {
        const std::vector<const site::Stock*> stocks = LongHistoryStocks();
        if (stocks.empty()) {
            ADD_FAILURE() << "the site has no stock with a long history";
            return model.Listing().front();
        }
        return *stocks.front();
    }

    // The path and query of a URL on one of the site's hosts.
    [[nodiscard]] std::string TargetOf(const std::string& url) const {
        return url.substr(server.Url().size());
    }

    [[nodiscard]] const std::map<std::string, std::string>& TruthOf(int code) const {
        return truthByCode.at(code);
    }

    test::ScopedWorkDir dir;
    site::SiteServer server{FaultSiteOptions(kFaultSiteSeed)};
    site::SiteServer staleServer{FaultSiteOptions(kStaleSiteSeed)};
    // What the site serves, for the expected history records.
    site::MarketModel model{kFaultSiteStocks, kFaultSiteSeed,
                            site::SiteDate{kSiteYear, kSiteMonth, kSiteDay}};
    std::string siteList;
    std::vector<std::map<std::string, std::string>> truth;  // listing order
    std::map<int, std::map<std::string, std::string>> truthByCode;
    CAppSettings settings;
    CMarketTable markets;
    CStockList list;
    FaultView view;
    CTickoraDoc doc{settings, markets, list};
    // How doc reaches server: a stalled page must fail in seconds, not in the production minute;
    // but not so soon that a 10 MB page served by a sanitizer build on a busy machine counts as
    // stalled.
    AccessForTest access =
        AccessForTest().Timeouts(std::chrono::seconds(5), std::chrono::seconds(3));

  private:
    std::map<std::string, std::string> m_protected;
};

}  // namespace tickora::test
