// SPDX-License-Identifier: GPL-3.0-or-later
#include "pages/quote_page.h"

#include <charconv>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "files/file_handle.h"
#include "pages/number_range.h"
#include "pages/page_buffer.h"
#include "files/local_file.h"
#include "text/sjis.h"
#include "text/text_scan.h"

namespace tickora {
namespace {

constexpr int kCellSize = 256;
constexpr int kSymbolFieldSize = 32;
constexpr int kNameFieldSize = 512;
constexpr int kLastQuoteCell = 9;
// The site's answer for a requested symbol that names no stock; six characters are compared.
constexpr int kNoMatchCompareBytes = 12;

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

const std::string& NoMatchText() {
    static const std::string text = Utf8ToSjis("一致する銘柄はありません");
    return text;
}

// The symbol cell as a word: a long cell is taken as its first 31 bytes, a short one as its first
// blank-delimited word.
void SymbolField(const char* cell, char (&field)[kSymbolFieldSize]) {
    std::memset(field, 0, sizeof field);
    if (std::strlen(cell) >= kSymbolFieldSize - 1) {
        std::memcpy(field, cell, kSymbolFieldSize - 1);
        return;
    }
    const char* p = cell;
    while (IsBlank(*p)) {
        ++p;
    }
    int n = 0;
    while (*p != '\0' && !IsBlank(*p) && n < kSymbolFieldSize - 1) {
        field[n++] = *p++;
    }
}

// "%d/%d" without sscanf's undefined overflow: a missing number reads as 0.
void ReadMonthDay(const char* text, int* month, int* day) {
    *month = 0;
    *day = 0;
    char* end = nullptr;
    const long m = std::strtol(text, &end, 10);
    if (end == text) {
        return;
    }
    *month = m < INT_MIN ? INT_MIN : m > INT_MAX ? INT_MAX : static_cast<int>(m);
    if (*end != '/') {
        return;
    }
    const char* dayText = end + 1;
    const long d = std::strtol(dayText, &end, 10);
    if (end == dayText) {
        return;
    }
    *day = d < INT_MIN ? INT_MIN : d > INT_MAX ? INT_MAX : static_cast<int>(d);
}

// True when the daily file can hold the quote. A quote it cannot hold is cleared, so that no
// line is written for it, wrapped or cut.
bool CheckQuoteNumbers(int slot, CStockRecord& stock, QuotePageOutcome& outcome) {
    if (std::string fault = QuoteNumberFault(stock); !fault.empty()) {
        outcome.numberFaults.push_back({slot, std::move(fault)});
        stock.m_dOpen = stock.m_dHigh = stock.m_dLow = stock.m_dClose = stock.m_dVolume = 0;
        return false;
    }
    if (std::string why = QuoteImplausibility(stock); !why.empty()) {
        outcome.implausible.push_back({slot, std::move(why)});
    }
    return true;
}

double NumberCell(char* cell) {
    StripCommas(cell);
    return AtofC(cell);
}

}  // namespace

double AtofC(const char* text) {
    const char* p = text;
    while (IsBlank(*p)) {
        ++p;
    }
    if (*p == '+') {
        ++p;
        if (*p == '-' || *p == '+') {
            return 0;
        }
    }
    double value = 0;
    const char* end = p + std::strlen(p);
    const auto result = std::from_chars(p, end, value, std::chars_format::general);
    if (result.ec != std::errc()) {
        return 0;
    }
    return value;
}

bool ParseQuoteRow(const char* row, int length, CStockRecord& stock) {
    if (length <= 0) {
        return false;
    }
    // The cells are searched to the end of the page, but never from beyond its terminator.
    const int visible = static_cast<int>(strnlen(row, static_cast<size_t>(length)));
    bool taken = false;
    int cell = 0;
    int pos = 0;
    while (pos < length && pos <= visible) {
        const int a = FindText(row + pos, "<td");
        if (a == 0) {
            break;
        }
        const int start = pos + a - 1;
        const int b = FindText(row + pos, "</td>");
        const int end = pos + b + 3;
        char text[kCellSize];
        StripTags(row + start, end - start + 1, text, kCellSize);

        switch (cell) {
            case 0: {
                char field[kSymbolFieldSize];
                SymbolField(text, field);
                // A symbol the site qualified with its market (1332.O) stands for the stock
                // requested in this place, whatever the list calls it.
                const bool qualified = field[4] == '.' && (field[5] == 'O' || field[5] == 'N');
                if (!qualified && std::strcmp(field, stock.m_szSymbol) != 0) {
                    return false;
                }
                stock.m_bFound = true;
                break;
            }
            case 1: {
                char name[kNameFieldSize];
                EucToSjis(text, name);
                if (std::strncmp(name, NoMatchText().c_str(), kNoMatchCompareBytes) == 0) {
                    stock.m_bFound = false;
                }
                taken = true;
                break;
            }
            case 2:
                if (FindText(text, "/") > 0) {
                    int month = 0;
                    int day = 0;
                    ReadMonthDay(text, &month, &day);
                    if (month >= 1 && month <= 12 && day >= 1 && day <= 31) {
                        stock.m_nMonth = month;
                        stock.m_nDay = day;
                    }
                }
                break;
            case 3: {
                double close = NumberCell(text);
                if (close == 0) {
                    // A price with a marker in front ("↑1234") reads as 0 the first time.
                    KeepNumberChars(text);
                    close = AtofC(text);
                }
                stock.m_dClose = close;
                break;
            }
            case 6:
                stock.m_dVolume = NumberCell(text);
                break;
            case 7:
                stock.m_dOpen = NumberCell(text);
                break;
            case 8:
                stock.m_dHigh = NumberCell(text);
                break;
            case 9:
                stock.m_dLow = NumberCell(text);
                break;
            default:
                break;
        }
        pos = end + 1;
        ++cell;
        if (cell > kLastQuoteCell) {
            break;  // later cells are ignored, and a long row without "</td>" has many
        }
    }
    return taken;
}

void ParseQuoteText(const char* text, CQuoteBlock& block, QuotePageOutcome& outcome) {
    outcome = QuotePageOutcome{};
    const int textLength = static_cast<int>(std::strlen(text));
    int count = 0;
    int slot = 0;
    int pos = 0;
    bool rowEndsLeft = true;
    while (pos <= textLength && slot < kStocksPerBlock) {
        const int a = FindText(text + pos, "<tr");
        if (a == 0) {
            break;
        }
        const int start = pos + a - 1;
        // Searched from pos, not from start: a stray "</tr>" before the row gives an empty row
        // that only moves the scan past it.
        const int b = rowEndsLeft ? FindText(text + pos, "</tr>") : 0;
        if (b == 0) {
            rowEndsLeft = false;
            // Without a "</tr>" the scan creeps on four bytes a step, and every step that
            // leaves the row start out of reach parses nothing: skip those steps at once.
            if (start - pos > 3) {
                pos += (start - pos) / 4 * 4;
                continue;
            }
        }
        const int end = pos + b + 3;
        CStockRecord& stock = block.m_aStocks[slot];
        if (ParseQuoteRow(text + start, end - start + 1, stock)) {
            if (stock.m_bFound && stock.m_nCode > 0 && stock.m_dClose > 0 &&
                CheckQuoteNumbers(slot, stock, outcome)) {
                ++count;
            } else {
                outcome.failedSlots[outcome.failedCount++] = slot;
            }
            ++slot;
        }
        pos = end + 1;
    }
    block.m_nExtracted = count;
    block.m_nMonth = block.m_aStocks[0].m_nMonth;
    block.m_nDay = block.m_aStocks[0].m_nDay;
}

bool ParseQuotePage(const char* path, CQuoteBlock& block, QuotePageOutcome* outcome) {
    if (ReadPageIntoBuffer(path, kQuotePageLimit) < 0) {
        return false;
    }
    QuotePageOutcome local;
    ParseQuoteText(g_PageBuffer, block, local);
    for (int i = 0; i < local.failedCount; ++i) {
        const CStockRecord& stock = block.m_aStocks[local.failedSlots[i]];
        LogFailedStock(block.m_nIndex, stock.m_nCode, stock.m_szName);
    }
    if (outcome != nullptr) {
        *outcome = local;
    }
    return true;
}

void LogFailedStock(int page, int code, const char* name) {
    // Appended to, never through a link: the log must not grow a file outside the folder.
    FileHandle log(OpenLocalFile(kErrorLogPath, "ab"));
    if (!log) {
        return;
    }
    std::fprintf(log.get(), "page=%d code=%d name=%s\r\n", page, code, name);
}

}  // namespace tickora
