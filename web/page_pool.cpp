// SPDX-License-Identifier: GPL-3.0-or-later
#include "web/page_pool.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

namespace tickora {
namespace {

// A job that waits for a page not yet started must notice Cancel within a blink.
constexpr auto kCancelPoll = std::chrono::milliseconds(20);

void ReplaceAll(std::string& text, const std::string& from, const std::string& to) {
    if (from.empty()) {
        return;
    }
    for (std::size_t at = text.find(from); at != std::string::npos;
         at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
}

}  // namespace

PagePool::PagePool(int connections, const std::atomic<bool>* cancel)
    : m_connections(std::clamp(connections, kMinConnections, kMaxConnections)), m_cancel(cancel) {
    if (m_connections > 1) {
        m_threads.reserve(static_cast<std::size_t>(m_connections));
        for (int i = 0; i < m_connections; ++i) {
            m_threads.emplace_back([this] { Work(); });
        }
    }
}

PagePool::~PagePool() {
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
        m_abort = true;
        for (auto it = m_pages.begin(); it != m_pages.end();) {
            auto next = std::next(it);
            DropLocked(it);
            it = next;
        }
    }
    m_workAvailable.notify_all();
    for (std::thread& thread : m_threads) {
        thread.join();
    }
}

int PagePool::Outstanding() const {
    std::lock_guard lock(m_mutex);
    return static_cast<int>(std::count_if(m_pages.begin(), m_pages.end(),
                                          [](const auto& entry) { return !entry.second.skipped; }));
}

PageTicket PagePool::Submit(std::string url, std::string localPath) {
    std::unique_lock lock(m_mutex);
    const PageTicket ticket = m_nextTicket++;
    Page page;
    page.url = std::move(url);
    page.path = std::move(localPath);
    if (m_connections > 1) {
        // Beside the work file, so that the rename stays on one file system.
        page.temporary = page.path + "." + std::to_string(ticket) + ".part";
        m_queue.push_back(ticket);
    }
    m_pages.emplace(ticket, std::move(page));
    lock.unlock();
    m_workAvailable.notify_one();
    return ticket;
}

int PagePool::Wait(PageTicket ticket, DownloadDetail* detail) {
    std::unique_lock lock(m_mutex);
    const auto it = m_pages.find(ticket);
    if (it == m_pages.end() || it->second.skipped) {
        if (detail != nullptr) {
            *detail = {PageFailure::kTransport, 0, "the page was not asked for"};
        }
        return 1;
    }
    if (m_connections == 1) {
        // The job's own thread, its own handle and its own cancel flag: the page goes out now
        // and not before, exactly as when the job downloads it itself.
        const Page page = std::move(it->second);
        m_pages.erase(it);
        lock.unlock();
        DownloadDetail last;
        const int result = DownloadToFile(page.url.c_str(), page.path.c_str(), &last);
        if (detail != nullptr) {
            *detail = std::move(last);
        }
        return result;
    }
    Page& page = it->second;
    if (page.state == State::kQueued) {
        // The job needs this page before any other: the next free thread takes it.
        m_queue.erase(std::find(m_queue.begin(), m_queue.end(), ticket));
        m_queue.push_front(ticket);
        m_workAvailable.notify_one();
    }
    while (page.state != State::kDone) {
        if (page.state == State::kQueued && Cancelled()) {
            m_queue.erase(std::find(m_queue.begin(), m_queue.end(), ticket));
            page.state = State::kDone;
            page.result = 1;
            page.detail = {PageFailure::kCancelled, 0, "cancelled before the request went out"};
            break;
        }
        m_pageDone.wait_for(lock, kCancelPoll);
    }
    Page done = std::move(page);
    m_pages.erase(ticket);
    lock.unlock();
    return FinishWait(done, detail);
}

int PagePool::FinishWait(Page& page, DownloadDetail* detail) {
    int result = page.result;
    DownloadDetail outcome = std::move(page.detail);
    // No temporary file means nothing was stored (an answer other than 200, or no request at
    // all): the work file stays as it was, as DownloadToFile leaves it.
    if (std::rename(page.temporary.c_str(), page.path.c_str()) != 0 && errno != ENOENT) {
        const int error = errno;
        std::remove(page.temporary.c_str());
        result = 1;
        outcome.failure = PageFailure::kLocalFile;
        outcome.cause = page.path + ": " + std::strerror(error);
    }
    // The job knows the page by its work file.
    ReplaceAll(outcome.cause, page.temporary, page.path);
    if (detail != nullptr) {
        *detail = std::move(outcome);
    }
    return result;
}

void PagePool::Skip(PageTicket ticket) {
    std::lock_guard lock(m_mutex);
    const auto it = m_pages.find(ticket);
    if (it != m_pages.end()) {
        DropLocked(it);
    }
}

void PagePool::SkipAll() {
    std::lock_guard lock(m_mutex);
    for (auto it = m_pages.begin(); it != m_pages.end();) {
        auto next = std::next(it);
        DropLocked(it);
        it = next;
    }
}

void PagePool::DropLocked(std::map<PageTicket, Page>::iterator page) {
    switch (page->second.state) {
        case State::kQueued:
            if (const auto at = std::find(m_queue.begin(), m_queue.end(), page->first);
                at != m_queue.end()) {
                m_queue.erase(at);
            }
            m_pages.erase(page);
            return;
        case State::kRunning:
            page->second.skipped = true;  // its thread removes the file when the transfer ends
            return;
        case State::kDone:
            if (!page->second.temporary.empty()) {
                std::remove(page->second.temporary.c_str());
            }
            m_pages.erase(page);
            return;
    }
}

void PagePool::Work() {
    SetDownloadCancelFlag(m_cancel);
    SetDownloadAbortFlag(&m_abort);
    std::unique_lock lock(m_mutex);
    while (true) {
        m_workAvailable.wait(lock, [this] { return m_stopping || !m_queue.empty(); });
        if (m_stopping) {
            return;
        }
        const PageTicket ticket = m_queue.front();
        m_queue.pop_front();
        Page& page = m_pages.at(ticket);
        if (Cancelled()) {
            page.state = State::kDone;
            page.result = 1;
            page.detail = {PageFailure::kCancelled, 0, "cancelled before the request went out"};
            m_pageDone.notify_all();
            continue;
        }
        page.state = State::kRunning;
        const std::string url = page.url;
        const std::string temporary = page.temporary;
        lock.unlock();
        // A file left under this name by an earlier run would pass for this page.
        std::remove(temporary.c_str());
        DownloadDetail detail;
        const int result = DownloadToFile(url.c_str(), temporary.c_str(), &detail);
        lock.lock();
        // A running page stays in the map until its thread is done with it.
        Page& done = m_pages.at(ticket);
        if (done.skipped) {
            std::remove(temporary.c_str());
            m_pages.erase(ticket);
        } else {
            done.state = State::kDone;
            done.result = result;
            done.detail = std::move(detail);
        }
        m_pageDone.notify_all();
    }
}

}  // namespace tickora
