// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The Save command: the day's quote file in the layout the settings choose. With quotes fetched
// in this process it writes them; without, it writes the stored day file again, read back into
// records, so that a restart never turns a whole day into an empty file.
#include <string>

#include "catalog/app_settings.h"
#include "catalog/market_table.h"
#include "catalog/stock_list.h"
#include "formats/quote_file_reader.h"

namespace tickora {

enum class SaveEnd {
    kWritten,        // the quotes of this process, as a fetch writes them
    kRewritten,      // the stored day file, read back and written in the chosen layout
    kUnchanged,      // the file under the name holds these very bytes already; left as it was
    kNoList,         // refused: the list holds no stock, so there is no day to name
    kJobRunning,     // refused: a job writes the records
    kFolderBusy,     // refused: another job holds the working folder (why)
    kNothingStored,  // refused: no quotes in this process and no stored day file (path)
    kUnreadable,     // refused: the stored day file cannot be read (source, fault)
    kOtherDay,       // refused: the file under the day's name holds another day (source)
    kNotWritten,     // the file could not be written (path, error)
};

struct SaveResult {
    SaveEnd end = SaveEnd::kNotWritten;
    std::string path;    // absolute: the file written, or the one that was looked for
    std::string source;  // absolute: the stored file read back, when one was
    int layout = 0;      // of path (1, 2 or 3)
    int sourceLayout = 0;
    int stocks = 0;           // stock lines of the file under path now
    int replacedStocks = -1;  // stock lines of the file it replaced; -1 when none was read
    // When fewer stocks replace more: where the day's whole file is kept, if the marks do not
    // prove it partial.
    std::string wholeBackup;
    std::string setAside;  // a numbered backup the write made
    int namesCut = 0;      // see StoredQuotes
    int marketsUnknown = 0;
    int error = 0;  // errno, with kNotWritten and a read that could not open
    QuoteReadFault fault = QuoteReadFault::kNone;
    int faultLine = 0;
    // kFolderBusy: the lock's message (UTF-8); kNotWritten: the marks' path when a folder there
    // kept the file from being written.
    std::string why;

    [[nodiscard]] bool Refused() const;
};

// Writes the day's file for the list's quote day. quotesWhole: the quotes in stocks are a whole
// run's. Takes no lock: the caller holds the working folder.
[[nodiscard]] SaveResult SaveQuoteFile(const CStockList& stocks, const CMarketTable& markets,
                                       const CAppSettings& settings, bool quotesWhole);

}  // namespace tickora
