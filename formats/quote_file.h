// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The daily quote file in its three layouts.
#include <cstdio>
#include <string>

#include "catalog/market_table.h"
#include "catalog/stock_list.h"
#include "formats/atomic_file.h"

namespace tickora {

enum QuoteFormat { kFormat32 = 1, kFormatDos = 2, kFormatModoki = 3 };

// The layout a settings value stands for: 1, 2, or 3 for 3 and every other value.
[[nodiscard]] int QuoteLayoutOf(int format);

// The header lines of the file, CR LF each: its date and the stocks counted as extracted.
[[nodiscard]] std::string QuoteFileHeader(int format, int year, int month, int day, int count);

// The file name for folder, format and date ("%s/DS%02d%02d%02d.DAT" or "%s/DS%04d%02d.%02d").
// folder is the settings' Shift-JIS text; the result is the UTF-8 path on disk, or empty when the
// folder is not valid Shift-JIS.
[[nodiscard]] std::string QuoteFileName(const char* folder, int format, int year, int month,
                                        int day);

// Writes (or replaces) the daily quote file of the list into folder (Shift-JIS, as stored). A file
// it replaces is kept as "<name>.bak", unless that would give up a whole day for a partial one
// (whole says whether this file is the day's whole run; see AtomicFile::Commit). Nothing is
// written for an empty list, an invalid block-0 date or a folder where the file cannot be
// created. Returns the UTF-8 path written, or the empty string.
// error, when given, receives the system's error (errno) of a file that could not be written;
// unchanged, whether the file held these very bytes already and was left as it was.
std::string WriteQuoteFile(const CStockList& list, int format, const char* folder,
                           const CMarketTable& markets, bool averageDecimals, int* error = nullptr,
                           Whole whole = Whole::kYes, bool* unchanged = nullptr);

// One block's lines, slot order.
void WriteQuoteLines(const CQuoteBlock& block, std::FILE* out, int format,
                     const CMarketTable& markets, bool averageDecimals);
// One stock's line, or nothing when its close is not above 0.
void WriteQuoteLine(const CStockRecord& stock, std::FILE* out, int format,
                    const CMarketTable& markets, bool averageDecimals);

}  // namespace tickora
