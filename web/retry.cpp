// SPDX-License-Identifier: GPL-3.0-or-later
#include "web/retry.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <thread>

namespace tickora {
namespace {

using Clock = std::chrono::steady_clock;

// Cancel must take effect within a blink even in the middle of a minute-long wait.
constexpr auto kCancelPollInterval = std::chrono::milliseconds(20);
constexpr int kMaxBackoffBaseMs = kMaxRetryWaitMs;

// Sleeps until deadline in short steps; false when cancel was seen set.
bool WaitUntil(Clock::time_point deadline, const CancelToken& cancel) {
    while (true) {
        if (cancel.Cancelled()) {
            return false;
        }
        const auto now = Clock::now();
        if (now >= deadline) {
            return true;
        }
        std::this_thread::sleep_for(std::min<Clock::duration>(deadline - now, kCancelPollInterval));
    }
}

void WaitForPacingSlot(int paceMs, const TransferControl& control) {
    if (paceMs <= 0) {
        return;
    }
    const Clock::time_point slot = control.pacer.Reserve(paceMs);
    // A cancel only cuts the wait short: the request still goes out, so the caller gets the same
    // kind of result for its current item as without pacing, and stops after it.
    (void)WaitUntil(slot, control.cancel);
}

}  // namespace

RetryPolicy ClampedRetryPolicy(RetryPolicy p) {
    p.retries = std::clamp(p.retries, 0, kMaxRetries);
    p.paceMs = std::clamp(p.paceMs, 0, kMaxPaceMs);
    p.backoffBaseMs = std::clamp(p.backoffBaseMs, 0, kMaxBackoffBaseMs);
    return p;
}

long long BackoffMs(int retry, int baseMs, long retryAfterSeconds) {
    long long wait = std::max(baseMs, 0);
    for (int i = 1; i < retry && wait < kMaxRetryWaitMs; ++i) {
        wait *= 2;
    }
    if (retryAfterSeconds > 0) {
        const long long asked =
            std::min<long long>(retryAfterSeconds, kMaxRetryWaitMs / 1000) * 1000;
        wait = std::max(wait, asked);
    }
    return std::min<long long>(wait, kMaxRetryWaitMs);
}

int RunWithRetries(const RetryPolicy& given, const TransferControl& control,
                   const std::function<AttemptOutcome()>& attempt) {
    const RetryPolicy policy = ClampedRetryPolicy(given);
    WaitForPacingSlot(policy.paceMs, control);
    AttemptOutcome outcome = attempt();
    bool partialFileLeft = outcome.wroteFile && outcome.result != 0;
    for (int retry = 1; retry <= policy.retries && outcome.retryable; ++retry) {
        const auto wait = std::chrono::milliseconds(
            BackoffMs(retry, policy.backoffBaseMs, outcome.retryAfterSeconds));
        if (!WaitUntil(Clock::now() + wait, control.cancel)) {
            break;
        }
        WaitForPacingSlot(policy.paceMs, control);
        outcome = attempt();
        if (outcome.wroteFile) {
            partialFileLeft = outcome.result != 0;
        }
    }
    return partialFileLeft ? 1 : outcome.result;
}

}  // namespace tickora
