// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The outcomes of earlier runs that the working folder keeps in "history.jsonl" (one JSON object
// a line, written by the document whichever front-end ran the job), as the 履歴 view reads them.
#include <string>
#include <vector>

#include "jobs/job_outcome.h"

namespace tickora::gui {

struct RunEntry {
    std::string endedAt;  // "2026-12-07T18:31:05+0900"
    int exitStatus = 0;   // what tickora-cli exits with for this outcome
    bool retry = false;   // the run asked again for what the run before it failed
    JobOutcome outcome;
};

// Every run, oldest first; a line that cannot be read (a run killed while writing it) is left
// out. No file: no run.
[[nodiscard]] std::vector<RunEntry> ReadRunLog(const std::string& path = "history.jsonl");

}  // namespace tickora::gui
