// SPDX-License-Identifier: GPL-3.0-or-later
#include "jobs/write_behind.h"

#include <algorithm>

namespace tickora {

WriteBehind::WriteBehind(int threads, int pending)
    : m_threads(std::max(threads, 1)), m_pending(static_cast<std::size_t>(std::max(pending, 1))) {}

WriteBehind::~WriteBehind() {
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_work.notify_all();
    for (std::thread& worker : m_workers) {
        worker.join();
    }
}

void WriteBehind::Add(std::function<void()> write, std::function<void()> report) {
    while (Pending() >= m_pending) {
        TellOldest(true);
    }
    auto entry = std::make_shared<Entry>();
    entry->write = std::move(write);
    entry->report = std::move(report);
    std::unique_lock lock(m_mutex);
    m_entries.push_back(entry);
    if (!entry->write) {
        entry->done = true;
        return;
    }
    m_queue.push_back(entry);
    // The threads start with the writes: a job that writes nothing starts none.
    if (m_workers.size() < static_cast<std::size_t>(m_threads)) {
        m_workers.emplace_back([this] { Work(); });
    }
    lock.unlock();
    m_work.notify_one();
}

void WriteBehind::Work() {
    std::unique_lock lock(m_mutex);
    while (true) {
        // Every write given runs, even once the owner ends: a file is never left half replaced
        // by the job's own doing.
        m_work.wait(lock, [this] { return !m_queue.empty() || m_stopping; });
        if (m_queue.empty()) {
            return;
        }
        std::shared_ptr<Entry> entry = std::move(m_queue.front());
        m_queue.pop_front();
        lock.unlock();
        entry->write();
        lock.lock();
        entry->done = true;
        m_done.notify_all();
    }
}

bool WriteBehind::TellOldest(bool wait) {
    std::unique_lock lock(m_mutex);
    if (m_entries.empty()) {
        return false;
    }
    if (wait) {
        m_done.wait(lock, [this] { return m_entries.front()->done; });
    } else if (!m_entries.front()->done) {
        return false;
    }
    std::shared_ptr<Entry> entry = std::move(m_entries.front());
    m_entries.pop_front();
    lock.unlock();
    // Outside the lock: a report may give the next write.
    if (entry->report) {
        entry->report();
    }
    return true;
}

void WriteBehind::Collect() {
    while (TellOldest(false)) {
    }
}

void WriteBehind::Finish() {
    while (TellOldest(true)) {
    }
}

std::size_t WriteBehind::Pending() const {
    std::lock_guard lock(m_mutex);
    return m_entries.size();
}

}  // namespace tickora
