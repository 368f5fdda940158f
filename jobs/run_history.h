// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The outcomes of earlier runs, kept in the working folder as "history.jsonl": a journal of one
// JSON object a line, appended by the document when a job ends, whichever front-end ran it. The
// desktop program lists them; a retry of the history or profile job follows its job's last run.
//
// The file is the user's as much as the program's: it may be cut by a full disk, grow for years,
// be replaced by a link, a FIFO or a gigabyte. So a record is appended whole or not at all (a line
// an earlier write left cut is ended first, so that it stays alone); only the newest
// kRunHistoryTailBytes are read, from the first line that begins in them; a line that cannot be
// read costs only itself; and every field is cut to its bound as it is read.
#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "jobs/job_outcome.h"
#include "jobs/tickora_view.h"

namespace tickora {

inline constexpr const char* kRunHistoryName = "history.jsonl";

// How much of the end of the file is read: thousands of runs.
inline constexpr std::size_t kRunHistoryTailBytes = 4 * 1024 * 1024;
// What a text of a record (a cause, a path, a warning) keeps when it is written and when it is
// read: a page's whole body in a failure text must not cost a megabyte for every look.
inline constexpr std::size_t kRunHistoryTextBytes = 1024;
// A record keeps at most this many files of each state; the rest are counted in a warning.
inline constexpr std::size_t kRunHistoryFilesKept = 50;

// The options a run was given that a retry repeats; a job without them leaves them unset, and so
// does a record of a version that did not keep them.
struct RunOptions {
    std::optional<unsigned> days;  // kdt
    std::optional<bool> update;    // kdt
    std::optional<bool> keepHtml;  // profiles (and fetchlist)
    std::optional<bool> useKeptHtml;
    std::optional<bool> addedOnly;

    bool operator==(const RunOptions&) const = default;
};

// Those of options that job reads (none for the fetch and the performance job).
[[nodiscard]] RunOptions OptionsOf(Job job, const JobOptions& options);

struct RunRecord {
    std::string endedAt;  // local time, "2026-12-07T18:31:05+0900"
    int exitStatus = 0;   // what tickora-cli exits with for this outcome
    bool retry = false;   // the run retried the failed stocks of the run before it
    RunOptions options;
    JobOutcome outcome;
};

// Appends the outcome as one line, whole or not at all. A record keeps at most
// kRunHistoryFilesKept files of each state, every failure and every code, and texts cut to
// kRunHistoryTextBytes. Returns the errno of a write that failed (ELOOP for a link at the name,
// kNotRegularFile for a FIFO or a device), 0 on success: a history that cannot be kept never
// fails the job.
[[nodiscard]] int AppendRunHistory(const JobOutcome& outcome, bool retry,
                                   const RunOptions& options = {},
                                   const std::string& path = kRunHistoryName);

// A line of the journal that could not be read: cut short by a full disk or a kill, or damaged.
// What its beginning still tells of its job is kept, so that a retry can tell whether it might
// have been the run it follows.
struct UnreadRun {
    std::size_t before = 0;  // its place: it came after the first `before` records
    std::string job;         // empty when even that is lost
    std::string unit;
};

struct RunJournal {
    int error = 0;     // why the file could not be read at all; 0, and ENOENT for no file
    bool cut = false;  // the file is longer than what was read of its end
    std::vector<RunRecord> records;  // oldest first
    std::vector<UnreadRun> unread;   // in file order
};

[[nodiscard]] RunJournal ReadRunJournal(const std::string& path = kRunHistoryName);

// The records alone, oldest first: the journal without its unreadable lines.
[[nodiscard]] std::vector<RunRecord> ReadRunHistory(const std::string& path = kRunHistoryName);

// Which runs a retry may follow: a kdt run of one stock is no run of "kdt --all".
enum class RetryJob { kKdtAll, kProfiles };

// The newest run of any of jobs, as both programs ask it: by its place in the journal, which is
// the order the runs ended in (each appends under the working folder's lock as it ends), never by
// the text of their times. A run that did not start does not count.
struct LastRun {
    enum class Found {
        kRun,         // record holds it
        kNone,        // no run of those jobs in what was read
        kUnreadable,  // the history, or a line newer than any such run that may be one, cannot
                      // be read: nobody can tell what that run left to do
    } found = Found::kNone;
    RetryJob job = RetryJob::kKdtAll;  // the job of record
    RunRecord record;
    std::string why;  // for kNone and kUnreadable, in words, naming the file
};

[[nodiscard]] LastRun FindLastRun(std::span<const RetryJob> jobs,
                                  const std::string& path = kRunHistoryName);

// The last run of that job, when it can be read.
[[nodiscard]] std::optional<RunRecord> LastRunOf(RetryJob job,
                                                 const std::string& path = kRunHistoryName);

// The stocks to ask for again after that run: those its failures name and those it never
// reached, in the order the run met them, each once.
[[nodiscard]] std::vector<int> StocksToRetry(const JobOutcome& outcome);

}  // namespace tickora
