// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Waiting in a test for what another thread or process does: the condition is looked at every
// millisecond until it holds or the deadline passes, so that no test sleeps a guessed time and
// hopes the other side got there.
#include <chrono>
#include <thread>

namespace tickora::test {

// True once holds() is; false when the deadline passed first.
template <class Condition>
[[nodiscard]] bool WaitFor(Condition holds,
                           std::chrono::milliseconds deadline = std::chrono::seconds(10)) {
    const auto end = std::chrono::steady_clock::now() + deadline;
    while (!holds()) {
        if (std::chrono::steady_clock::now() >= end) {
            return holds();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

}  // namespace tickora::test
