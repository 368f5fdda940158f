// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Optional retries and pacing around each page download, for unattended runs that should survive
// a passing fault of the site. The defaults (no retry, no pacing) keep one attempt per page and no
// wait at all.
#include <atomic>
#include <chrono>
#include <functional>

namespace tickora {

// More retries than this only hammer a site that is down; fewer leave a long night exposed.
inline constexpr int kMaxRetries = 10;
inline constexpr int kMaxPaceMs = 60000;
// A server that asks for a longer pause than this is treated as asking for this.
inline constexpr int kMaxRetryWaitMs = 60000;

struct RetryPolicy {
    int retries = 0;  // further attempts after a failed one, 0..kMaxRetries
    int paceMs = 0;   // least time between the starts of two requests, process-wide
    // The first backoff wait; each further retry doubles it. Tests shrink it.
    int backoffBaseMs = 1000;
};

// Out-of-range values are clamped: negatives to 0, retries to kMaxRetries, pace and the backoff
// base to their own bounds.
[[nodiscard]] RetryPolicy ClampedRetryPolicy(RetryPolicy policy);

// The cancel flag that downloads on the calling thread poll while they wait before a retry or for
// their pacing slot. Per thread, so a job's worker points it at its own document's flag and the
// pointer ends with the worker; nullptr (the default) means nothing can cancel a wait.
void SetDownloadCancelFlag(const std::atomic<bool>* flag);
// The calling thread's cancel flag, so that the helper threads of a job can watch the same one.
[[nodiscard]] const std::atomic<bool>* GetDownloadCancelFlag();
// True when the calling thread's cancel flag or its abort flag is set.
[[nodiscard]] bool DownloadCancelRequested();

// A second flag per thread: when set, a download on the thread ends at once, without the grace
// Cancel gives a page that is nearly there, and its waits end too. For helper threads whose pages
// nobody wants any more.
void SetDownloadAbortFlag(const std::atomic<bool>* flag);
[[nodiscard]] bool DownloadAbortRequested();

// Reserves the next start time that keeps paceMs between the starts of any two requests of the
// process, for callers that wait for it themselves; now when paceMs is 0.
[[nodiscard]] std::chrono::steady_clock::time_point ReservePacingSlot(int paceMs);

// What one attempt of a download ended with.
struct AttemptOutcome {
    int result = 0;              // what the single attempt returns to its caller
    bool retryable = false;      // a transport error, a time-out, a 429 or a 5xx answer
    long retryAfterSeconds = 0;  // the server's Retry-After, 0 when it gave none
    bool wroteFile = false;      // the attempt created or truncated the local file
};

// Runs attempt under policy: waits for its pacing slot before each attempt, repeats a
// retryable one at most policy.retries times with exponential backoff (at least the server's
// Retry-After, at most kMaxRetryWaitMs), and gives up as soon as the cancel flag is set during a
// backoff wait. Returns the result of the last attempt made, except that a last attempt which left
// the file alone after an earlier one wrote part of it returns 1: the caller must not take that
// partial page for a complete one.
[[nodiscard]] int RunWithRetries(const RetryPolicy& policy,
                                 const std::function<AttemptOutcome()>& attempt);

// The backoff before retry number retry (1-based) under base, honouring retryAfterSeconds.
[[nodiscard]] long long BackoffMs(int retry, int baseMs, long retryAfterSeconds);

}  // namespace tickora
