// SPDX-License-Identifier: GPL-3.0-or-later
#include "jobs/job_outcome.h"

#include <filesystem>

namespace tickora {

std::vector<std::string> JobOutcome::PathsIn(FileState state) const {
    std::vector<std::string> paths;
    for (const OutputFile& file : files) {
        if (file.state == state) {
            paths.push_back(file.path);
        }
    }
    return paths;
}

bool JobOutcome::AnyFileFailed() const {
    for (const OutputFile& file : files) {
        if (file.state == FileState::kFailed) {
            return true;
        }
    }
    return false;
}

void JobOutcome::AddFile(const std::string& path, FileState state, std::string reason) {
    files.push_back({AbsolutePath(path), state, std::move(reason)});
}

ItemFailure& JobOutcome::Fail(std::string what, std::string cause, std::string where,
                              std::string action) {
    ItemFailure failure;
    failure.what = std::move(what);
    failure.cause = std::move(cause);
    failure.where = std::move(where);
    failure.action = std::move(action);
    failures.push_back(std::move(failure));
    return failures.back();
}

void JobOutcome::StopAt(ItemFailure& failure) {
    failure.endedJob = true;
    end = JobEnd::kStopped;
    endCause = failure.cause + " (" + failure.what + ")";
}

const ItemFailure* JobOutcome::StoppedAt() const {
    for (const ItemFailure& failure : failures) {
        if (failure.endedJob) {
            return &failure;
        }
    }
    return nullptr;
}

int ExitStatusOf(const JobOutcome& outcome) {
    if (outcome.end != JobEnd::kCompleted) {
        return kExitEndedEarly;
    }
    // A run whose output could not be written did not do its work, whatever it read.
    if (outcome.AnyFileFailed() && outcome.Written().empty()) {
        return kExitEndedEarly;
    }
    if (outcome.failures.empty()) {
        return kExitDone;
    }
    // Nor did a run whose items failed and that wrote nothing. A file kept on purpose (the list
    // a partial listing must not replace) is the run's answer to its failures; a job that only
    // reads answers with what it could read.
    if (outcome.WritesFiles() && outcome.Written().empty() && outcome.Kept().empty()) {
        return kExitEndedEarly;
    }
    return kExitItemsFailed;
}

std::string CauseOf(const DownloadDetail& detail) {
    return detail.cause.empty() ? std::string(PageFailureName(detail.failure)) : detail.cause;
}

std::string AbsolutePath(const std::string& path) {
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(path, error);
    return error ? path : absolute.lexically_normal().string();
}

}  // namespace tickora
