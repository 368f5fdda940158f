#include "web/download.h"

#include <curl/curl.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <memory>
#include <mutex>

namespace tickora {
namespace {

constexpr const char* kUserAgent = "Http Ver1.0 Session";
constexpr long kTransferBufferSize = 50000;
// The common limit of web browsers.
constexpr long kMaxRedirects = 20;

std::atomic<long long> g_connectTimeoutMs{30000};
std::atomic<long long> g_stallTimeoutMs{60000};

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

struct Transfer {
    CURL* curl = nullptr;
    const char* localPath = nullptr;
    FileHandle file;
    bool fileFailed = false;
};

// Opened only once the status is known to be 200, so a failed or refused request never touches
// a page that an earlier download left in place.
bool OpenLocalFile(Transfer& t) {
    t.file.reset(std::fopen(t.localPath, "wb"));
    if (!t.file) {
        t.fileFailed = true;
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
    if (std::fwrite(data, 1, bytes, t.file.get()) != bytes) {
        t.fileFailed = true;
        return 0;
    }
    return bytes;
}

long WholeSecondsAtLeastOne(long long ms) {
    return ms <= 1000 ? 1L : static_cast<long>((ms + 999) / 1000);
}

}  // namespace

void SetDownloadLimits(const DownloadLimits& limits) {
    g_connectTimeoutMs.store(limits.connectTimeout.count());
    g_stallTimeoutMs.store(limits.stallTimeout.count());
}

DownloadLimits GetDownloadLimits() {
    DownloadLimits limits;
    limits.connectTimeout = std::chrono::milliseconds(g_connectTimeoutMs.load());
    limits.stallTimeout = std::chrono::milliseconds(g_stallTimeoutMs.load());
    return limits;
}

// One GET; outcome tells the retry loop whether another attempt could help.
static int DownloadOnce(const char* url, const char* localPath, AttemptOutcome& outcome) {
    CURL* curl = ThreadHandle();
    if (curl == nullptr || url == nullptr || localPath == nullptr) {
        return 1;
    }
    curl_easy_reset(curl);
    Transfer t;
    t.curl = curl;
    t.localPath = localPath;

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
    // Worker threads must not take signals for name-resolution time-outs.
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(g_connectTimeoutMs.load()));
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, WholeSecondsAtLeastOne(g_stallTimeoutMs.load()));
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, OnBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &t);

    const CURLcode code = curl_easy_perform(curl);
    int result = code == CURLE_OK ? 0 : 1;
    if (result == 0) {
        long status = 0;
        curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
        if (status == 200 && !t.file && !OpenLocalFile(t)) {
            result = 1;
        }
    }
    if (t.fileFailed) {
        result = 1;
    }
    outcome.wroteFile = static_cast<bool>(t.file);
    // What arrived before a failure stays in the file; a close that loses bytes is a failure.
    if (t.file && std::fclose(t.file.release()) != 0) {
        result = 1;
    }
    long status = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    curl_off_t retryAfter = 0;
    curl_easy_getinfo(curl, CURLINFO_RETRY_AFTER, &retryAfter);
    // A local file that cannot be written fails the same way every time: no retry for it.
    const bool localFailure = t.fileFailed;
    outcome.result = result;
    outcome.retryable =
        !localFailure && (code != CURLE_OK || status == 429 || (status >= 500 && status <= 599));
    outcome.retryAfterSeconds =
        retryAfter > 0 ? static_cast<long>(std::min<curl_off_t>(retryAfter, 3600)) : 0;
    return result;
}

int DownloadToFile(const char* url, const char* localPath) {
    return RunWithRetries([&] {
        AttemptOutcome outcome;
        outcome.result = DownloadOnce(url, localPath, outcome);
        return outcome;
    });
}

}  // namespace tickora
