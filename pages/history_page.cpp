// SPDX-License-Identifier: GPL-3.0-or-later
#include "pages/history_page.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "catalog/clock.h"
#include "pages/number_range.h"
#include "pages/page_buffer.h"
#include "web/hosts.h"
#include "text/sjis.h"
#include "text/text_scan.h"

namespace tickora {
namespace {

constexpr int kCellTextSize = 256;

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
        const int monthAt = FindText(text, m.month.c_str());
        if (monthAt > yearPartLength + 1) {
            (void)std::sscanf(text + monthAt - 1 + m.month.size(), m.dayFormat.c_str(),
                              &dayOfMonth);
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

}  // namespace

std::string HistoryPagePath(int page) {
    char path[64];
    std::snprintf(path, sizeof path, "Webtemp/kdttemp-%03d.html", page);
    return path;
}

CKdtPage::CKdtPage(const char* symbol, int index) {
    std::snprintf(m_szPagePath, sizeof m_szPagePath, "%s", HistoryPagePath(index).c_str());
    const LocalDate today = Today();
    m_nToYear = today.year;
    m_nToMonth = today.month;
    m_nToDay = today.day;
    const std::string url = HistoryPageUrl(Hosts().table, symbol, today, index);
    std::snprintf(m_szUrl, sizeof m_szUrl, "%s", url.c_str());
}

std::string HistoryPageUrl(const std::string& tableHost, const char* symbol, const LocalDate& to,
                           int page) {
    char query[160];
    std::snprintf(query, sizeof query, "&a=%d&b=%d&c=%d&d=%d&e=%d&f=%d&g=d&q=t&y=%d&x=.csv", 1, 1,
                  kHistoryFromYear, to.month, to.day, to.year, kKdtDaysPerPage * page);
    return tableHost + "/t?s=" + (symbol != nullptr ? symbol : "") + query;
}

CKdtRequest::CKdtRequest(const char* symbol, int code, int days) : m_nCode(code), m_nDays(days) {
    std::snprintf(m_szSymbol, sizeof m_szSymbol, "%s", symbol != nullptr ? symbol : "");
    m_nPages = days > 0 ? (days + kKdtDaysPerPage - 1) / kKdtDaysPerPage : 0;
    m_ppPages.reserve(static_cast<size_t>(m_nPages));
    for (int j = 0; j < m_nPages; ++j) {
        m_ppPages.push_back(std::make_unique<CKdtPage>(m_szSymbol, j));
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
    if (length <= 0) {
        return -1;
    }
    // Filled aside and stored only when the row is a day, so that a row refused after its date
    // was read (an opening price of 0) leaves no dated slot behind to be written as a day.
    CKdtDay day;
    int result = -1;
    int q = 0;
    std::string tooLarge;
    for (int k = 0;; ++k) {
        const int tdAt = FindText(row + q, "<td");
        if (tdAt == 0) {
            break;
        }
        const int s = q + tdAt - 1;
        if (s >= length) {
            // A row of a date and two numbers stands for one price: the second is not the high.
            if (k == 3) {
                day.m_nHigh = day.m_nOpen;
            }
            break;
        }
        const int closeAt = FindText(row + q, "</td>");
        if (closeAt == 0) {
            break;  // an unclosed cell holds no value
        }
        const int cellEnd = q + closeAt - 1 + 5 - 1;
        char text[kCellTextSize];
        (void)StripTags(row + s, cellEnd - s + 1, text, sizeof text);
        switch (k) {
            case 0: {
                char converted[kCellTextSize];
                EucToSjis(text, converted);
                if (!ReadDate(converted, day)) {
                    return -1;
                }
                result = 0;
                break;
            }
            case 1: {
                const int open = ReadNumber(text, "open", tooLarge);
                if (open == 0 && tooLarge.empty()) {
                    return -1;
                }
                day.m_nOpen = day.m_nHigh = day.m_nLow = day.m_nClose = open;
                day.m_nVolume = 0;
                break;
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
        if (k + 1 > 5) {
            break;
        }
        q = cellEnd + 1;
        if (q >= length) {
            break;
        }
    }
    if (result == 0 && !tooLarge.empty()) {
        if (numberFault != nullptr) {
            *numberFault = DayText(day) + ": " + tooLarge;
        }
        return -1;
    }
    // A dated row that ends before its opening price would be a day at price 0 in the chart.
    if (result != 0 || day.m_nOpen == 0) {
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
    const char* text = g_PageBuffer;
    page.m_sNumberFault.clear();
    int slot = 0;
    int p = 0;
    int trAt = FindText(text, "<tr");
    while (trAt != 0 && slot < kKdtDaysPerPage) {
        const int rowStart = p + trAt - 1;
        // The end is looked for from p, not from the "<tr": a stray "</tr>" before the row makes
        // a row of no length, which is skipped.
        const int closeAt = FindText(text + p, "</tr>");
        if (closeAt == 0) {
            // No row can close any more, and a row of a few bytes holds no opening price: stop
            // here rather than stepping through the rest of a cut page a few bytes at a time.
            break;
        }
        const int rowEnd = p + closeAt - 1 + 5 - 1;
        if (rowEnd >= length) {
            break;
        }
        const int rowLength = rowEnd - rowStart + 1;
        std::string* fault = page.m_sNumberFault.empty() ? &page.m_sNumberFault : nullptr;
        if (rowLength > 0 &&
            ParseHistoryRow(text + rowStart, rowLength, page.m_aDays[slot], fault) == 0) {
            ++slot;
        }
        p = rowEnd + 1;
        trAt = FindText(text + p, "<tr");
    }
    return slot > 0 ? 0 : -1;
}

}  // namespace tickora
