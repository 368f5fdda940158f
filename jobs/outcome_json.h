// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The outcome of a job as one JSON object, and back: what `tickora-cli --json` prints and what
// the run history keeps, so that a script, the terminal and the desktop program read one record.
#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <string>
#include <string_view>

#include "jobs/job_outcome.h"

namespace tickora {

// One line of JSON. exitStatus is what the run ended with; a run that a front-end refused before
// its job began gives its own status (2, 3, 5) where ExitStatusOf would say 1. Paths and page
// texts that are not valid UTF-8 are replaced, never a reason to fail.
[[nodiscard]] std::string OutcomeToJson(const JobOutcome& outcome, int exitStatus);
[[nodiscard]] std::string OutcomeToJson(const JobOutcome& outcome);
// The same object as a value, for a document that holds several outcomes (the day's routine).
[[nodiscard]] nlohmann::json OutcomeToJsonValue(const JobOutcome& outcome, int exitStatus);
// The text of such a document: one line, texts that are not valid UTF-8 replaced.
[[nodiscard]] std::string JsonText(const nlohmann::json& value);

// The outcome read back from OutcomeToJson's text; nullopt for text that is no such object.
// Keys it does not know are ignored and missing keys keep their defaults, so a record written by
// another version still reads.
[[nodiscard]] std::optional<JobOutcome> OutcomeFromJson(const std::string& text,
                                                        int* exitStatus = nullptr);
// The same from a value parsed already (the run history parses its lines within bounds).
[[nodiscard]] std::optional<JobOutcome> OutcomeFromJsonValue(const nlohmann::json& object,
                                                             int* exitStatus = nullptr);

// Whether key is one the outcome's JSON holds, at any depth: the run history keeps these and
// drops any other unread.
[[nodiscard]] bool IsOutcomeKey(std::string_view key);

// The words the JSON uses for how a job ended: "completed", "stopped", "cancelled", "error",
// "not run".
[[nodiscard]] const char* JobEndName(JobEnd end);

}  // namespace tickora
