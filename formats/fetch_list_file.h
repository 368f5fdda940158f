// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The fetch list the jobs take their stocks from ("fetchlist.csv", read by CStockList): a new
// list is sorted by code, written whole beside the old one, and takes its place only once the
// old one is kept as "fetchlist.bak".
#include <cstdio>
#include <functional>
#include <vector>

#include "catalog/stock_list.h"

namespace tickora {

inline constexpr const char* kFetchListBackupPath = "fetchlist.bak";

// A stock of the new list: its code and symbol, and where its line comes from.
struct CListSortKey {
    int m_nCode = 0;
    char m_szSymbol[16] = {};
    int m_nPage = 0;
    int m_nSlot = 0;
};

// Codes outside 1000..9999 (the empty slots' 0) sort first, then the 4-digit codes ascending.
[[nodiscard]] int CompareListKeys(const CListSortKey& a, const CListSortKey& b);

enum class FetchListWrite {
    kWritten,
    kNoStocks,  // no key has a symbol: the old list stays as it is
    kFailed,    // the new list or the backup could not be written; the old list stays
};

// Writes the line of every key with a symbol, sorted by CompareListKeys, as the new fetch list;
// writeLine puts one key's line to the file. stocks is the number of lines written.
FetchListWrite WriteFetchList(std::vector<CListSortKey> keys,
                              const std::function<void(const CListSortKey&, std::FILE*)>& writeLine,
                              int& stocks);

}  // namespace tickora
