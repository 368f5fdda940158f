// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The performance (FN) file.
#include <cstdio>
#include <string>

#include "catalog/stock_list.h"
#include "formats/atomic_file.h"

namespace tickora {

// Writes (or replaces) "%s/FN%02d%02d%02d.DAT" in folder (Shift-JIS, as stored); a file it
// replaces is kept as "<name>.bak" as the daily quote file's is (whole says whether this is a whole
// run's file). Nothing for an empty list or a folder where the file cannot be
// created. Returns the UTF-8 path written, or the empty string.
// error, when given, receives the system's error (errno) of a file that could not be written.
std::string WriteFiguresFile(const CStockList& list, int count, const char* folder,
                             int* error = nullptr, Whole whole = Whole::kYes);
// The UTF-8 path WriteFiguresFile writes for the list's quote date; empty for an empty list or a
// folder that is not valid Shift-JIS.
[[nodiscard]] std::string FiguresFileName(const CStockList& list, const char* folder);
void WriteFiguresLines(const CQuoteBlock& block, std::FILE* out);
void WriteFiguresLine(const CStockRecord& stock, std::FILE* out);

}  // namespace tickora
