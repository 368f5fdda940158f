// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A stored daily quote file read back, in whichever of its three layouts it was written, into the
// records its writer takes: written again through the writer, it gives the file a fetch would
// have written in any layout.
#include <cstddef>
#include <string>

#include "catalog/market_table.h"
#include "catalog/stock_list.h"

namespace tickora {

// A list of some thousand stocks makes a few hundred KB.
inline constexpr std::size_t kQuoteFileReadLimit = 16 * 1024 * 1024;

enum class QuoteReadFault {
    kNone,
    kCannotOpen,    // error holds errno (ELOOP for a link, kNotRegularFile for a FIFO)
    kTooLarge,      // over kQuoteFileReadLimit
    kNotQuoteFile,  // its header is not one the writer writes
    kBadLine,       // line is not a stock line of its layout
};

struct StoredQuotes {
    QuoteReadFault fault = QuoteReadFault::kNone;
    int error = 0;
    int line = 0;  // 1-based, for kBadLine and kNotQuoteFile

    int layout = 0;  // 1, 2 or 3
    QuoteDay day;
    int count = 0;   // the header's stocks extracted
    int stocks = 0;  // stock lines
    // The stock lines in file order, 50 a block; block 0 carries the count and the date, as the
    // list of the fetch that wrote them did.
    CStockList records;
    // Lines whose own text is all there is to go by: the names of the fixed layout beyond their
    // 12 bytes, and markets that the market table does not hold, are lost for them.
    int namesCut = 0;
    int marketsUnknown = 0;
};

// Reads the file at path (a regular file of its own, at most kQuoteFileReadLimit bytes). A line
// takes the market and whole name of a stock of known (the loaded list) whose code and text it
// shows, since a layout may hold a name only in part or a market only by number or by name.
[[nodiscard]] StoredQuotes ReadQuoteFile(const std::string& path, const CMarketTable& markets,
                                         const CStockList& known);

}  // namespace tickora
