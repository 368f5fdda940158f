// SPDX-License-Identifier: GPL-3.0-or-later
// The files a job writes on threads of its own: each write told in the order given whatever
// order they end in, several at once, a bounded queue, and no write lost when the queue ends.
#include "jobs/write_behind.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "tests/support/wait_for.h"

namespace tickora {
namespace {

using test::Gate;

// A write held at the gate ends once the test lets it, or fails the test after a minute.
void PassGate(Gate& gate) {
    EXPECT_TRUE(gate.WaitOpen(std::chrono::minutes(1))) << "the gate was never opened";
}

TEST(WriteBehindThreads, TellsTheWritesInTheOrderGivenWhateverOrderTheyEndIn) {
    struct Case {
        const char* name;
        int threads;
        int held;         // the write that waits at the gate; every other ends at once
        int endedBefore;  // the writes that end while it waits
    };
    const std::vector<std::string> all = {"write 0", "write 1", "mark",   "write 2",
                                          "write 3", "write 4", "write 5"};
    for (const Case c : {Case{"the oldest ends last", 4, 0, 5}, Case{"a middle one", 4, 2, 5},
                         Case{"the mark's neighbour", 2, 1, 5}, Case{"one thread", 1, 3, 3}}) {
        SCOPED_TRACE(c.name);
        Gate gate;
        std::atomic<int> ended{0};
        std::vector<std::string> told;  // the reports run on this thread only
        WriteBehind writes(c.threads, 32);
        for (int i = 0; i < 6; ++i) {
            writes.Add(
                [&, i] {
                    if (i == c.held) {
                        PassGate(gate);
                    }
                    ++ended;
                },
                [&, i] { told.push_back("write " + std::to_string(i)); });
            if (i == 1) {
                // Nothing to write: told in its turn all the same.
                writes.Add({}, [&] { told.emplace_back("mark"); });
            }
        }
        ASSERT_TRUE(test::WaitFor([&] { return ended.load() == c.endedBefore; }));
        writes.Collect();
        const auto held = std::find(all.begin(), all.end(), "write " + std::to_string(c.held));
        EXPECT_EQ(told, std::vector<std::string>(all.begin(), held));
        gate.Open();
        writes.Finish();
        EXPECT_EQ(told, all);
        EXPECT_EQ(writes.Pending(), 0u);
    }
}

TEST(WriteBehindThreads, RunsAsManyWritesAtOnceAsItHasThreads) {
    constexpr int kThreads = 4;
    std::atomic<int> running{0};
    std::atomic<int> most{0};
    Gate gate;
    WriteBehind writes(kThreads, 32);
    for (int i = 0; i < 2 * kThreads; ++i) {
        writes.Add(
            [&] {
                const int now = ++running;
                int seen = most.load();
                while (now > seen && !most.compare_exchange_weak(seen, now)) {
                }
                PassGate(gate);
                --running;
            },
            {});
    }
    // Each write waits at the gate: all the threads take one before any ends.
    EXPECT_TRUE(test::WaitFor([&] { return running.load() == kThreads; }));
    gate.Open();
    writes.Finish();
    EXPECT_EQ(most.load(), kThreads);
}

TEST(WriteBehindThreads, AFullQueueTellsItsOldestWriteBeforeTakingAnother) {
    std::vector<int> told;
    WriteBehind writes(2, 2);
    writes.Add([] {}, [&] { told.push_back(0); });
    writes.Add([] {}, [&] { told.push_back(1); });
    EXPECT_TRUE(told.empty() || told == std::vector<int>{0} || told == (std::vector<int>{0, 1}));
    writes.Add([] {}, [&] { told.push_back(2); });
    // The third write waited for the first one's report.
    ASSERT_FALSE(told.empty());
    EXPECT_EQ(told.front(), 0);
    EXPECT_LE(writes.Pending(), 2u);
    writes.Finish();
    EXPECT_EQ(told, (std::vector<int>{0, 1, 2}));
}

TEST(WriteBehindThreads, EveryWriteGivenRunsEvenWhenNobodyHearsOfIt) {
    std::atomic<int> ended{0};
    int told = 0;
    {
        WriteBehind writes(2, 32);
        for (int i = 0; i < 10; ++i) {
            writes.Add([&] { ++ended; }, [&] { ++told; });
        }
    }
    EXPECT_EQ(ended.load(), 10);
    EXPECT_EQ(told, 0);
}

}  // namespace
}  // namespace tickora
