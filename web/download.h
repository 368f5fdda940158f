// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One URL, one HTTP GET, one local file.
#include <chrono>
#include <cstdint>
#include <string>

#include "web/retry.h"
#include "web/transfer_control.h"

namespace tickora {

struct SiteAccess;  // web/site_access.h

// Why a page did not arrive as a whole answer of status 200.
enum class PageFailure {
    kNone,        // status 200, the body stored whole
    kHttpStatus,  // the exchange completed with another status: nothing was stored
    kTransport,   // no connection, a cut connection, a bad URL: libcurl's own words
    kTimeout,     // no connection in time, no byte for too long, or the page took too long
    kTooLarge,    // the body passed the page size limit; nothing past the limit was stored
    kLocalFile,   // the page could not be stored on disk
    kCancelled,   // Cancel ended the transfer
};

// What happened to one download, for the reports that name each failure.
struct DownloadDetail {
    PageFailure failure = PageFailure::kNone;
    long status = 0;    // the last HTTP status received; 0 when none arrived
    std::string cause;  // one line, UTF-8: "HTTP 500", libcurl's text, or "<path>: <error>"

    [[nodiscard]] bool Ok() const { return failure == PageFailure::kNone; }
};

// Fetches url with GET and, only when the answer is status 200, stores the body byte for byte in
// localPath (created or truncated). Returns 0 when the exchange completed whatever the status,
// 1 on a transport error, a time-out, an oversized page, Cancel, or a local file that cannot be
// written. Under a retry policy (web/retry.h) a failed attempt may be repeated; the result is then
// that of the last attempt. Each attempt waits for its start on control's pacer, and control's
// Cancel ends the download as it ends a page of a pool. detail, when given, says what the last
// attempt ended with.
[[nodiscard]] int DownloadToFile(const SiteAccess& access, const TransferControl& control,
                                 const char* url, const char* localPath,
                                 DownloadDetail* detail = nullptr);

// Limits that keep one hostile or broken server from holding a job (and its Cancel) for ever.
// Tests lower them so that no test waits a minute.
struct DownloadLimits {
    std::chrono::milliseconds connectTimeout{std::chrono::seconds(30)};
    // The transfer fails when fewer than one byte a second arrives for this long.
    std::chrono::milliseconds stallTimeout{std::chrono::seconds(60)};
    // A trickle of a byte now and then passes the stall limit; nothing passes this one.
    std::chrono::milliseconds pageTimeout{std::chrono::seconds(300)};
    // The largest real page is a few hundred kilobytes; anything this big is not a page.
    std::int64_t maxPageBytes = 16 * 1024 * 1024;

    [[nodiscard]] bool operator==(const DownloadLimits&) const = default;
};

// The page time limit as the settings give it, in whole seconds.
inline constexpr int kMinPageTimeoutSeconds = 1;
inline constexpr int kMaxPageTimeoutSeconds = 3600;

// How long a transfer in progress may still run after Cancel: long enough for a page that is
// nearly there to finish (so that it is still parsed), short enough that Cancel is felt at once.
inline constexpr std::chrono::milliseconds kCancelGrace{250};

// "HTTP 404", "connection refused", ...: a short name of the failure kind, for summaries.
[[nodiscard]] const char* PageFailureName(PageFailure failure);

}  // namespace tickora
