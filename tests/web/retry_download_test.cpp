// SPDX-License-Identifier: GPL-3.0-or-later
// Retries and pacing of page downloads against the loopback server, which counts what it receives.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

#include "tests/support/loopback_server.h"
#include "tests/support/site_access_for_test.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wait_for.h"
#include "web/download.h"
#include "web/retry.h"
#include "web/transfer_control.h"

namespace tickora {
namespace {

using CountingServer = test::LoopbackServer;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

using test::Answer;
using test::AnswerCutShort;
const std::string& kPage = test::kLoopbackPage;

// Every download of a test is one job's: one Cancel and one pacer for all of them.
class RetryDownloadTest : public ::testing::Test {
  protected:
    void UsePolicy(int retries, int paceMs = 0, int backoffBaseMs = 5) {
        RetryPolicy policy;
        policy.retries = retries;
        policy.paceMs = paceMs;
        policy.backoffBaseMs = backoffBaseMs;
        m_access.Retry(policy);
    }
    [[nodiscard]] int Download(const char* url, const char* path) {
        return DownloadToFile(m_access, {m_pacer, CancelToken(m_cancel)}, url, path);
    }

    test::ScopedWorkDir m_dir;
    const std::string m_path = "page.html";
    test::AccessForTest m_access;
    Pacer m_pacer;
    std::atomic<bool> m_cancel{false};
};

TEST_F(RetryDownloadTest, ServerErrorThenSuccessWritesThePageAfterOneRetry) {
    CountingServer server([](int n, httplib::Response& res) { Answer(res, n == 1 ? 503 : 200); });
    UsePolicy(3);
    EXPECT_EQ(Download(server.Url().c_str(), m_path.c_str()), 0);
    EXPECT_EQ(server.Requests(), 2);
    EXPECT_EQ(test::ReadFileBytes(m_path), kPage);
}

// Each retryable answer is repeated exactly `retries` times, then the caller sees what one
// attempt would have given it: a completed 5xx or 429 is 0 with the old file untouched.
struct PersistentFailure {
    int status;
    int retries;
};

class PersistentFailureTest : public RetryDownloadTest,
                              public ::testing::WithParamInterface<PersistentFailure> {};

TEST_P(PersistentFailureTest, StopsAfterTheCapAndLeavesTheFileAlone) {
    const PersistentFailure c = GetParam();
    CountingServer server([&](int, httplib::Response& res) { Answer(res, c.status); });
    test::WriteFileBytes(m_path, "earlier page");
    UsePolicy(c.retries, 0, 1);
    EXPECT_EQ(Download(server.Url().c_str(), m_path.c_str()), 0);
    EXPECT_EQ(server.Requests(), c.retries + 1);
    EXPECT_EQ(test::ReadFileBytes(m_path), "earlier page");
}

INSTANTIATE_TEST_SUITE_P(Statuses, PersistentFailureTest,
                         ::testing::Values(PersistentFailure{503, 0}, PersistentFailure{500, 2},
                                           PersistentFailure{599, 1}, PersistentFailure{429, 3},
                                           PersistentFailure{502, kMaxRetries}));

TEST_F(RetryDownloadTest, AnswersThatRetryingCannotChangeAreNotRepeated) {
    for (const int status : {404, 403, 400, 204, 499, 600}) {
        SCOPED_TRACE(status);
        CountingServer server([&](int, httplib::Response& res) {
            res.status = status;
            res.set_content("x", "text/html");
        });
        UsePolicy(5);
        std::filesystem::remove(m_path);
        EXPECT_EQ(Download(server.Url().c_str(), m_path.c_str()), 0);
        EXPECT_EQ(server.Requests(), 1);
        EXPECT_FALSE(std::filesystem::exists(m_path));
    }
}

TEST_F(RetryDownloadTest, RetryAfterIsWaitedEvenWhenTheBackoffIsShorter) {
    CountingServer server(
        [](int n, httplib::Response& res) { n == 1 ? Answer(res, 429, "1") : Answer(res, 200); });
    UsePolicy(2, 0, 10);
    const auto start = Clock::now();
    EXPECT_EQ(Download(server.Url().c_str(), m_path.c_str()), 0);
    ASSERT_EQ(server.Requests(), 2);
    const auto starts = server.Starts();
    // Slack for the clock's and the scheduler's granularity; the backoff alone would be 10 ms.
    EXPECT_GE(starts[1] - starts[0], 900ms);
    EXPECT_GE(Clock::now() - start, 900ms);
    EXPECT_EQ(test::ReadFileBytes(m_path), kPage);
}

TEST_F(RetryDownloadTest, TransportErrorIsRetriedAndTheCompletePageReplacesThePartOne) {
    CountingServer server(
        [](int n, httplib::Response& res) { n == 1 ? AnswerCutShort(res) : Answer(res, 200); });
    UsePolicy(1);
    EXPECT_EQ(Download(server.Url().c_str(), m_path.c_str()), 0);
    EXPECT_EQ(server.Requests(), 2);
    EXPECT_EQ(test::ReadFileBytes(m_path), kPage);
}

TEST_F(RetryDownloadTest, TransportErrorOnEveryAttemptStillReturnsOne) {
    CountingServer server([](int, httplib::Response& res) { AnswerCutShort(res); });
    UsePolicy(2);
    EXPECT_EQ(Download(server.Url().c_str(), m_path.c_str()), 1);
    EXPECT_EQ(server.Requests(), 3);
}

// The cut page of the first attempt stays on disk when the retry only gets a 503: reporting the
// 503's 0 would let the caller parse half a page as if it were whole.
TEST_F(RetryDownloadTest, PartPageLeftByAnEarlierAttemptIsReportedAsAFailure) {
    CountingServer server(
        [](int n, httplib::Response& res) { n == 1 ? AnswerCutShort(res) : Answer(res, 503); });
    UsePolicy(1);
    EXPECT_EQ(Download(server.Url().c_str(), m_path.c_str()), 1);
    EXPECT_EQ(server.Requests(), 2);
}

TEST_F(RetryDownloadTest, RefusedConnectionIsRetriedAndReturnsOne) {
    int port = 0;
    {
        CountingServer closed([](int, httplib::Response& res) { Answer(res, 200); });
        port = closed.Port();
    }
    UsePolicy(2, 0, 50);
    const auto start = Clock::now();
    const std::string url = "http://127.0.0.1:" + std::to_string(port) + "/page.html";
    EXPECT_EQ(Download(url.c_str(), m_path.c_str()), 1);
    // Two backoff waits of 50 and 100 ms show that both retries happened.
    EXPECT_GE(Clock::now() - start, 140ms);
    EXPECT_FALSE(std::filesystem::exists(m_path));
}

TEST_F(RetryDownloadTest, StalledAnswerCountsAsATimeOutAndIsRetried) {
    test::Gate stall;  // the first answer is held back past the stall limit
    CountingServer server([&](int n, httplib::Response& res) {
        if (n == 1) {
            (void)stall.WaitOpen(2500ms);
        }
        Answer(res, 200);
    });
    DownloadLimits limits;
    limits.stallTimeout = 1s;
    m_access.Limits(limits);
    UsePolicy(1);
    EXPECT_EQ(Download(server.Url().c_str(), m_path.c_str()), 0);
    stall.Open();
    EXPECT_EQ(server.Requests(), 2);
    EXPECT_EQ(test::ReadFileBytes(m_path), kPage);
}

TEST_F(RetryDownloadTest, LocalFileThatCannotBeCreatedIsNotRetried) {
    CountingServer server([](int, httplib::Response& res) { Answer(res, 200); });
    UsePolicy(3);
    EXPECT_EQ(Download(server.Url().c_str(), "no-such-folder/page.html"), 1);
    EXPECT_EQ(server.Requests(), 1);
}

TEST_F(RetryDownloadTest, CancelDuringABackoffWaitReturnsPromptly) {
    CountingServer server([](int, httplib::Response& res) { Answer(res, 503); });
    UsePolicy(5, 0, 20000);
    // Once the site has the first request, its 503 is on the way or the 20 s backoff has begun:
    // Cancel ends either without a retry.
    std::thread canceller([&] {
        EXPECT_TRUE(test::WaitFor([&] { return server.Requests() == 1; }));
        m_cancel = true;
    });
    const auto start = Clock::now();
    const int result = Download(server.Url().c_str(), m_path.c_str());
    const auto elapsed = Clock::now() - start;
    canceller.join();
    EXPECT_EQ(result, 0);
    EXPECT_EQ(server.Requests(), 1);
    EXPECT_LT(elapsed, 5s);  // against a 20 s backoff
    EXPECT_FALSE(std::filesystem::exists(m_path));
}

TEST_F(RetryDownloadTest, CancelledBeforehandStillMakesTheOneRequestButNoRetry) {
    CountingServer server([](int, httplib::Response& res) { Answer(res, 500); });
    UsePolicy(5, 0, 20000);
    m_cancel = true;
    EXPECT_EQ(Download(server.Url().c_str(), m_path.c_str()), 0);
    EXPECT_EQ(server.Requests(), 1);
}

// Cancel travels with the downloads it is given: another job's download at the same time, on
// another thread, still makes its retry.
TEST_F(RetryDownloadTest, CancelStopsOnlyTheDownloadsItIsGivenTo) {
    CountingServer server;
    server.AddRoute("/mine",
                    [](const httplib::Request&, httplib::Response& res) { Answer(res, 503); });
    std::atomic<int> theirs{0};
    server.AddRoute("/theirs", [&](const httplib::Request&, httplib::Response& res) {
        Answer(res, ++theirs == 1 ? 503 : 200);
    });
    UsePolicy(1);
    m_cancel = true;
    std::atomic<bool> othersCancel{false};
    Pacer othersPacer;
    int othersResult = -1;
    std::thread other([&] {
        othersResult = DownloadToFile(m_access, {othersPacer, CancelToken(othersCancel)},
                                      server.Url("/theirs").c_str(), "theirs.html");
    });
    EXPECT_EQ(Download(server.Url("/mine").c_str(), m_path.c_str()), 0);
    other.join();
    EXPECT_EQ(othersResult, 0);
    EXPECT_EQ(test::ReadFileBytes("theirs.html"), kPage);
    const std::vector<std::string> targets = server.Targets();
    EXPECT_EQ(std::count(targets.begin(), targets.end(), "/mine"), 1) << "cancelled: no retry";
    EXPECT_EQ(std::count(targets.begin(), targets.end(), "/theirs"), 2);
}

TEST_F(RetryDownloadTest, PacingSpacesTheStartsOfRequests) {
    CountingServer server([](int, httplib::Response& res) { Answer(res, 200); });
    UsePolicy(0, 300);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(Download(server.Url().c_str(), m_path.c_str()), 0);
    }
    const auto starts = server.Starts();
    ASSERT_EQ(starts.size(), 3u);
    EXPECT_GE(starts[1] - starts[0], 280ms);
    EXPECT_GE(starts[2] - starts[1], 280ms);
}

// Two threads downloading at once for one job: the later request reaches the site a whole pace
// after both began. Not measured between the two arrivals: the first connection a process opens
// may take long enough to arrive (a sanitizer's, a loaded machine's) to hide the pacing.
TEST_F(RetryDownloadTest, PacingHoldsAcrossThreads) {
    CountingServer server([](int, httplib::Response& res) { Answer(res, 200); });
    UsePolicy(0, 250);
    const auto begun = Clock::now();
    std::thread a([&] { (void)Download(server.Url().c_str(), "a.html"); });
    std::thread b([&] { (void)Download(server.Url().c_str(), "b.html"); });
    a.join();
    b.join();
    const auto starts = server.Starts();
    ASSERT_EQ(starts.size(), 2u);
    EXPECT_GE(std::max(starts[0], starts[1]) - begun, 230ms);
}

TEST_F(RetryDownloadTest, PacingAlsoSpacesRetries) {
    CountingServer server([](int n, httplib::Response& res) { Answer(res, n == 1 ? 500 : 200); });
    UsePolicy(1, 300, 1);
    EXPECT_EQ(Download(server.Url().c_str(), m_path.c_str()), 0);
    const auto starts = server.Starts();
    ASSERT_EQ(starts.size(), 2u);
    EXPECT_GE(starts[1] - starts[0], 280ms);
}

}  // namespace
}  // namespace tickora
