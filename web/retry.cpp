// SPDX-License-Identifier: GPL-3.0-or-later
#include "web/retry.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <mutex>
#include <thread>

namespace tickora {
namespace {

using Clock = std::chrono::steady_clock;

// Cancel must take effect within a blink even in the middle of a minute-long wait.
constexpr auto kCancelPollInterval = std::chrono::milliseconds(20);
constexpr int kMaxBackoffBaseMs = kMaxRetryWaitMs;

// Pacing is process-wide: each request reserves the next free start time under the lock, then
// waits for it outside, so concurrent callers are spaced too.
std::mutex g_paceMutex;
bool g_anyRequestStarted = false;
Clock::time_point g_lastStart;

thread_local const std::atomic<bool>* t_cancelFlag = nullptr;
thread_local const std::atomic<bool>* t_abortFlag = nullptr;

bool Aborted() {
    return t_abortFlag != nullptr && t_abortFlag->load();
}

bool Cancelled() {
    return (t_cancelFlag != nullptr && t_cancelFlag->load()) || Aborted();
}

// Sleeps until deadline in short steps; false when the cancel flag was seen set.
bool WaitUntil(Clock::time_point deadline) {
    while (true) {
        if (Cancelled()) {
            return false;
        }
        const auto now = Clock::now();
        if (now >= deadline) {
            return true;
        }
        std::this_thread::sleep_for(std::min<Clock::duration>(deadline - now, kCancelPollInterval));
    }
}

void WaitForPacingSlot(int paceMs) {
    if (paceMs <= 0) {
        return;
    }
    const Clock::time_point slot = ReservePacingSlot(paceMs);
    // A cancel only cuts the wait short: the request still goes out, so the caller gets the same
    // kind of result for its current item as without pacing, and stops after it.
    (void)WaitUntil(slot);
}

}  // namespace

RetryPolicy ClampedRetryPolicy(RetryPolicy p) {
    p.retries = std::clamp(p.retries, 0, kMaxRetries);
    p.paceMs = std::clamp(p.paceMs, 0, kMaxPaceMs);
    p.backoffBaseMs = std::clamp(p.backoffBaseMs, 0, kMaxBackoffBaseMs);
    return p;
}

Clock::time_point ReservePacingSlot(int paceMs) {
    const auto now = Clock::now();
    if (paceMs <= 0) {
        return now;
    }
    std::lock_guard lock(g_paceMutex);
    Clock::time_point slot = now;
    if (g_anyRequestStarted) {
        slot = std::max(now, g_lastStart + std::chrono::milliseconds(paceMs));
    }
    g_lastStart = slot;
    g_anyRequestStarted = true;
    return slot;
}

void SetDownloadCancelFlag(const std::atomic<bool>* flag) {
    t_cancelFlag = flag;
}

const std::atomic<bool>* GetDownloadCancelFlag() {
    return t_cancelFlag;
}

bool DownloadCancelRequested() {
    return Cancelled();
}

void SetDownloadAbortFlag(const std::atomic<bool>* flag) {
    t_abortFlag = flag;
}

bool DownloadAbortRequested() {
    return Aborted();
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

int RunWithRetries(const RetryPolicy& given, const std::function<AttemptOutcome()>& attempt) {
    const RetryPolicy policy = ClampedRetryPolicy(given);
    WaitForPacingSlot(policy.paceMs);
    AttemptOutcome outcome = attempt();
    bool partialFileLeft = outcome.wroteFile && outcome.result != 0;
    for (int retry = 1; retry <= policy.retries && outcome.retryable; ++retry) {
        const auto wait = std::chrono::milliseconds(
            BackoffMs(retry, policy.backoffBaseMs, outcome.retryAfterSeconds));
        if (!WaitUntil(Clock::now() + wait)) {
            break;
        }
        WaitForPacingSlot(policy.paceMs);
        outcome = attempt();
        if (outcome.wroteFile) {
            partialFileLeft = outcome.result != 0;
        }
    }
    return partialFileLeft ? 1 : outcome.result;
}

}  // namespace tickora
