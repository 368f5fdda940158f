// SPDX-License-Identifier: GPL-3.0-or-later
// DownloadToFile against the simulated site and the loopback server of the test support: what goes out,
// what lands on disk, and which failures report 1.
#include "web/download.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "site/site_server.h"
#include "tests/support/loopback_server.h"
#include "tests/support/site_access_for_test.h"
#include "tests/support/site_options.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wait_for.h"

namespace tickora {
namespace {

using namespace std::chrono_literals;
using site::Fault;
using site::FaultKind;
using LocalServer = tickora::test::LoopbackServer;
using tickora::test::ReadFileBytes;
using tickora::test::WriteFileBytes;

std::string AllByteValues(std::size_t size) {
    std::string body(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
        body[i] = static_cast<char>((i * 7 + i / 256) & 0xFF);
    }
    return body;
}

class Download : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        s_site = new site::SiteServer(test::LoopbackSite(300));
        ASSERT_TRUE(s_site->Start());
    }
    static void TearDownTestSuite() { delete s_site; }

    void SetUp() override {
        s_site->ClearFaults();
        s_site->ClearRequests();
        std::filesystem::create_directory("Webtemp");
    }
    void TearDown() override { s_site->ClearFaults(); }

    static std::string Url(const std::string& target) { return s_site->Url() + target; }

    // Every download of a test is one job's: one pacer and one Cancel for all of them.
    int Get(const SiteAccess& access, const char* url, const char* path,
            DownloadDetail* detail = nullptr) {
        return DownloadToFile(access, {m_pacer, CancelToken(m_cancel)}, url, path, detail);
    }
    int Fetch(const std::string& url, const char* path = "Webtemp/page.html") {
        return Get(m_access, url.c_str(), path);
    }

    void ShortLimits() { m_access.Timeouts(2s, 1s); }

    static site::SiteServer* s_site;
    tickora::test::ScopedWorkDir m_dir;
    test::AccessForTest m_access;
    Pacer m_pacer;
    std::atomic<bool> m_cancel{false};
};

site::SiteServer* Download::s_site = nullptr;

TEST_F(Download, StoresALargeBinaryBodyByteForByte) {
    const std::string body = AllByteValues(300000);
    LocalServer local;
    local.AddRoute("/blob", [&](const httplib::Request&, httplib::Response& res) {
        res.set_content(body, "application/octet-stream");
    });
    ASSERT_EQ(Fetch(local.Url("/blob")), 0);
    const std::string stored = ReadFileBytes("Webtemp/page.html");
    ASSERT_EQ(stored.size(), body.size());
    EXPECT_TRUE(stored == body);
}

TEST_F(Download, StoresAPageOverOneHundredTwentyThousandBytesUnchanged) {
    Fault huge;
    huge.kind = FaultKind::kHuge;
    huge.bytes = 130000;
    s_site->SetFault("/q?", huge);
    const std::string url = Url("/q?s=1301+1307&d=v2");
    ASSERT_EQ(Fetch(url), 0);
    httplib::Client client("127.0.0.1", s_site->Port());
    client.set_url_encode(false);
    const auto direct = client.Get("/q?s=1301+1307&d=v2");
    ASSERT_TRUE(direct);
    const std::string stored = ReadFileBytes("Webtemp/page.html");
    EXPECT_EQ(stored.size(), 130000u);
    EXPECT_TRUE(stored == direct->body);  // EUC-JP bytes and line ends untouched
}

TEST_F(Download, SendsTheAgentTheEncodingsAndTheObjectPartUnchanged) {
    const std::vector<std::string> targets = {
        "/q?s=1301+1332.O+1334.N&d=v2",
        "/l?s=%2a&m=51",
        "/t?s=1301&a=1&b=1&c=1983&d=12&e=4&f=2026&g=d&q=t&y=50&x=.csv",
        "/biz/../biz/fundamental/1301.html",
    };
    for (const std::string& target : targets) {
        EXPECT_EQ(Fetch(Url(target)), 0) << target;
    }
    const std::vector<site::ReceivedRequest> received = s_site->Requests();
    ASSERT_EQ(received.size(), targets.size());
    for (std::size_t i = 0; i < targets.size(); ++i) {
        EXPECT_EQ(received[i].target, targets[i]);
        EXPECT_EQ(received[i].userAgent, "Http Ver1.0 Session");
        // Every encoding the linked libcurl decodes, gzip among them.
        EXPECT_NE(received[i].acceptEncoding.find("gzip"), std::string::npos);
    }
}

TEST_F(Download, ConnectsToThePortTheUrlNames) {
    site::SiteOptions options;
    options.port = 0;
    options.stocks = 20;
    site::SiteServer other(options);
    ASSERT_TRUE(other.Start());
    ASSERT_NE(other.Port(), s_site->Port());
    ASSERT_EQ(Fetch(other.Url() + "/l?s=%2a&m=1"), 0);
    EXPECT_EQ(other.Requests().size(), 1u);
    EXPECT_TRUE(s_site->Requests().empty());
}

class DownloadStatus : public Download, public ::testing::WithParamInterface<int> {};

TEST_P(DownloadStatus, LeavesAnExistingFileAloneAndReportsSuccess) {
    Fault refuse;
    refuse.kind = FaultKind::kStatus;
    refuse.status = GetParam();
    refuse.retryAfterSeconds = 5;
    s_site->SetFault("/l?", refuse);
    const std::string earlier = "the page an earlier download left\r\n";
    WriteFileBytes("Webtemp/page.html", earlier);
    EXPECT_EQ(Fetch(Url("/l?s=%2a&m=1")), 0);
    EXPECT_EQ(ReadFileBytes("Webtemp/page.html"), earlier);

    EXPECT_EQ(Fetch(Url("/l?s=%2a&m=1"), "Webtemp/absent.html"), 0);
    EXPECT_FALSE(std::filesystem::exists("Webtemp/absent.html"));
}

INSTANTIATE_TEST_SUITE_P(Statuses, DownloadStatus, ::testing::Values(404, 500, 503, 429, 403));

TEST_F(Download, UnknownPathIsA404ThatWritesNothing) {
    EXPECT_EQ(Fetch(Url("/biz/fundamental/0001.html")), 0);
    EXPECT_FALSE(std::filesystem::exists("Webtemp/page.html"));
}

TEST_F(Download, HostThatCannotBeResolvedReportsOneAndCreatesNoFile) {
    ShortLimits();
    EXPECT_EQ(Fetch("http://no-such-host.invalid/q?s=1301&d=v2"), 1);
    EXPECT_FALSE(std::filesystem::exists("Webtemp/page.html"));
}

TEST_F(Download, RefusedConnectionReportsOne) {
    // A port that was free a moment ago and has no listener now.
    const int sock = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(sock, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    socklen_t len = sizeof addr;
    getsockname(sock, reinterpret_cast<sockaddr*>(&addr), &len);
    close(sock);
    const std::string url =
        "http://127.0.0.1:" + std::to_string(ntohs(addr.sin_port)) + "/l?s=%2a&m=1";
    WriteFileBytes("Webtemp/page.html", "old");
    EXPECT_EQ(Fetch(url), 1);
    EXPECT_EQ(ReadFileBytes("Webtemp/page.html"), "old");
}

TEST_F(Download, StalledBodyTimesOutAndReportsOne) {
    ShortLimits();
    Fault stall;
    stall.kind = FaultKind::kStall;
    stall.stall = 5min;
    s_site->SetFault("/l?", stall);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Fetch(Url("/l?s=%2a&m=1")), 1);
    // Bounded by the lowered limit, not by the five-minute stall.
    EXPECT_LT(std::chrono::steady_clock::now() - start, 60s);
    s_site->ClearFaults();
}

TEST_F(Download, SilentServerTimesOutAndReportsOne) {
    ShortLimits();
    // Listening but never accepting: the handshake completes in the kernel, no byte ever comes.
    const int sock = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(sock, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ASSERT_EQ(listen(sock, 4), 0);
    socklen_t len = sizeof addr;
    getsockname(sock, reinterpret_cast<sockaddr*>(&addr), &len);
    const std::string url =
        "http://127.0.0.1:" + std::to_string(ntohs(addr.sin_port)) + "/q?s=1301&d=v2";
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Fetch(url), 1);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 60s);
    close(sock);
    EXPECT_FALSE(std::filesystem::exists("Webtemp/page.html"));
}

TEST_F(Download, SlowButSteadyBodyIsNotAStall) {
    ShortLimits();
    // Before the server: its threads may still hold the body while the server shuts down.
    const std::string body = AllByteValues(3000);
    LocalServer local;
    local.AddRoute("/drip", [&](const httplib::Request&, httplib::Response& res) {
        res.set_content_provider(body.size(), "text/html",
                                 [&](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                                     std::this_thread::sleep_for(300ms);
                                     sink.write(body.data() + offset,
                                                std::min<std::size_t>(1000, body.size() - offset));
                                     return true;
                                 });
    });
    ASSERT_EQ(Fetch(local.Url("/drip")), 0);
    EXPECT_TRUE(ReadFileBytes("Webtemp/page.html") == body);
}

TEST_F(Download, ConnectionCutMidBodyReportsOneAndKeepsWhatArrived) {
    Fault cut;
    cut.kind = FaultKind::kCut;
    s_site->SetFault("/l?", cut);
    EXPECT_EQ(Fetch(Url("/l?s=%2a&m=1")), 1);
    s_site->ClearFaults();
    ASSERT_EQ(Fetch(Url("/l?s=%2a&m=1"), "Webtemp/whole.html"), 0);
    const std::string whole = ReadFileBytes("Webtemp/whole.html");
    const std::string part = ReadFileBytes("Webtemp/page.html");
    EXPECT_LT(part.size(), whole.size());
    EXPECT_EQ(whole.substr(0, part.size()), part);
}

TEST_F(Download, LocalFileThatCannotBeCreatedReportsOne) {
    EXPECT_EQ(Fetch(Url("/l?s=%2a&m=1"), "missing-folder/page.html"), 1);
    Fault empty;
    empty.kind = FaultKind::kEmpty;
    s_site->SetFault("/l?", empty);
    EXPECT_EQ(Fetch(Url("/l?s=%2a&m=1"), "missing-folder/page.html"), 1);
    EXPECT_EQ(Fetch(Url("/l?s=%2a&m=1"), "Webtemp"), 1);  // a folder in the way
    // A refused page needs no file, so it still reports success.
    EXPECT_EQ(Fetch(Url("/nowhere"), "missing-folder/page.html"), 0);
}

TEST_F(Download, EmptyBodyCreatesOrTruncatesTheFile) {
    Fault empty;
    empty.kind = FaultKind::kEmpty;
    s_site->SetFault("/l?", empty);
    WriteFileBytes("Webtemp/page.html", "a longer page from before");
    EXPECT_EQ(Fetch(Url("/l?s=%2a&m=1")), 0);
    EXPECT_TRUE(std::filesystem::exists("Webtemp/page.html"));
    EXPECT_EQ(std::filesystem::file_size("Webtemp/page.html"), 0u);
    EXPECT_EQ(Fetch(Url("/l?s=%2a&m=1"), "Webtemp/new.html"), 0);
    EXPECT_TRUE(std::filesystem::exists("Webtemp/new.html"));
}

TEST_F(Download, ShorterPageReplacesALongerOneWhole) {
    WriteFileBytes("Webtemp/page.html", std::string(500000, 'x'));
    ASSERT_EQ(Fetch(Url("/q?s=1301&d=v2")), 0);
    const std::string stored = ReadFileBytes("Webtemp/page.html");
    EXPECT_LT(stored.size(), 10000u);
    EXPECT_EQ(stored.find('x' + std::string(20, 'x')), std::string::npos);
}

TEST_F(Download, GarbageBodyIsStoredAsItCame) {
    Fault garbage;
    garbage.kind = FaultKind::kGarbage;
    garbage.bytes = 70000;
    s_site->SetFault("/l?", garbage);
    ASSERT_EQ(Fetch(Url("/l?s=%2a&m=1")), 0);
    ASSERT_EQ(Fetch(Url("/l?s=%2a&m=1"), "Webtemp/again.html"), 0);
    const std::string stored = ReadFileBytes("Webtemp/page.html");
    EXPECT_EQ(stored.size(), 70000u);
    EXPECT_TRUE(stored == ReadFileBytes("Webtemp/again.html"));
}

TEST_F(Download, FollowsRedirectsToTheFinalAnswer) {
    LocalServer local;
    local.AddRoute("/old", [](const httplib::Request&, httplib::Response& res) {
        res.set_redirect("/new", 302);
        res.set_content("<html>moved</html>", "text/html");
    });
    local.AddRoute("/new", [](const httplib::Request&, httplib::Response& res) {
        res.set_content("the page itself\r\n", "text/html");
    });
    local.AddRoute("/gone", [](const httplib::Request&, httplib::Response& res) {
        res.set_redirect("/missing", 301);
    });
    local.AddRoute("/away", [&](const httplib::Request&, httplib::Response& res) {
        res.set_redirect(Url("/l?s=%2a&m=51"), 307);
    });
    ASSERT_EQ(Fetch(local.Url("/old")), 0);
    EXPECT_EQ(ReadFileBytes("Webtemp/page.html"), "the page itself\r\n");

    EXPECT_EQ(Fetch(local.Url("/gone"), "Webtemp/gone.html"), 0);
    EXPECT_FALSE(std::filesystem::exists("Webtemp/gone.html"));

    ASSERT_EQ(Fetch(local.Url("/away"), "Webtemp/away.html"), 0);
    const auto received = s_site->Requests();
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].target, "/l?s=%2a&m=51");
    EXPECT_EQ(received[0].userAgent, "Http Ver1.0 Session");
    EXPECT_NE(ReadFileBytes("Webtemp/away.html").find("<tr><td><a href=\"/q?s="),
              std::string::npos);
}

TEST_F(Download, CallsInARowEachMakeTheirOwnExchange) {
    Fault refuse;
    refuse.kind = FaultKind::kStatus;
    refuse.status = 500;
    refuse.times = 1;
    s_site->SetFault("/q?s=1307", refuse);
    ASSERT_EQ(Fetch(Url("/q?s=1301&d=v2"), "Webtemp/a.html"), 0);
    WriteFileBytes("Webtemp/b.html", "kept");
    ASSERT_EQ(Fetch(Url("/q?s=1307&d=v2"), "Webtemp/b.html"), 0);
    ASSERT_EQ(Fetch(Url("/q?s=1307&d=v2"), "Webtemp/c.html"), 0);
    EXPECT_EQ(ReadFileBytes("Webtemp/b.html"), "kept");
    EXPECT_NE(ReadFileBytes("Webtemp/a.html"), ReadFileBytes("Webtemp/c.html"));
    EXPECT_EQ(s_site->Requests().size(), 3u);
}

TEST_F(Download, MissingArgumentsReportOne) {
    EXPECT_EQ(Get(m_access, nullptr, "Webtemp/page.html"), 1);
    EXPECT_EQ(Get(m_access, Url("/l?s=%2a&m=1").c_str(), nullptr), 1);
}

// Lowered limits belong to the access that carries them: another access keeps the shipped ones.
TEST_F(Download, LimitsCanBeLoweredAndRestored) {
    const SiteAccess lowered = test::AccessForTest().Timeouts(1500ms, 2500ms);
    EXPECT_EQ(lowered.limits.connectTimeout, 1500ms);
    EXPECT_EQ(lowered.limits.stallTimeout, 2500ms);
    EXPECT_EQ(SiteAccess(m_access).limits.stallTimeout, std::chrono::seconds(60));
    EXPECT_EQ(DownloadLimits{}.stallTimeout, std::chrono::seconds(60));
}

// Every way a page can fail to arrive, and what the detail tells a report about it: the kind,
// the status, and a cause a user can act on. A completed exchange with another status is still
// result 0, as the callers have always read it.
struct FailureCase {
    const char* name;
    FaultKind kind;
    int status;
    const char* target;  // where to fetch; "refused" = a port with no listener
    const char* path;    // where to store
    int result;
    PageFailure failure;
    const char* causeHas;
};

const FailureCase kFailureCases[] = {
    {"whole", FaultKind::kNone, 200, "/l?s=%2a&m=1", "Webtemp/page.html", 0, PageFailure::kNone,
     ""},
    {"404", FaultKind::kStatus, 404, "/l?s=%2a&m=1", "Webtemp/page.html", 0,
     PageFailure::kHttpStatus, "HTTP 404"},
    {"500", FaultKind::kStatus, 500, "/l?s=%2a&m=1", "Webtemp/page.html", 0,
     PageFailure::kHttpStatus, "HTTP 500"},
    // Fewer bytes than the Content-Length announced: libcurl's partial-file error, in its words.
    {"cut", FaultKind::kCut, 200, "/l?s=%2a&m=1", "Webtemp/page.html", 1, PageFailure::kTransport,
     "bytes remaining to read"},
    // The site itself sends half the page with a Content-Length to match: the transfer is whole,
    // and judging the page is its reader's part.
    {"truncated", FaultKind::kTruncated, 200, "/l?s=%2a&m=1", "Webtemp/page.html", 0,
     PageFailure::kNone, ""},
    {"stall", FaultKind::kStall, 200, "/l?s=%2a&m=1", "Webtemp/page.html", 1, PageFailure::kTimeout,
     ""},
    {"redirectLoop", FaultKind::kRedirectLoop, 302, "/l?s=%2a&m=1", "Webtemp/page.html", 1,
     PageFailure::kTransport, "redirect"},
    {"refused", FaultKind::kNone, 0, "refused", "Webtemp/page.html", 1, PageFailure::kTransport,
     "127.0.0.1"},
    {"tooLarge", FaultKind::kHuge, 200, "/l?s=%2a&m=1", "Webtemp/page.html", 1,
     PageFailure::kTooLarge, "MiB"},
    {"noFolder", FaultKind::kNone, 200, "/l?s=%2a&m=1", "missing/page.html", 1,
     PageFailure::kLocalFile, "missing/page.html: No such file or directory"},
};

class DownloadFailure : public Download, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(DownloadFailure, SaysWhatFailedAndWhy) {
    const FailureCase& c = GetParam();
    DownloadLimits limits;
    limits.connectTimeout = 2s;
    limits.stallTimeout = 1s;
    limits.maxPageBytes = 1024 * 1024;
    m_access.Limits(limits);
    Fault fault;
    fault.kind = c.kind;
    fault.status = c.status;
    fault.bytes = 3 * 1024 * 1024;
    fault.stall = 30s;
    s_site->SetFault("/l?", fault);
    std::string url = Url(c.target);
    if (std::string(c.target) == "refused") {
        LocalServer gone;  // bound, then closed: nothing listens there any more
        url = gone.Url("/l?s=%2a&m=1");
    }
    DownloadDetail detail;
    EXPECT_EQ(Get(m_access, url.c_str(), c.path, &detail), c.result);
    EXPECT_EQ(detail.failure, c.failure) << detail.cause;
    EXPECT_NE(detail.cause.find(c.causeHas), std::string::npos) << detail.cause;
    EXPECT_EQ(detail.Ok(), c.failure == PageFailure::kNone);
    if (c.failure == PageFailure::kTooLarge) {
        EXPECT_EQ(std::filesystem::file_size(c.path), 1024u * 1024u);
    }
    s_site->ClearFaults();
}

INSTANTIATE_TEST_SUITE_P(Kinds, DownloadFailure, ::testing::ValuesIn(kFailureCases),
                         [](const auto& info) { return std::string(info.param.name); });

// A site that sends a byte now and then defeats the stall limit; the page limit and Cancel
// still end the transfer.
TEST_F(Download, TrickleEndsAtThePageLimitOrWithinASecondOfCancel) {
    Fault trickle;
    trickle.kind = FaultKind::kTrickle;
    trickle.stall = 200ms;
    s_site->SetFault("/l?", trickle);
    DownloadLimits limits;
    limits.stallTimeout = 1s;
    limits.pageTimeout = 1500ms;
    DownloadDetail detail;
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Get(test::AccessForTest().Limits(limits), Url("/l?s=%2a&m=1").c_str(),
                  "Webtemp/page.html", &detail),
              1);
    EXPECT_EQ(detail.failure, PageFailure::kTimeout);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);

    // Cancel once the site is trickling the second page.
    std::thread canceller([&] {
        EXPECT_TRUE(test::WaitFor([] { return s_site->Requests().size() == 2; }));
        m_cancel = true;
    });
    start = std::chrono::steady_clock::now();
    EXPECT_EQ(Get(m_access, Url("/l?s=%2a&m=1").c_str(), "Webtemp/page.html", &detail), 1);
    const auto took = std::chrono::steady_clock::now() - start;
    canceller.join();
    EXPECT_EQ(detail.failure, PageFailure::kCancelled);
    EXPECT_LT(took, 500ms + 1500ms);
    s_site->ClearFaults();
}

}  // namespace
}  // namespace tickora
