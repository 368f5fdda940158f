// SPDX-License-Identifier: GPL-3.0-or-later
#include "jobs/run_history.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <fstream>
#include <nlohmann/json.hpp>
#include <set>

#include "jobs/outcome_json.h"

namespace tickora {
namespace {

using nlohmann::json;

std::string LocalTimeNow() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[40];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S%z", &local);
    return text;
}

// The files of one state beyond the first kept are counted, not listed: a history of all stocks
// writes thousands, and the line is read back by every retry and every look at the history.
JobOutcome Trimmed(const JobOutcome& outcome) {
    JobOutcome trimmed = outcome;
    trimmed.files.clear();
    std::size_t counts[3] = {};
    std::size_t leftOut = 0;
    for (const OutputFile& file : outcome.files) {
        if (++counts[static_cast<int>(file.state)] <= kRunHistoryFilesKept) {
            trimmed.files.push_back(file);
        } else {
            ++leftOut;
            ++trimmed.filesNotListed[static_cast<std::size_t>(file.state)];
        }
    }
    if (leftOut > 0) {
        trimmed.warnings.push_back(std::to_string(leftOut) +
                                   " more files are not listed in the history");
    }
    return trimmed;
}

bool IsRunOf(const JobOutcome& outcome, RetryJob job) {
    if (outcome.end == JobEnd::kNotRun) {
        return false;
    }
    switch (job) {
        case RetryJob::kKdtAll:
            // Only the history of all stocks counts its items in stocks; one stock counts pages.
            return outcome.job == "kdt" && outcome.unit == "stocks";
        case RetryJob::kProfiles:
            return outcome.job == "profiles";
    }
    return false;
}

}  // namespace

int AppendRunHistory(const JobOutcome& outcome, bool retry, const std::string& path) {
    json record = json::parse(OutcomeToJson(Trimmed(outcome)), nullptr, false);
    record["endedAt"] = LocalTimeNow();
    record["retry"] = retry;
    const std::string line = record.dump(-1, ' ', false, json::error_handler_t::replace) + "\n";
    // One write on an O_APPEND descriptor: two processes never interleave within a line.
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) {
        return errno;
    }
    const ssize_t written = ::write(fd, line.data(), line.size());
    const int error = written == static_cast<ssize_t>(line.size()) ? 0 : (written < 0 ? errno : EIO);
    if (::close(fd) != 0 && error == 0) {
        return errno;
    }
    return error;
}

std::vector<RunRecord> ReadRunHistory(const std::string& path) {
    std::vector<RunRecord> records;
    std::ifstream in(path, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        RunRecord record;
        std::optional<JobOutcome> outcome = OutcomeFromJson(line, &record.exitStatus);
        if (!outcome) {
            continue;
        }
        record.outcome = std::move(*outcome);
        const json object = json::parse(line, nullptr, false);
        if (const auto it = object.find("endedAt"); it != object.end() && it->is_string()) {
            record.endedAt = it->get<std::string>();
        }
        if (const auto it = object.find("retry"); it != object.end() && it->is_boolean()) {
            record.retry = it->get<bool>();
        }
        records.push_back(std::move(record));
    }
    return records;
}

std::optional<RunRecord> LastRunOf(RetryJob job, const std::string& path) {
    std::vector<RunRecord> records = ReadRunHistory(path);
    for (auto it = records.rbegin(); it != records.rend(); ++it) {
        if (IsRunOf(it->outcome, job)) {
            return std::move(*it);
        }
    }
    return std::nullopt;
}

std::vector<int> StocksToRetry(const JobOutcome& outcome) {
    std::vector<int> codes;
    std::set<int> seen;
    auto add = [&](int code) {
        if (seen.insert(code).second) {
            codes.push_back(code);
        }
    };
    for (const ItemFailure& failure : outcome.failures) {
        std::for_each(failure.codes.begin(), failure.codes.end(), add);
    }
    std::for_each(outcome.notAskedCodes.begin(), outcome.notAskedCodes.end(), add);
    return codes;
}

}  // namespace tickora
