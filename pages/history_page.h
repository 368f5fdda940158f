// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The site's price-history table: 50 trading days a page, newest first, requested for the whole
// range from 1 January 1983 to today and paged with y = rows before the page.
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "catalog/clock.h"
#include "formats/kdt_file.h"

namespace tickora {

inline constexpr int kHistoryFromYear = 1983;
inline constexpr int kHistoryMinDays = 10;
inline constexpr int kHistoryMaxDays = 3000;
// Only this much of a history page is read; the rest of a longer page is ignored.
inline constexpr int kHistoryPageLimit = 102399;

// "Webtemp/kdttemp-%03d.html": the same names serve every stock in turn.
[[nodiscard]] std::string HistoryPagePath(int page);

// The URL of page (0-based) of the table of symbol from 1 January 1983 to the date to: y skips
// 50 rows a page.
[[nodiscard]] std::string HistoryPageUrl(const std::string& tableHost, const char* symbol,
                                         const LocalDate& to, int page);

// One page of the table: where it is fetched from, where it is kept, and its day slots in the
// order the rows stand on the page.
class CKdtPage {
  public:
    // The range end is today's date at construction.
    CKdtPage(const char* symbol, int index, const std::string& tableHost);

    char m_szPagePath[64] = {};
    int m_nFromYear = kHistoryFromYear;
    int m_nFromMonth = 1;
    int m_nFromDay = 1;
    int m_nToYear = 0;
    int m_nToMonth = 0;
    int m_nToDay = 0;
    CKdtDay m_aDays[kKdtDaysPerPage];
    char m_szUrl[256] = {};
    // Set by the parser when a day row holds a number that a KDT field cannot hold: that day and
    // the value. The stock must then not be written at all.
    std::string m_sNumberFault;
};

// One stock's request: ceil(days / 50) pages, deleted once its file is written.
class CKdtRequest {
  public:
    CKdtRequest(const char* symbol, int code, int days, const std::string& tableHost);

    [[nodiscard]] const char* GetPagePath(int j) const { return m_ppPages[j]->m_szPagePath; }
    [[nodiscard]] const char* GetPageUrl(int j) const { return m_ppPages[j]->m_szUrl; }
    [[nodiscard]] CKdtPage& GetPage(int j) { return *m_ppPages[j]; }

    // Writes the stock's KDT file from all pages, oldest day first. A stock of which no day was
    // read keeps the file it has. Returns true when a file was written.
    // error, when given, receives the system's error of a file that could not be written.
    bool WriteKdtFile(bool inDataFolder, int* error = nullptr) const;
    [[nodiscard]] int DayCount() const;

    // The list's symbols hold up to 15 bytes; all of them fit, so no request asks for a stock
    // whose symbol was cut short.
    char m_szSymbol[16] = {};
    int m_nCode = 0;
    int m_nDays = 0;
    int m_nPages = 0;
    std::vector<std::unique_ptr<CKdtPage>> m_ppPages;
};

// Reads the page file at path into page's day slots in row order. 0 when at least one day was
// taken; -1 when the file cannot be opened or holds no day. Rows beyond the 50 slots are ignored.
[[nodiscard]] int ParseHistoryPage(const char* path, CKdtPage& page);

// Parses one table row: row points at its "<tr" inside a NUL-terminated text, length is the row's
// byte count up to the end of its "</tr>". Cells are looked for in the whole remaining text; one
// that starts past the row's end means the row has ended. A row is a day when its first cell
// holds a date such as 2008年2月8日 and its second a non-zero opening price: 0 and the day stored
// in slot; -1 and slot untouched otherwise.
// A row whose number a KDT field cannot hold is not taken either; numberFault, when given, then
// names the day and the value.
[[nodiscard]] int ParseHistoryRow(const char* row, int length, CKdtDay& slot,
                                  std::string* numberFault = nullptr);

}  // namespace tickora
