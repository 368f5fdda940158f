// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The outcome of a job in words (UTF-8), the same for the terminal and the status bar: one line
// for the job, then one line per group of failures that share a cause.
#include <cstddef>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "jobs/job_outcome.h"

namespace tickora {

// Paths are shown relative to base when they lie below it (the folder the user stands in),
// absolute otherwise. An empty base shows every path absolute.
struct PathView {
    std::string base;
    [[nodiscard]] std::string Show(const std::string& absolutePath) const;
};

// "fetch: 203/203 stocks, 153 extracted, 50 not extracted, quotes of 2026/12/04; wrote
// DS261204.DAT".
[[nodiscard]] std::string SummaryLine(const JobOutcome& outcome, const PathView& paths);

// "HTTP 500: 50 stocks of block 30 (1301, 1332, …): http://…/q?s=… (counted as not extracted)",
// one line per cause, in the order the causes first occurred.
[[nodiscard]] std::vector<std::string> FailureLines(const JobOutcome& outcome,
                                                    const PathView& paths);

// What the summaries in every language share. The files of one state as a list: at most shown
// items (item gives each, with its reason), then more(the count left out) when there are more,
// the files a run history record only counts among them.
[[nodiscard]] std::string FileListOf(const JobOutcome& outcome, FileState state, std::size_t shown,
                                     const std::function<std::string(const OutputFile&)>& item,
                                     const std::function<std::string(std::size_t)>& more);
// The files part of a summary: each state's list after its words, or none when no file at all.
struct FileWords {
    const char* written;
    const char* kept;
    const char* failed;
    const char* none;
};
[[nodiscard]] std::string FilesPart(const FileWords& words,
                                    const std::function<std::string(FileState)>& listOf);
// How a summary tells an early end; nothing for a job that ran to its end or never began.
struct EndWords {
    const char* stoppedAt;       // the item that ended the job follows
    const char* stoppedAtAfter;  // after that item
    const char* stoppedFor;      // the cause follows, where no item ended the job
    const char* cancelled;
    const char* error;  // the message of the unforeseen end follows, untranslated
};
[[nodiscard]] std::string EndPart(const JobOutcome& outcome, const EndWords& words,
                                  const std::function<std::string(const std::string&)>& phrase);
// The failures grouped by cause, the causes in the order they first occurred.
using CauseGroup = std::pair<std::string, std::vector<const ItemFailure*>>;
[[nodiscard]] std::vector<CauseGroup> GroupByCause(const JobOutcome& outcome);

// What the check expected and what it found, for one finding: "the history's close 1523", "1533
// in the day file". JSON carries the same words.
[[nodiscard]] std::string FindingExpectedText(const CheckFinding& finding);
[[nodiscard]] std::string FindingFoundText(const CheckFinding& finding);
// "warning 1301 2026-12-04 close_differs: expected the history's close 1523, found 1533 in the
// day file".
[[nodiscard]] std::string FindingLine(const CheckFinding& finding);
// The findings' lines, warnings before notices and each in the check's order (by stock, then by
// day): at most shown lines, then "(+N more findings)" when there are more.
[[nodiscard]] std::vector<std::string> FindingLines(const JobOutcome& outcome, std::size_t shown);
// The findings in the order FindingLines shows them: what the desktop program lists too.
[[nodiscard]] std::vector<const CheckFinding*> FindingsInOrder(const JobOutcome& outcome);

// The line a plain progress log prints when an item has ended.
[[nodiscard]] std::string ProgressLine(const std::string& job, int done, int total,
                                       const std::string& unit, int first, int second);

}  // namespace tickora
