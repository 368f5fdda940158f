// SPDX-License-Identifier: GPL-3.0-or-later
#include "site/site_server.h"

#include <httplib.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <map>
#include <mutex>
#include <thread>

#include "site/market_model.h"
#include "site/pages.h"
#include "site/truth.h"
#include "text/named_values.h"

namespace tickora::site {
namespace {

constexpr const char* kHtml = "text/html; charset=EUC-JP";
constexpr std::size_t kRequestLogLimit = 100000;
// What a site shows while it is being serviced, with status 200 and no table.
constexpr const char* kMaintenanceText =
    "<html><head><title>メンテナンス中</title></head><body>"
    "<p>ただいまシステムメンテナンス中です。しばらくしてから再度アクセスしてください。</p>"
    "</body></html>\n";
// Each open keep-alive connection holds one server thread: room for a client on its most
// connections with a second client (curl, the control requests) beside it.
constexpr std::size_t kServerThreads = 40;

// The query of a raw target split into its parameters, each value percent-decoded but with
// '+' kept: the quote pages join their symbols with it.
std::map<std::string, std::string> RawQuery(const std::string& target) {
    std::map<std::string, std::string> params;
    const std::size_t question = target.find('?');
    if (question == std::string::npos) {
        return params;
    }
    const std::string query = target.substr(question + 1);
    std::size_t start = 0;
    while (start <= query.size()) {
        std::size_t amp = query.find('&', start);
        if (amp == std::string::npos) {
            amp = query.size();
        }
        const std::string pair = query.substr(start, amp - start);
        const std::size_t eq = pair.find('=');
        const std::string key = pair.substr(0, eq);
        const std::string raw = eq == std::string::npos ? std::string() : pair.substr(eq + 1);
        std::string value;
        for (std::size_t i = 0; i < raw.size(); ++i) {
            if (raw[i] == '%' && i + 2 < raw.size() &&
                std::isxdigit(static_cast<unsigned char>(raw[i + 1])) &&
                std::isxdigit(static_cast<unsigned char>(raw[i + 2]))) {
                value += static_cast<char>(std::stoi(raw.substr(i + 1, 2), nullptr, 16));
                i += 2;
            } else {
                value += raw[i];
            }
        }
        params.emplace(key, value);  // the first of repeated keys wins
        start = amp + 1;
    }
    return params;
}

int IntParam(const std::map<std::string, std::string>& params, const char* key, int fallback) {
    const auto it = params.find(key);
    if (it == params.end()) {
        return fallback;
    }
    char* end = nullptr;
    const long v = std::strtol(it->second.c_str(), &end, 10);
    return end == it->second.c_str() ? fallback : static_cast<int>(v);
}

bool ValidDate(const SiteDate& d) {
    return d.year >= 1900 && d.year <= 9999 && d.month >= 1 && d.month <= 12 && d.day >= 1 &&
           d.day <= 31;
}

std::string StripEndTags(const std::string& page) {
    std::string out;
    out.reserve(page.size());
    for (std::size_t i = 0; i < page.size(); ++i) {
        if (page[i] == '<' && i + 1 < page.size() && page[i + 1] == '/') {
            const std::size_t close = page.find('>', i);
            if (close != std::string::npos) {
                i = close;
                continue;
            }
        }
        out += page[i];
    }
    return out;
}

std::string PadTo(std::string page, std::size_t bytes) {
    const std::string open = "<!-- ";
    const std::string close = " -->\n";
    if (page.size() + open.size() + close.size() >= bytes) {
        return page;
    }
    const std::size_t filler = bytes - page.size() - open.size() - close.size();
    std::string padding = open;
    for (std::size_t i = 0; i < filler; ++i) {
        padding += (i % 80 == 79) ? '\n' : static_cast<char>('a' + i % 26);
    }
    padding += close;
    const std::size_t body = page.rfind("</body>");
    const std::size_t at = body == std::string::npos ? page.size() : body;
    page.insert(at, padding);
    return page;
}

std::string Garbage(std::size_t bytes, const std::string& target) {
    std::uint64_t state = std::hash<std::string>{}(target) | 1;
    std::string out(bytes, '\0');
    for (char& c : out) {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        c = static_cast<char>(state & 0xFF);
    }
    return out;
}

FaultKind KindOfName(const std::string& name) {
    using enum FaultKind;
    static constexpr NamedValue<FaultKind> kKinds[] = {{kStatus, "status"},
                                                       {kCut, "cut"},
                                                       {kStall, "stall"},
                                                       {kEmpty, "empty"},
                                                       {kGarbage, "garbage"},
                                                       {kHuge, "huge"},
                                                       {kNoEndTags, "noendtags"},
                                                       {kTrickle, "trickle"},
                                                       {kRedirectLoop, "redirectloop"},
                                                       {kMaintenance, "maintenance"},
                                                       {kTruncated, "truncated"},
                                                       {kNulInside, "nulinside"},
                                                       {kGzipBomb, "gzip_bomb"},
                                                       {kGzipTrailing, "gzip_trailing"}};
    return ValueNamed(kKinds, name).value_or(kNone);
}

}  // namespace

// text gzip-compressed at the best ratio; empty when zlib fails.
std::string Gzip(const std::string& text) {
    z_stream stream{};
    // 15 window bits, plus 16 for a gzip header instead of a zlib one.
    if (deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, 15 + 16, 9, Z_DEFAULT_STRATEGY) !=
        Z_OK) {
        return {};
    }
    std::string out(deflateBound(&stream, static_cast<uLong>(text.size())), '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
    stream.avail_in = static_cast<uInt>(text.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    const int result = deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return result == Z_STREAM_END ? out : std::string();
}

// The library compresses every text answer for a client that accepts it; the site decides
// instead: gzip only when it serves gzip, and never the library's other encodings.
void ChooseEncoding(const httplib::Request& req, bool gzip) {
    auto& headers = const_cast<httplib::Request&>(req).headers;
    const bool accepts = req.get_header_value("Accept-Encoding").find("gzip") != std::string::npos;
    headers.erase("Accept-Encoding");
    if (gzip && accepts) {
        headers.emplace("Accept-Encoding", "gzip");
    }
}

std::unique_ptr<httplib::Server> MakeServer(const SiteOptions& options) {
    if (!options.tlsCertFile.empty()) {
        return std::make_unique<httplib::SSLServer>(options.tlsCertFile.c_str(),
                                                    options.tlsKeyFile.c_str());
    }
    return std::make_unique<httplib::Server>();
}

struct SiteServer::Impl {
    SiteOptions options;
    MarketModel model;
    std::unique_ptr<httplib::Server> server = MakeServer(options);
    std::thread thread;
    int port = 0;
    int listenSocket = -1;
    bool running = false;

    mutable std::mutex mutex;  // faults, data faults and requests
    std::vector<std::pair<std::string, Fault>> faults;
    std::vector<DataFaultPlace> dataFaults;
    std::vector<ReceivedRequest> requests;

    std::mutex stallMutex;
    std::condition_variable stallWake;
    std::atomic<bool> stopping{false};

    std::atomic<int> activeRequests{0};
    std::atomic<int> peakRequests{0};

    explicit Impl(SiteOptions o)
        : options(std::move(o)),
          model(options.stocks, options.seed, SiteDate{options.year, options.month, options.day},
                SiteDate{options.listedYear, options.listedMonth, options.listedDay}) {}

    // The fault for target: the longest matching prefix wins; a fault with a count is used up.
    std::optional<Fault> TakeFault(const std::string& target) {
        std::lock_guard lock(mutex);
        std::size_t best = faults.size();
        for (std::size_t i = 0; i < faults.size(); ++i) {
            if (target.rfind(faults[i].first, 0) == 0 &&
                (best == faults.size() || faults[i].first.size() > faults[best].first.size())) {
                best = i;
            }
        }
        if (best == faults.size()) {
            return std::nullopt;
        }
        Fault fault = faults[best].second;
        if (faults[best].second.times > 0 && --faults[best].second.times == 0) {
            faults.erase(faults.begin() + static_cast<std::ptrdiff_t>(best));
        }
        return fault;
    }

    // Waits out a stall, or less when the server stops.
    void Stall(std::chrono::milliseconds how_long) {
        std::unique_lock lock(stallMutex);
        stallWake.wait_for(lock, how_long, [this] { return stopping.load(); });
    }

    std::vector<DataFaultPlace> DataFaults() const {
        std::lock_guard lock(mutex);
        return dataFaults;
    }

    // The page for a target: status and body.
    std::pair<int, std::string> Render(const httplib::Request& req) {
        const auto params = RawQuery(req.target);
        if (req.path == "/q") {
            const auto s = params.find("s");
            const auto d = params.find("d");
            const bool figures = d != params.end() && d->second == "v3";
            return {200,
                    QuotePage(model, s == params.end() ? "" : s->second, figures, DataFaults())};
        }
        if (req.path == "/l") {
            return {200, ListingPage(model, IntParam(params, "m", 1))};
        }
        if (req.path == "/t") {
            HistoryRequest h;
            const auto s = params.find("s");
            h.symbol = s == params.end() ? "" : s->second;
            const SiteDate from{IntParam(params, "c", 1983), IntParam(params, "a", 1),
                                IntParam(params, "b", 1)};
            const SiteDate to{IntParam(params, "f", 0), IntParam(params, "d", 0),
                              IntParam(params, "e", 0)};
            if (ValidDate(from)) {
                h.from = from;
            }
            if (ValidDate(to)) {
                h.to = to;
            }
            h.offset = std::max(0, IntParam(params, "y", 0));
            if (options.splitYear != 0) {
                h.splitDayNumber =
                    DayNumber({options.splitYear, options.splitMonth, options.splitDay});
            }
            const std::vector<DataFaultPlace> shownFaults = DataFaults();
            h.faults = shownFaults;
            return {200, HistoryPage(model, h)};
        }
        constexpr std::string_view kProfile = "/biz/fundamental/";
        if (req.path.rfind(kProfile, 0) == 0 && req.path.size() == kProfile.size() + 9 &&
            req.path.compare(req.path.size() - 5, 5, ".html") == 0) {
            const std::string digits = req.path.substr(kProfile.size(), 4);
            if (std::all_of(digits.begin(), digits.end(), ::isdigit)) {
                if (auto page = ProfilePage(model, std::stoi(digits))) {
                    return {200, *page};
                }
            }
        }
        if (req.path == "/") {
            return {200, Utf8ToEuc("<html><head><title>株価</title></head><body>"
                                   "<a href=\"/l?s=%2a&amp;m=1\">銘柄一覧</a></body></html>\n")};
        }
        return {404, "<html><body>404 Not Found</body></html>\n"};
    }

    // Counts a page request while it is being answered, for PeakConcurrentRequests.
    struct InFlight {
        explicit InFlight(Impl& impl) : m_impl(impl) {
            const int now = ++m_impl.activeRequests;
            int peak = m_impl.peakRequests.load();
            while (now > peak && !m_impl.peakRequests.compare_exchange_weak(peak, now)) {
            }
        }
        ~InFlight() { --m_impl.activeRequests; }
        InFlight(const InFlight&) = delete;
        InFlight& operator=(const InFlight&) = delete;
        Impl& m_impl;
    };

    void Serve(const httplib::Request& req, httplib::Response& res) {
        if (req.path.rfind("/_control/", 0) == 0) {
            Control(req, res);
            return;
        }
        const InFlight counted(*this);
        if (options.latency.count() > 0) {
            Stall(options.latency);
        }
        LogRequest(req);
        ChooseEncoding(req, options.gzip);
        auto [status, body] = Render(req);
        const std::optional<Fault> fault = TakeFault(req.target);
        res.status = status;
        if (!fault || fault->kind == FaultKind::kNone) {
            res.set_content(body, kHtml);
            return;
        }
        AnswerWithFault(*fault, req, res, std::move(body));
    }

    void LogRequest(const httplib::Request& req) {
        std::lock_guard lock(mutex);
        // A site left running for a whole-market history run sees hundreds of thousands of
        // requests; the log keeps the recent ones, which is all a test looks at.
        if (requests.size() >= kRequestLogLimit) {
            requests.erase(requests.begin(),
                           requests.begin() + static_cast<std::ptrdiff_t>(kRequestLogLimit / 2));
        }
        requests.push_back({req.target, req.get_header_value("User-Agent"),
                            req.get_header_value("Accept-Encoding")});
    }

    // res already holds the page's status; body is the page the fault spoils.
    void AnswerWithFault(const Fault& fault, const httplib::Request& req, httplib::Response& res,
                         std::string body) {
        switch (fault.kind) {
            case FaultKind::kStatus:
                res.status = fault.status;
                if (fault.retryAfterSeconds >= 0) {
                    res.set_header("Retry-After", std::to_string(fault.retryAfterSeconds));
                }
                res.set_content("<html><body>" + std::to_string(fault.status) + "</body></html>\n",
                                kHtml);
                return;
            case FaultKind::kEmpty:
                res.status = 200;
                res.set_content("", kHtml);
                return;
            case FaultKind::kGarbage:
                res.status = 200;
                res.set_content(Garbage(fault.bytes, req.target), "application/octet-stream");
                return;
            case FaultKind::kHuge:
                res.set_content(PadTo(std::move(body), fault.bytes), kHtml);
                return;
            case FaultKind::kNoEndTags:
                res.set_content(StripEndTags(body), kHtml);
                return;
            case FaultKind::kCut:
                SendHalfThenClose(res, std::move(body));
                return;
            case FaultKind::kStall:
                SendAfterStall(res, std::move(body), fault.stall);
                return;
            case FaultKind::kTrickle:
                SendByteByByte(res, std::move(body), fault.stall);
                return;
            case FaultKind::kGzipBomb:
                // Already encoded: the library must not encode it again.
                ChooseEncoding(req, false);
                res.status = 200;
                res.set_header("Content-Encoding", "gzip");
                res.set_content(Gzip(std::string(fault.bytes, '\0')), kHtml);
                return;
            case FaultKind::kGzipTrailing:
                ChooseEncoding(req, false);
                res.status = 200;
                res.set_header("Content-Encoding", "gzip");
                res.set_content(
                    Gzip(body) + Garbage(fault.bytes != 0 ? fault.bytes : 16, req.target), kHtml);
                return;
            case FaultKind::kRedirectLoop:
                res.status = 302;
                res.set_header("Location", req.target);
                return;
            case FaultKind::kMaintenance:
                res.status = 200;
                res.set_content(Utf8ToEuc(kMaintenanceText), kHtml);
                return;
            case FaultKind::kTruncated: {
                // The site itself sends less: its Content-Length says the short length, so the
                // transfer is complete and only the page is not.
                const std::size_t keep = fault.bytes != 0 ? fault.bytes : body.size() / 2;
                res.set_content(body.substr(0, std::min(keep, body.size())), kHtml);
                return;
            }
            case FaultKind::kNulInside: {
                const std::size_t at = fault.bytes != 0 ? fault.bytes : body.size() / 2;
                body.insert(std::min(at, body.size()), 1, '\0');
                res.set_content(body, kHtml);
                return;
            }
            case FaultKind::kNone:
                break;
        }
        res.set_content(body, kHtml);
    }

    static void SendHalfThenClose(httplib::Response& res, std::string body) {
        auto shared = std::make_shared<std::string>(std::move(body));
        const std::size_t sent = shared->size() / 2;
        res.set_content_provider(
            shared->size(), kHtml,
            [shared, sent](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                if (offset < sent) {
                    sink.write(shared->data() + offset, sent - offset);
                    return true;
                }
                return false;  // closes the connection short of the announced length
            });
    }

    void SendAfterStall(httplib::Response& res, std::string body, std::chrono::milliseconds stall) {
        auto shared = std::make_shared<std::string>(std::move(body));
        res.set_content_provider(
            shared->size(), kHtml,
            [this, shared, stall](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
                if (offset == 0) {
                    Stall(stall);
                    if (stopping) {
                        return false;
                    }
                }
                sink.write(shared->data() + offset, length);
                return true;
            });
    }

    void SendByteByByte(httplib::Response& res, std::string body,
                        std::chrono::milliseconds interval) {
        auto shared = std::make_shared<std::string>(std::move(body));
        res.set_content_provider(
            shared->size(), kHtml,
            [this, shared, interval](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                Stall(interval);
                if (stopping) {
                    return false;
                }
                sink.write(shared->data() + offset, 1);
                return true;
            });
    }

    // "/_control/fault?prefix=...&kind=status&status=500&retry_after=30&bytes=N&stall_ms=N&times=N",
    // "/_control/data_fault?kind=...&symbol=...", "/_control/clear", "/_control/requests" (the
    // targets received, one a line) and "/_control/peak" (the most page requests answered at once
    // since the last clear). docs/man/tickora-site.1.scd says what each does.
    void Control(const httplib::Request& req, httplib::Response& res) {
        if (req.path == "/_control/clear") {
            std::lock_guard lock(mutex);
            faults.clear();
            dataFaults.clear();
            requests.clear();
            peakRequests = 0;
            res.set_content("ok\n", "text/plain");
            return;
        }
        if (req.path == "/_control/requests") {
            std::string text;
            std::lock_guard lock(mutex);
            for (const auto& r : requests) {
                text += r.target + "\n";
            }
            res.set_content(text, "text/plain");
            return;
        }
        if (req.path == "/_control/peak") {
            res.set_content(std::to_string(peakRequests.load()) + "\n", "text/plain");
            return;
        }
        if (req.path == "/_control/fault" && req.has_param("prefix")) {
            ControlFault(req, res);
            return;
        }
        if (req.path == "/_control/data_fault" && req.has_param("kind")) {
            ControlDataFault(req, res);
            return;
        }
        res.status = 400;
        res.set_content("unknown control\n", "text/plain");
    }

    // The prefix is percent-decoded and a '+' in it reads as a blank, so a prefix holding '+' (a
    // quote page's symbol list) is sent as %2B.
    void ControlFault(const httplib::Request& req, httplib::Response& res) {
        Fault fault;
        fault.kind = KindOfName(req.get_param_value("kind"));
        if (fault.kind == FaultKind::kNone) {
            res.status = 400;
            res.set_content("unknown kind\n", "text/plain");
            return;
        }
        auto number = [&](const char* key, long long fallback) {
            return req.has_param(key) ? std::stoll(req.get_param_value(key)) : fallback;
        };
        try {
            fault.status = static_cast<int>(number("status", fault.status));
            fault.retryAfterSeconds = static_cast<int>(number("retry_after", -1));
            fault.bytes = static_cast<std::size_t>(number("bytes", 0));
            fault.stall = std::chrono::milliseconds(number("stall_ms", fault.stall.count()));
            fault.times = static_cast<int>(number("times", -1));
        } catch (const std::exception&) {
            res.status = 400;
            res.set_content("bad number\n", "text/plain");
            return;
        }
        {
            std::lock_guard lock(mutex);
            faults.emplace_back(req.get_param_value("prefix"), fault);
        }
        res.set_content("ok\n", "text/plain");
    }

    // Answers where the fault went, for a tester to expect its finding.
    void ControlDataFault(const httplib::Request& req, httplib::Response& res) {
        const std::optional<DataFault> kind = DataFaultNamed(req.get_param_value("kind"));
        if (!kind) {
            res.status = 400;
            res.set_content("unknown kind\n", "text/plain");
            return;
        }
        const std::optional<DataFaultPlace> place =
            PlaceDataFault(model, *kind, req.get_param_value("symbol"));
        if (!place) {
            res.status = 400;
            res.set_content("the stock is not listed or cannot carry this fault\n", "text/plain");
            return;
        }
        {
            std::lock_guard lock(mutex);
            dataFaults.push_back(*place);
        }
        res.set_content(PlaceText(*place), "text/plain");
    }

    // "symbol=1301 date=2026-12-04 expected=1234 shown=1244", prices as the pages write them
    // without grouping.
    std::string PlaceText(const DataFaultPlace& place) const {
        const SiteDate date = DateOfDayNumber(place.dayNumber);
        const int decimals = model.Decimals(*place.stock);
        char text[160];
        std::snprintf(text, sizeof text, "symbol=%s date=%04d-%02d-%02d expected=%.*f shown=%.*f\n",
                      place.symbol.c_str(), date.year, date.month, date.day, decimals,
                      place.expected, decimals, place.shown);
        return text;
    }
};

SiteServer::SiteServer(SiteOptions options) : m_impl(std::make_unique<Impl>(std::move(options))) {}

SiteServer::~SiteServer() {
    Stop();
}

bool SiteServer::Start() {
    if (m_impl->running) {
        return true;
    }
    auto& server = *m_impl->server;
    if (!server.is_valid()) {
        return false;  // a certificate or key that cannot be read
    }
    // Idle keep-alive connections hold a worker until this runs out; short, so Stop is quick.
    server.set_keep_alive_timeout(1);
    // The library's default also sets SO_REUSEPORT, which would let a second site share the port
    // silently and split the requests between two markets; a busy port must fail Start instead.
    // TCP_NODELAY: the answer goes out as headers and body in two writes; with Nagle on, the
    // body waits for the client's delayed ACK, 40 ms on every reused connection.
    server.set_socket_options([this](int sock) {
        int yes = 1;
        setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        setsockopt(sock, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
        m_impl->listenSocket = sock;
    });
    server.new_task_queue = [] { return new httplib::ThreadPool(kServerThreads); };
    server.Get(".*", [this](const httplib::Request& req, httplib::Response& res) {
        m_impl->Serve(req, res);
    });
    const std::string& host = m_impl->options.bindAddress;
    if (m_impl->options.port == 0) {
        m_impl->port = server.bind_to_any_port(host);
        if (m_impl->port <= 0) {
            return false;
        }
    } else {
        if (!server.bind_to_port(host, m_impl->options.port)) {
            return false;
        }
        m_impl->port = m_impl->options.port;
    }
    // The library listens with a backlog of 5: a client that opens eight or sixteen connections at
    // once would see the rest of its handshakes dropped and retried a second later. Listening
    // again on the same socket only raises the backlog.
    if (m_impl->listenSocket >= 0) {
        (void)::listen(m_impl->listenSocket, SOMAXCONN);
    }
    m_impl->stopping = false;
    m_impl->thread = std::thread([this] { m_impl->server->listen_after_bind(); });
    // The library's stop() ends only a loop that already runs: a Stop right after Start would
    // otherwise leave the loop listening and Stop's join waiting for ever.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!m_impl->server->is_running() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    m_impl->running = true;
    return true;
}

void SiteServer::Stop() {
    if (!m_impl->running) {
        return;
    }
    {
        std::lock_guard lock(m_impl->stallMutex);
        m_impl->stopping = true;
    }
    m_impl->stallWake.notify_all();
    m_impl->server->stop();
    if (m_impl->thread.joinable()) {
        m_impl->thread.join();
    }
    m_impl->running = false;
}

int SiteServer::Port() const {
    return m_impl->port;
}

std::string SiteServer::Url() const {
    const std::string& host = m_impl->options.bindAddress;
    const char* scheme = m_impl->options.tlsCertFile.empty() ? "http://" : "https://";
    return scheme + (host == "0.0.0.0" ? std::string("127.0.0.1") : host) + ":" +
           std::to_string(m_impl->port);
}

void SiteServer::SetFault(const std::string& prefix, const Fault& fault) {
    std::lock_guard lock(m_impl->mutex);
    m_impl->faults.emplace_back(prefix, fault);
}

void SiteServer::ClearFaults() {
    std::lock_guard lock(m_impl->mutex);
    m_impl->faults.clear();
}

std::optional<DataFaultPlace> SiteServer::SetDataFault(DataFault fault, std::string_view symbol) {
    std::optional<DataFaultPlace> place = PlaceDataFault(m_impl->model, fault, symbol);
    if (place) {
        std::lock_guard lock(m_impl->mutex);
        m_impl->dataFaults.push_back(*place);
    }
    return place;
}

void SiteServer::ClearDataFaults() {
    std::lock_guard lock(m_impl->mutex);
    m_impl->dataFaults.clear();
}

std::vector<ReceivedRequest> SiteServer::Requests() const {
    std::lock_guard lock(m_impl->mutex);
    return m_impl->requests;
}

void SiteServer::ClearRequests() {
    std::lock_guard lock(m_impl->mutex);
    m_impl->requests.clear();
    m_impl->peakRequests = 0;
}

int SiteServer::PeakConcurrentRequests() const {
    return m_impl->peakRequests.load();
}

const MarketModel& SiteServer::Model() const {
    return m_impl->model;
}

bool SiteServer::DumpTruth(const std::string& path) const {
    return WriteTruthCsv(m_impl->model, path);
}

std::string SiteServer::FetchListCsv() const {
    return FetchListOf(m_impl->model);
}

}  // namespace tickora::site
