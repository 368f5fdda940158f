// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the job tests of both quote views share: the fake view that records what the document
// tells it, and a stock list built in memory (the server is the loopback one of the test support).
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
#include "tests/support/list_fixture.h"
#include "tests/support/loopback_server.h"

namespace tickora::test {

// The shared fake view: it records every call, and dismisses the dialogs these jobs never ask.
using RecordingView = FakeView;

// Two markets: T (number 1) and O (number 2, whose symbols the URL qualifies with ".O").
inline void TwoMarkets(CMarketTable& markets) {
    AddMarket(markets, Market("T", 1, " M1"));
    AddMarket(markets, Market("O", 2, " M2"));
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
