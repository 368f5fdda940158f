// SPDX-License-Identifier: GPL-3.0-or-later
#include "jobs/outcome_json.h"

#include <array>
#include <nlohmann/json.hpp>

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

}  // namespace

const char* JobEndName(JobEnd end) {
    return kEnds[static_cast<std::size_t>(end)];
}

std::string OutcomeToJson(const JobOutcome& outcome) {
    return OutcomeToJson(outcome, ExitStatusOf(outcome));
}

std::string OutcomeToJson(const JobOutcome& outcome, int exitStatus) {
    json failures = json::array();
    for (const ItemFailure& f : outcome.failures) {
        failures.push_back({{"what", f.what},
                            {"codes", f.codes},
                            {"cause", f.cause},
                            {"where", f.where},
                            {"action", f.action},
                            {"endedJob", f.endedJob}});
    }
    json files = json::array();
    for (const OutputFile& f : outcome.files) {
        files.push_back({{"path", f.path},
                         {"state", kStates[static_cast<std::size_t>(f.state)]},
                         {"reason", f.reason}});
    }
    const json object = {
        {"job", outcome.job},
        {"exitStatus", exitStatus},
        {"end", JobEndName(outcome.end)},
        {"endCause", outcome.endCause},
        {"unit", outcome.unit},
        {"itemsTotal", outcome.itemsTotal},
        {"itemsDone", outcome.itemsDone},
        {"extracted", outcome.extracted},
        {"notExtracted", outcome.notExtracted},
        {"notExtractedCodes", outcome.notExtractedCodes},
        {"notAskedCodes", outcome.notAskedCodes},
        {"quoteDate", outcome.quoteDate},
        {"stocksListed", outcome.stocksListed},
        {"historiesUpdated", outcome.historiesUpdated},
        {"historiesFetched", outcome.historiesFetched},
        {"failures", failures},
        {"files", files},
        {"warnings", outcome.warnings},
    };
    return object.dump(-1, ' ', false, json::error_handler_t::replace);
}

std::optional<JobOutcome> OutcomeFromJson(const std::string& text, int* exitStatus) {
    const json object = json::parse(text, nullptr, false);
    if (object.is_discarded() || !object.is_object() || !object.contains("job")) {
        return std::nullopt;
    }
    JobOutcome outcome;
    Take(object, "job", outcome.job);
    Take(object, "unit", outcome.unit);
    std::string end;
    Take(object, "end", end);
    outcome.end = static_cast<JobEnd>(IndexOf(kEnds, end, static_cast<int>(JobEnd::kException)));
    Take(object, "endCause", outcome.endCause);
    Take(object, "itemsTotal", outcome.itemsTotal);
    Take(object, "itemsDone", outcome.itemsDone);
    Take(object, "extracted", outcome.extracted);
    Take(object, "notExtracted", outcome.notExtracted);
    Take(object, "notExtractedCodes", outcome.notExtractedCodes);
    Take(object, "notAskedCodes", outcome.notAskedCodes);
    Take(object, "quoteDate", outcome.quoteDate);
    Take(object, "stocksListed", outcome.stocksListed);
    Take(object, "historiesUpdated", outcome.historiesUpdated);
    Take(object, "historiesFetched", outcome.historiesFetched);
    Take(object, "warnings", outcome.warnings);
    if (const auto it = object.find("failures"); it != object.end() && it->is_array()) {
        for (const json& f : *it) {
            if (!f.is_object()) {
                continue;
            }
            ItemFailure failure;
            Take(f, "what", failure.what);
            Take(f, "codes", failure.codes);
            Take(f, "cause", failure.cause);
            Take(f, "where", failure.where);
            Take(f, "action", failure.action);
            Take(f, "endedJob", failure.endedJob);
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
    if (exitStatus != nullptr) {
        *exitStatus = ExitStatusOf(outcome);
        Take(object, "exitStatus", *exitStatus);
    }
    return outcome;
}

}  // namespace tickora
