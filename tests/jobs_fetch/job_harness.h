// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the job tests of both quote views share: the fake view that records what the document
// tells it, a server that answers canned pages by request target, and a stock list built in memory.
#include <httplib.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "catalog/market_table.h"
#include "catalog/stock_list.h"
#include "jobs/tickora_view.h"
#include "tests/support/fake_view.h"

namespace tickora::test {

// The shared fake view: it records every call, and dismisses the dialogs these jobs never ask.
using RecordingView = FakeView;

// Answers each request target ("/q?s=1301+1332&d=v2") with the page set for it; 404 otherwise.
class PageServer {
  public:
    PageServer() {
        m_server.Get(".*", [this](const httplib::Request& req, httplib::Response& res) {
            std::lock_guard lock(m_mutex);
            m_targets.push_back(req.target);
            const auto it = m_pages.find(req.target);
            if (it == m_pages.end()) {
                res.status = 404;
                res.set_content("<html>not found</html>", "text/html");
                return;
            }
            res.status = it->second.first;
            res.set_content(it->second.second, "text/html; charset=EUC-JP");
        });
        // One request per connection, so that stop() never waits on an idle keep-alive.
        m_server.set_keep_alive_max_count(1);
        m_port = m_server.bind_to_any_port("127.0.0.1");
        m_thread = std::thread([this] { m_server.listen_after_bind(); });
        // stop() ends only a server whose loop already runs: a test that ends at once would
        // otherwise leave the loop listening and its join waiting for ever.
        while (!m_server.is_running()) {
            std::this_thread::yield();
        }
        while (!m_server.is_running()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    ~PageServer() {
        m_server.stop();
        m_thread.join();
    }
    PageServer(const PageServer&) = delete;
    PageServer& operator=(const PageServer&) = delete;

    [[nodiscard]] std::string Url() const { return "http://127.0.0.1:" + std::to_string(m_port); }

    // target is the path and query after the host, as the block URL holds it.
    void Set(const std::string& target, const std::string& body, int status = 200) {
        std::lock_guard lock(m_mutex);
        m_pages[target] = {status, body};
    }
    [[nodiscard]] std::vector<std::string> Targets() const {
        std::lock_guard lock(m_mutex);
        return m_targets;
    }

  private:
    httplib::Server m_server;
    int m_port = 0;
    std::thread m_thread;
    mutable std::mutex m_mutex;
    std::map<std::string, std::pair<int, std::string>> m_pages;
    std::vector<std::string> m_targets;
};

// Two markets: T (number 1) and O (number 2, whose symbols the URL qualifies with ".O").
inline void TwoMarkets(CMarketTable& markets) {
    const char* symbols[] = {"T", "O"};
    for (int i = 0; i < 2; ++i) {
        MarketEntry entry;
        std::strncpy(entry.m_szSymbol, symbols[i], sizeof entry.m_szSymbol - 1);
        entry.m_nNumber = i + 1;
        std::snprintf(entry.m_szName, sizeof entry.m_szName, " M%d", i + 1);
        markets.m_pEntries.push_back(entry);
    }
    markets.m_nEntries = 2;
}

// A list of count stocks with the codes first, first + 1, ... on market T, in blocks of 50, with
// the quote URLs on host.
inline void BuildList(CStockList& list, const CMarketTable& markets, const std::string& host,
                      int count, int first = 1301) {
    list.m_ppBlocks.clear();
    list.m_nBlocks = 0;
    for (int i = 0; i < count; ++i) {
        if (i % kStocksPerBlock == 0) {
            list.m_ppBlocks.push_back(std::make_unique<CQuoteBlock>(list.m_nBlocks));
            list.m_nBlocks = static_cast<int>(list.m_ppBlocks.size());
        }
        const std::string symbol = std::to_string(first + i);
        const std::string name = "S" + symbol;
        list.m_ppBlocks.back()->AddStock(i % kStocksPerBlock, symbol.c_str(), first + i, "T",
                                         name.c_str(), markets);
    }
    for (auto& block : list.m_ppBlocks) {
        block->BuildUrls(markets, host.c_str());
    }
}

// The path and query of a URL built on host.
inline std::string TargetOf(const char* url, const std::string& host) {
    return std::string(url).substr(host.size());
}

}  // namespace tickora::test
