// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The pages of a job on up to N connections at once, each fetched exactly as DownloadToFile
// fetches it, and handed to the job in the order it asks for them.
//
// One thread drives every transfer of the pool on libcurl's multi interface (web/
// transfer_engine.h). Over HTTP/1.1 each connection carries one request at a time; once the site
// is seen to speak HTTP/2, each connection carries up to `streams` at once. With one connection to
// a site not known to speak HTTP/2, nothing is asked of the site before the job waits for it, as
// when the job downloads each page itself. Each page goes to a temporary file beside its work
// file until the job waits for it: only then is it renamed to the work file, so the job finds
// under that name what it would have found with one request at a time, although several jobs'
// pages share one name ("Webtemp/kdttemp-000.html" for every stock).
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "web/connections.h"
#include "web/download.h"
#include "web/retry.h"
#include "web/site_access.h"
#include "web/transfer_control.h"
#include "web/transfer_engine.h"

namespace tickora {

// Numbers the pages of one pool in the order they were submitted, from 0.
using PageTicket = std::uint64_t;

class PagePool {
  public:
    // access gives the connections (clamped to [kMinConnections, kMaxConnections]), the streams
    // (the most requests one HTTP/2 connection carries at once), retries, limits and transport.
    // control is the job's: every request of the pool waits for its start on the job's pacer,
    // and once the job's Cancel is set no further request goes out.
    PagePool(const SiteAccess& access, const TransferControl& control);
    // Drops the pages not yet started, aborts the transfers in flight and removes every
    // temporary file: a job that ends early leaves only the work files it waited for.
    ~PagePool();
    PagePool(const PagePool&) = delete;
    PagePool& operator=(const PagePool&) = delete;

    [[nodiscard]] int Connections() const { return m_connections; }
    // The access the pool was made with: a job that reaches the site otherwise needs its own.
    [[nodiscard]] const SiteAccess& Access() const { return m_access; }
    // The job's pacer and Cancel, for a page the job fetches beside the pool.
    [[nodiscard]] const TransferControl& Control() const { return m_control; }
    // How many pages a job keeps submitted and not yet waited for: enough to keep every
    // connection (and every stream of an HTTP/2 one) busy while the job parses, few enough that
    // a stop wastes little.
    [[nodiscard]] int Window() const;
    // Pages submitted and not yet waited for or skipped.
    [[nodiscard]] int Outstanding() const;

    // Asks for url to be stored in localPath (the job's work file). Pages are started in the
    // order they are submitted.
    [[nodiscard]] PageTicket Submit(std::string url, std::string localPath);

    // Waits for the page of ticket, which may be any outstanding one, and returns what
    // DownloadToFile(url, localPath, detail) returns. A page no thread has started yet is started
    // next. What the transfer stored (the page, or the part of it that arrived before a failure)
    // now lies in localPath; an answer other than status 200 leaves localPath as it was. After
    // Cancel, a page not yet started gives 1 with PageFailure::kCancelled and is never asked
    // for. A ticket that is not outstanding gives 1.
    [[nodiscard]] int Wait(PageTicket ticket, DownloadDetail* detail = nullptr);

    // The job no longer wants the page (its stock ended on an earlier page): it is not asked for
    // when it has not started, and its file is removed when it arrives.
    void Skip(PageTicket ticket);
    void SkipAll();
    // The job is done with a pool that goes on for the next one: its pages are dropped as
    // SkipAll drops them, and those in flight end at once, so that a stalled one never holds a
    // connection the next job needs, nor leaves a file behind while it lasts.
    void Release();

  private:
    enum class State { kQueued, kRunning, kDone };
    struct Page {
        std::string url;
        std::string path;
        std::string temporary;
        State state = State::kQueued;
        bool skipped = false;
        bool awaited = false;  // the job waits for it
        int result = 1;
        DownloadDetail detail;
    };

    void Loop();
    // Hands the engine the pages it can start now; the caller holds m_mutex.
    void StartPagesLocked();
    void EndPages(std::vector<TransferEngine::Finished>& finished);
    // Ends the transfers of the pages Release dropped while in flight, on the loop's thread.
    void AbortReleased();
    [[nodiscard]] bool Cancelled() const { return m_control.cancel.Cancelled(); }
    // One connection to a site not seen to speak HTTP/2: nothing is asked ahead.
    [[nodiscard]] bool OneRequestAtATime() const { return m_connections == 1 && !m_multiplexing; }
    // Removes a page the job will never wait for; the caller holds m_mutex.
    void DropLocked(std::map<PageTicket, Page>::iterator page);
    [[nodiscard]] static int FinishWait(Page& page, DownloadDetail* detail);

    const SiteAccess m_access;
    const int m_connections;
    const int m_streams;
    const TransferControl m_control;
    std::atomic<bool> m_abort{false};     // the loop ends its transfers at once
    std::atomic<bool> m_released{false};  // the loop ends the transfers Release dropped
    TransferEngine m_engine;              // only the loop thread drives it
    mutable std::mutex m_mutex;
    std::condition_variable m_pageDone;
    std::map<PageTicket, Page> m_pages;  // outstanding, by ticket
    std::deque<PageTicket> m_queue;      // not yet started, in the order they go out
    PageTicket m_nextTicket = 0;
    bool m_stopping = false;
    std::atomic<bool> m_multiplexing{false};
    std::thread m_loop;
};

}  // namespace tickora
