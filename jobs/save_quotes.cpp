// SPDX-License-Identifier: GPL-3.0-or-later
#include "jobs/save_quotes.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <vector>

#include "files/local_file.h"
#include "formats/partial_marks.h"
#include "formats/quote_file.h"
#include "jobs/job_outcome.h"

namespace tickora {
namespace {

// The stocks the writer gives a line: those with a price.
int StocksWithQuote(const CStockList& stocks) {
    int count = 0;
    for (int i = 0; i < stocks.m_nBlocks; ++i) {
        const CQuoteBlock& block = *stocks.GetBlock(i);
        for (int s = 0; s < std::min(block.m_nStocks, kStocksPerBlock); ++s) {
            count += block.m_aStocks[s].m_dClose > 0 ? 1 : 0;
        }
    }
    return count;
}

bool NamePresent(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}

// What the write did to the day's names: a failure, the numbered backup it made, and where the
// whole day is when fewer stocks took the place of more.
void NoteWrite(SaveResult& result, const std::string& path, const std::string& written, int error,
               const std::vector<std::string>& asideBefore) {
    if (written.empty()) {
        result.end = SaveEnd::kNotWritten;
        result.error = error != 0 ? error : EIO;
        const std::string marks = PartialMarksPathOf(path);
        if (IrregularFileError(marks.c_str(), false) == EISDIR) {
            result.why = AbsolutePath(marks);
        }
        return;
    }
    for (const std::string& version : NumberedBackupsOf(path)) {
        if (std::find(asideBefore.begin(), asideBefore.end(), version) == asideBefore.end()) {
            result.setAside = AbsolutePath(version);
        }
    }
    if (result.replacedStocks > result.stocks) {
        const std::string backup = WholeBackupOf(path);
        result.wholeBackup = backup.empty() ? std::string() : AbsolutePath(backup);
    }
}

SaveResult WriteQuotes(SaveResult result, const std::string& path, const CStockList& stocks,
                       const CMarketTable& markets, const CAppSettings& settings, bool whole) {
    if (NamePresent(path)) {
        const StoredQuotes replaced = ReadQuoteFile(path, markets, stocks);
        result.replacedStocks = replaced.fault == QuoteReadFault::kNone ? replaced.stocks : -1;
    }
    result.stocks = StocksWithQuote(stocks);
    const std::vector<std::string> asideBefore = NumberedBackupsOf(path);
    int error = 0;
    bool unchanged = false;
    const std::string written = WriteQuoteFile(stocks, result.layout, settings.m_szOutputDir,
                                               markets, settings.m_bAverageDecimals != 0, &error,
                                               whole ? Whole::kYes : Whole::kNo, &unchanged);
    result.end = unchanged ? SaveEnd::kUnchanged : SaveEnd::kWritten;
    NoteWrite(result, path, written, error, asideBefore);
    return result;
}

// The stored day file: under the chosen layout's name, or else under the other name a day's
// file has (the fixed layout's "DSyyyymm.dd", the others' "DSyymmdd.DAT").
std::string StoredSource(const char* folder, int layout, const QuoteDay& day,
                         const std::string& path) {
    if (NamePresent(path)) {
        return path;
    }
    const int other = layout == kFormatDos ? kFormatModoki : kFormatDos;
    std::string source = QuoteFileName(folder, other, day.year, day.month, day.day);
    return NamePresent(source) ? source : std::string();
}

SaveResult RewriteStored(SaveResult result, const std::string& path, const QuoteDay& day,
                         const CStockList& stocks, const CMarketTable& markets,
                         const CAppSettings& settings) {
    const std::string source = StoredSource(settings.m_szOutputDir, result.layout, day, path);
    if (source.empty()) {
        result.end = SaveEnd::kNothingStored;
        return result;
    }
    result.source = AbsolutePath(source);
    const StoredQuotes stored = ReadQuoteFile(source, markets, stocks);
    result.sourceLayout = stored.layout;
    result.fault = stored.fault;
    result.faultLine = stored.line;
    result.error = stored.error;
    if (stored.fault != QuoteReadFault::kNone) {
        result.end = SaveEnd::kUnreadable;
        return result;
    }
    if (stored.day.year != day.year || stored.day.month != day.month || stored.day.day != day.day) {
        result.end = SaveEnd::kOtherDay;
        return result;
    }
    result.stocks = stored.stocks;
    result.replacedStocks = source == path ? stored.stocks : -1;
    result.namesCut = stored.namesCut;
    result.marketsUnknown = stored.marketsUnknown;
    // The file written is as whole as the one it was read from; one that nothing proves whole
    // is written as partial, so that it never pushes out a backup that may be the whole day.
    const bool whole = StateOf(ReadDayMarks(source), ContentIdOf(source)) == DayState::kWhole;
    const std::vector<std::string> asideBefore = NumberedBackupsOf(path);
    int error = 0;
    bool unchanged = false;
    const std::string written = WriteQuoteFile(
        stored.records, result.layout, settings.m_szOutputDir, markets,
        settings.m_bAverageDecimals != 0, &error, whole ? Whole::kYes : Whole::kNo, &unchanged);
    result.end = unchanged ? SaveEnd::kUnchanged : SaveEnd::kRewritten;
    NoteWrite(result, path, written, error, asideBefore);
    return result;
}

}  // namespace

bool SaveResult::Refused() const {
    return end != SaveEnd::kWritten && end != SaveEnd::kRewritten && end != SaveEnd::kUnchanged;
}

SaveResult SaveQuoteFile(const CStockList& stocks, const CMarketTable& markets,
                         const CAppSettings& settings, bool quotesWhole) {
    SaveResult result;
    result.layout = QuoteLayoutOf(settings.m_nOutputFormat);
    const std::optional<QuoteDay> day = stocks.QuoteDayOfList();
    if (!day) {
        result.end = SaveEnd::kNoList;
        return result;
    }
    const std::string path =
        QuoteFileName(settings.m_szOutputDir, result.layout, day->year, day->month, day->day);
    if (path.empty()) {
        result.end = SaveEnd::kNotWritten;
        result.error = EINVAL;  // a folder that is no Shift-JIS text
        return result;
    }
    result.path = AbsolutePath(path);
    if (StocksWithQuote(stocks) > 0) {
        return WriteQuotes(std::move(result), path, stocks, markets, settings, quotesWhole);
    }
    return RewriteStored(std::move(result), path, *day, stocks, markets, settings);
}

}  // namespace tickora
