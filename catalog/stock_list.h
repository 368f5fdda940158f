// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The fetch list in memory: blocks of up to 50 stocks, one quote page request per block.
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "catalog/market_table.h"

namespace tickora {

inline constexpr int kStocksPerBlock = 50;

// The codes the list gives the three index rows of the listing (998405, 23337 and 998407);
// every other code is a stock's. An index has no daily price limit.
inline constexpr int kIndexCodes[] = {1001, 1002, 1010};
[[nodiscard]] constexpr bool IsIndexCode(int code) {
    for (const int index : kIndexCodes) {
        if (code == index) {
            return true;
        }
    }
    return false;
}

// The list of stocks every job works through, in the working folder.
inline constexpr const char* kFetchListPath = "fetchlist.csv";

struct CStockRecord {
    char m_szSymbol[16] = {};  // at most 15 bytes
    int m_nCode = 0;
    int m_nMarket = 0;  // market table index; the entry count for an unknown market
    int m_nMonth = 0;
    int m_nDay = 0;
    char m_szName[32] = {};  // Shift-JIS, at most 31 bytes
    bool m_bFound = false;
    double m_dOpen = 0;
    double m_dHigh = 0;
    double m_dLow = 0;
    double m_dClose = 0;
    double m_dVolume = 0;
    double m_adFigures[5] = {};
};

class CQuoteBlock {
  public:
    explicit CQuoteBlock(int index);

    void AddStock(int slot, const char* symbol, int code, const char* marketSymbol,
                  const char* name, const CMarketTable& markets);
    // Composes both quote URLs on quoteHost (such as "http://127.0.0.1:8053"), stopping at the
    // 511 bytes that each URL field holds. False when it had to stop there: the URLs then leave
    // out the stocks that did not fit (or, for a host that alone is too long, are cut).
    bool BuildUrls(const CMarketTable& markets, const char* quoteHost);
    // The length that either quote URL of the used slots needs, wherever it stops.
    [[nodiscard]] std::size_t WholeQuoteUrlLength(const CMarketTable& markets,
                                                  const char* quoteHost) const;
    // First slot among all 50 (used or not) with that code; -1 when none.
    [[nodiscard]] int IndexOfCode(int code) const;
    // Always the current year; the block's month and day when valid, else today's.
    void GetQuoteDate(int* year, int* month, int* day) const;

    char m_szPagePath[64] = {};  // "Webtemp/webtemp-%03d.html"
    int m_nStocks = 0;
    int m_nExtracted = 0;
    CStockRecord m_aStocks[kStocksPerBlock];
    char m_szQuoteUrl[512] = {};
    char m_szFiguresUrl[512] = {};
    int m_nMonth = 0;
    int m_nDay = 0;
    int m_nIndex = 0;

  private:
    // "%s.O", "%s.N" or "%s" of the slot's symbol, as URL text.
    [[nodiscard]] std::string QuoteItem(int slot, const CMarketTable& markets) const;
};

struct QuoteDay {
    int year = 0;
    int month = 0;
    int day = 0;
};

class CStockList {
  public:
    // 0 when the list was read, -1 when the file cannot be opened or has no stock. The market
    // table must be loaded: it resolves each stock's market and the URL suffixes. A line that is
    // no stock, or that the record could hold only changed (a symbol of more than 15 bytes, a
    // line with a character that Shift-JIS cannot hold), is left out; notices (UTF-8, each naming
    // the file and the line) say which and why, and that a UTF-8 file was converted.
    int Load(const CMarketTable& markets, const char* quoteHost, const char* path = kFetchListPath,
             std::vector<std::string>* notices = nullptr);

    // Block i, or nullptr when i is outside the list (no list loaded included).
    [[nodiscard]] CQuoteBlock* GetBlock(int i);
    [[nodiscard]] const CQuoteBlock* GetBlock(int i) const;
    [[nodiscard]] const char* GetQuoteUrl(int i) const;
    [[nodiscard]] const char* GetFiguresUrl(int i) const;
    [[nodiscard]] const char* GetPagePath(int i) const;

    // Every record's quote (found flag, date, prices, volume) and every block's count and date
    // back to what loading gives: a fetch starts from these, so that what it writes is its own.
    void ClearQuotes();
    // Every record's figures back to zero, for the same reason.
    void ClearFigures();

    // m_nMarket + 1 of the stock with that code (a later block's match wins); 99 when none.
    [[nodiscard]] int MarketOfCode(int code) const;
    // Copies the symbol of the stock with that code into out (16 bytes), or the empty text.
    void SymbolOfCode(int code, char* out) const;
    // The day of block 0's quotes, which names the day's files; nothing while no list is loaded.
    [[nodiscard]] std::optional<QuoteDay> QuoteDayOfList() const;

    int m_nBlocks = 0;
    std::vector<std::unique_ptr<CQuoteBlock>> m_ppBlocks;
};

}  // namespace tickora
