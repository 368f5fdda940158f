// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The simulated finance site: a deterministic synthetic market served over HTTP on loopback, with
// faults that tests switch on per path.
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "site/data_faults.h"

namespace tickora::site {

struct SiteOptions {
    std::string bindAddress = "127.0.0.1";
    int port = 8053;  // 0 = any free port
    int stocks = 3800;
    std::uint64_t seed = 1;  // drives prices, volumes and figures; who is listed stays fixed
    int year = 0;            // the site's date; 0 = today in local time
    int month = 0;
    int day = 0;
    // Every page answer waits this long before it goes out, as the answers of a distant site do.
    std::chrono::milliseconds latency{0};
    // A 1:2 split that took effect on this date: the history table shows every day before it at
    // half its price and twice its volume, as a site adjusts its table after a split. Year 0: none.
    int splitYear = 0;
    int splitMonth = 0;
    int splitDay = 0;
    // The date the young stocks' listings are counted back from; year 0: the site's date. Give
    // two sites the same one and the later site's histories are the earlier's and then some.
    int listedYear = 0;
    int listedMonth = 0;
    int listedDay = 0;
    // Pages go out gzip-compressed to a client that asks for gzip; otherwise always plain.
    bool gzip = false;
    // PEM certificate chain and key: the site speaks HTTPS instead of HTTP.
    std::string tlsCertFile{};
    std::string tlsKeyFile{};
};

enum class FaultKind {
    kNone,
    kStatus,        // answer `status` (with Retry-After when retryAfterSeconds >= 0)
    kCut,           // send the headers and part of the body, then close the connection
    kStall,         // send the headers, then nothing for `stall`
    kEmpty,         // status 200 with an empty body
    kGarbage,       // status 200 with `bytes` of random bytes
    kHuge,          // status 200 with a valid page padded to `bytes`
    kNoEndTags,     // status 200 with the page stripped of every "</...>" tag
    kTrickle,       // status 200 with the page sent one byte every `stall`
    kRedirectLoop,  // status 302 back to the same target, for ever
    kMaintenance,   // status 200 with a short maintenance notice instead of the page
    kTruncated,     // status 200 with the first `bytes` of the page (half when 0), sent whole
    kNulInside,     // status 200 with the page and a NUL byte inserted at `bytes` (the middle
                    // when 0)
    kGzipBomb,      // status 200, gzip-encoded, that inflates to `bytes` of zeros
    kGzipTrailing,  // status 200, the page gzip-encoded, followed by `bytes` (16 when 0) bytes
                    // that belong to no compressed stream
};

struct Fault {
    FaultKind kind = FaultKind::kNone;
    int status = 500;
    int retryAfterSeconds = -1;
    std::size_t bytes = 0;
    std::chrono::milliseconds stall{std::chrono::seconds(120)};
    int times = -1;  // how many requests it hits; -1 = every one
};

struct ReceivedRequest {
    std::string target;  // path and query exactly as received
    std::string userAgent;
    std::string acceptEncoding;
};

class MarketModel;

class SiteServer {
  public:
    explicit SiteServer(SiteOptions options);
    ~SiteServer();
    SiteServer(const SiteServer&) = delete;
    SiteServer& operator=(const SiteServer&) = delete;

    // Binds and serves on a background thread; false when the port cannot be bound.
    [[nodiscard]] bool Start();
    void Stop();
    [[nodiscard]] int Port() const;
    [[nodiscard]] std::string Url() const;  // "http://127.0.0.1:PORT", https:// with TLS

    // Requests whose target starts with prefix (path and query, such as "/q?s=1301") get fault.
    void SetFault(const std::string& prefix, const Fault& fault);
    void ClearFaults();
    // Breaks one of the exchange's rules in the pages' numbers (site/data_faults.h) until
    // ClearDataFaults: on the stock of symbol, or with none on one the site picks for the kind.
    // Returns where, for a test to expect its finding; nothing when the stock is not listed or
    // cannot carry the fault. Faults of several kinds and stocks may stand at once.
    std::optional<DataFaultPlace> SetDataFault(DataFault fault, std::string_view symbol = {});
    void ClearDataFaults();
    [[nodiscard]] std::vector<ReceivedRequest> Requests() const;
    // Also resets the peak below.
    void ClearRequests();
    // The most page requests that were being answered at one moment since the last clear: what a
    // client's number of connections looks like from the site.
    [[nodiscard]] int PeakConcurrentRequests() const;

    // The market the pages are made from, for tests that compare with it directly.
    [[nodiscard]] const MarketModel& Model() const;
    // What each stock's quote, figures and profile are, as CSV (UTF-8).
    [[nodiscard]] bool DumpTruth(const std::string& path) const;
    // The fetch list the site's market gives, in Shift-JIS "fetchlist.csv" form.
    [[nodiscard]] std::string FetchListCsv() const;

  private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

}  // namespace tickora::site
