// SPDX-License-Identifier: GPL-3.0-or-later
#include "web/page_pool.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

#include "files/local_file.h"

namespace tickora {
namespace {

// A job that waits for a page not yet started must notice Cancel within a blink.
constexpr auto kCancelPoll = std::chrono::milliseconds(20);
// The loop looks at the queue at least this often, even when no transfer stirs.
constexpr auto kLoopWait = std::chrono::milliseconds(20);

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

PagePool::PagePool(const SiteAccess& access, const TransferControl& control)
    : m_access(access),
      m_connections(std::clamp(access.connections, kMinConnections, kMaxConnections)),
      m_streams(std::clamp(access.transport.streams, kMinStreams, kMaxStreams)),
      m_control(control),
      // The loop's transfers obey the job's Cancel, and the pool's abort when the pool ends.
      m_engine(m_connections, m_streams,
               TransferControl{control.pacer, control.cancel.WithAbort(m_abort)}) {
    m_loop = std::thread([this] { Loop(); });
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
    m_engine.Wakeup();
    m_loop.join();
    // The loop has ended the transfers still running; their files go with them.
    for (const auto& [ticket, page] : m_pages) {
        std::remove(page.temporary.c_str());
    }
}

int PagePool::Window() const {
    const int inFlight = m_connections * (m_multiplexing ? m_streams : 1);
    // The job takes its pages in order, so a page that comes late holds it while those behind it
    // arrive: at twice the requests in flight, those arrived pages filled the window and streams
    // stood idle (1.09 × curl's time at 20 ms against 1.02 × at four times, on an idle machine).
    return inFlight == 1 ? 1 : 4 * inFlight;
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
    // Beside the work file, so that the rename stays on one file system, and named as every
    // temporary file is, so that the next start removes what a killed run left.
    page.temporary = TemporaryNameBeside(page.path);
    m_queue.push_back(ticket);
    m_pages.emplace(ticket, std::move(page));
    lock.unlock();
    m_engine.Wakeup();
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
    Page& page = it->second;
    page.awaited = true;
    if (page.state == State::kQueued) {
        // The job needs this page before any other: it goes out next.
        m_queue.erase(std::find(m_queue.begin(), m_queue.end(), ticket));
        m_queue.push_front(ticket);
        m_engine.Wakeup();
    }
    while (page.state != State::kDone) {
        if (page.state == State::kQueued && Cancelled() && !OneRequestAtATime()) {
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

void PagePool::Release() {
    SkipAll();
    m_released = true;
    m_engine.Wakeup();
}

void PagePool::AbortReleased() {
    std::lock_guard lock(m_mutex);
    for (auto it = m_pages.begin(); it != m_pages.end();) {
        auto next = std::next(it);
        if (it->second.skipped && it->second.state == State::kRunning) {
            m_engine.Abort(it->first);
            std::remove(it->second.temporary.c_str());
            m_pages.erase(it);
        }
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
            page->second.skipped = true;  // the loop removes the file when the transfer ends
            return;
        case State::kDone:
            std::remove(page->second.temporary.c_str());
            m_pages.erase(page);
            return;
    }
}

void PagePool::StartPagesLocked() {
    // One request at a time on one connection: a page goes out when the job waits for it, and
    // then even after Cancel (it gets the grace), as it would if the job fetched it itself.
    const bool onlyAwaited = OneRequestAtATime();
    if (Cancelled() && !onlyAwaited) {
        // Once Cancel is set no further request goes out.
        for (const PageTicket ticket : m_queue) {
            Page& page = m_pages.at(ticket);
            page.state = State::kDone;
            page.result = 1;
            page.detail = {PageFailure::kCancelled, 0, "cancelled before the request went out"};
        }
        if (!m_queue.empty()) {
            m_queue.clear();
            m_pageDone.notify_all();
        }
    }
    while (m_engine.Free() > 0 && !m_queue.empty()) {
        Page& page = m_pages.at(m_queue.front());
        if (onlyAwaited && !page.awaited) {
            return;
        }
        const PageTicket ticket = m_queue.front();
        m_queue.pop_front();
        page.state = State::kRunning;
        // A file left under this name by an earlier run would pass for this page.
        std::remove(page.temporary.c_str());
        m_engine.Add(ticket, page.url, page.temporary, m_access);
    }
}

void PagePool::EndPages(std::vector<TransferEngine::Finished>& finished) {
    std::lock_guard lock(m_mutex);
    for (TransferEngine::Finished& end : finished) {
        const auto it = m_pages.find(end.id);
        if (it == m_pages.end()) {
            continue;
        }
        Page& page = it->second;
        if (page.skipped) {
            std::remove(page.temporary.c_str());
            m_pages.erase(it);
            continue;
        }
        page.state = State::kDone;
        page.result = end.result;
        page.detail = std::move(end.detail);
    }
    finished.clear();
    m_pageDone.notify_all();
}

void PagePool::Loop() {
    std::vector<TransferEngine::Finished> finished;
    while (true) {
        {
            std::lock_guard lock(m_mutex);
            if (m_stopping) {
                break;
            }
            StartPagesLocked();
        }
        m_engine.Run(kLoopWait, finished);
        m_multiplexing = m_engine.Multiplexing();
        if (!finished.empty()) {
            EndPages(finished);
        }
        if (m_released.exchange(false)) {
            AbortReleased();
        }
    }
    m_engine.AbortAll();
}

}  // namespace tickora
