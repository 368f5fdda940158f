// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Fetch-list generation: the site's listing pages, the stocks cut out of their rows, the markets
// completed from the loaded list and the profile pages, and the writer of the new list.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "catalog/market_table.h"
#include "catalog/stock_list.h"
#include "formats/fetch_list_file.h"
#include "pages/profile_page.h"

namespace tickora {

inline constexpr int kListPageCount = 100;
// A page holds up to 100 parsed rows; every step after parsing looks at the first 50 only.
inline constexpr int kListSlots = 100;
inline constexpr int kListSlotsUsed = 50;
// Only the head of a listing page is scanned.
inline constexpr int kListPageLimit = 10240;
// m_nMarketNo of a stock whose market nobody has told yet.
inline constexpr int kNoMarketNumber = 99;

// The three special rows of the listing pages carry these first cells; the list knows them by
// the codes 1001, 1002 and 1010. The row of 998407 is the last of the whole listing.
inline constexpr long kSpecialRow1001 = 998405;
inline constexpr long kSpecialRow1002 = 23337;
inline constexpr long kEndOfListRow = 998407;

// How the profile page of one slot was read while its market was completed: result is what
// ParseProfilePage returned (kProfileRead, or why the page was a failed page).
struct ProfileSlotResult {
    int slot = 0;
    int code = 0;
    int result = 0;
};

// Text for the list: each comma, CR and LF becomes a blank, so that no cell of a page can add a
// column or a line to "fetchlist.csv".
[[nodiscard]] std::string ListField(const char* text);

struct CListEntry {
    int m_nCode = 0;  // 0 = empty slot
    int m_nMarketNo = kNoMarketNumber;
    int m_bAdded = 0;          // the stock is not in the loaded stock list
    char m_szSymbol[16] = {};  // the row's first cell, at most 15 bytes
    char m_szName[32] = {};    // Shift-JIS, at most 31 bytes

    // "%s,%04d,%s,%s" with the market symbol of m_nMarketNo, ended by CR LF; every field as
    // ListField gives it.
    void WriteLine(std::FILE* stream, const CMarketTable& markets) const;
};

// The URL of listing page index (0..99) on quoteHost: "/l?s=%2a&m=%d" with the page's first row.
[[nodiscard]] std::string ListingPageUrl(const std::string& quoteHost, int index);

class CListPage {
  public:
    // Page index i (0..99): work file "Webtemp/listtemp-%03d.html" and the listing URL on
    // quoteHost that starts at row 50 * i + 1.
    CListPage(int index, const std::string& quoteHost);

    // The slots among 0..49 that hold a stock (with addedOnly: an added one), in slot order:
    // those whose market a profile page completes and whose lines are written. And their codes.
    [[nodiscard]] std::vector<int> ProfileSlots(bool addedOnly) const;
    [[nodiscard]] std::vector<int> ProfileCodes(bool addedOnly) const;
    // Parses the profile page at path and, when it is one, sets the market of slot from it; a
    // page that cannot be read, or is no profile page, leaves the market. Returns what
    // ParseProfilePage returned.
    int TakeMarketFromProfile(int slot, const char* path, const CMarketTable& markets);
    // One line per stock of slots 0..49 (with addedOnly: only the added ones), in slot order.
    void WriteEntries(std::FILE* stream, bool addedOnly, const CMarketTable& markets) const;

    int m_nIndex = 0;
    char m_szPagePath[64] = {};
    CListEntry m_aEntries[kListSlots];
    char m_szUrl[256] = {};
};

// Parses one row (text from the row marker to the end of its "</tr>", length bytes) into slot.
// The cells are searched in the text that follows as well, up to its terminator: a row short of
// cells borrows them from the next row. 0 = row taken, 1 = row not taken, -1 = code out of
// range, -2 = the end-of-list row (taken).
[[nodiscard]] int ParseListRow(const char* row, int length, CListEntry& slot);

// Reads the first 10,240 bytes of the page file and parses its rows into the page's slots in
// order. 0 = page read, -1 = file cannot be opened or a code out of range ended the scan,
// -2 = the end-of-list row was reached.
[[nodiscard]] int ParseListPage(const char* path, CListPage& page);

// What WriteList did.
struct ListWriteResult {
    bool writeFailed = false;  // there was a list to write, but it could not be written
    int stocksWritten = 0;
    std::vector<std::string> filesWritten;  // file names, in the order written
};

class CListPages {
  public:
    explicit CListPages(const std::string& quoteHost);

    [[nodiscard]] const char* GetPagePath(int i) const;
    [[nodiscard]] const char* GetPageUrl(int i) const;
    [[nodiscard]] CListPage* GetPage(int i);

    // Slots 0..49 take the market of the loaded list (index + 1), or 99 and the added mark.
    void MarkKnownStocks(int i, const CStockList& stocks);

    // With addedOnly, the added stocks in page order to "addlist-YYMMDD.csv" (today's date).
    // Without, every stock sorted by code to "fetchlist.csv". The list it replaces becomes
    // "fetchlist.bak" (replacing an older backup), the new list is written whole before it takes
    // the old one's place, and when no stock was gathered the old list stays as it is.
    ListWriteResult WriteList(bool addedOnly, const CMarketTable& markets) const;

    int m_nPages = kListPageCount;
    std::vector<std::unique_ptr<CListPage>> m_ppPages;
};

// "addlist-%02d%02d%02d.csv" of today's date.
[[nodiscard]] std::string AddListPath();

}  // namespace tickora
