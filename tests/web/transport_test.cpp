// The ways a page reaches Tickora besides plain HTTP/1.1: TLS with a private CA, a proxy, gzip,
// and HTTP/2 with many requests on one connection. Each stores the bytes plain HTTP stores.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <deque>
#include <filesystem>
#include <string>
#include <vector>

#include "site/market_model.h"
#include "site/site_server.h"
#include "tests/support/secure_front.h"
#include "tests/support/site_access_for_test.h"
#include "tests/support/site_options.h"
#include "tests/support/special_files.h"
#include "tests/support/tcp_relay.h"
#include "tests/support/temp_dir.h"
#include "web/connections.h"
#include "web/download.h"
#include "web/page_pool.h"

namespace tickora {
namespace {

using namespace std::chrono_literals;
using test::ReadFileBytes;

constexpr int kStocks = 40;

site::SiteOptions SiteOptionsFor(bool gzip, const test::TestCertificates* tls) {
    site::SiteOptions options = test::LoopbackSite(kStocks);
    options.gzip = gzip;
    if (tls != nullptr) {
        options.tlsCertFile = tls->certFile.string();
        options.tlsKeyFile = tls->keyFile.string();
    }
    return options;
}

// History pages of the first stocks, as the jobs ask for them.
std::vector<std::string> HistoryTargets(int count) {
    const site::MarketModel model(kStocks, 1, {2026, 12, 4});
    std::vector<std::string> targets;
    for (int i = 0; i < count; ++i) {
        targets.push_back("/t?s=" + model.Listing()[2 + static_cast<std::size_t>(i)].symbol +
                          "&a=1&b=1&c=1983&d=12&e=4&f=2026&g=d&q=t&y=0&x=.csv");
    }
    return targets;
}

struct Fetched {
    int result = 1;
    DownloadDetail detail;
    std::string bytes;
};

Fetched Fetch(const SiteAccess& access, const std::string& url,
              const std::string& path = "page.html") {
    Fetched f;
    std::filesystem::remove(path);
    f.result = test::DownloadAlone(access, url.c_str(), path.c_str(), &f.detail);
    f.bytes = std::filesystem::exists(path) ? ReadFileBytes(path) : std::string();
    return f;
}

class SecureTransport : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        s_certs = new test::TestCertificates(
            test::MakeTestCertificates(std::filesystem::temp_directory_path() /
                                       ("tickora-tls-" + std::to_string(::getpid()))));
        s_plain = new site::SiteServer(SiteOptionsFor(false, nullptr));
        ASSERT_TRUE(s_plain->Start());
    }
    static void TearDownTestSuite() {
        delete s_plain;
        if (!s_certs->caFile.empty()) {
            std::filesystem::remove_all(s_certs->caFile.parent_path());
        }
        delete s_certs;
    }
    void SetUp() override {
        ASSERT_FALSE(s_certs->caFile.empty()) << "openssl could not make the test certificates";
    }
    static Transport With(std::string caFile, std::string proxy = {}, std::string noProxy = {}) {
        Transport t;
        t.caFile = std::move(caFile);
        t.proxy = std::move(proxy);
        t.noProxy = std::move(noProxy);
        return t;
    }

    static test::TestCertificates* s_certs;
    static site::SiteServer* s_plain;
    test::ScopedWorkDir m_dir;
    test::AccessForTest m_access = test::AccessForTest().Timeouts(5s, 2s);
};

test::TestCertificates* SecureTransport::s_certs = nullptr;
site::SiteServer* SecureTransport::s_plain = nullptr;

TEST_F(SecureTransport, TlsIsVerifiedAgainstTheSystemStoreAndTheCaFile) {
    site::SiteServer tls(SiteOptionsFor(false, s_certs));
    ASSERT_TRUE(tls.Start());
    const std::string target = HistoryTargets(1).front();
    const Fetched plain = Fetch(m_access, s_plain->Url() + target);
    ASSERT_EQ(plain.result, 0);
    struct Row {
        const char* name;
        std::string caFile;
        bool ok;
        std::string cause;  // a part of the failure's cause
    };
    const Row rows[] = {
        {"no CA file: the private CA is unknown", "", false, "certificate"},
        {"a CA file that does not exist", (m_dir.Path() / "missing.pem").string(), false,
         "TLS with 127.0.0.1 failed"},
        {"a bundle without the private CA", "/etc/ssl/certs/ca-certificates.crt", false,
         "certificate"},
        {"the private CA", s_certs->caFile.string(), true, ""},
        // The program reads the file itself: libcurl's own open would wait on a FIFO for ever.
        {"a FIFO", (m_dir.Path() / "fifo.pem").string(), false, "fifo.pem: not a regular file"},
        {"a folder", m_dir.Path().string(), false, "Is a directory"},
        {"a relative name", "missing.pem", false,
         "the CA file missing.pem (looked for in " + m_dir.Path().string() +
             "): No such file or directory"},
    };
    ASSERT_TRUE(test::PlantAt(m_dir.Path() / "fifo.pem", test::Plant::kFifo, {}));
    for (const Row& row : rows) {
        m_access.Via(With(row.caFile));
        Fetched f;
        EXPECT_TRUE(test::EndsWithin(30s, [&] { f = Fetch(m_access, tls.Url() + target); },
                                     {m_dir.Path() / "fifo.pem"}))
            << row.name << ": the transfer waited on the CA file";
        EXPECT_EQ(f.result == 0, row.ok) << row.name << ": " << f.detail.cause;
        if (row.ok) {
            EXPECT_EQ(f.bytes, plain.bytes) << row.name;
            continue;
        }
        EXPECT_EQ(f.detail.failure, PageFailure::kTransport) << row.name;
        EXPECT_NE(f.detail.cause.find("TLS with 127.0.0.1 failed: "), std::string::npos)
            << row.name << ": " << f.detail.cause;
        EXPECT_NE(f.detail.cause.find(row.cause), std::string::npos)
            << row.name << ": " << f.detail.cause;
        EXPECT_TRUE(f.bytes.empty()) << row.name;
    }
}

TEST_F(SecureTransport, AProxyCarriesTheRequestsUnlessTheHostIsExempt) {
    site::SiteServer tls(SiteOptionsFor(false, s_certs));
    ASSERT_TRUE(tls.Start());
    test::TcpRelay proxy({.connectProxy = true});
    ASSERT_TRUE(proxy.Start());
    const std::string proxyUrl = "http://127.0.0.1:" + std::to_string(proxy.Port());
    const std::string target = HistoryTargets(1).front();
    const Fetched plain = Fetch(m_access, s_plain->Url() + target);
    struct Row {
        const char* name;
        std::string noProxy;
        int tunnels;
    };
    const Row rows[] = {
        {"through the proxy", "", 1},
        {"loopback exempt", "127.0.0.1", 0},
    };
    for (const Row& row : rows) {
        proxy.ResetCounts();
        m_access.Via(With(s_certs->caFile.string(), proxyUrl, row.noProxy));
        const Fetched f = Fetch(m_access, tls.Url() + target);
        EXPECT_EQ(f.result, 0) << row.name << ": " << f.detail.cause;
        EXPECT_EQ(f.bytes, plain.bytes) << row.name;
        EXPECT_EQ(proxy.ConnectRequests(), row.tunnels) << row.name;
    }
    // A proxy that is not there is a failed page that names it, not a direct connection.
    m_access.Via(With(s_certs->caFile.string(),
                      "socks5://127.0.0.1:" + std::to_string(test::FreeLoopbackPort())));
    const Fetched refused = Fetch(m_access, tls.Url() + target);
    EXPECT_EQ(refused.result, 1);
    EXPECT_EQ(refused.detail.failure, PageFailure::kTransport) << refused.detail.cause;
}

// A proxy that cannot be reached or that wants a user name and password is the user's to mend:
// the failure names the proxy by its address (never by the credentials in its URL) and the cause,
// not a host and port or a status the user would take for the site's.
TEST_F(SecureTransport, AProxyThatFailsIsNamedWithItsCause) {
    site::SiteServer tls(SiteOptionsFor(false, s_certs));
    ASSERT_TRUE(tls.Start());
    test::TcpRelay wantsPassword({.proxyRefusal = 407});
    ASSERT_TRUE(wantsPassword.Start());
    const std::string dead = "127.0.0.1:" + std::to_string(test::FreeLoopbackPort());
    const std::string asking = "127.0.0.1:" + std::to_string(wantsPassword.Port());
    const std::string target = HistoryTargets(1).front();
    struct Row {
        const char* name;
        std::string url;
        std::string proxy;
        std::string noProxy;
        PageFailure failure;
        std::string cause;  // the whole cause, or its start when it ends in "..."
    };
    const Row rows[] = {
        {"a dead proxy, a plain site", s_plain->Url() + target, "http://ann:secret@" + dead, "",
         PageFailure::kTransport, "the proxy " + dead + " cannot be reached: Connection refused"},
        {"a dead proxy, a TLS site", tls.Url() + target, "http://ann:secret@" + dead, "",
         PageFailure::kTransport, "the proxy " + dead + " cannot be reached: Connection refused"},
        {"a dead SOCKS proxy", s_plain->Url() + target, "socks5h://ann:secret@" + dead, "",
         PageFailure::kTransport, "the proxy " + dead + " cannot be reached: Connection refused"},
        {"a proxy that wants a password, a plain site", s_plain->Url() + target, "http://" + asking,
         "", PageFailure::kHttpStatus,
         "the proxy " + asking +
             " refused the request: HTTP 407 (it asks for a user name and password)"},
        {"a proxy that wants a password, a TLS site", tls.Url() + target, "http://" + asking, "",
         PageFailure::kTransport,
         "the proxy " + asking +
             " refused the tunnel to the site: HTTP 407 (it asks for a user name and password)"},
        {"no proxy, the site down", "http://" + dead + target, "", "", PageFailure::kTransport,
         "Failed to connect to 127.0.0.1 port " + dead.substr(10) + " after ..."},
        {"the site exempt from a dead proxy, and down", "http://" + dead + target,
         "http://127.0.0.1:1", "127.0.0.1", PageFailure::kTransport,
         "Failed to connect to 127.0.0.1 port " + dead.substr(10) + " after ..."},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        m_access.Via(With(s_certs->caFile.string(), row.proxy, row.noProxy));
        const Fetched f = Fetch(m_access, row.url);
        EXPECT_NE(f.result == 0, row.failure == PageFailure::kTransport);
        EXPECT_EQ(f.detail.failure, row.failure);
        if (row.cause.ends_with("...")) {
            EXPECT_EQ(f.detail.cause.substr(0, row.cause.size() - 3),
                      row.cause.substr(0, row.cause.size() - 3));
        } else {
            EXPECT_EQ(f.detail.cause, row.cause);
        }
        EXPECT_EQ(f.detail.cause.find("secret"), std::string::npos);
        EXPECT_TRUE(f.bytes.empty());
    }
}

// A compressed body with bytes after its end is the site's fault, not a disk that could not be
// written: libcurl reports it as a failed write, and the failure once read "Failed writing
// received data to disk".
TEST_F(SecureTransport, ABodyThatDoesNotDecodeIsNamedAsTheSites) {
    site::SiteServer gzip(SiteOptionsFor(true, nullptr));
    ASSERT_TRUE(gzip.Start());
    const std::string target = HistoryTargets(1).front();
    const Fetched plain = Fetch(m_access, s_plain->Url() + target);
    ASSERT_EQ(plain.result, 0);
    struct Row {
        const char* name;
        site::FaultKind kind;
        std::size_t bytes;
    };
    const Row rows[] = {
        {"whole", site::FaultKind::kNone, 0},
        {"16 bytes after the end", site::FaultKind::kGzipTrailing, 16},
        {"100,000 bytes after the end", site::FaultKind::kGzipTrailing, 100000},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        site::Fault fault;
        fault.kind = row.kind;
        fault.bytes = row.bytes;
        gzip.ClearFaults();
        gzip.SetFault("/t", fault);
        const Fetched f = Fetch(m_access, gzip.Url() + target);
        if (row.kind == site::FaultKind::kNone) {
            EXPECT_EQ(f.result, 0) << f.detail.cause;
            EXPECT_EQ(f.bytes, plain.bytes);
            continue;
        }
        EXPECT_EQ(f.result, 1);
        EXPECT_EQ(f.detail.failure, PageFailure::kTransport);
        EXPECT_EQ(f.detail.cause, "bad gzip body from the site: it does not decode");
    }
}

TEST_F(SecureTransport, GzipStoresThePlainBytesAndABombStopsAtTheCap) {
    site::SiteServer gzip(SiteOptionsFor(true, nullptr));
    ASSERT_TRUE(gzip.Start());
    test::TcpRelay plainWire({.upstreamPort = s_plain->Port()});
    test::TcpRelay gzipWire({.upstreamPort = gzip.Port()});
    ASSERT_TRUE(plainWire.Start());
    ASSERT_TRUE(gzipWire.Start());
    const auto viaRelay = [](const test::TcpRelay& relay) {
        return "http://127.0.0.1:" + std::to_string(relay.Port());
    };
    for (const std::string& target : HistoryTargets(5)) {
        const Fetched plain = Fetch(m_access, viaRelay(plainWire) + target);
        const Fetched packed = Fetch(m_access, viaRelay(gzipWire) + target);
        ASSERT_EQ(plain.result, 0);
        EXPECT_EQ(packed.result, 0) << packed.detail.cause;
        EXPECT_EQ(packed.bytes, plain.bytes) << target;
    }
    ASSERT_FALSE(gzip.Requests().empty());
    EXPECT_NE(gzip.Requests().back().acceptEncoding.find("gzip"), std::string::npos);
    // The history pages shrink several times over on the wire.
    EXPECT_LT(3 * gzipWire.BytesToClients(), plainWire.BytesToClients());

    DownloadLimits small = SiteAccess(m_access).limits;
    small.maxPageBytes = 1024 * 1024;
    m_access.Limits(small);
    site::Fault bomb;
    bomb.kind = site::FaultKind::kGzipBomb;
    bomb.bytes = 8 * 1024 * 1024;  // some 8 KiB on the wire
    gzip.SetFault("/bomb", bomb);
    const Fetched f = Fetch(m_access, gzip.Url() + "/bomb");
    EXPECT_EQ(f.result, 1);
    EXPECT_EQ(f.detail.failure, PageFailure::kTooLarge);
    EXPECT_NE(f.detail.cause.find("page larger than 1 MiB after decoding"), std::string::npos)
        << f.detail.cause;
    EXPECT_LE(f.bytes.size(), small.maxPageBytes);
}

// Every page submitted at once to a pool of one connection and 16 streams, waited for in order.
std::vector<Fetched> RunPool(const SiteAccess& access, const std::string& base,
                             const std::vector<std::string>& targets) {
    Pacer pacer;
    PagePool pool(access, {pacer, CancelToken()});
    std::vector<PageTicket> tickets;
    for (std::size_t i = 0; i < targets.size(); ++i) {
        tickets.push_back(pool.Submit(base + targets[i], "page-" + std::to_string(i) + ".html"));
    }
    std::vector<Fetched> found;
    for (std::size_t i = 0; i < targets.size(); ++i) {
        Fetched f;
        f.result = pool.Wait(tickets[i], &f.detail);
        f.bytes = ReadFileBytes("page-" + std::to_string(i) + ".html");
        found.push_back(std::move(f));
    }
    return found;
}

TEST_F(SecureTransport, Http2CarriesEveryPageOnOneConnection) {
    if (test::NghttpxBinary().empty()) {
        GTEST_SKIP() << "nghttpx (Debian package nghttp2-proxy) is not installed";
    }
    site::SiteOptions options = SiteOptionsFor(false, nullptr);
    options.latency = 20ms;  // so that the streams overlap at the site
    site::SiteServer slow(options);
    ASSERT_TRUE(slow.Start());
    const std::vector<std::string> targets = HistoryTargets(24);
    std::vector<std::string> expected;
    for (const std::string& target : targets) {
        expected.push_back(Fetch(m_access, slow.Url() + target).bytes);
    }
    struct Row {
        const char* name;
        bool tls;
        Http2Mode mode;
    };
    const Row rows[] = {
        {"h2 over TLS", true, Http2Mode::kAuto},
        {"h2c", false, Http2Mode::kPriorKnowledge},
    };
    for (const Row& row : rows) {
        test::Http2Front front(slow.Port(), row.tls ? s_certs : nullptr);
        std::string why;
        ASSERT_TRUE(front.Start(why)) << why;
        test::TcpRelay wire({.upstreamPort = front.Port()});
        ASSERT_TRUE(wire.Start());
        Transport transport = With(row.tls ? s_certs->caFile.string() : std::string());
        transport.http2 = row.mode;
        m_access.Via(transport);
        slow.ClearRequests();
        const std::string base =
            (row.tls ? "https://127.0.0.1:" : "http://127.0.0.1:") + std::to_string(wire.Port());
        const std::vector<Fetched> found = RunPool(m_access, base, targets);
        for (std::size_t i = 0; i < found.size(); ++i) {
            EXPECT_EQ(found[i].result, 0) << row.name << " " << i << ": " << found[i].detail.cause;
            EXPECT_EQ(found[i].bytes, expected[i]) << row.name << " " << i;
        }
        EXPECT_EQ(wire.Connections(), 1) << row.name;
        EXPECT_GE(slow.PeakConcurrentRequests(), 2) << row.name << ": the streams overlapped";
    }
}

}  // namespace
}  // namespace tickora
