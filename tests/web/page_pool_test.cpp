// SPDX-License-Identifier: GPL-3.0-or-later
// The page pool against the simulated site at a distance: with any number of connections a job
// that submits ahead and waits in order finds the same bytes under the same work files as with
// one, a fault stays with its page, Cancel keeps the pages not yet started from the site, and no
// temporary file outlives the pool.
#include "web/page_pool.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <deque>
#include <filesystem>
#include <set>

#include "site/market_model.h"
#include "site/site_server.h"
#include "tests/support/site_access_for_test.h"
#include "tests/support/site_options.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wait_for.h"

namespace tickora {
namespace {

using namespace std::chrono_literals;
using site::Fault;
using site::FaultKind;
using tickora::test::ReadFileBytes;
using tickora::test::WriteFileBytes;

constexpr int kStocks = 120;
constexpr const char* kEarlierPage = "the page an earlier download left";

struct Item {
    std::string target;
    std::string path;
};

// What the job found in its work file after waiting for one page.
struct Found {
    int result = 0;
    PageFailure failure = PageFailure::kNone;
    std::string bytes;
    std::string cause;  // not compared: libcurl words some failures with times in them

    bool operator==(const Found& other) const {
        return result == other.result && failure == other.failure && bytes == other.bytes;
    }
};

class PagePoolTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        site::SiteOptions options = test::LoopbackSite(kStocks);
        options.latency = 20ms;
        s_site = new site::SiteServer(options);
        ASSERT_TRUE(s_site->Start());
    }
    static void TearDownTestSuite() { delete s_site; }

    void SetUp() override {
        std::filesystem::create_directory("Webtemp");
        s_site->ClearFaults();
        s_site->ClearRequests();
    }
    void TearDown() override { s_site->ClearFaults(); }

    // History pages of consecutive stocks, under the four work names every stock reuses.
    static std::vector<Item> HistoryPages(int count) {
        const site::MarketModel model(kStocks, 1, {2026, 12, 4});
        std::vector<Item> items;
        for (int i = 0; static_cast<int>(items.size()) < count; ++i) {
            const std::string& symbol = model.Listing()[2 + static_cast<std::size_t>(i / 4)].symbol;
            char path[64];
            std::snprintf(path, sizeof path, "Webtemp/kdttemp-%03d.html", i % 4);
            items.push_back({"/t?s=" + symbol + "&a=1&b=1&c=1983&d=12&e=4&f=2026&g=d&q=t&y=" +
                                 std::to_string(50 * (i % 4)) + "&x=.csv",
                             path});
        }
        return items;
    }

    // A job's loop: keep a window of pages submitted, wait for each in order, read what the work
    // file holds. Each work file first holds an earlier page, as it does between two stocks.
    std::vector<Found> RunLikeAJob(int connections, const std::vector<Item>& items,
                                   const std::atomic<bool>* cancel = nullptr,
                                   std::atomic<bool>* setAfterFirst = nullptr) const {
        std::vector<Found> found;
        test::AccessForTest access = m_access;
        Pacer pacer;
        PagePool pool(access.Connections(connections),
                      {pacer, cancel != nullptr ? CancelToken(*cancel) : CancelToken()});
        std::deque<PageTicket> ahead;
        std::size_t next = 0;
        for (const Item& item : items) {
            while (next < items.size() && static_cast<int>(ahead.size()) < pool.Window()) {
                ahead.push_back(pool.Submit(s_site->Url() + items[next].target, items[next].path));
                ++next;
            }
            WriteFileBytes(item.path, kEarlierPage);
            DownloadDetail detail;
            Found f;
            f.result = pool.Wait(ahead.front(), &detail);
            ahead.pop_front();
            f.failure = detail.failure;
            f.cause = detail.cause;
            f.bytes = ReadFileBytes(item.path);
            found.push_back(std::move(f));
            if (setAfterFirst != nullptr) {
                *setAfterFirst = true;
            }
        }
        return found;
    }

    void EndAJobWithPagesInFlight(bool release);

    static std::set<std::string> FilesInWorkFolder() {
        std::set<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator("Webtemp")) {
            names.insert(entry.path().filename().string());
        }
        return names;
    }

    static site::SiteServer* s_site;
    tickora::test::ScopedWorkDir m_dir;
    test::AccessForTest m_access;
};

site::SiteServer* PagePoolTest::s_site = nullptr;

const std::set<std::string> kWorkFiles = {"kdttemp-000.html", "kdttemp-001.html",
                                          "kdttemp-002.html", "kdttemp-003.html"};

TEST_F(PagePoolTest, AnyNumberOfConnectionsGivesTheBytesOfOne) {
    const std::vector<Item> items = HistoryPages(40);
    const std::vector<Found> one = RunLikeAJob(1, items);
    EXPECT_EQ(s_site->PeakConcurrentRequests(), 1);
    for (const Found& f : one) {
        ASSERT_EQ(f.result, 0);
        ASSERT_NE(f.bytes, kEarlierPage);
    }
    for (const int connections : {2, 8, 16}) {
        s_site->ClearRequests();
        EXPECT_TRUE(RunLikeAJob(connections, items) == one) << connections;
        EXPECT_EQ(FilesInWorkFolder(), kWorkFiles) << connections;
        // Never more at once than promised, and more than one when allowed.
        EXPECT_LE(s_site->PeakConcurrentRequests(), connections);
        EXPECT_GE(s_site->PeakConcurrentRequests(), 2);
        EXPECT_EQ(s_site->Requests().size(), items.size());
    }
}

TEST_F(PagePoolTest, AFaultOnOnePageIsThatPagesOutcomeAlone) {
    m_access.Timeouts(2s, 1s);
    const std::vector<Item> items = HistoryPages(16);
    const std::vector<Found> clean = RunLikeAJob(1, items);
    struct Row {
        FaultKind kind;
        int status;
        PageFailure failure;
    };
    const Row rows[] = {
        {FaultKind::kStatus, 500, PageFailure::kHttpStatus},
        {FaultKind::kStatus, 404, PageFailure::kHttpStatus},
        {FaultKind::kCut, 0, PageFailure::kTransport},
        {FaultKind::kStall, 0, PageFailure::kTimeout},
    };
    constexpr std::size_t kBad = 6;
    for (const Row& row : rows) {
        Fault fault;
        fault.kind = row.kind;
        fault.status = row.status;
        fault.stall = 5s;
        s_site->ClearFaults();
        s_site->SetFault(items[kBad].target, fault);
        const std::vector<Found> one = RunLikeAJob(1, items);
        const std::vector<Found> eight = RunLikeAJob(8, items);
        EXPECT_TRUE(eight == one) << static_cast<int>(row.kind);
        EXPECT_EQ(FilesInWorkFolder(), kWorkFiles);
        for (std::size_t i = 0; i < items.size(); ++i) {
            if (i != kBad) {
                EXPECT_EQ(eight[i], clean[i]) << i;
                continue;
            }
            EXPECT_EQ(eight[i].failure, row.failure);
            EXPECT_EQ(eight[i].result, row.failure == PageFailure::kHttpStatus ? 0 : 1);
            if (row.failure == PageFailure::kHttpStatus) {
                EXPECT_EQ(eight[i].bytes, kEarlierPage);  // a refused page stores nothing
            }
        }
    }
}

TEST_F(PagePoolTest, CancelKeepsThePagesNotYetStartedFromTheSite) {
    const std::vector<Item> items = HistoryPages(40);
    std::atomic<bool> cancel{false};
    const std::vector<Found> found = RunLikeAJob(4, items, &cancel, &cancel);
    int started = 0;
    for (std::size_t i = 0; i < found.size(); ++i) {
        if (found[i].cause == "cancelled before the request went out") {
            EXPECT_EQ(found[i].result, 1);
            EXPECT_EQ(found[i].failure, PageFailure::kCancelled);
            EXPECT_EQ(found[i].bytes, kEarlierPage);
            continue;
        }
        ++started;
        EXPECT_LT(i, 12u) << "a page that was not yet started at Cancel went out";
    }
    EXPECT_GE(started, 1);
    // Exactly the pages reported as started reached the site.
    EXPECT_EQ(static_cast<int>(s_site->Requests().size()), started);
    EXPECT_EQ(FilesInWorkFolder(), kWorkFiles);
}

// A job ends with pages done, in flight and stalled: when its pool ends with it, and when it
// releases a pool that goes on for the next job (the day's routine), where the stalled transfer
// must not hold a connection, nor leave its file, while it lasts.
TEST_F(PagePoolTest, SkippedAndAbandonedPagesLeaveNoFile) {
    for (const bool release : {false, true}) {
        SCOPED_TRACE(release ? "released" : "the pool ends");
        s_site->ClearFaults();
        std::filesystem::remove_all("Webtemp");
        std::filesystem::create_directory("Webtemp");
        EndAJobWithPagesInFlight(release);
    }
}

void PagePoolTest::EndAJobWithPagesInFlight(bool release) {
    m_access.Timeouts(2s, 30s);
    const std::vector<Item> items = HistoryPages(12);
    // A byte every half second: its file is there within a second and its end hours away.
    Fault stall;
    stall.kind = FaultKind::kTrickle;
    stall.stall = 500ms;
    s_site->SetFault(items[3].target, stall);  // among the first pages the threads take
    const auto start = std::chrono::steady_clock::now();
    {
        Pacer pacer;
        PagePool pool(m_access.Connections(4), {pacer, CancelToken()});
        std::vector<PageTicket> tickets;
        for (const Item& item : items) {
            tickets.push_back(pool.Submit(s_site->Url() + item.target, item.path));
        }
        // The trickled page is then the only one under its work name.
        for (const std::size_t i : {1u, 2u, 5u, 7u, 11u}) {
            pool.Skip(tickets[i]);
        }
        EXPECT_EQ(pool.Outstanding(), 7);
        EXPECT_EQ(pool.Wait(tickets[0]), 0);
        const std::string first = ReadFileBytes(items[0].path);
        EXPECT_EQ(pool.Wait(tickets[1]), 1);  // skipped: no longer the job's
        EXPECT_EQ(pool.Wait(tickets[4]), 0);  // the next stock's page under the same name
        EXPECT_NE(ReadFileBytes(items[4].path), first);
        EXPECT_EQ(pool.Outstanding(), 5);
        // The job ends here, with pages done, in flight and stalled: all of them dropped.
        // The trickled page is on its way into its temporary file.
        EXPECT_TRUE(test::WaitFor(
            [] {
                const std::set<std::string> files = FilesInWorkFolder();
                return std::any_of(files.begin(), files.end(), [](const std::string& name) {
                    return name.starts_with("kdttemp-003.html.");
                });
            },
            10s));
        if (release) {
            pool.Release();
            EXPECT_EQ(pool.Outstanding(), 0);
            EXPECT_TRUE(test::WaitFor(
                [] { return FilesInWorkFolder() == std::set<std::string>{"kdttemp-000.html"}; },
                10s))
                << "the stalled page's transfer went on after the job";
            // The next job's pages go out on the same pool.
            const PageTicket next = pool.Submit(s_site->Url() + items[6].target, "Webtemp/next.html");
            EXPECT_EQ(pool.Wait(next), 0);
            std::filesystem::remove("Webtemp/next.html");
        }
    }
    // The stalled transfer was aborted, not waited out.
    EXPECT_LT(std::chrono::steady_clock::now() - start, 15s);
    EXPECT_EQ(FilesInWorkFolder(), (std::set<std::string>{"kdttemp-000.html"}));
}

TEST_F(PagePoolTest, PacingSpacesTheRequestsOfAllConnections) {
    m_access.Retry({.retries = 0, .paceMs = 150, .backoffBaseMs = 0});
    const std::vector<Item> items = HistoryPages(6);
    const auto start = std::chrono::steady_clock::now();
    for (const Found& f : RunLikeAJob(6, items)) {
        EXPECT_EQ(f.result, 0);
    }
    EXPECT_GE(std::chrono::steady_clock::now() - start, 5 * 150ms);
    EXPECT_EQ(s_site->PeakConcurrentRequests(), 1);
}

}  // namespace
}  // namespace tickora
