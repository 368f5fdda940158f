// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The outcomes of earlier runs, kept in the working folder as "history.jsonl": one JSON object a
// line, appended by the document when a job ends, whichever front-end ran it. The desktop
// program lists them; a retry of the history or profile job reads the stocks its last run failed.
#include <optional>
#include <string>
#include <vector>

#include "jobs/job_outcome.h"

namespace tickora {

inline constexpr const char* kRunHistoryName = "history.jsonl";

struct RunRecord {
    std::string endedAt;  // local time, "2026-12-07T18:31:05+0900"
    int exitStatus = 0;   // what tickora-cli exits with for this outcome
    bool retry = false;   // the run retried the failed stocks of the run before it
    JobOutcome outcome;
};

// Appends the outcome as one line. A record keeps at most kRunHistoryFilesKept files of each
// outcome (the rest are counted in a warning), every failure and every code. Returns the errno of
// a write that failed, 0 on success: a history that cannot be kept never fails the job.
inline constexpr std::size_t kRunHistoryFilesKept = 50;
[[nodiscard]] int AppendRunHistory(const JobOutcome& outcome, bool retry,
                                   const std::string& path = kRunHistoryName);

// Every record, oldest first; lines that cannot be read (a run killed while writing its line,
// say) are skipped. No file: no record.
[[nodiscard]] std::vector<RunRecord> ReadRunHistory(const std::string& path = kRunHistoryName);

// Which runs a retry may follow: a kdt run of one stock is no run of "kdt --all".
enum class RetryJob { kKdtAll, kProfiles };

// The last run of that job in the history, if any (a run that did not start does not count).
[[nodiscard]] std::optional<RunRecord> LastRunOf(RetryJob job,
                                                 const std::string& path = kRunHistoryName);

// The stocks to ask for again after that run: those its failures name and those it never
// reached, in the order the run met them, each once.
[[nodiscard]] std::vector<int> StocksToRetry(const JobOutcome& outcome);

}  // namespace tickora
