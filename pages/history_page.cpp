// SPDX-License-Identifier: GPL-3.0-or-later
#include "pages/history_page.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "catalog/clock.h"
#include "pages/number_range.h"
#include "pages/page_buffer.h"
#include "pages/table_rows.h"
#include "text/sjis.h"
#include "text/text_scan.h"

namespace tickora {
namespace {

constexpr int kCellTextSize = 256;
// A date and five numbers; a cell never runs on past the row, and an unclosed one holds no value.
constexpr CellRules kHistoryCells{6, true, true};

// The date markers in Shift-JIS, converted once.
struct DateMarkers {
    std::string year = Utf8ToSjis("年");
    std::string month = Utf8ToSjis("月");
    std::string day = Utf8ToSjis("日");
    std::string yearFormat = "%d" + year;
    std::string monthFormat = "%d" + month;
    std::string dayFormat = "%d" + day;
};

const DateMarkers& Markers() {
    static const DateMarkers markers;
    return markers;
}

// A date cell such as 2008年2月8日, already in Shift-JIS. The month is read right after a
// four-digit year and its 年, the day right after the 月.
bool ReadDate(const char* text, CKdtDay& day) {
    const DateMarkers& m = Markers();
    int year = 0;
    int month = 0;
    int dayOfMonth = 0;
    (void)std::sscanf(text, m.yearFormat.c_str(), &year);
    if (year > 1900) {
        const int yearPartLength = 4 + static_cast<int>(m.year.size());
        if (static_cast<int>(std::strlen(text)) >= yearPartLength) {
            (void)std::sscanf(text + yearPartLength, m.monthFormat.c_str(), &month);
        }
        const std::optional<int> monthAt = FindOffset(text, m.month.c_str());
        if (monthAt && *monthAt > yearPartLength) {
            (void)std::sscanf(text + *monthAt + m.month.size(), m.dayFormat.c_str(), &dayOfMonth);
        }
    }
    if (month < 1 || month > 12 || dayOfMonth < 1 || dayOfMonth > 31) {
        return false;
    }
    day.m_nYear = year;
    day.m_nMonth = month;
    day.m_nDay = dayOfMonth;
    return true;
}

// atoi's reading, without its wrap: a value beyond 32 bits is noted in tooLarge.
int ReadNumber(char* text, const char* field, std::string& tooLarge) {
    StripCommas(text);
    const WholeCell cell = ReadWholeCell(text);
    if (!cell.fits) {
        if (tooLarge.empty()) {
            tooLarge = std::string("the ") + field + " " + text +
                       " does not fit the KDT file's 32-bit field";
        }
        return 0;
    }
    return static_cast<int>(cell.value);
}

// One cell of a history row into day; false when the row is no day.
bool TakeHistoryCell(int cell, char* text, CKdtDay& day, std::string& tooLarge) {
    switch (cell) {
        case 0: {
            char converted[kCellTextSize];
            EucToSjis(text, converted);
            return ReadDate(converted, day);
        }
        case 1: {
            const int open = ReadNumber(text, "open", tooLarge);
            if (open == 0 && tooLarge.empty()) {
                return false;
            }
            day.m_nOpen = day.m_nHigh = day.m_nLow = day.m_nClose = open;
            day.m_nVolume = 0;
            return true;
        }
        case 2:
            day.m_nHigh = ReadNumber(text, "high", tooLarge);
            break;
        case 3:
            day.m_nLow = ReadNumber(text, "low", tooLarge);
            break;
        case 4:
            day.m_nClose = ReadNumber(text, "close", tooLarge);
            break;
        default:
            day.m_nVolume = ReadNumber(text, "volume", tooLarge);
            break;
    }
    return true;
}

}  // namespace

std::string HistoryPagePath(int page) {
    char path[64];
    std::snprintf(path, sizeof path, "Webtemp/kdttemp-%03d.html", page);
    return path;
}

CKdtPage::CKdtPage(const char* symbol, int index, const std::string& tableHost) {
    std::snprintf(m_szPagePath, sizeof m_szPagePath, "%s", HistoryPagePath(index).c_str());
    const LocalDate today = Today();
    m_nToYear = today.year;
    m_nToMonth = today.month;
    m_nToDay = today.day;
    const std::string url = HistoryPageUrl(tableHost, symbol, today, index);
    std::snprintf(m_szUrl, sizeof m_szUrl, "%s", url.c_str());
}

std::string HistoryPageUrl(const std::string& tableHost, const char* symbol, const LocalDate& to,
                           int page) {
    char query[160];
    std::snprintf(query, sizeof query, "&a=%d&b=%d&c=%d&d=%d&e=%d&f=%d&g=d&q=t&y=%d&x=.csv", 1, 1,
                  kHistoryFromYear, to.month, to.day, to.year, kKdtDaysPerPage * page);
    return tableHost + "/t?s=" + (symbol != nullptr ? symbol : "") + query;
}

CKdtRequest::CKdtRequest(const char* symbol, int code, int days, const std::string& tableHost)
    : m_nCode(code), m_nDays(days) {
    std::snprintf(m_szSymbol, sizeof m_szSymbol, "%s", symbol != nullptr ? symbol : "");
    m_nPages = days > 0 ? (days + kKdtDaysPerPage - 1) / kKdtDaysPerPage : 0;
    m_ppPages.reserve(static_cast<size_t>(m_nPages));
    for (int j = 0; j < m_nPages; ++j) {
        m_ppPages.push_back(std::make_unique<CKdtPage>(m_szSymbol, j, tableHost));
    }
}

bool CKdtRequest::WriteKdtFile(bool inDataFolder, int* error) const {
    std::vector<const CKdtDay*> pages;
    pages.reserve(m_ppPages.size());
    for (const auto& page : m_ppPages) {
        pages.push_back(page->m_aDays);
    }
    return tickora::WriteKdtFile(m_nCode, inDataFolder, pages, error);
}

int CKdtRequest::DayCount() const {
    int count = 0;
    for (const auto& page : m_ppPages) {
        for (const CKdtDay& day : page->m_aDays) {
            count += day.IsValid() ? 1 : 0;
        }
    }
    return count;
}

int ParseHistoryRow(const char* row, int length, CKdtDay& slot, std::string* numberFault) {
    // Filled aside and stored only when the row is a day, so that a row refused after its date
    // was read (an opening price of 0) leaves no dated slot behind to be written as a day.
    CKdtDay day;
    std::string tooLarge;
    int cells = 0;
    bool refused = false;
    const CellScanEnd end = ForEachRowCell(row, length, kHistoryCells, [&](int cell, char* text) {
        refused = !TakeHistoryCell(cell, text, day, tooLarge);
        cells = cell + 1;
        return !refused;
    });
    if (refused || cells == 0) {
        return -1;
    }
    // A row of a date and two numbers stands for one price: the second is not the high.
    if (end == CellScanEnd::kCellBeyondRow && cells == 3) {
        day.m_nHigh = day.m_nOpen;
    }
    if (!tooLarge.empty()) {
        if (numberFault != nullptr) {
            *numberFault = DayText(day) + ": " + tooLarge;
        }
        return -1;
    }
    // A dated row that ends before its opening price would be a day at price 0 in the chart.
    if (day.m_nOpen == 0) {
        return -1;
    }
    slot = day;
    return 0;
}

int ParseHistoryPage(const char* path, CKdtPage& page) {
    const int length = ReadPageIntoBuffer(path, kHistoryPageLimit);
    if (length < 0) {
        return -1;
    }
    page.m_sNumberFault.clear();
    int slot = 0;
    // Once no row can close any more, a row of a few bytes holds no opening price: the scan stops
    // rather than stepping through the rest of a cut page a few bytes at a time.
    ForEachTableRow(g_PageBuffer, length, OpenRow::kStop, [&](const char* row, int rowLength) {
        std::string* fault = page.m_sNumberFault.empty() ? &page.m_sNumberFault : nullptr;
        if (ParseHistoryRow(row, rowLength, page.m_aDays[slot], fault) == 0) {
            ++slot;
        }
        return slot < kKdtDaysPerPage;
    });
    return slot > 0 ? 0 : -1;
}

}  // namespace tickora
