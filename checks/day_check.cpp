// SPDX-License-Identifier: GPL-3.0-or-later
#include "checks/day_check.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <unordered_map>
#include <unordered_set>

#include "catalog/clock.h"
#include "checks/history_rules.h"
#include "exchange/trading_calendar.h"
#include "files/local_file.h"
#include "formats/kdt_file.h"
#include "formats/quote_file.h"
#include "formats/quote_file_reader.h"

namespace tickora {
namespace {

struct DayLine {
    double close = 0;
};

// The day file's lines by code; the first line of a code wins, as the list's first stock does.
using DayLines = std::unordered_map<int, DayLine>;

// The list and the markets, as given or as loaded here.
struct CheckList {
    CMarketTable ownMarkets;
    CStockList ownStocks;
    const CMarketTable* markets = nullptr;
    const CStockList* stocks = nullptr;
};

bool LoadList(const CheckInputs& inputs, CheckList& list, CheckResult& result) {
    list.markets = inputs.markets;
    list.stocks = inputs.stocks;
    if (list.markets == nullptr) {
        if (list.ownMarkets.Load("market.csv") == 0) {
            result.unread.push_back(
                {Unread::kList, "market.csv", "cannot be read or holds no market"});
            return false;
        }
        list.markets = &list.ownMarkets;
    }
    if (list.stocks == nullptr) {
        if (list.ownStocks.Load(*list.markets, "") != 0) {
            result.unread.push_back(
                {Unread::kList, kFetchListPath, "cannot be read or holds no stock"});
            return false;
        }
        list.stocks = &list.ownStocks;
    }
    return true;
}

std::string QuoteReadCause(const StoredQuotes& stored) {
    switch (stored.fault) {
        case QuoteReadFault::kNone:
            return {};
        case QuoteReadFault::kCannotOpen:
            return LocalFileErrorText(stored.error);
        case QuoteReadFault::kTooLarge:
            return "larger than any day file";
        case QuoteReadFault::kNotQuoteFile:
            return "not a day file: its header is none this program writes";
        case QuoteReadFault::kBadLine:
            return "line " + std::to_string(stored.line) + " is no stock line of its layout";
    }
    return {};
}

// The day file of the day checked: the name of the settings' layout, else the other name (the
// layout may have changed since the file was written). Its lines by code; nothing when no file
// could be read, which result then names.
std::optional<DayLines> ReadDayFile(const CheckInputs& inputs, const CheckList& list,
                                    CheckResult& result) {
    const CalendarDate& d = result.date;
    const int layouts[] = {inputs.outputFormat, QuoteLayoutOf(inputs.outputFormat) == kFormatDos
                                                    ? kFormatModoki
                                                    : kFormatDos};
    std::string firstPath;
    StoredQuotes stored;
    for (const int layout : layouts) {
        const std::string path =
            QuoteFileName(inputs.outputFolder.c_str(), layout, d.year, d.month, d.day);
        if (path.empty()) {
            result.unread.push_back(
                {Unread::kDayFile, inputs.outputFolder, "the output folder is no folder name"});
            return std::nullopt;
        }
        stored = ReadQuoteFile(path, *list.markets, *list.stocks);
        firstPath = firstPath.empty() ? path : firstPath;
        if (stored.fault != QuoteReadFault::kCannotOpen || stored.error != ENOENT) {
            result.dayFile = path;
            break;
        }
    }
    if (result.dayFile.empty()) {
        result.unread.push_back({Unread::kDayFile, firstPath, "no day file of " + IsoDate(d)});
        return std::nullopt;
    }
    if (stored.fault != QuoteReadFault::kNone) {
        result.unread.push_back({Unread::kDayFile, result.dayFile, QuoteReadCause(stored)});
        result.dayFile.clear();
        return std::nullopt;
    }
    if (stored.day.year != d.year || stored.day.month != d.month || stored.day.day != d.day) {
        result.unread.push_back({Unread::kDayFile, result.dayFile,
                                 "holds the quotes of " +
                                     IsoDate({stored.day.year, stored.day.month, stored.day.day})});
        result.dayFile.clear();
        return std::nullopt;
    }
    DayLines lines;
    lines.reserve(static_cast<std::size_t>(stored.stocks));
    for (int b = 0; b < stored.records.m_nBlocks; ++b) {
        const CQuoteBlock& block = *stored.records.GetBlock(b);
        for (int i = 0; i < block.m_nStocks; ++i) {
            lines.try_emplace(block.m_aStocks[i].m_nCode, DayLine{block.m_aStocks[i].m_dClose});
        }
    }
    return lines;
}

struct StoredHistory {
    bool found = false;
    bool unread = false;  // a file of the stock could not be read
    std::vector<CKdtDay> days;
};

int LastDayOf(const std::vector<CKdtDay>& days) {
    const CKdtDay& last = days.back();
    return DayNumber({last.m_nYear, last.m_nMonth, last.m_nDay});
}

// The stock's history: the all-stocks job's file, or the one-stock job's when that one is
// newer. A file that cannot be read is named in result and left out.
StoredHistory ReadHistory(int code, CheckResult& result) {
    StoredHistory history;
    for (const bool inDataFolder : {true, false}) {
        const std::string path = KdtFileName(code, inDataFolder);
        // A FIFO at the name would hold the read for ever, a link lead to a file elsewhere.
        if (const int irregular = IrregularFileError(path.c_str(), false); irregular != 0) {
            result.unread.push_back({Unread::kHistory, path, LocalFileErrorText(irregular), code});
            history.unread = true;
            continue;
        }
        std::vector<CKdtDay> days;
        switch (ReadKdtFile(path, days)) {
            case KdtRead::kMissing:
                continue;
            case KdtRead::kUnreadable:
                result.unread.push_back({Unread::kHistory, path, "cannot be read", code});
                history.unread = true;
                continue;
            case KdtRead::kMalformed:
                result.unread.push_back(
                    {Unread::kHistory, path, "not a price history this program writes", code});
                history.unread = true;
                continue;
            case KdtRead::kOk:
                break;
        }
        if (!history.found || LastDayOf(days) > LastDayOf(history.days)) {
            history.days = std::move(days);
            history.found = true;
        }
    }
    return history;
}

const CKdtDay* RowOn(const std::vector<CKdtDay>& days, const CalendarDate& date) {
    const CKdtDay key{date.year, date.month, date.day, 0, 0, 0, 0, 0};
    const auto at = std::lower_bound(days.begin(), days.end(), key, DateBefore);
    return at != days.end() && !DateBefore(key, *at) ? &*at : nullptr;
}

// The history keeps whole yen where the day file may keep an index's hundredths.
bool SameClose(double dayClose, int historyClose) {
    return std::floor(dayClose + 0.001) == historyClose;
}

// The rules between the day file and the history of one stock.
void CheckDayLine(int code, const DayLine* line, const StoredHistory& history,
                  const CalendarDate& date, std::vector<CheckFinding>& findings) {
    const CKdtDay* row = history.found ? RowOn(history.days, date) : nullptr;
    CheckFinding finding;
    finding.code = code;
    finding.date = date;
    if (line == nullptr) {
        const bool listedLater =
            history.found && DateBefore(CKdtDay{date.year, date.month, date.day, 0, 0, 0, 0, 0},
                                        history.days.front());
        if (!listedLater) {
            finding.kind = FindingKind::kNoQuote;
            finding.found = row != nullptr ? row->m_nVolume : -1;
            findings.push_back(finding);
        }
    } else if (row != nullptr && !SameClose(line->close, row->m_nClose)) {
        finding.kind = FindingKind::kCloseDiffers;
        finding.expected = row->m_nClose;
        finding.found = line->close;
        findings.push_back(finding);
    }
}

void CheckStock(const CStockRecord& stock, const CheckInputs& inputs,
                const std::optional<DayLines>& lines, CheckResult& result) {
    ++result.stocks;
    const int code = stock.m_nCode;
    const StoredHistory history = ReadHistory(code, result);
    std::vector<CheckFinding> findings;
    if (lines) {
        const auto line = lines->find(code);
        result.quotes += line != lines->end() ? 1 : 0;
        CheckDayLine(code, line != lines->end() ? &line->second : nullptr, history, result.date,
                     findings);
    }
    if (history.found) {
        ++result.histories;
        HistoryCheck check;
        check.code = code;
        check.index = IsIndexCode(code);
        check.checkedDay = DayNumber(result.date);
        check.reportedCurrent = inputs.reportedCurrent && inputs.reportedCurrent->contains(code);
        CheckHistory(check, history.days, findings);
    } else if (!history.unread) {
        result.withoutHistory.push_back(code);
    }
    std::stable_sort(findings.begin(), findings.end(),
                     [](const CheckFinding& a, const CheckFinding& b) { return a.date < b.date; });
    result.findings.insert(result.findings.end(), findings.begin(), findings.end());
}

}  // namespace

CheckResult CheckDay(const CheckInputs& inputs) {
    CheckResult result;
    const CalendarDate day = inputs.date.value_or(Today());
    if (!IsValidDate(day)) {
        result.unread.push_back({Unread::kDate, "", "the date to check names no day"});
        return result;
    }
    result.date = LastTradingDayOnOrBefore(day);
    CheckList list;
    if (!LoadList(inputs, list, result)) {
        return result;
    }
    const std::optional<DayLines> lines = ReadDayFile(inputs, list, result);
    std::unordered_set<int> seen;
    for (int b = 0; b < list.stocks->m_nBlocks; ++b) {
        const CQuoteBlock& block = *list.stocks->GetBlock(b);
        for (int i = 0; i < block.m_nStocks; ++i) {
            if (seen.insert(block.m_aStocks[i].m_nCode).second) {
                CheckStock(block.m_aStocks[i], inputs, lines, result);
            }
        }
    }
    return result;
}

}  // namespace tickora
