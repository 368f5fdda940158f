// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The multi-stock quote page ("&d=v2"): each table row is matched by its symbol to a slot of one
// block, the slots in their order. The page is EUC-JP; only the name cell is converted, every
// other cell is read as ASCII.
#include <string>
#include <vector>

#include "catalog/stock_list.h"

namespace tickora {

// A page is read with at most this many bytes, so one zero byte always follows it in the page
// buffer.
inline constexpr int kQuotePageLimit = 153599;

// The log of stocks whose quote was not extracted; only ever appended to.
inline constexpr const char* kErrorLogPath = "ERRORLOG.TXT";

// A slot and what is to be said of it.
struct SlotNote {
    int slot = 0;
    std::string text;
};

// What one parse found besides the records: the slots whose stock does not count as extracted, in
// slot order (those whose row was taken but failed, and those a later row passed over: the page
// did not answer them); among them those whose values the daily file cannot hold (their quote is
// cleared), and the extracted stocks whose quote is implausible.
struct QuotePageOutcome {
    int failedSlots[kStocksPerBlock] = {};
    int failedCount = 0;
    std::vector<SlotNote> numberFaults;
    std::vector<SlotNote> implausible;
};

// Parses one row into stock. row points into a NUL-terminated page text; the cell search runs on
// past the row's end to the end of that text, as the page layout has always been read. Returns
// true when the row was taken for this stock: its symbol cell names the stock (the same symbol,
// or a market-qualified "1332.O" or "1332.N" for the stock 1332) and a name cell followed.
bool ParseQuoteRow(const char* row, int length, CStockRecord& stock);

// Parses a whole NUL-terminated page text into block: each row is taken for the first of the
// block's stocks, from the slot after the last one taken on, that it names; the stocks it passes
// over count as failed, and a row that names none of them is not taken. Stocks after the last row
// taken are left as they are. Fills the records of the taken rows, sets m_nExtracted and copies
// slot 0's month and day to the block. Touches no file and no global.
void ParseQuoteText(const char* text, CQuoteBlock& block, QuotePageOutcome& outcome);

// Reads the page at path (at most kQuotePageLimit bytes) into g_PageBuffer, parses it into block
// and appends every failed stock to the error log. Returns false when the file cannot
// be opened; the block is then untouched.
bool ParseQuotePage(const char* path, CQuoteBlock& block, QuotePageOutcome* outcome = nullptr);

// Appends "page=%d code=%d name=%s" with CR LF to the error log; dropped when it cannot be opened.
void LogFailedStock(int page, int code, const char* name);

// atof without the locale: a desktop session may run with a decimal comma, while the site always
// writes a decimal point. Leading blanks and a sign are accepted; no digits give 0.
[[nodiscard]] double AtofC(const char* text);

}  // namespace tickora
