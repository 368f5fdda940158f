// SPDX-License-Identifier: GPL-3.0-or-later
// Faults switched on per path, in process and through the control endpoint, the request log,
// and the command-line program's start and stop.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "tests/support/processes.h"
#include "tests/support/site_test_util.h"
#include "tests/support/wait_for.h"

namespace tickora::site::test {
namespace {

using namespace std::chrono_literals;

class SiteFaults : public ::testing::Test {
  protected:
    void SetUp() override {
        m_server = std::make_unique<SiteServer>(FridaySite());
        ASSERT_TRUE(m_server->Start());
    }

    Fault Make(FaultKind kind, int status = 500, std::size_t bytes = 0) {
        Fault f;
        f.kind = kind;
        f.status = status;
        f.bytes = bytes;
        return f;
    }
    // The page as it arrives with this fault alone switched on.
    Fetched GetWith(const Fault& fault) {
        m_server->ClearFaults();
        m_server->SetFault(m_page, fault);
        return Get(*m_server, m_page);
    }

    std::unique_ptr<SiteServer> m_server;
    const std::string m_page = "/l?s=%2a&m=1";
};

TEST_F(SiteFaults, StatusWithRetryAfterForAGivenNumberOfRequests) {
    Fault f = Make(FaultKind::kStatus, 429);
    f.retryAfterSeconds = 30;
    f.times = 2;
    m_server->SetFault("/l?", f);
    for (int i = 0; i < 2; ++i) {
        const Fetched refused = Get(*m_server, m_page);
        EXPECT_EQ(refused.status, 429);
        EXPECT_EQ(refused.retryAfter, "30");
    }
    const Fetched served = Get(*m_server, m_page);
    EXPECT_EQ(served.status, 200);
    EXPECT_EQ(served.retryAfter, "");
    EXPECT_EQ(RowsOf(served.body, "<tr><td><a href=\"/q?s=").size(), 50u);
}

TEST_F(SiteFaults, LongestMatchingPrefixWinsAndOthersAreUntouched) {
    m_server->SetFault("/q", Make(FaultKind::kStatus, 500));
    m_server->SetFault("/q?s=1301", Make(FaultKind::kStatus, 404));
    EXPECT_EQ(Get(*m_server, "/q?s=1301+1332&d=v2").status, 404);
    EXPECT_EQ(Get(*m_server, "/q?s=1332&d=v2").status, 500);
    EXPECT_EQ(Get(*m_server, m_page).status, 200);
    m_server->ClearFaults();
    EXPECT_EQ(Get(*m_server, "/q?s=1332&d=v2").status, 200);
}

TEST_F(SiteFaults, EmptyGarbageHugeAndNoEndTagBodies) {
    const std::string normal = Get(*m_server, m_page).body;
    ASSERT_GT(normal.size(), 1000u);

    Fetched f = GetWith(Make(FaultKind::kEmpty));
    EXPECT_EQ(f.status, 200);
    EXPECT_TRUE(f.body.empty());

    f = GetWith(Make(FaultKind::kGarbage, 500, 4096));
    EXPECT_EQ(f.status, 200);
    EXPECT_EQ(f.body.size(), 4096u);
    EXPECT_EQ(Get(*m_server, m_page).body, f.body);
    EXPECT_NE(f.body.find('\0'), std::string::npos);

    f = GetWith(Make(FaultKind::kHuge, 500, 200000));
    EXPECT_EQ(f.body.size(), 200000u);
    const auto rows = RowsOf(f.body, "<tr><td><a href=\"/q?s=");
    const auto expected = RowsOf(normal, "<tr><td><a href=\"/q?s=");
    ASSERT_EQ(rows.size(), expected.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i].cells, expected[i].cells);
    }

    f = GetWith(Make(FaultKind::kNoEndTags));
    EXPECT_EQ(f.status, 200);
    EXPECT_EQ(f.body.find("</"), std::string::npos);
    EXPECT_NE(f.body.find("<tr><td><a href=\"/q?s="), std::string::npos);
}

TEST_F(SiteFaults, MaintenanceTruncatedAndNulBodiesArriveWhole) {
    const std::string normal = Get(*m_server, m_page).body;
    Fetched f = GetWith(Make(FaultKind::kMaintenance));
    EXPECT_TRUE(f.ok);
    EXPECT_EQ(f.status, 200);
    EXPECT_EQ(f.body.find("<table"), std::string::npos);
    EXPECT_FALSE(f.body.empty());

    // The site sends half the page with a Content-Length to match: the answer is whole.
    f = GetWith(Make(FaultKind::kTruncated));
    EXPECT_TRUE(f.ok);
    EXPECT_EQ(f.body, normal.substr(0, normal.size() / 2));

    f = GetWith(Make(FaultKind::kNulInside, 500, 100));
    EXPECT_TRUE(f.ok);
    EXPECT_EQ(f.body, normal.substr(0, 100) + '\0' + normal.substr(100));
}

TEST_F(SiteFaults, CutConnectionNeverDeliversAWholeAnswer) {
    m_server->SetFault(m_page, Make(FaultKind::kCut));
    EXPECT_FALSE(Get(*m_server, m_page).ok);
    m_server->ClearFaults();
    EXPECT_TRUE(Get(*m_server, m_page).ok);
}

TEST_F(SiteFaults, StallHoldsTheBodyBackForItsDuration) {
    Fault stall = Make(FaultKind::kStall);
    stall.stall = 3s;
    m_server->SetFault(m_page, stall);
    EXPECT_FALSE(Get(*m_server, m_page, 1).ok);

    stall.stall = 200ms;
    m_server->ClearFaults();
    m_server->SetFault(m_page, stall);
    const Fetched late = Get(*m_server, m_page, 10);
    EXPECT_TRUE(late.ok);
    EXPECT_EQ(late.status, 200);
    m_server->ClearFaults();
    EXPECT_EQ(late.body, Get(*m_server, m_page).body);
}

TEST_F(SiteFaults, StopEndsAStalledRequest) {
    Fault stall = Make(FaultKind::kStall);
    stall.stall = std::chrono::minutes(10);
    m_server->SetFault(m_page, stall);
    Fetched stalled;
    std::thread client([&] { stalled = Get(*m_server, m_page, 600); });
    ASSERT_TRUE(tickora::test::WaitFor([&] { return !m_server->Requests().empty(); }))
        << "the stalled request never arrived";
    const auto before = std::chrono::steady_clock::now();
    m_server->Stop();
    client.join();
    // Far below the ten-minute stall: Stop did not wait it out.
    EXPECT_LT(std::chrono::steady_clock::now() - before, 60s);
    // And it ended the exchange: the page the stall held back never arrived whole.
    EXPECT_FALSE(stalled.ok) << stalled.status << " with " << stalled.body.size() << " bytes";
    ASSERT_EQ(m_server->Requests().size(), 1u);
    EXPECT_EQ(m_server->Requests()[0].target, m_page);
}

TEST_F(SiteFaults, ControlEndpointSetsAndClearsFaults) {
    Fetched set =
        Get(*m_server,
            "/_control/fault?prefix=%2Fq%3Fs%3D1301&kind=status&status=503&retry_after=7&times=1");
    EXPECT_EQ(set.status, 200);
    const Fetched refused = Get(*m_server, "/q?s=1301&d=v2");
    EXPECT_EQ(refused.status, 503);
    EXPECT_EQ(refused.retryAfter, "7");
    EXPECT_EQ(Get(*m_server, "/q?s=1301&d=v2").status, 200);  // used up

    set = Get(*m_server, "/_control/fault?prefix=%2Fl&kind=empty");
    EXPECT_EQ(set.status, 200);
    EXPECT_TRUE(Get(*m_server, m_page).body.empty());
    EXPECT_EQ(Get(*m_server, "/_control/clear").status, 200);
    EXPECT_FALSE(Get(*m_server, m_page).body.empty());

    EXPECT_EQ(Get(*m_server, "/_control/fault?prefix=%2Fl&kind=melt").status, 400);
    EXPECT_EQ(Get(*m_server, "/_control/fault?prefix=%2Fl&kind=status&status=x").status, 400);
    EXPECT_EQ(Get(*m_server, "/_control/fault?kind=status").status, 400);
}

TEST_F(SiteFaults, RequestsAreLoggedAsReceivedWithoutControlTraffic) {
    httplib::Client client("127.0.0.1", m_server->Port());
    client.set_url_encode(false);
    ASSERT_TRUE(client.Get("/q?s=1301+1332.O&d=v2",
                           {{"User-Agent", "probe"}, {"Accept-Encoding", "gzip"}}));
    ASSERT_TRUE(client.Get("/_control/requests"));
    ASSERT_TRUE(client.Get("/l?s=%2a&m=51"));
    const std::vector<ReceivedRequest> requests = m_server->Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].target, "/q?s=1301+1332.O&d=v2");
    EXPECT_EQ(requests[0].userAgent, "probe");
    EXPECT_EQ(requests[0].acceptEncoding, "gzip");
    EXPECT_EQ(requests[1].target, "/l?s=%2a&m=51");
    const Fetched listed = Get(*m_server, "/_control/requests");
    EXPECT_EQ(listed.body, "/q?s=1301+1332.O&d=v2\n/l?s=%2a&m=51\n");
    m_server->ClearRequests();
    EXPECT_TRUE(m_server->Requests().empty());
}

TEST_F(SiteFaults, QuoteSymbolsAreEscapedWhenEchoed) {
    const Fetched f = Get(*m_server, "/q?s=%3Ctd%3E+1301&d=v2");
    EXPECT_EQ(f.body.find("<td>"), std::string::npos);  // no cell opened by the symbol
    const auto rows = RowsOf(f.body);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[1].cells.size(), 10u);
    EXPECT_EQ(rows[1].cells[0], "&lt;td&gt;");
}

TEST_F(SiteFaults, SecondServerOnTheSamePortFailsToStart) {
    SiteOptions options;
    options.port = m_server->Port();
    options.stocks = 10;
    SiteServer second(options);
    EXPECT_FALSE(second.Start());
}

#ifdef TICKORA_SITE_BINARY
TEST(SiteProgram, PrintsItsPortServesAndStopsOnSigterm) {
    tickora::test::SiteProcess site(120, {"--date", "2026-12-04"});
    ASSERT_TRUE(site.Running());

    httplib::Client client("127.0.0.1", site.Port());
    const auto res = client.Get("/l?s=%2a&m=101");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 200);
    // 120 stocks and 3 index rows: the third page holds the last 23 rows, the end row last.
    const auto rows = RowsOf(res->body, "<tr><td><a href=\"/q?s=");
    ASSERT_EQ(rows.size(), 23u);
    EXPECT_EQ(rows.back().cells[0], "998407");

    EXPECT_EQ(site.Stop(), 0);
}

TEST(SiteProgram, WritesTheTruthAndTheFetchListAndRefusesBadArguments) {
    tickora::test::ScopedWorkDir dir;
    const std::string command =
        std::string(TICKORA_SITE_BINARY) +
        " --stocks 50 --date 2026-12-04 --dump-truth truth.csv --write-fetchlist fl.csv";
    ASSERT_EQ(std::system(command.c_str()), 0);
    EXPECT_EQ(Lines(tickora::test::ReadFileBytes("truth.csv")).size(), 54u);
    EXPECT_EQ(Lines(tickora::test::ReadFileBytes("fl.csv")).size(), 53u);
    EXPECT_NE(
        std::system((std::string(TICKORA_SITE_BINARY) + " --date 2026-13-01 2>/dev/null").c_str()),
        0);
    for (const char* bad : {" --port", " --latency -1", " --latency 20ms", " --split 2026-02-30",
                            " --split 1982-12-31"}) {
        EXPECT_NE(std::system((std::string(TICKORA_SITE_BINARY) + bad + " 2>/dev/null").c_str()), 0)
            << bad;
    }
}
#endif

}  // namespace
}  // namespace tickora::site::test
