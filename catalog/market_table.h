// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The markets read from "market.csv": symbol, number and name per market.
#include <string>
#include <vector>

namespace tickora {

struct MarketEntry {
    char m_szSymbol[4] = {};
    int m_nNumber = 0;
    char m_szName[32] = {};  // Shift-JIS, with its leading filler byte
};

class CMarketTable {
  public:
    virtual ~CMarketTable() = default;

    // 1 when at least one entry was read, 0 when the file cannot be opened or has no line. Every
    // line is an entry in file order, a blank or unreadable one an empty entry. Notices (UTF-8,
    // naming the file and the line) tell of a UTF-8 file converted, of lines that could not be
    // converted and of symbols cut to their 3 bytes.
    [[nodiscard]] int Load(const char* path = "market.csv",
                           std::vector<std::string>* notices = nullptr);

    // Index of the first entry whose symbol equals symbol exactly; m_nEntries when none.
    [[nodiscard]] int IndexOfSymbol(const char* symbol) const;
    // Copies the symbol of index, or "X" outside the table (out holds 4 bytes).
    void GetSymbol(int index, char* out) const;
    // Copies the name of index, or "その他市場" in Shift-JIS outside the table (out holds 32
    // bytes).
    void GetName(int index, char* out) const;
    // Prefix match of text (cut at its first comma) against the names from their second byte.
    [[nodiscard]] int IndexOfName(const char* text) const;
    [[nodiscard]] int GetNumber(int index) const;
    // Copies the symbol of the first entry numbered number, or "X" (out holds 4 bytes).
    void SymbolOfNumber(int number, char* out) const;

    int m_nEntries = 0;
    std::vector<MarketEntry> m_pEntries;
};

}  // namespace tickora
