// SPDX-License-Identifier: GPL-3.0-or-later
// The retry policy's bounds and the retry loop's decisions, without a network.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "web/retry.h"
#include "web/transfer_control.h"

namespace tickora {
namespace {

TEST(RetryPolicyTest, DefaultsKeepOneAttemptAndNoWait) {
    const RetryPolicy policy;
    EXPECT_EQ(policy.retries, 0);
    EXPECT_EQ(policy.paceMs, 0);
}

TEST(RetryPolicyTest, ClampKeepsOutOfRangeValuesInBounds) {
    RetryPolicy wild;
    wild.retries = 1000;
    wild.paceMs = -20;
    wild.backoffBaseMs = -1;
    RetryPolicy got = ClampedRetryPolicy(wild);
    EXPECT_EQ(got.retries, kMaxRetries);
    EXPECT_EQ(got.paceMs, 0);
    EXPECT_EQ(got.backoffBaseMs, 0);
    wild.retries = -4;
    wild.paceMs = 1 << 30;
    got = ClampedRetryPolicy(wild);
    EXPECT_EQ(got.retries, 0);
    EXPECT_EQ(got.paceMs, kMaxPaceMs);
}

struct BackoffCase {
    int retry;
    int base;
    long retryAfter;
    long long expected;
};

TEST(RetryPolicyTest, BackoffDoublesHonoursRetryAfterAndIsCapped) {
    const BackoffCase cases[] = {
        {1, 1000, 0, 1000},  {2, 1000, 0, 2000},   {3, 1000, 0, 4000},   {6, 1000, 0, 32000},
        {7, 1000, 0, 60000}, {10, 1000, 0, 60000}, {40, 1000, 0, 60000}, {1, 1000, 5, 5000},
        {3, 1000, 2, 4000},  {1, 10, 1, 1000},     {1, 1000, 61, 60000}, {1, 1000, 100000, 60000},
        {1, 0, 0, 0},        {2, 0, 3, 3000},      {1, 1000, -5, 1000},
    };
    for (const BackoffCase& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.retry << " " << c.base << " " << c.retryAfter);
        EXPECT_EQ(BackoffMs(c.retry, c.base, c.retryAfter), c.expected);
    }
}

// However many threads reserve at once, the slots one pacer hands out lie a whole pace apart; a
// request without a pace waits for none, and another pacer (another document's jobs) knows
// nothing of the slots handed out here.
TEST(PacerTest, SlotsReservedFromManyThreadsLieAPaceApart) {
    using Clock = std::chrono::steady_clock;
    constexpr int kPaceMs = 100;
    Pacer pacer;
    const Clock::time_point begun = Clock::now();
    std::vector<Clock::time_point> slots(8);
    std::vector<std::thread> threads;
    for (Clock::time_point& slot : slots) {
        threads.emplace_back([&pacer, &slot] { slot = pacer.Reserve(kPaceMs); });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    std::sort(slots.begin(), slots.end());
    EXPECT_GE(slots.front(), begun);
    EXPECT_LE(slots.front(), Clock::now());
    for (std::size_t i = 1; i < slots.size(); ++i) {
        EXPECT_GE(slots[i] - slots[i - 1], std::chrono::milliseconds(kPaceMs)) << i;
    }
    const Clock::time_point unpaced = pacer.Reserve(0);
    EXPECT_LE(unpaced, Clock::now());
    Pacer another;
    const Clock::time_point elsewhere = another.Reserve(kPaceMs);
    EXPECT_LE(elsewhere, Clock::now());
}

// A scripted series of attempt outcomes; records how many attempts were made.
struct Script {
    std::vector<AttemptOutcome> outcomes;
    int made = 0;
    AttemptOutcome Next() {
        const AttemptOutcome o = outcomes[std::min<std::size_t>(made, outcomes.size() - 1)];
        ++made;
        return o;
    }
};

AttemptOutcome Completed(int result, bool retryable, bool wroteFile = false) {
    AttemptOutcome o;
    o.result = result;
    o.retryable = retryable;
    o.wroteFile = wroteFile;
    return o;
}

struct LoopCase {
    const char* name;
    int retries;
    std::vector<AttemptOutcome> outcomes;
    int expectedAttempts;
    int expectedResult;
};

TEST(RetryPolicyTest, LoopRepeatsOnlyRetryableAttemptsAndReportsHonestly) {
    const LoopCase cases[] = {
        {"success at once", 3, {Completed(0, false, true)}, 1, 0},
        {"5xx then success", 3, {Completed(0, true), Completed(0, false, true)}, 2, 0},
        {"5xx throughout", 2, {Completed(0, true)}, 3, 0},
        {"transport error throughout", 2, {Completed(1, true)}, 3, 1},
        {"no retries", 0, {Completed(1, true)}, 1, 1},
        {"404 is final", 5, {Completed(0, false)}, 1, 0},
        {"local failure is final", 5, {Completed(1, false, true)}, 1, 1},
        {"cut page then 5xx", 1, {Completed(1, true, true), Completed(0, true)}, 2, 1},
        {"cut page then whole page",
         2,
         {Completed(1, true, true), Completed(0, false, true)},
         2,
         0},
        {"cut page, 5xx, whole page",
         3,
         {Completed(1, true, true), Completed(0, true), Completed(0, false, true)},
         3,
         0},
        {"cut page twice", 1, {Completed(1, true, true)}, 2, 1},
    };
    for (const LoopCase& c : cases) {
        SCOPED_TRACE(c.name);
        RetryPolicy policy;
        policy.retries = c.retries;
        policy.backoffBaseMs = 0;
        Script script{c.outcomes};
        Pacer pacer;
        EXPECT_EQ(RunWithRetries(policy, {pacer, CancelToken()}, [&] { return script.Next(); }),
                  c.expectedResult);
        EXPECT_EQ(script.made, c.expectedAttempts);
    }
}

}  // namespace
}  // namespace tickora
