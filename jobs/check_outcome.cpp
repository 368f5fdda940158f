// SPDX-License-Identifier: GPL-3.0-or-later
#include "jobs/check_outcome.h"

#include <filesystem>

#include "jobs/job_steps.h"

namespace tickora {
namespace {

std::string WhatOf(const UnreadFile& file) {
    if (file.code != 0) {
        return "the history of " + CodeText(file.code);
    }
    return file.path.empty() ? "the day to check" : "file " + file.path;
}

}  // namespace

JobOutcome CheckOutcome(const CheckResult& result) {
    JobOutcome outcome;
    outcome.job = "check";
    outcome.unit = "stocks";
    outcome.itemsTotal = result.stocks;
    outcome.itemsDone = result.stocks;
    outcome.quotesChecked = result.quotes;
    outcome.historiesChecked = result.histories;
    outcome.findings = result.findings;
    if (result.date.year != 0) {
        outcome.quoteDate = std::to_string(result.date.year) + "/" +
                            std::to_string(result.date.month) + "/" +
                            std::to_string(result.date.day);
    }
    for (const UnreadFile& file : result.unread) {
        ItemFailure& failure = outcome.Fail(
            WhatOf(file), file.cause, file.path.empty() ? std::string() : AbsolutePath(file.path),
            file.code != 0 ? "its history not checked" : "not checked");
        if (file.code != 0) {
            failure.codes = {file.code};
        }
    }
    if (result.stocks == 0 && !result.unread.empty()) {
        outcome.end = JobEnd::kStopped;
        outcome.endCause = result.unread.front().cause;
    }
    if (!result.withoutHistory.empty()) {
        outcome.warnings.push_back(
            std::to_string(result.withoutHistory.size()) +
            (result.withoutHistory.size() == 1 ? " stock has" : " stocks have") +
            " no history file; only their day file lines were checked");
    }
    return outcome;
}

std::set<int> HistoriesReportedCurrent(const JobOutcome& kdt) {
    std::set<int> codes;
    for (const std::string& path : kdt.Written()) {
        const std::string name = std::filesystem::path(path).filename().string();
        // "KD1301.KDT": four digits between the job's prefix and suffix.
        if (name.size() != 10 || !name.starts_with("KD") || !name.ends_with(".KDT")) {
            continue;
        }
        int code = 0;
        for (std::size_t i = 2; i < 6 && code >= 0; ++i) {
            code = name[i] >= '0' && name[i] <= '9' ? code * 10 + (name[i] - '0') : -1;
        }
        if (code >= 0) {
            codes.insert(code);
        }
    }
    return codes;
}

}  // namespace tickora
