// SPDX-License-Identifier: GPL-3.0-or-later
#include "jobs/check_outcome.h"

#include <filesystem>

#include "jobs/job_steps.h"

namespace tickora {
namespace {

std::string WhatOf(const UnreadFile& file) {
    switch (file.what) {
        case Unread::kList:
            return "the list";
        case Unread::kDate:
            return "the day to check";
        case Unread::kDayFile:
            return "the day file";
        case Unread::kHistory:
            break;
    }
    return "the history of " + CodeText(file.code);
}

std::string ActionOf(const UnreadFile& file) {
    switch (file.what) {
        case Unread::kList:
        case Unread::kDate:
            return "nothing checked";
        case Unread::kDayFile:
            return "the histories checked alone";
        case Unread::kHistory:
            break;
    }
    return "its day file line checked alone";
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
            ActionOf(file));
        if (file.what == Unread::kHistory) {
            failure.codes = {file.code};
        }
        // Without a list or a day there was nothing to check.
        if (file.what == Unread::kList || file.what == Unread::kDate) {
            outcome.StopAt(failure);
        }
    }
    if (!result.withoutHistory.empty()) {
        const bool one = result.withoutHistory.size() == 1;
        outcome.warnings.push_back(std::to_string(result.withoutHistory.size()) +
                                   (one ? " stock has no history file: only its line in the day "
                                          "file was checked"
                                        : " stocks have no history file: only their lines in the "
                                          "day file were checked"));
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
