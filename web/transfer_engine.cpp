// SPDX-License-Identifier: GPL-3.0-or-later
#include "web/transfer_engine.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <optional>
#include <string>

#include "files/file_handle.h"
#include "files/local_file.h"
#include "web/connections.h"
#include "web/retry.h"
#include "web/transfer_causes.h"

namespace tickora {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr const char* kUserAgent = "Http Ver1.0 Session";
constexpr long kTransferBufferSize = 50000;
// The common limit of web browsers.
constexpr long kMaxRedirects = 20;
// Cancel and the pacing slots must be noticed within a blink while transfers wait for data.
constexpr auto kLoopPoll = 20ms;

struct CurlCleanup {
    void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
};
using CurlHandle = std::unique_ptr<CURL, CurlCleanup>;

// libcurl's global state is the process's whatever we do; this flag only makes its one
// initialisation happen once, before the first engine of any job.
void InitCurlOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

long WholeSecondsAtLeastOne(long long ms) {
    return ms <= 1000 ? 1L : static_cast<long>((ms + 999) / 1000);
}

// libcurl before 8.0 breaks an HTTP/2 connection opened with prior knowledge when it reuses it
// ("Error in the HTTP2 framing layer" on every later request: curl issue 10634). There, plain
// HTTP asks for h2c with an Upgrade on the connection's first request instead, and every later
// request goes out on that connection as HTTP/2.
bool PriorKnowledgeReusable() {
    return curl_version_info(CURLVERSION_NOW)->version_num >= 0x080000;
}

long CurlHttpVersion(Http2Mode mode) {
    switch (mode) {
        case Http2Mode::kAuto:
            return CURL_HTTP_VERSION_2TLS;
        case Http2Mode::kPriorKnowledge:
            return PriorKnowledgeReusable() ? CURL_HTTP_VERSION_2_PRIOR_KNOWLEDGE
                                            : CURL_HTTP_VERSION_2_0;
        case Http2Mode::kOff:
            return CURL_HTTP_VERSION_1_1;
    }
    return CURL_HTTP_VERSION_2TLS;
}

bool IsTlsFailure(CURLcode code) {
    switch (code) {
        case CURLE_PEER_FAILED_VERIFICATION:
        case CURLE_SSL_CONNECT_ERROR:
        case CURLE_SSL_CERTPROBLEM:
        case CURLE_SSL_CIPHER:
        case CURLE_SSL_CACERT_BADFILE:
        case CURLE_SSL_ISSUER_ERROR:
        case CURLE_SSL_CRL_BADFILE:
        case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
        case CURLE_SSL_INVALIDCERTSTATUS:
        case CURLE_SSL_ENGINE_INITFAILED:
            return true;
        default:
            return false;
    }
}

std::string HostOf(CURL* curl) {
    char* url = nullptr;
    curl_easy_getinfo(curl, CURLINFO_EFFECTIVE_URL, &url);
    std::string host = "the site";
    CURLU* parsed = curl_url();
    char* name = nullptr;
    if (parsed != nullptr && url != nullptr &&
        curl_url_set(parsed, CURLUPART_URL, url, 0) == CURLUE_OK &&
        curl_url_get(parsed, CURLUPART_HOST, &name, 0) == CURLUE_OK) {
        host = name;
        curl_free(name);
    }
    curl_url_cleanup(parsed);
    return host;
}

}  // namespace

struct TransferEngine::Page {
    Id id = 0;
    std::string url;
    std::string path;
    RetryPolicy policy;
    DownloadLimits limits;
    Transport transport;
    int retriesDone = 0;
    Clock::time_point startAt;
    bool slotReserved = false;  // startAt is the page's pacing slot
    bool backingOff = false;    // startAt ends the wait before a retry

    // The attempt in flight.
    CurlHandle curl;
    FileHandle file;
    std::int64_t stored = 0;
    std::int64_t maxBytes = 0;
    bool tooLarge = false;
    int fileError = 0;  // errno of a failed create, write or close; 0 when none
    bool cancelled = false;
    Clock::time_point cancelSeen{};
    char errorBuffer[CURL_ERROR_SIZE] = {};

    // Why the CA file of the transport cannot be used; then TLS is refused, naming it.
    std::string caProblem;

    // Across attempts.
    bool partialFileLeft = false;
    AttemptOutcome last;
    DownloadDetail lastDetail;
};

namespace {

using Page = TransferEngine::Page;

// Opened only once the status is known to be 200, so a failed or refused request never touches
// a page that an earlier download left in place.
bool OpenLocalFile(Page& page) {
    // A link planted at a work file's name must not carry the page to a file elsewhere.
    page.file.reset(tickora::OpenLocalFile(page.path.c_str(), "wb"));
    if (!page.file) {
        page.fileError = errno != 0 ? errno : EIO;
        return false;
    }
    return true;
}

// libcurl hands over decoded bytes, so the page limit counts what the parsers would read.
std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* context) {
    auto& page = *static_cast<Page*>(context);
    const std::size_t bytes = size * count;
    long status = 0;
    curl_easy_getinfo(page.curl.get(), CURLINFO_RESPONSE_CODE, &status);
    if (status != 200) {
        return bytes;
    }
    if (!page.file && !OpenLocalFile(page)) {
        return 0;
    }
    // Only the bytes up to the limit are kept; the transfer then stops.
    std::size_t keep = bytes;
    if (page.stored + static_cast<std::int64_t>(bytes) > page.maxBytes) {
        keep = static_cast<std::size_t>(std::max<std::int64_t>(page.maxBytes - page.stored, 0));
        page.tooLarge = true;
    }
    if (keep > 0 && std::fwrite(data, 1, keep, page.file.get()) != keep) {
        page.fileError = errno != 0 ? errno : EIO;
        return 0;
    }
    page.stored += static_cast<std::int64_t>(keep);
    return page.tooLarge ? 0 : bytes;
}

bool ContentWasEncoded(CURL* curl) {
    curl_header* header = nullptr;
    if (curl_easy_header(curl, "Content-Encoding", 0, CURLH_HEADER, -1, &header) != CURLHE_OK) {
        return false;
    }
    return header->value != nullptr && std::strcmp(header->value, "identity") != 0 &&
           header->value[0] != '\0';
}

DownloadDetail Describe(CURLcode code, long status, const Page& page) {
    DownloadDetail detail;
    detail.status = status;
    if (page.fileError != 0) {
        detail.failure = PageFailure::kLocalFile;
        detail.cause = page.path + ": " + LocalFileErrorText(page.fileError);
        return detail;
    }
    if (page.tooLarge) {
        detail.failure = PageFailure::kTooLarge;
        const std::string limit = std::to_string(page.maxBytes / (1024 * 1024)) + " MiB";
        detail.cause =
            ContentWasEncoded(page.curl.get())
                ? "page larger than " + limit + " after decoding; the transfer was stopped there"
                : "the page is larger than " + limit + "; the transfer was stopped there";
        return detail;
    }
    if (code == CURLE_ABORTED_BY_CALLBACK && page.cancelled) {
        detail.failure = PageFailure::kCancelled;
        detail.cause = "cancelled during the transfer";
        return detail;
    }
    const char* words = page.errorBuffer[0] != '\0' ? page.errorBuffer : curl_easy_strerror(code);
    // The proxy is the user's to mend (its address, its credentials): it is named as the proxy,
    // not as a host and port or a status the site would have sent.
    const std::optional<std::string> proxy =
        ProxyFailureCause(page.curl.get(), code, status, words);
    if (code != CURLE_OK) {
        detail.failure =
            code == CURLE_OPERATION_TIMEDOUT ? PageFailure::kTimeout : PageFailure::kTransport;
        detail.cause = LibcurlCause(code, words);
        if (IsTlsFailure(code)) {
            // A certificate problem is the user's to solve (a CA file, a proxy): say where.
            const std::string& why = page.caProblem.empty() ? detail.cause : page.caProblem;
            detail.cause = "TLS with " + HostOf(page.curl.get()) + " failed: " + why;
        } else if (proxy) {
            detail.cause = *proxy;
        } else if (std::optional<std::string> body = BadBodyCause(page.curl.get(), code, words)) {
            // Every write of ours succeeded (fileError is 0): the body is the site's fault.
            detail.cause = std::move(*body);
        }
        return detail;
    }
    if (status != 200) {
        detail.failure = PageFailure::kHttpStatus;
        detail.cause = proxy.value_or(HttpStatusCause(status));
    }
    return detail;
}

// A bundle that holds no certificate: libcurl then refuses every TLS connection of the page,
// while a page over plain HTTP goes on, as it did when libcurl opened a missing CA file itself.
constexpr char kNoCertificate[] = "\n";

void UseCaFile(Page& page, const CaBundle& bundle) {
    page.caProblem = bundle.problem;
    curl_blob blob{};
    // Besides the system's store, which libcurl still reads from its CA directory.
    if (bundle.problem.empty()) {
        blob.data = const_cast<char*>(bundle.pem.data());
        blob.len = bundle.pem.size();
    } else {
        blob.data = const_cast<char*>(kNoCertificate);
        blob.len = sizeof kNoCertificate - 1;
    }
    blob.flags = CURL_BLOB_COPY;
    curl_easy_setopt(page.curl.get(), CURLOPT_CAINFO_BLOB, &blob);
}

void Configure(Page& page, const DownloadLimits& limits, const CaBundle* ca) {
    const Transport& transport = page.transport;
    CURL* curl = page.curl.get();
    curl_easy_setopt(curl, CURLOPT_URL, page.url.c_str());
    // The path and query go out exactly as the job composed them.
    curl_easy_setopt(curl, CURLOPT_PATH_AS_IS, 1L);
    curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(curl, CURLOPT_USERAGENT, kUserAgent);
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, kMaxRedirects);
    curl_easy_setopt(curl, CURLOPT_BUFFERSIZE, kTransferBufferSize);
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, page.errorBuffer);
    // Threads must not take signals for name-resolution time-outs.
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS,
                     static_cast<long>(limits.connectTimeout.count()));
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME,
                     WholeSecondsAtLeastOne(limits.stallTimeout.count()));
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, static_cast<long>(limits.pageTimeout.count()));
    // Every encoding this libcurl decodes; the pages are stored decoded.
    curl_easy_setopt(curl, CURLOPT_ACCEPT_ENCODING, "");
    curl_easy_setopt(curl, CURLOPT_HTTP_VERSION, CurlHttpVersion(transport.http2));
    // A new request waits for a connection being opened to learn whether it can share it,
    // instead of opening one more.
    curl_easy_setopt(curl, CURLOPT_PIPEWAIT, transport.http2 == Http2Mode::kOff ? 0L : 1L);
    if (ca != nullptr) {
        UseCaFile(page, *ca);
    }
    if (!transport.proxy.empty()) {
        curl_easy_setopt(curl, CURLOPT_PROXY, transport.proxy.c_str());
        curl_easy_setopt(curl, CURLOPT_NOPROXY, transport.noProxy.c_str());
    } else if (!transport.noProxy.empty()) {
        curl_easy_setopt(curl, CURLOPT_NOPROXY, transport.noProxy.c_str());
    }
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, OnBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &page);
    curl_easy_setopt(curl, CURLOPT_PRIVATE, &page);
}

}  // namespace

TransferEngine::TransferEngine(int connections, int streams, const TransferControl& control)
    : m_connections(std::clamp(connections, kMinConnections, kMaxConnections)),
      m_streams(std::clamp(streams, kMinStreams, kMaxStreams)),
      m_pacer(control.pacer),
      m_cancel(control.cancel) {
    InitCurlOnce();
    m_multi = curl_multi_init();
    if (m_multi != nullptr) {
        curl_multi_setopt(m_multi, CURLMOPT_PIPELINING, CURLPIPE_MULTIPLEX);
        curl_multi_setopt(m_multi, CURLMOPT_MAX_HOST_CONNECTIONS, static_cast<long>(m_connections));
        curl_multi_setopt(m_multi, CURLMOPT_MAX_CONCURRENT_STREAMS, static_cast<long>(m_streams));
    }
}

TransferEngine::~TransferEngine() {
    AbortAll();
    if (m_multi != nullptr) {
        curl_multi_cleanup(m_multi);
    }
}

int TransferEngine::Free() const {
    const int capacity = m_connections * (m_multiplexing ? m_streams : 1);
    return std::max(capacity - static_cast<int>(m_pages.size()), 0);
}

void TransferEngine::Add(Id id, std::string url, std::string path, const SiteAccess& access) {
    auto page = std::make_unique<Page>();
    page->id = id;
    page->url = std::move(url);
    page->path = std::move(path);
    page->policy = access.retry;
    page->limits = access.limits;
    page->transport = access.transport;
    page->startAt = Clock::now();
    m_pages[id] = std::move(page);
}

const CaBundle& TransferEngine::CaFile(const std::string& path) {
    auto it = m_caFiles.find(path);
    if (it == m_caFiles.end()) {
        it = m_caFiles.emplace(path, ReadCaFile(path)).first;
    }
    return it->second;
}

void TransferEngine::Wakeup() {
    if (m_multi != nullptr) {
        curl_multi_wakeup(m_multi);
    }
}

void TransferEngine::StartDue(std::vector<Finished>& finished) {
    const bool cancel = m_cancel.Cancelled();
    for (auto it = m_pages.begin(); it != m_pages.end();) {
        Page& page = *(it++)->second;  // Finish may erase the page
        if (page.curl) {
            continue;
        }
        if (page.backingOff && cancel) {
            Finish(page, finished);  // nobody waits for a retry after Cancel
            continue;
        }
        const auto now = Clock::now();
        if (!page.slotReserved && now >= page.startAt) {
            page.startAt = m_pacer.Reserve(page.policy.paceMs);
            page.slotReserved = true;
            page.backingOff = false;
        }
        // Cancel only cuts the wait for the slot short: the request still goes out, so the page
        // ends as it would have without pacing.
        if (page.slotReserved && (now >= page.startAt || cancel)) {
            StartAttempt(page, finished);
        }
    }
}

void TransferEngine::StartAttempt(Page& page, std::vector<Finished>& finished) {
    page.curl.reset(curl_easy_init());
    page.file.reset();
    page.stored = 0;
    page.tooLarge = false;
    page.fileError = 0;
    page.cancelled = false;
    page.errorBuffer[0] = '\0';
    page.maxBytes = page.limits.maxPageBytes;
    if (!page.curl || m_multi == nullptr) {
        page.curl.reset();
        page.lastDetail = {PageFailure::kTransport, 0, "the download could not be set up"};
        page.last = AttemptOutcome{1, false, 0, false};
        Finish(page, finished);
        return;
    }
    Configure(page, page.limits,
              page.transport.caFile.empty() ? nullptr : &CaFile(page.transport.caFile));
    curl_multi_add_handle(m_multi, page.curl.get());
}

namespace {

// A local file that cannot be written, a page over the limit and Cancel end the same way every
// time: only the site's passing faults are worth another attempt.
bool WorthRetrying(const DownloadDetail& detail, long status) {
    return detail.failure == PageFailure::kTransport || detail.failure == PageFailure::kTimeout ||
           (detail.failure == PageFailure::kHttpStatus &&
            (status == 429 || (status >= 500 && status <= 599)));
}

// The site's Retry-After, at most an hour; 0 when it gave none.
long RetryAfterSeconds(CURL* curl) {
    curl_off_t retryAfter = 0;
    curl_easy_getinfo(curl, CURLINFO_RETRY_AFTER, &retryAfter);
    return retryAfter > 0 ? static_cast<long>(std::min<curl_off_t>(retryAfter, 3600)) : 0;
}

}  // namespace

void TransferEngine::EndAttempt(Page& page, int codeValue, std::vector<Finished>& finished) {
    const auto code = static_cast<CURLcode>(codeValue);
    CURL* curl = page.curl.get();
    curl_multi_remove_handle(m_multi, curl);
    long status = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    if (code == CURLE_OK && status == 200 && !page.file) {
        (void)OpenLocalFile(page);  // an empty page is still a page
    }
    AttemptOutcome outcome;
    outcome.wroteFile = static_cast<bool>(page.file);
    // What arrived before a failure stays in the file; a close that loses bytes is a failure.
    if (page.file && std::fclose(page.file.release()) != 0 && page.fileError == 0) {
        page.fileError = errno != 0 ? errno : EIO;
    }
    DownloadDetail detail = Describe(code, status, page);
    outcome.result = detail.Ok() || detail.failure == PageFailure::kHttpStatus ? 0 : 1;
    outcome.retryable = WorthRetrying(detail, status);
    outcome.retryAfterSeconds = RetryAfterSeconds(curl);
    long version = 0;
    if (curl_easy_getinfo(curl, CURLINFO_HTTP_VERSION, &version) == CURLE_OK &&
        version >= CURL_HTTP_VERSION_2_0) {
        m_multiplexing = true;
    }
    page.curl.reset();
    if (outcome.wroteFile) {
        page.partialFileLeft = outcome.result != 0;
    }
    page.last = outcome;
    page.lastDetail = std::move(detail);
    if (outcome.retryable && page.retriesDone < page.policy.retries && !m_cancel.Cancelled()) {
        ++page.retriesDone;
        page.startAt = Clock::now() +
                       std::chrono::milliseconds(BackoffMs(
                           page.retriesDone, page.policy.backoffBaseMs, outcome.retryAfterSeconds));
        page.slotReserved = false;
        page.backingOff = true;
        return;
    }
    Finish(page, finished);
}

void TransferEngine::Finish(Page& page, std::vector<Finished>& finished) {
    Finished done;
    done.id = page.id;
    // A last attempt that left alone the part of a page an earlier one wrote is no page.
    done.result = page.partialFileLeft ? 1 : page.last.result;
    done.detail = std::move(page.lastDetail);
    if (done.result != 0 && (done.detail.Ok() || done.detail.failure == PageFailure::kHttpStatus)) {
        done.detail.failure = PageFailure::kTransport;
        done.detail.cause =
            "the page arrived only in part (" +
            (done.detail.cause.empty() ? std::string("then status 200") : done.detail.cause) + ")";
    }
    finished.push_back(std::move(done));
    m_pages.erase(page.id);
}

void TransferEngine::CollectDone(std::vector<Finished>& finished) {
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(m_multi, &left)) {
        if (message->msg != CURLMSG_DONE) {
            continue;
        }
        Page* page = nullptr;
        curl_easy_getinfo(message->easy_handle, CURLINFO_PRIVATE, &page);
        if (page != nullptr) {
            EndAttempt(*page, message->data.result, finished);
        }
    }
}

void TransferEngine::AbortCancelled(std::vector<Finished>& finished) {
    if (!m_cancel.Cancelled()) {
        return;
    }
    const auto now = Clock::now();
    for (auto it = m_pages.begin(); it != m_pages.end();) {
        Page& page = *(it++)->second;
        if (!page.curl) {
            continue;
        }
        if (!page.cancelled) {
            page.cancelled = true;
            page.cancelSeen = now;
        }
        // Nobody waits for a page that is aborted: it gets no grace.
        if (m_cancel.Aborted() || now - page.cancelSeen >= kCancelGrace) {
            EndAttempt(page, CURLE_ABORTED_BY_CALLBACK, finished);
        }
    }
}

void TransferEngine::Step(std::vector<Finished>& finished) {
    StartDue(finished);
    if (m_multi != nullptr) {
        int running = 0;
        curl_multi_perform(m_multi, &running);
        CollectDone(finished);
    }
    AbortCancelled(finished);
}

void TransferEngine::Run(std::chrono::milliseconds wait, std::vector<Finished>& finished) {
    const std::size_t before = finished.size();
    Step(finished);
    if (finished.size() > before || m_multi == nullptr) {
        return;
    }
    const auto now = Clock::now();
    auto nap = std::min<Clock::duration>(wait, kLoopPoll);
    for (const auto& [id, page] : m_pages) {
        if (!page->curl) {
            nap =
                std::min<Clock::duration>(nap, std::max<Clock::duration>(page->startAt - now, 0ms));
        }
    }
    const auto napMs = std::chrono::ceil<std::chrono::milliseconds>(nap).count();
    curl_multi_poll(m_multi, nullptr, 0, static_cast<int>(napMs), nullptr);
    Step(finished);
}

void TransferEngine::Abort(Id id) {
    const auto it = m_pages.find(id);
    if (it == m_pages.end()) {
        return;
    }
    if (it->second->curl && m_multi != nullptr) {
        curl_multi_remove_handle(m_multi, it->second->curl.get());
    }
    m_pages.erase(it);  // its handle and its file close with it
}

void TransferEngine::AbortAll() {
    for (auto& [id, page] : m_pages) {
        if (page->curl && m_multi != nullptr) {
            curl_multi_remove_handle(m_multi, page->curl.get());
        }
        page->curl.reset();
        page->file.reset();
    }
    m_pages.clear();
}

}  // namespace tickora
