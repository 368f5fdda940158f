// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Stock lists and market tables built in memory, so that the writers are tested without the
// loaders.
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "catalog/market_table.h"
#include "catalog/stock_list.h"

namespace tickora::test {

inline MarketEntry Market(const char* symbol, int number, const std::string& name) {
    MarketEntry entry;
    std::strncpy(entry.m_szSymbol, symbol, sizeof entry.m_szSymbol - 1);
    entry.m_nNumber = number;
    std::strncpy(entry.m_szName, name.c_str(), sizeof entry.m_szName - 1);
    return entry;
}

inline void AddMarket(CMarketTable& table, const MarketEntry& entry) {
    table.m_pEntries.push_back(entry);
    table.m_nEntries = static_cast<int>(table.m_pEntries.size());
}

struct Quote {
    double open = 0;
    double high = 0;
    double low = 0;
    double close = 0;
    double volume = 0;
};

// Appends a stock to the last block of the list, opening a new block every 50 stocks.
inline CStockRecord& AddStock(CStockList& list, int code, int market, const std::string& name,
                              const Quote& quote = {}) {
    if (list.m_nBlocks == 0 || list.m_ppBlocks.back()->m_nStocks == kStocksPerBlock) {
        list.m_ppBlocks.push_back(std::make_unique<CQuoteBlock>(list.m_nBlocks));
        list.m_nBlocks = static_cast<int>(list.m_ppBlocks.size());
    }
    CQuoteBlock& block = *list.m_ppBlocks.back();
    CStockRecord& stock = block.m_aStocks[block.m_nStocks++];
    std::snprintf(stock.m_szSymbol, sizeof stock.m_szSymbol, "%d", code);
    stock.m_nCode = code;
    stock.m_nMarket = market;
    std::strncpy(stock.m_szName, name.c_str(), sizeof stock.m_szName - 1);
    stock.m_dOpen = quote.open;
    stock.m_dHigh = quote.high;
    stock.m_dLow = quote.low;
    stock.m_dClose = quote.close;
    stock.m_dVolume = quote.volume;
    return stock;
}

}  // namespace tickora::test
