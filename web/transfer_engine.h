// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Every transfer of one caller from one loop on libcurl's multi interface. Over HTTP/1.1 each
// connection carries one request at a time; over HTTP/2 one connection carries up to `streams`
// at once (fewer when the server says so). Each page is fetched exactly as one request at a time
// would fetch it: the retry policy and the job's pacing apply to each page, the page limits to
// each transfer, and the file is written only from an answer of status 200.
#include <curl/curl.h>

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "web/ca_file.h"
#include "web/download.h"
#include "web/site_access.h"
#include "web/transfer_control.h"

namespace tickora {

class TransferEngine {
  public:
    using Id = std::uint64_t;
    struct Finished {
        Id id = 0;
        int result = 1;  // what DownloadToFile returns for the page
        DownloadDetail detail;
    };

    // At most `connections` connections to a host, and `streams` requests on each HTTP/2 one.
    // Every page waits for its start on control's pacer, and obeys control's Cancel and abort.
    TransferEngine(int connections, int streams, const TransferControl& control);
    // Ends the transfers in flight at once; their files stay as far as they got.
    ~TransferEngine();
    TransferEngine(const TransferEngine&) = delete;
    TransferEngine& operator=(const TransferEngine&) = delete;

    // How many more pages the engine takes now: one per connection, or `streams` per connection
    // once a connection was seen to speak HTTP/2, less the pages it holds (running, or waiting
    // for their pacing slot or for a retry).
    [[nodiscard]] int Free() const;
    // A transfer ended over HTTP/2: the connections carry several requests at once.
    [[nodiscard]] bool Multiplexing() const { return m_multiplexing; }
    [[nodiscard]] bool Idle() const { return m_pages.empty(); }

    // Takes a page to fetch into path under access's retries, limits and transport; it goes out
    // when its pacing slot comes.
    void Add(Id id, std::string url, std::string path, const SiteAccess& access);
    // Drives the transfers for one round, waiting at most `wait` (and less when Wakeup is
    // called) for something to happen, and appends the pages that finished. After Cancel a
    // running transfer ends after the Cancel grace (at once on abort), and a page waiting for a
    // retry ends with its last attempt.
    void Run(std::chrono::milliseconds wait, std::vector<Finished>& finished);
    // Ends a wait in Run early; callable from any thread.
    void Wakeup();
    // Ends every page at once without a report; their files stay as far as they got.
    void AbortAll();
    // Ends one page at once without a report, as AbortAll ends every page.
    void Abort(Id id);

    struct Page;  // one page's transfer and its attempts; defined beside the engine's code

  private:
    void Step(std::vector<Finished>& finished);
    void StartDue(std::vector<Finished>& finished);
    void StartAttempt(Page& page, std::vector<Finished>& finished);
    void EndAttempt(Page& page, int code, std::vector<Finished>& finished);
    void Finish(Page& page, std::vector<Finished>& finished);
    void CollectDone(std::vector<Finished>& finished);
    void AbortCancelled(std::vector<Finished>& finished);
    // The CA file of a transport, read once for all the pages that name it.
    const CaBundle& CaFile(const std::string& path);

    const int m_connections;
    const int m_streams;
    Pacer& m_pacer;
    const CancelToken m_cancel;
    CURLM* m_multi = nullptr;
    bool m_multiplexing = false;
    std::map<Id, std::unique_ptr<Page>> m_pages;
    std::map<std::string, CaBundle> m_caFiles;
};

}  // namespace tickora
