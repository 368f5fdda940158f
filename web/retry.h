// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Optional retries and pacing around each page download, for unattended runs that should survive
// a passing fault of the site. The defaults (no retry, no pacing) keep one attempt per page and no
// wait at all.
#include <functional>

#include "web/transfer_control.h"

namespace tickora {

// More retries than this only hammer a site that is down; fewer leave a long night exposed.
inline constexpr int kMaxRetries = 10;
inline constexpr int kMaxPaceMs = 60000;
// A server that asks for a longer pause than this is treated as asking for this.
inline constexpr int kMaxRetryWaitMs = 60000;

struct RetryPolicy {
    int retries = 0;  // further attempts after a failed one, 0..kMaxRetries
    int paceMs = 0;   // least time between the starts of two requests sharing a Pacer
    // The first backoff wait; each further retry doubles it. Tests shrink it.
    int backoffBaseMs = 1000;

    [[nodiscard]] bool operator==(const RetryPolicy&) const = default;
};

// Out-of-range values are clamped: negatives to 0, retries to kMaxRetries, pace and the backoff
// base to their own bounds.
[[nodiscard]] RetryPolicy ClampedRetryPolicy(RetryPolicy policy);

// What one attempt of a download ended with.
struct AttemptOutcome {
    int result = 0;              // what the single attempt returns to its caller
    bool retryable = false;      // a transport error, a time-out, a 429 or a 5xx answer
    long retryAfterSeconds = 0;  // the server's Retry-After, 0 when it gave none
    bool wroteFile = false;      // the attempt created or truncated the local file
};

// Runs attempt under policy: waits for its slot on control's pacer before each attempt, repeats a
// retryable one at most policy.retries times with exponential backoff (at least the server's
// Retry-After, at most kMaxRetryWaitMs), and gives up as soon as control's Cancel is set during a
// backoff wait. Returns the result of the last attempt made, except that a last attempt which left
// the file alone after an earlier one wrote part of it returns 1: the caller must not take that
// partial page for a complete one.
[[nodiscard]] int RunWithRetries(const RetryPolicy& policy, const TransferControl& control,
                                 const std::function<AttemptOutcome()>& attempt);

// The backoff before retry number retry (1-based) under base, honouring retryAfterSeconds.
[[nodiscard]] long long BackoffMs(int retry, int baseMs, long retryAfterSeconds);

}  // namespace tickora
