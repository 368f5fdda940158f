// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/run_log.h"

#include <fstream>
#include <nlohmann/json.hpp>

namespace tickora::gui {
namespace {

using nlohmann::json;

template <class T>
void Take(const json& object, const char* key, T& into) {
    const auto it = object.find(key);
    if (it == object.end()) {
        return;
    }
    try {
        into = it->get<T>();
    } catch (const json::exception&) {
        // A field of the wrong kind keeps its default: the rest of the run is still worth showing.
    }
}

JobEnd EndOf(const std::string& name) {
    const std::pair<const char*, JobEnd> ends[] = {{"completed", JobEnd::kCompleted},
                                                   {"stopped", JobEnd::kStopped},
                                                   {"cancelled", JobEnd::kCancelled},
                                                   {"not run", JobEnd::kNotRun}};
    for (const auto& [text, end] : ends) {
        if (name == text) {
            return end;
        }
    }
    return JobEnd::kException;
}

FileState StateOf(const std::string& name) {
    return name == "written" ? FileState::kWritten
                             : (name == "kept" ? FileState::kKept : FileState::kFailed);
}

}  // namespace

std::vector<RunEntry> ReadRunLog(const std::string& path) {
    std::vector<RunEntry> runs;
    std::ifstream in(path, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        const json object = json::parse(line, nullptr, false);
        if (object.is_discarded() || !object.is_object() || !object.contains("job")) {
            continue;
        }
        RunEntry run;
        JobOutcome& outcome = run.outcome;
        std::string end;
        Take(object, "endedAt", run.endedAt);
        Take(object, "exitStatus", run.exitStatus);
        Take(object, "retry", run.retry);
        Take(object, "job", outcome.job);
        Take(object, "unit", outcome.unit);
        Take(object, "end", end);
        outcome.end = EndOf(end);
        Take(object, "endCause", outcome.endCause);
        Take(object, "itemsTotal", outcome.itemsTotal);
        Take(object, "itemsDone", outcome.itemsDone);
        Take(object, "extracted", outcome.extracted);
        Take(object, "notExtracted", outcome.notExtracted);
        Take(object, "notExtractedCodes", outcome.notExtractedCodes);
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
                std::string state;
                Take(f, "path", file.path);
                Take(f, "state", state);
                Take(f, "reason", file.reason);
                file.state = StateOf(state);
                outcome.files.push_back(std::move(file));
            }
        }
        runs.push_back(std::move(run));
    }
    return runs;
}

}  // namespace tickora::gui
