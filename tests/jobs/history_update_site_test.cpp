// SPDX-License-Identifier: GPL-3.0-or-later
// Histories brought up to date against the simulated site: the files of a full fetch, updated
// from page 0 of the site some days later and proven on the page of their oldest day, are the
// bytes a full fetch writes on that day; after a split, and for a file that is cut, corrupt,
// short of its newest days or of its oldest, the stock goes to a full fetch.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <tuple>

#include "catalog/clock.h"
#include "pages/history_page.h"
#include "pages/history_update.h"
#include "site/market_model.h"
#include "site/site_server.h"
#include "tests/support/kdt_job_fixture.h"
#include "tests/support/kdt_test_pages.h"
#include "tests/support/site_fixture.h"

namespace tickora {
namespace {

namespace fs = std::filesystem;
using Outcome = HistoryUpdateOutcome;

constexpr int kStocks = 80;
constexpr site::SiteDate kMonday{2026, 3, 9};
constexpr site::SiteDate kThursday{2026, 3, 12};

// Young stocks keep their first day whatever the site's date.
site::SiteOptions SiteAt(site::SiteDate date, bool splitThatDay = false) {
    return test::DatedSite(kStocks, 11, date, kMonday, splitThatDay);
}

struct Updated {
    Outcome outcome = Outcome::kNoFileDays;
    std::string bytes;  // the file written from the days, when updated
};

class HistoryUpdateSite : public test::KdtJobTest {
  protected:
    void TearDown() override {
        SetTodayForTesting(std::nullopt);
        test::KdtJobTest::TearDown();
    }

    void UseSite(site::SiteServer& server, const site::SiteOptions& options) {
        ASSERT_TRUE(server.Start());
        m_access.Site(server.Url());
        SetTodayForTesting(LocalDate{options.year, options.month, options.day});
        if (m_stocks.m_nBlocks == 0) {
            LoadList(server.FetchListCsv());
        }
    }

    // The all-stocks job against the site on its date: each stock's file, by code.
    std::map<int, std::string> FullFetch(const site::SiteOptions& options, int days) {
        site::SiteServer server(options);
        UseSite(server, options);
        fs::remove_all("DATA");
        m_view.codeOptions = {0, static_cast<unsigned>(days), true};
        RunJob();
        std::map<int, std::string> files;
        ForEachStock([&](const CStockRecord& stock) {
            const std::string path = KdtFileName(stock.m_nCode, true);
            if (fs::exists(path)) {
                files[stock.m_nCode] = test::ReadFileBytes(path);
            }
        });
        return files;
    }

    // Each file brought up to date from page 0 of the site on its date, as the job reads it.
    std::map<int, Updated> UpdateAll(const site::SiteOptions& options,
                                     const std::map<int, std::string>& files, int days) {
        site::SiteServer server(options);
        UseSite(server, options);
        std::map<int, Updated> updated;
        ForEachStock([&](const CStockRecord& stock) {
            const auto file = files.find(stock.m_nCode);
            if (file != files.end()) {
                updated[stock.m_nCode] = Update(stock, file->second, days);
            }
        });
        m_requests = static_cast<int>(server.Requests().size());
        return updated;
    }

    Updated Update(const CStockRecord& stock, const std::string& fileBytes, int days) const {
        const SiteAccess access = m_access;
        test::WriteFileBytes("old.KDT", fileBytes);
        std::vector<CKdtDay> fileDays;
        if (ReadKdtFile("old.KDT", fileDays) != KdtRead::kOk) {
            return {};
        }
        CKdtPage page(stock.m_szSymbol, 0, access.hosts.table);
        std::remove(page.m_szPagePath);
        EXPECT_EQ(test::DownloadAlone(access, page.m_szUrl, page.m_szPagePath), 0);
        (void)ParseHistoryPage(page.m_szPagePath, page);
        HistoryUpdate update = UpdateHistoryFromFirstPage(fileDays, page.m_aDays, days);
        if (update.outcome == Outcome::kToProve) {
            bool agrees = true;
            for (const int j : update.proofPages) {
                CKdtPage proof(stock.m_szSymbol, j, access.hosts.table);
                std::remove(proof.m_szPagePath);
                EXPECT_EQ(test::DownloadAlone(access, proof.m_szUrl, proof.m_szPagePath), 0);
                (void)ParseHistoryPage(proof.m_szPagePath, proof);
                agrees = agrees && ProofPageAgrees(update, j, proof.m_aDays);
            }
            update.outcome = agrees ? Outcome::kUpdated : Outcome::kOlderRewritten;
        }
        Updated result{update.outcome, {}};
        if (update.outcome == Outcome::kUpdated) {
            EXPECT_TRUE(WriteKdtDays(stock.m_nCode, false, update.days));
            result.bytes = test::ReadFileBytes(KdtFileName(stock.m_nCode, false));
        }
        return result;
    }

    template <typename Visit>
    void ForEachStock(Visit&& visit) const {
        for (int b = 0; b < m_stocks.m_nBlocks; ++b) {
            const CQuoteBlock* block = m_stocks.GetBlock(b);
            for (int i = 0; i < block->m_nStocks; ++i) {
                visit(block->m_aStocks[i]);
            }
        }
    }

    int m_requests = 0;
};

TEST_F(HistoryUpdateSite, AHistoryThatOnlyGrewIsTheFullFetchAtTwoRequestsAStock) {
    struct Case {
        int days;
        site::SiteDate then, now;
    } cases[] = {
        {200, kMonday, kThursday},
        {200, kMonday, kMonday},  // nothing new: the file as it is
        {210, kMonday, kThursday},
        {10, kMonday, {2026, 3, 10}},
    };
    // A full fetch depends on the site's date and the days alone: rows that ask for the same one
    // share its run.
    std::map<std::tuple<int, int, int, int>, std::map<int, std::string>> fetched;
    auto fullFetch = [&](site::SiteDate date, int days) -> const std::map<int, std::string>& {
        const auto key = std::make_tuple(date.year, date.month, date.day, days);
        auto it = fetched.find(key);
        if (it == fetched.end()) {
            it = fetched.emplace(key, FullFetch(SiteAt(date), days)).first;
        }
        return it->second;
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.days);
        const auto& before = fullFetch(c.then, c.days);
        const auto& after = fullFetch(c.now, c.days);
        int stocks = 0;
        ForEachStock([&](const CStockRecord&) { ++stocks; });
        ASSERT_EQ(after.size(), static_cast<std::size_t>(stocks));
        const auto updated = UpdateAll(SiteAt(c.now), before, c.days);
        // Page 0 and the page of the oldest day; a third for a young history that now ends at a
        // page boundary, to see that it ends there.
        int atBoundary = 0;
        for (const auto& [code, bytes] : after) {
            const std::size_t days = bytes.size() / kKdtRecordSize;
            atBoundary += days % 50 == 0 && days < 50u * ((c.days + 49) / 50) ? 1 : 0;
        }
        EXPECT_LE(m_requests, (c.days > 50 ? 2 : 1) * stocks + atBoundary);
        int young = 0;
        for (const auto& [code, bytes] : after) {
            ASSERT_EQ(updated.at(code).outcome, Outcome::kUpdated) << code;
            EXPECT_TRUE(updated.at(code).bytes == bytes) << code;
            young += bytes.size() < 50u * kKdtRecordSize * ((c.days + 49) / 50) ? 1 : 0;
        }
        if (c.days >= 200) {
            EXPECT_GT(young, 0) << "no stock whose whole history is shorter than the request";
        }
    }
}

TEST_F(HistoryUpdateSite, ASplitSinceTheFileSendsEveryStockToAFullFetch) {
    const auto before = FullFetch(SiteAt(kMonday), 200);
    const auto split = FullFetch(SiteAt(kThursday, true), 200);
    for (const auto& [code, outcome] : UpdateAll(SiteAt(kThursday, true), before, 200)) {
        EXPECT_EQ(outcome.outcome, Outcome::kDayDiffers) << code;
        // The full fetch indeed writes other older days than the file holds.
        EXPECT_NE(split.at(code).substr(0, 26), before.at(code).substr(0, 26)) << code;
    }
}

// Stored on 27 November, brought up to date on 4 December from a site that shows a split of
// 1 August: page 0 (back to late September) holds no rewritten day, the page of the oldest day
// does. Every file either is the full fetch of 4 December or is fetched in full.
TEST_F(HistoryUpdateSite, ASplitOlderThanPageZeroIsNeverTakenForUpToDate) {
    const site::SiteDate stored{2026, 11, 27};
    site::SiteOptions now = SiteAt({2026, 12, 4});
    now.splitYear = 2026;
    now.splitMonth = 8;
    now.splitDay = 1;
    const auto before = FullFetch(SiteAt(stored), 200);
    const auto after = FullFetch(now, 200);
    int rewritten = 0;
    for (const auto& [code, updated] : UpdateAll(now, before, 200)) {
        if (updated.outcome == Outcome::kUpdated) {
            EXPECT_TRUE(updated.bytes == after.at(code)) << code << " differs from a full fetch";
        } else {
            EXPECT_EQ(updated.outcome, Outcome::kOlderRewritten) << code;
            ++rewritten;
        }
    }
    EXPECT_GT(rewritten, 0) << "no history reached back to the split";
}

TEST_F(HistoryUpdateSite, AFileCutCorruptOrShortOfItsNewestDaysIsFetchedInFull) {
    const auto before = FullFetch(SiteAt(kMonday), 200);
    const CStockRecord& stock = m_stocks.GetBlock(0)->m_aStocks[5];
    const std::string good = before.at(stock.m_nCode);
    ASSERT_EQ(good.size(), 200u * kKdtRecordSize);
    std::string changedClose = good;
    changedClose[good.size() - 2 * kKdtRecordSize + 12] ^= 1;
    const struct {
        const char* name;
        std::string bytes;
        Outcome expected;
    } cases[] = {
        {"as fetched", good, Outcome::kUpdated},
        {"cut inside a record", good.substr(0, good.size() - 7), Outcome::kNoFileDays},
        {"without its newest sixty days", good.substr(0, good.size() - 60 * kKdtRecordSize),
         Outcome::kGap},
        // 120 days from elsewhere: page 0 agrees, the table goes on where the file ends.
        {"without its oldest eighty days", good.substr(80 * kKdtRecordSize),
         Outcome::kOlderRewritten},
        {"one older day missing", good.substr(0, 10 * kKdtRecordSize) +
                                      good.substr(11 * kKdtRecordSize),
         Outcome::kOlderRewritten},
        {"a close changed", changedClose, Outcome::kDayDiffers},
    };
    site::SiteServer server(SiteAt(kThursday));
    UseSite(server, SiteAt(kThursday));
    for (const auto& c : cases) {
        EXPECT_EQ(Update(stock, c.bytes, 200).outcome, c.expected) << c.name;
    }
}

}  // namespace
}  // namespace tickora
