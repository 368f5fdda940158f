// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Waiting in a test for what another thread or process does: the condition is looked at every
// millisecond until it holds or the deadline passes, so that no test sleeps a guessed time and
// hopes the other side got there. Every wait has its bound: a test that waits in vain fails and
// goes on, it never hangs.
#include <chrono>
#include <condition_variable>
#include <mutex>
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

// What a stand-in holds back on purpose (a lock, an answer of a slow site) until the test lets it
// go, or at most for its own time: a test that is done with it opens the gate, so that nothing
// waits out a stall nobody looks at any more.
class Gate {
  public:
    void Open() {
        {
            std::lock_guard lock(m_mutex);
            m_open = true;
        }
        m_opened.notify_all();
    }
    // True when the gate was opened within atMost; false when the time ran out first.
    bool WaitOpen(std::chrono::milliseconds atMost) {
        std::unique_lock lock(m_mutex);
        return m_opened.wait_for(lock, atMost, [this] { return m_open; });
    }

  private:
    std::mutex m_mutex;
    std::condition_variable m_opened;
    bool m_open = false;
};

}  // namespace tickora::test
