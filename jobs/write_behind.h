// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Files a job replaces, committed on a few threads of their own while the job reads its next
// pages. A replacement waits for its data to reach the disk before the new name takes its place;
// one file after another, those waits make up most of a history update (a file a stock), while
// the file system's journal takes several at once for little more than one. What each write
// came to is told on the job's thread, in the order the writes were given, so that the outcome
// and the view read as if the job had written each file itself before the next.
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace tickora {

class WriteBehind {
  public:
    static constexpr int kDefaultThreads = 4;
    static constexpr int kDefaultPending = 32;

    WriteBehind() : WriteBehind(kDefaultThreads, kDefaultPending) {}
    // At most `threads` writes run at once, and at most `pending` wait to run or to be told.
    WriteBehind(int threads, int pending);
    // Lets the writes given run to their end; a report not yet told is dropped, so a job calls
    // Finish before it hands its outcome on.
    ~WriteBehind();
    WriteBehind(const WriteBehind&) = delete;
    WriteBehind& operator=(const WriteBehind&) = delete;

    // Runs write on a writer thread (none: nothing to wait for) and report later on the caller's
    // thread, after the reports of every write given before. With `pending` writes outstanding
    // it first waits for the oldest and tells it.
    void Add(std::function<void()> write, std::function<void()> report);
    // Tells the writes that ended, oldest first, up to the first one still running.
    void Collect();
    // Waits for every write given and tells them all.
    void Finish();
    // Writes given and not yet told.
    [[nodiscard]] std::size_t Pending() const;

  private:
    struct Entry {
        std::function<void()> write;
        std::function<void()> report;
        bool done = false;
    };
    void Work();
    // Tells the oldest entry once it is done; false when there is none or it still runs. With
    // wait, waits for it to end.
    bool TellOldest(bool wait);

    const int m_threads;
    const std::size_t m_pending;
    mutable std::mutex m_mutex;
    std::condition_variable m_work;                // a write to run, or the end
    std::condition_variable m_done;                // a write ended
    std::deque<std::shared_ptr<Entry>> m_entries;  // oldest first, until told
    std::deque<std::shared_ptr<Entry>> m_queue;    // not yet started
    bool m_stopping = false;
    std::vector<std::thread> m_workers;  // started with the first write
};

}  // namespace tickora
