// SPDX-License-Identifier: GPL-3.0-or-later
#include "jobs/outcome_json.h"

#include <algorithm>
#include <array>
#include <string_view>
#include <nlohmann/json.hpp>

#include "jobs/outcome_text.h"

namespace tickora {
namespace {

using nlohmann::json;

constexpr std::array kEnds{"completed", "stopped", "cancelled", "error", "not run"};
constexpr std::array kStates{"written", "kept", "failed"};

template <typename Names>
int IndexOf(const Names& names, const std::string& word, int fallback) {
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (word == names[i]) {
            return static_cast<int>(i);
        }
    }
    return fallback;
}

template <typename T>
void Take(const json& object, const char* key, T& into) {
    const auto it = object.find(key);
    if (it != object.end() && !it->is_null()) {
        try {
            into = it->get<T>();
        } catch (const json::exception&) {
            // A value of another type keeps the default: the rest of the record still reads.
        }
    }
}

// The fields JSON holds just as the outcome does, one list for writing and reading, so that
// every field written is read back.
template <typename Outcome, typename Visit>
void VisitPlainFields(Outcome& o, Visit&& visit) {
    visit("job", o.job);
    visit("endCause", o.endCause);
    visit("unit", o.unit);
    visit("itemsTotal", o.itemsTotal);
    visit("itemsDone", o.itemsDone);
    visit("extracted", o.extracted);
    visit("notExtracted", o.notExtracted);
    visit("notExtractedCodes", o.notExtractedCodes);
    visit("notAskedCodes", o.notAskedCodes);
    visit("quoteDate", o.quoteDate);
    visit("stocksListed", o.stocksListed);
    visit("historiesUpdated", o.historiesUpdated);
    visit("historiesFetched", o.historiesFetched);
    visit("quotesChecked", o.quotesChecked);
    visit("historiesChecked", o.historiesChecked);
    visit("warnings", o.warnings);
    visit("filesNotListed", o.filesNotListed);
}

template <typename Failure, typename Visit>
void VisitFailureFields(Failure& f, Visit&& visit) {
    visit("what", f.what);
    visit("codes", f.codes);
    visit("cause", f.cause);
    visit("where", f.where);
    visit("action", f.action);
    visit("endedJob", f.endedJob);
}

template <typename Finding, typename Visit>
void VisitFindingNumbers(Finding& f, Visit&& visit) {
    visit("code", f.code);
    visit("expectedValue", f.expected);
    visit("foundValue", f.found);
    visit("previousClose", f.previousClose);
    visit("reportedCurrent", f.reportedCurrent);
}

// A finding with what it expected and found in words as well as in numbers: the words for
// whoever reads the JSON, the numbers for reading it back.
json FindingJson(const CheckFinding& f) {
    json finding = {{"kind", FindingKindWord(f.kind)},
                    {"severity", SeverityWord(f.severity)},
                    {"date", IsoDate(f.date)},
                    {"expected", FindingExpectedText(f)},
                    {"found", FindingFoundText(f)}};
    VisitFindingNumbers(f,
                        [&finding](const char* key, const auto& value) { finding[key] = value; });
    finding["otherDate"] = f.otherDay.year != 0 ? json(IsoDate(f.otherDay)) : json(nullptr);
    return finding;
}

// nothing for an object that names no kind, severity or day it knows.
std::optional<CheckFinding> FindingFromJson(const json& object) {
    std::string kind;
    std::string severity;
    std::string date;
    std::string otherDate;
    Take(object, "kind", kind);
    Take(object, "severity", severity);
    Take(object, "date", date);
    Take(object, "otherDate", otherDate);
    CheckFinding finding;
    const std::optional<FindingKind> k = FindingKindNamed(kind);
    const std::optional<Severity> s = SeverityNamed(severity);
    const std::optional<CalendarDate> d = DateOfIso(date);
    if (!k || !s || !d) {
        return std::nullopt;
    }
    finding.kind = *k;
    finding.severity = *s;
    finding.date = *d;
    finding.otherDay = DateOfIso(otherDate).value_or(CalendarDate{});
    VisitFindingNumbers(finding,
                        [&object](const char* key, auto& value) { Take(object, key, value); });
    return finding;
}

// Keys the outcome's JSON holds beside its visited fields.
constexpr std::array<std::string_view, 14> kOtherKeys{
    "exitStatus", "end",     "failures", "files",    "path",     "state", "reason",
    "findings",   "kind",    "severity", "date",     "expected", "found", "otherDate"};

}  // namespace

bool IsOutcomeKey(std::string_view key) {
    bool found = std::find(kOtherKeys.begin(), kOtherKeys.end(), key) != kOtherKeys.end();
    const auto match = [&found, key](const char* name, const auto&) { found |= key == name; };
    // The visitors never touch the values they are handed here, so empty records do.
    JobOutcome outcome;
    ItemFailure failure;
    CheckFinding finding;
    VisitPlainFields(outcome, match);
    VisitFailureFields(failure, match);
    VisitFindingNumbers(finding, match);
    return found;
}

const char* JobEndName(JobEnd end) {
    return kEnds[static_cast<std::size_t>(end)];
}

std::string OutcomeToJson(const JobOutcome& outcome) {
    return OutcomeToJson(outcome, ExitStatusOf(outcome));
}

std::string OutcomeToJson(const JobOutcome& outcome, int exitStatus) {
    return JsonText(OutcomeToJsonValue(outcome, exitStatus));
}

std::string JsonText(const nlohmann::json& value) {
    return value.dump(-1, ' ', false, json::error_handler_t::replace);
}

json OutcomeToJsonValue(const JobOutcome& outcome, int exitStatus) {
    json failures = json::array();
    for (const ItemFailure& f : outcome.failures) {
        json failure = json::object();
        VisitFailureFields(
            f, [&failure](const char* key, const auto& value) { failure[key] = value; });
        failures.push_back(std::move(failure));
    }
    json files = json::array();
    for (const OutputFile& f : outcome.files) {
        files.push_back({{"path", f.path},
                         {"state", kStates[static_cast<std::size_t>(f.state)]},
                         {"reason", f.reason}});
    }
    json object = json::object();
    VisitPlainFields(outcome,
                     [&object](const char* key, const auto& value) { object[key] = value; });
    object["exitStatus"] = exitStatus;
    object["end"] = JobEndName(outcome.end);
    object["failures"] = std::move(failures);
    object["files"] = std::move(files);
    json findings = json::array();
    for (const CheckFinding& f : outcome.findings) {
        findings.push_back(FindingJson(f));
    }
    object["findings"] = std::move(findings);
    return object;
}

std::optional<JobOutcome> OutcomeFromJson(const std::string& text, int* exitStatus) {
    const json object = json::parse(text, nullptr, false);
    if (object.is_discarded()) {
        return std::nullopt;
    }
    return OutcomeFromJsonValue(object, exitStatus);
}

std::optional<JobOutcome> OutcomeFromJsonValue(const nlohmann::json& object, int* exitStatus) {
    if (!object.is_object() || !object.contains("job")) {
        return std::nullopt;
    }
    JobOutcome outcome;
    VisitPlainFields(outcome,
                     [&object](const char* key, auto& value) { Take(object, key, value); });
    std::string end;
    Take(object, "end", end);
    outcome.end = static_cast<JobEnd>(IndexOf(kEnds, end, static_cast<int>(JobEnd::kException)));
    if (const auto it = object.find("failures"); it != object.end() && it->is_array()) {
        for (const json& f : *it) {
            if (!f.is_object()) {
                continue;
            }
            ItemFailure failure;
            VisitFailureFields(failure,
                               [&f](const char* key, auto& value) { Take(f, key, value); });
            outcome.failures.push_back(std::move(failure));
        }
    }
    if (const auto it = object.find("files"); it != object.end() && it->is_array()) {
        for (const json& f : *it) {
            if (!f.is_object()) {
                continue;
            }
            OutputFile file;
            Take(f, "path", file.path);
            std::string state;
            Take(f, "state", state);
            file.state = static_cast<FileState>(
                IndexOf(kStates, state, static_cast<int>(FileState::kFailed)));
            Take(f, "reason", file.reason);
            outcome.files.push_back(std::move(file));
        }
    }
    if (const auto it = object.find("findings"); it != object.end() && it->is_array()) {
        for (const json& f : *it) {
            if (std::optional<CheckFinding> finding =
                    f.is_object() ? FindingFromJson(f) : std::nullopt) {
                outcome.findings.push_back(*finding);
            }
        }
    }
    if (exitStatus != nullptr) {
        *exitStatus = ExitStatusOf(outcome);
        Take(object, "exitStatus", *exitStatus);
    }
    return outcome;
}

}  // namespace tickora
