// SPDX-License-Identifier: GPL-3.0-or-later
#include "pages/quote_page.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "files/file_io.h"
#include "pages/number_range.h"
#include "pages/page_buffer.h"
#include "pages/table_rows.h"
#include "text/sjis.h"
#include "text/text_scan.h"

namespace tickora {
namespace {

constexpr int kCellSize = 256;
constexpr int kSymbolFieldSize = 32;
constexpr int kNameFieldSize = 512;
// Later cells are ignored, and a long row without "</td>" has many. The cells are searched on
// past the row's end to the end of the page, as the layout has always been read.
constexpr CellRules kQuoteCells{10, false, false};
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

bool IsFourDigits(const char* symbol) {
    for (int i = 0; i < 4; ++i) {
        if (symbol[i] < '0' || symbol[i] > '9') {
            return false;
        }
    }
    return symbol[4] == '\0';
}

// Whether a symbol field names this stock. The site qualifies a symbol with its market ("1332.O")
// when the request did: such a row names the stock whose symbol is its four digits. Any other row
// names the stock of exactly its symbol.
bool FieldNamesStock(const char (&field)[kSymbolFieldSize], const CStockRecord& stock) {
    if (std::strcmp(field, stock.m_szSymbol) == 0) {
        return true;
    }
    const bool qualified = field[4] == '.' && (field[5] == 'O' || field[5] == 'N');
    return qualified && IsFourDigits(stock.m_szSymbol) &&
           std::memcmp(field, stock.m_szSymbol, 4) == 0;
}

// False when the symbol cell names another stock.
bool TakeSymbolCell(const char* text, CStockRecord& stock) {
    char field[kSymbolFieldSize];
    SymbolField(text, field);
    if (!FieldNamesStock(field, stock)) {
        return false;
    }
    stock.m_bFound = true;
    return true;
}

void TakeNameCell(const char* text, CStockRecord& stock) {
    char name[kNameFieldSize];
    EucToSjis(text, name);
    if (std::strncmp(name, NoMatchText().c_str(), kNoMatchCompareBytes) == 0) {
        stock.m_bFound = false;
    }
}

void TakeDateCell(const char* text, CStockRecord& stock) {
    if (std::strchr(text, '/') == nullptr) {
        return;
    }
    int month = 0;
    int day = 0;
    ReadMonthDay(text, &month, &day);
    if (month >= 1 && month <= 12 && day >= 1 && day <= 31) {
        stock.m_nMonth = month;
        stock.m_nDay = day;
    }
}

double CloseCell(char* text) {
    const double close = NumberCell(text);
    if (close != 0) {
        return close;
    }
    // A price with a marker in front ("↑1234") reads as 0 the first time.
    KeepNumberChars(text);
    return AtofC(text);
}

// Volume, open, high and low stand side by side from cell 6 on.
constexpr int kFirstNumberCell = 6;
constexpr std::array kNumberCells{&CStockRecord::m_dVolume, &CStockRecord::m_dOpen,
                                  &CStockRecord::m_dHigh, &CStockRecord::m_dLow};

// One cell of a quote row into stock; false when the row belongs to another stock.
bool TakeQuoteCell(int cell, char* text, CStockRecord& stock) {
    switch (cell) {
        case 0:
            return TakeSymbolCell(text, stock);
        case 1:
            TakeNameCell(text, stock);
            break;
        case 2:
            TakeDateCell(text, stock);
            break;
        case 3:
            stock.m_dClose = CloseCell(text);
            break;
        default:
            if (cell >= kFirstNumberCell &&
                cell < kFirstNumberCell + static_cast<int>(kNumberCells.size())) {
                stock.*kNumberCells[static_cast<std::size_t>(cell - kFirstNumberCell)] =
                    NumberCell(text);
            }
            break;
    }
    return true;
}

// Only the symbol cell, searched for as the row's own scan finds it.
constexpr CellRules kSymbolCell{1, false, false};

// The first of the block's slots from `from` up to `end` that the row's symbol cell names; -1 when
// it names none of them.
int SlotNamedByRow(const char* row, int length, const CQuoteBlock& block, int from, int end) {
    int named = -1;
    (void)ForEachRowCell(row, length, kSymbolCell, [&](int /*cell*/, char* text) {
        char field[kSymbolFieldSize];
        SymbolField(text, field);
        for (int slot = from; slot < end && named < 0; ++slot) {
            if (FieldNamesStock(field, block.m_aStocks[slot])) {
                named = slot;
            }
        }
        return false;
    });
    return named;
}

bool CountsAsExtracted(int slot, CStockRecord& stock, QuotePageOutcome& outcome) {
    return stock.m_bFound && stock.m_nCode > 0 && stock.m_dClose > 0 &&
           CheckQuoteNumbers(slot, stock, outcome);
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
    bool taken = false;
    (void)ForEachRowCell(row, length, kQuoteCells, [&](int cell, char* text) {
        taken = taken || cell == 1;
        return TakeQuoteCell(cell, text, stock);
    });
    return taken;
}

void ParseQuoteText(const char* text, CQuoteBlock& block, QuotePageOutcome& outcome) {
    outcome = QuotePageOutcome{};
    int count = 0;
    int slot = 0;
    const int stocks = std::clamp(block.m_nStocks, 0, kStocksPerBlock);
    const int textLength = static_cast<int>(std::strlen(text));
    ForEachTableRow(text, textLength, OpenRow::kCreep, [&](const char* row, int length) {
        // A row is matched by its symbol, never by its place: a row the site answered in another
        // spelling, or left out, must not hand the next stock's prices to this one.
        const int named = SlotNamedByRow(row, length, block, slot, stocks);
        if (named < 0 || !ParseQuoteRow(row, length, block.m_aStocks[named])) {
            return true;
        }
        // The stocks passed over are those the page did not answer.
        for (; slot < named; ++slot) {
            outcome.failedSlots[outcome.failedCount++] = slot;
        }
        if (CountsAsExtracted(named, block.m_aStocks[named], outcome)) {
            ++count;
        } else {
            outcome.failedSlots[outcome.failedCount++] = named;
        }
        slot = named + 1;
        return slot < stocks;
    });
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
    // One whole line, appended to, never through a link: the log must not grow a file outside
    // the folder, and a line cut by a full disk must not swallow the next one.
    char line[256];
    std::snprintf(line, sizeof line, "page=%d code=%d name=%.160s\r\n", page, code,
                  name != nullptr ? name : "");
    (void)AppendRecord(kErrorLogPath, line);
}

}  // namespace tickora
