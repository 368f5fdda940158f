// SPDX-License-Identifier: GPL-3.0-or-later
#include "jobs/job_steps.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "files/local_file.h"
#include "formats/atomic_file.h"
#include "formats/partial_marks.h"
#include "pages/profile_page.h"

namespace tickora {

std::vector<int> CodesOf(const CQuoteBlock& block) {
    std::vector<int> codes;
    for (int s = 0; s < block.m_nStocks; ++s) {
        codes.push_back(block.m_aStocks[s].m_nCode);
    }
    return codes;
}

std::string BlockItem(const CQuoteBlock& block) {
    return std::to_string(block.m_nStocks) + (block.m_nStocks == 1 ? " stock" : " stocks") +
           " of block " + std::to_string(block.m_nIndex);
}

ItemFailure& FailBlock(JobOutcome& outcome, const CQuoteBlock& block, const std::string& cause,
                       const std::string& url, const std::string& action) {
    ItemFailure& failure = outcome.Fail(BlockItem(block), cause, url, action);
    failure.codes = CodesOf(block);
    return failure;
}

void EndAtBlock(JobOutcome& outcome, const CQuoteBlock& block, const DownloadDetail& detail,
                const std::string& url, const std::string& action) {
    if (detail.failure == PageFailure::kCancelled) {
        outcome.end = JobEnd::kCancelled;
        return;
    }
    outcome.StopAt(FailBlock(outcome, block, CauseOf(detail), url, action));
}

namespace {

// One stock whose row held a number its file cannot hold: the page itself was whole, and asking
// again would bring the same row, so the file is as whole as a run can make it (the stock is
// named as not extracted, as a stock without a quote is).
bool IsOneStocksNumberFault(const ItemFailure& failure) {
    return failure.codes.size() == 1 && failure.what.rfind("stock ", 0) == 0;
}

}  // namespace

bool RanWhole(const JobOutcome& outcome) {
    return outcome.end == JobEnd::kCompleted &&
           std::all_of(outcome.failures.begin(), outcome.failures.end(), IsOneStocksNumberFault);
}

void AddDayFile(JobOutcome& outcome, const std::string& path, bool whole,
                const std::vector<std::string>& asideBefore) {
    outcome.AddFile(path, FileState::kWritten);
    for (const std::string& version : NumberedBackupsOf(path)) {
        if (std::find(asideBefore.begin(), asideBefore.end(), version) == asideBefore.end()) {
            outcome.warnings.push_back(
                AbsolutePath(version) + " keeps an earlier " + AbsolutePath(path) +
                " that nothing proved partial (its marks in " +
                AbsolutePath(PartialMarksPathOf(path)) + " were missing or damaged)");
        }
    }
    if (whole) {
        return;
    }
    const std::string backup = WholeBackupOf(path);
    if (!backup.empty()) {
        outcome.warnings.push_back(AbsolutePath(path) +
                                   " holds what this run read; the day's whole file is " +
                                   AbsolutePath(backup));
        return;
    }
    // Versions whose state the marks cannot tell: the whole day, if there was one, is among them.
    std::string kept;
    std::vector<std::string> versions = NumberedBackupsOf(path);
    if (StateOf(ReadDayMarks(path), ContentIdOf(BackupPathOf(path))) == DayState::kUnknown &&
        PathExists(BackupPathOf(path))) {
        versions.insert(versions.begin(), BackupPathOf(path));
    }
    for (const std::string& version : versions) {
        kept += (kept.empty() ? "" : ", ") + AbsolutePath(version);
    }
    if (!kept.empty()) {
        outcome.warnings.push_back(AbsolutePath(path) +
                                   " holds what this run read; the day's whole file, if there was "
                                   "one, is among " +
                                   kept);
    }
}

std::string QuoteDateOf(const CStockList& stocks) {
    const std::optional<QuoteDay> day = stocks.QuoteDayOfList();
    if (!day) {
        return {};
    }
    char date[32];
    std::snprintf(date, sizeof date, "%d/%d/%d", day->year, day->month, day->day);
    return date;
}

std::string FileCause(const std::string& path, int error) {
    return path + ": " + LocalFileErrorText(error);
}

std::string DayFileCause(const std::string& path, int error) {
    // A folder where the marks go blocks every commit: name it, not the day's file.
    const std::string marks = PartialMarksPathOf(path);
    if (error != kTooManyVersions && IrregularFileError(marks.c_str(), false) == EISDIR) {
        return marks + ": " + LocalFileErrorText(EISDIR) +
               ", where the marks that tell the day's whole file are kept; nothing is replaced";
    }
    if (error != kTooManyVersions) {
        return FileCause(path, error);
    }
    return path + ": " + std::to_string(kMostNumberedBackups) +
           " earlier versions that nothing proved partial are kept beside it (" +
           NumberedBackupPathOf(path, 1) +
           " and on); nothing is replaced until those not needed are moved away";
}

bool PathExists(const std::string& path) {
    std::error_code error;
    return std::filesystem::exists(path, error) && !error;
}

std::string ProfileCause(int parsed, const std::string& path) {
    return parsed == kProfileNoFile ? FileCause(path, ENOENT) : ProfileResultText(parsed);
}

bool StockFilter::Asks(int code) {
    if (!m_limited) {
        return true;
    }
    if (m_codes.count(code) == 0) {
        return false;
    }
    m_found.insert(code);
    return true;
}

void StockFilter::NoteMissing(JobOutcome& outcome) const {
    std::string missing;
    int count = 0;
    for (const int code : m_codes) {
        if (m_found.count(code) == 0) {
            missing += (count++ == 0 ? "" : ", ") + CodeText(code);
        }
    }
    if (count > 0) {
        outcome.warnings.push_back(std::to_string(count) + (count == 1 ? " stock" : " stocks") +
                                   " to retry no longer in fetchlist.csv: " + missing);
    }
}

bool TransferFailed(const DownloadDetail& detail) {
    return !detail.Ok() && detail.failure != PageFailure::kHttpStatus &&
           detail.failure != PageFailure::kCancelled;
}

void ShowItems(const JobOutcome& outcome, ITickoraView& view) {
    view.ShowItemsDone(outcome.itemsDone, outcome.itemsTotal, outcome.unit);
}

void CountItems(JobOutcome& outcome, int items, ITickoraView& view) {
    outcome.itemsDone += items;
    ShowItems(outcome, view);
}

bool GoesOn(JobOutcome& outcome, const std::atomic<bool>& cancel) {
    if (outcome.end != JobEnd::kCompleted) {
        return false;
    }
    if (cancel) {
        outcome.end = JobEnd::kCancelled;
        return false;
    }
    return true;
}

std::string CodeText(int code) {
    char text[16];
    std::snprintf(text, sizeof text, "%04d", code);
    return text;
}

std::string PageNumberText(int index) {
    return std::to_string(index + 1);
}

}  // namespace tickora
