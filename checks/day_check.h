// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The day's check: the stored files of one trading day held against the exchange's own rules and
// against each other. It reads the day file of the date in the output folder, every history of
// the list (the all-stocks job's "DATA/n000/KDnnnn.KDT" and the one-stock job's "KDnnnn.KDT" in
// the working folder) and the list itself, each file once, and downloads nothing.
//
//   - a stock of the list without a line in the day file (a stock that did not trade has one,
//     at its last price with no volume, and is no finding);
//   - the day file's close differing from the history's close of the day (the history keeps
//     whole yen of an index's hundredths, and so does the check);
//   - history rows: see checks/history_rules.h.
//
// Stocks without a history file are counted, not found against: a user may keep the day files
// alone. A stock whose history begins after the day was not listed then and needs no quote.
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "catalog/market_table.h"
#include "catalog/stock_list.h"
#include "checks/check_finding.h"

namespace tickora {

struct CheckInputs {
    // The day to check; a day the exchange was closed stands for the trading day before it, whose
    // prices a site shows that day. Nothing: the last trading day on or before Today().
    std::optional<CalendarDate> date;
    // The settings' output folder (Shift-JIS, as stored; empty for the working folder) and format.
    std::string outputFolder;
    int outputFormat = 3;
    // The list and the markets as the caller loaded them; when not given, "market.csv" and
    // "fetchlist.csv" of the working folder are loaded through the catalog's loaders.
    const CMarketTable* markets = nullptr;
    const CStockList* stocks = nullptr;
    // The stocks an update just before reported current (a history written or brought up to
    // date): a stale history of one of them is a warning. Without the set every stale history is
    // a notice.
    std::optional<std::set<int>> reportedCurrent;
};

// What the check needed and could not read: its rules went unchecked.
enum class Unread : unsigned char {
    kList,     // "market.csv" or "fetchlist.csv": nothing was checked
    kDate,     // the date to check names no day: nothing was checked
    kDayFile,  // the day file: only the histories were checked
    kHistory,  // one stock's history: its line in the day file alone was checked
};

struct UnreadFile {
    Unread what = Unread::kHistory;
    std::string path;  // relative to the working folder, as the check opened it
    std::string cause;
    int code = 0;  // the stock of a history
};

struct CheckResult {
    CalendarDate date;                   // the trading day checked
    std::string dayFile;                 // the day file read; empty when none could be
    int stocks = 0;                      // stocks of the list (each code once)
    int quotes = 0;                      // of them with a line in the day file
    int histories = 0;                   // of them with a history read
    std::vector<int> withoutHistory;     // list order
    std::vector<CheckFinding> findings;  // by stock in list order, each stock's by date
    std::vector<UnreadFile> unread;
};

[[nodiscard]] CheckResult CheckDay(const CheckInputs& inputs);

}  // namespace tickora
