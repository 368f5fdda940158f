// SPDX-License-Identifier: GPL-3.0-or-later
#include "web/download.h"

#include <curl/curl.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>

namespace tickora {
namespace {

using SteadyClock = std::chrono::steady_clock;

constexpr const char* kUserAgent = "Http Ver1.0 Session";
constexpr long kTransferBufferSize = 50000;
// The common limit of web browsers.
constexpr long kMaxRedirects = 20;

std::atomic<long long> g_connectTimeoutMs{30000};
std::atomic<long long> g_stallTimeoutMs{60000};
std::atomic<long long> g_pageTimeoutMs{300000};
std::atomic<std::int64_t> g_maxPageBytes{16 * 1024 * 1024};

struct CurlCleanup {
    void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
};
using CurlHandle = std::unique_ptr<CURL, CurlCleanup>;

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

void InitCurlOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// One handle per thread: its connection cache spares a new handshake for every page of a job,
// while each call still makes one complete GET of its own.
CURL* ThreadHandle() {
    thread_local CurlHandle handle;
    if (!handle) {
        InitCurlOnce();
        handle.reset(curl_easy_init());
    }
    return handle.get();
}

std::string SystemError(const char* path, int error) {
    return std::string(path) + ": " + std::strerror(error);
}

struct Transfer {
    CURL* curl = nullptr;
    const char* localPath = nullptr;
    FileHandle file;
    std::int64_t stored = 0;
    std::int64_t maxBytes = 0;
    bool tooLarge = false;
    int fileError = 0;  // errno of a failed create, write or close; 0 when none
    bool cancelled = false;
    SteadyClock::time_point cancelSeen{};
};

// Opened only once the status is known to be 200, so a failed or refused request never touches
// a page that an earlier download left in place.
bool OpenLocalFile(Transfer& t) {
    t.file.reset(std::fopen(t.localPath, "wb"));
    if (!t.file) {
        t.fileError = errno != 0 ? errno : EIO;
        return false;
    }
    return true;
}

std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* context) {
    auto& t = *static_cast<Transfer*>(context);
    const std::size_t bytes = size * count;
    long status = 0;
    curl_easy_getinfo(t.curl, CURLINFO_RESPONSE_CODE, &status);
    if (status != 200) {
        return bytes;
    }
    if (!t.file && !OpenLocalFile(t)) {
        return 0;
    }
    // Only the bytes up to the limit are kept; the transfer then stops.
    std::size_t keep = bytes;
    if (t.stored + static_cast<std::int64_t>(bytes) > t.maxBytes) {
        keep = static_cast<std::size_t>(std::max<std::int64_t>(t.maxBytes - t.stored, 0));
        t.tooLarge = true;
    }
    if (keep > 0 && std::fwrite(data, 1, keep, t.file.get()) != keep) {
        t.fileError = errno != 0 ? errno : EIO;
        return 0;
    }
    t.stored += static_cast<std::int64_t>(keep);
    return t.tooLarge ? 0 : bytes;
}

// libcurl calls this often while data flows and about once a second while none does, so Cancel
// reaches a transfer that trickles or stalls.
int OnProgress(void* context, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    auto& t = *static_cast<Transfer*>(context);
    if (!DownloadCancelRequested()) {
        return 0;
    }
    const auto now = SteadyClock::now();
    if (!t.cancelled) {
        t.cancelled = true;
        t.cancelSeen = now;
    }
    // Nobody waits for a page that is aborted: it gets no grace.
    return DownloadAbortRequested() || now - t.cancelSeen >= kCancelGrace ? 1 : 0;
}

long WholeSecondsAtLeastOne(long long ms) {
    return ms <= 1000 ? 1L : static_cast<long>((ms + 999) / 1000);
}

void Describe(CURLcode code, const char* errorBuffer, long status, const Transfer& t,
              DownloadDetail& detail) {
    detail = DownloadDetail{};
    detail.status = status;
    if (t.fileError != 0) {
        detail.failure = PageFailure::kLocalFile;
        detail.cause = SystemError(t.localPath, t.fileError);
        return;
    }
    if (t.tooLarge) {
        detail.failure = PageFailure::kTooLarge;
        detail.cause = "the page is larger than " + std::to_string(t.maxBytes / (1024 * 1024)) +
                       " MiB; the transfer was stopped there";
        return;
    }
    if (code == CURLE_ABORTED_BY_CALLBACK && t.cancelled) {
        detail.failure = PageFailure::kCancelled;
        detail.cause = "cancelled during the transfer";
        return;
    }
    if (code != CURLE_OK) {
        detail.failure =
            code == CURLE_OPERATION_TIMEDOUT ? PageFailure::kTimeout : PageFailure::kTransport;
        detail.cause = errorBuffer[0] != '\0' ? errorBuffer : curl_easy_strerror(code);
        return;
    }
    if (status != 200) {
        detail.failure = PageFailure::kHttpStatus;
        detail.cause = "HTTP " + std::to_string(status);
    }
}

// One GET; outcome tells the retry loop whether another attempt could help.
int DownloadOnce(const char* url, const char* localPath, AttemptOutcome& outcome,
                 DownloadDetail& detail) {
    CURL* curl = ThreadHandle();
    if (curl == nullptr || url == nullptr || localPath == nullptr) {
        detail = {PageFailure::kTransport, 0, "the download could not be set up"};
        return 1;
    }
    curl_easy_reset(curl);
    Transfer t;
    t.curl = curl;
    t.localPath = localPath;
    t.maxBytes = g_maxPageBytes.load();
    char errorBuffer[CURL_ERROR_SIZE] = {};

    curl_easy_setopt(curl, CURLOPT_URL, url);
    // The path and query go out exactly as the job composed them.
    curl_easy_setopt(curl, CURLOPT_PATH_AS_IS, 1L);
    curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(curl, CURLOPT_USERAGENT, kUserAgent);
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, kMaxRedirects);
    curl_easy_setopt(curl, CURLOPT_BUFFERSIZE, kTransferBufferSize);
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, errorBuffer);
    // Worker threads must not take signals for name-resolution time-outs.
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(g_connectTimeoutMs.load()));
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, WholeSecondsAtLeastOne(g_stallTimeoutMs.load()));
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, static_cast<long>(g_pageTimeoutMs.load()));
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, OnBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &t);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, OnProgress);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &t);

    const CURLcode code = curl_easy_perform(curl);
    long status = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    if (code == CURLE_OK && status == 200 && !t.file) {
        (void)OpenLocalFile(t);  // an empty page is still a page
    }
    outcome.wroteFile = static_cast<bool>(t.file);
    // What arrived before a failure stays in the file; a close that loses bytes is a failure.
    if (t.file && std::fclose(t.file.release()) != 0 && t.fileError == 0) {
        t.fileError = errno != 0 ? errno : EIO;
    }
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, nullptr);
    Describe(code, errorBuffer, status, t, detail);
    const int result = detail.Ok() || detail.failure == PageFailure::kHttpStatus ? 0 : 1;

    curl_off_t retryAfter = 0;
    curl_easy_getinfo(curl, CURLINFO_RETRY_AFTER, &retryAfter);
    // A local file that cannot be written, a page over the limit and Cancel end the same way
    // every time: only the site's passing faults are worth another attempt.
    const bool siteFault = detail.failure == PageFailure::kTransport ||
                           detail.failure == PageFailure::kTimeout ||
                           (detail.failure == PageFailure::kHttpStatus &&
                            (status == 429 || (status >= 500 && status <= 599)));
    outcome.result = result;
    outcome.retryable = siteFault;
    outcome.retryAfterSeconds =
        retryAfter > 0 ? static_cast<long>(std::min<curl_off_t>(retryAfter, 3600)) : 0;
    return result;
}

}  // namespace

void SetDownloadLimits(const DownloadLimits& limits) {
    g_connectTimeoutMs.store(limits.connectTimeout.count());
    g_stallTimeoutMs.store(limits.stallTimeout.count());
    g_pageTimeoutMs.store(limits.pageTimeout.count());
    g_maxPageBytes.store(limits.maxPageBytes);
}

DownloadLimits GetDownloadLimits() {
    DownloadLimits limits;
    limits.connectTimeout = std::chrono::milliseconds(g_connectTimeoutMs.load());
    limits.stallTimeout = std::chrono::milliseconds(g_stallTimeoutMs.load());
    limits.pageTimeout = std::chrono::milliseconds(g_pageTimeoutMs.load());
    limits.maxPageBytes = g_maxPageBytes.load();
    return limits;
}

const char* PageFailureName(PageFailure failure) {
    switch (failure) {
        case PageFailure::kNone:
            return "no failure";
        case PageFailure::kHttpStatus:
            return "HTTP status";
        case PageFailure::kTransport:
            return "transfer failed";
        case PageFailure::kTimeout:
            return "time-out";
        case PageFailure::kTooLarge:
            return "page too large";
        case PageFailure::kLocalFile:
            return "page not stored";
        case PageFailure::kCancelled:
            return "cancelled";
    }
    return "?";
}

int DownloadToFile(const char* url, const char* localPath, DownloadDetail* detail) {
    DownloadDetail last;
    const int result = RunWithRetries([&] {
        AttemptOutcome outcome;
        outcome.result = DownloadOnce(url, localPath, outcome, last);
        return outcome;
    });
    if (result != 0 && (last.Ok() || last.failure == PageFailure::kHttpStatus)) {
        // An earlier attempt left part of a page in the file and the last one did not replace it.
        last.failure = PageFailure::kTransport;
        last.cause = "the page arrived only in part (" +
                     (last.cause.empty() ? std::string("then status 200") : last.cause) + ")";
    }
    if (detail != nullptr) {
        *detail = std::move(last);
    }
    return result;
}

}  // namespace tickora
