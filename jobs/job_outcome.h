// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What a job did, built by the job itself as it goes: the items it planned and finished, every
// item that failed with its cause and what was done about it, and every file it wrote or kept.
// The summaries, the exit status and the JSON of the front-ends are all read from this.
#include <array>
#include <string>
#include <vector>

#include "checks/check_finding.h"
#include "web/download.h"

namespace tickora {

// How the job ended.
enum class JobEnd {
    kCompleted,  // it walked its whole work list (some items may still have failed)
    kStopped,    // a failure ended it early, as its rules say
    kCancelled,  // the user asked it to stop
    kException,  // something unforeseen ended it; endCause holds the message
    kNotRun,     // its options dialog was dismissed, or it was refused before it began
};

// One item that did not do what it should.
struct ItemFailure {
    std::string what;        // "block 3", "page 2 of 1301", "listing page 5", "file ..."
    std::vector<int> codes;  // the stocks it covers (a block covers all of its stocks)
    std::string cause;       // "HTTP 500", libcurl's words, "<path>: <system error>", ...
    std::string where;       // the URL or the path it concerns
    std::string action;      // what the program did about it: "record kept", ...
    bool endedJob = false;   // this failure ended the job
};

enum class FileState {
    kWritten,  // created or replaced
    kKept,     // left as it was, on purpose (the reason says why)
    kFailed,   // could not be written (the reason says why)
};

struct OutputFile {
    std::string path;  // absolute, as it lies on disk
    FileState state = FileState::kWritten;
    std::string reason;  // for kept and failed files
};

struct JobOutcome {
    std::string job;              // "fetch", "fetchlist", "kdt", "profiles", "performance"
    std::string unit = "stocks";  // what itemsDone and itemsTotal count: "stocks" or "pages"
    int itemsTotal = 0;           // planned
    int itemsDone = 0;            // ended, successfully or not
    int extracted = 0;            // the form's first counter at the end
    int notExtracted = 0;         // the form's second counter at the end
    JobEnd end = JobEnd::kCompleted;
    std::string endCause;  // why it stopped, was refused or raised
    std::vector<ItemFailure> failures;
    std::vector<OutputFile> files;
    // Files of each state (indexed by FileState) that were counted but are not in files: a run
    // history record lists only the first of each state, and keeps the count of the rest.
    std::array<int, 3> filesNotListed{};
    // Stocks not extracted from a page that was read, in list order; the daily fetch has also
    // logged them to "ERRORLOG.TXT" (NotExtractedLogged).
    std::vector<int> notExtractedCodes;
    // Stocks of the plan that the run never reached because it stopped or was cancelled first
    // (kdt --all and profiles); a retry asks for them with the failed ones.
    std::vector<int> notAskedCodes;
    std::vector<std::string> warnings;   // UTF-8 notices that are no failure of an item
    std::string quoteDate;               // "2026/12/4": the date of the daily or FN file written
    int stocksListed = 0;                // fetchlist: the stocks in the list written
    int historiesUpdated = 0;            // kdt --update: brought up to date from their first page
    int historiesFetched = 0;            // kdt --update: fetched in full
    int quotesChecked = 0;               // check: stocks with a line in the day file
    int historiesChecked = 0;            // check: stocks with a history read
    // What the day's check found. A finding is never a failure: it leaves the exit status alone.
    std::vector<CheckFinding> findings;

    // Whether notExtractedCodes went to "ERRORLOG.TXT" as well: the daily fetch keeps that log,
    // the performance job never writes to it.
    [[nodiscard]] bool NotExtractedLogged() const { return job == "fetch"; }
    // Whether the job's work is files it writes: the check only reads.
    [[nodiscard]] bool WritesFiles() const { return job != "check"; }
    [[nodiscard]] bool Cancelled() const { return end == JobEnd::kCancelled; }
    [[nodiscard]] bool Stopped() const { return end == JobEnd::kStopped; }
    // The paths of the files in that state, in the order they were recorded.
    [[nodiscard]] std::vector<std::string> PathsIn(FileState state) const;
    [[nodiscard]] std::vector<std::string> Written() const { return PathsIn(FileState::kWritten); }
    [[nodiscard]] std::vector<std::string> Kept() const { return PathsIn(FileState::kKept); }
    [[nodiscard]] bool AnyFileFailed() const;

    // Records a file the job wrote, kept or could not write.
    void AddFile(const std::string& path, FileState state, std::string reason = {});
    // Records a failed item.
    ItemFailure& Fail(std::string what, std::string cause, std::string where, std::string action);
    // Ends the job early on failure: the failure that did it is marked.
    void StopAt(ItemFailure& failure);
    // The failure that ended the job early, or none when the job was not stopped by an item.
    [[nodiscard]] const ItemFailure* StoppedAt() const;
};

// The exit status the command line gives for an outcome:
inline constexpr int kExitDone = 0;        // ran to its end and every item succeeded
inline constexpr int kExitEndedEarly = 1;  // a failure or Cancel ended it, it raised, or
                                           // its items failed and nothing was written
inline constexpr int kExitUsage = 2;
inline constexpr int kExitNoMarket = 3;     // "market.csv" is missing
inline constexpr int kExitItemsFailed = 4;  // ran to its end, but some items failed
inline constexpr int kExitLocked = 5;       // another job holds the working folder

[[nodiscard]] int ExitStatusOf(const JobOutcome& outcome);

// The cause and the URL of a page that did not arrive whole, in the words a report uses.
[[nodiscard]] std::string CauseOf(const DownloadDetail& detail);

// The absolute form of a path relative to the working folder, as outcomes keep it.
[[nodiscard]] std::string AbsolutePath(const std::string& path);

}  // namespace tickora
