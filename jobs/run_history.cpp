// SPDX-License-Identifier: GPL-3.0-or-later
#include "jobs/run_history.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <ctime>
#include <nlohmann/json.hpp>
#include <set>
#include <string_view>

#include "files/file_io.h"
#include "jobs/bounded_json.h"
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

void CutTexts(ItemFailure& failure) {
    for (std::string* text : {&failure.what, &failure.cause, &failure.where, &failure.action}) {
        *text = CutText(std::move(*text), kRunHistoryTextBytes);
    }
}

// The files of one state beyond the first kept are counted, not listed: a history of all stocks
// writes thousands, and the line is read back by every retry and every look at the history.
// Texts are cut: a page's body quoted in a cause would make every line a megabyte.
JobOutcome Trimmed(const JobOutcome& outcome) {
    JobOutcome trimmed = outcome;
    trimmed.files.clear();
    std::size_t counts[3] = {};
    std::size_t leftOut = 0;
    for (const OutputFile& file : outcome.files) {
        if (++counts[static_cast<int>(file.state)] <= kRunHistoryFilesKept) {
            trimmed.files.push_back({CutText(file.path, kRunHistoryTextBytes), file.state,
                                     CutText(file.reason, kRunHistoryTextBytes)});
        } else {
            ++leftOut;
            ++trimmed.filesNotListed[static_cast<std::size_t>(file.state)];
        }
    }
    std::for_each(trimmed.failures.begin(), trimmed.failures.end(), CutTexts);
    for (std::string& warning : trimmed.warnings) {
        warning = CutText(std::move(warning), kRunHistoryTextBytes);
    }
    trimmed.endCause = CutText(std::move(trimmed.endCause), kRunHistoryTextBytes);
    if (leftOut > 0) {
        trimmed.warnings.push_back(std::to_string(leftOut) +
                                   " more files are not listed in the history");
    }
    return trimmed;
}

json OptionsJson(const RunOptions& options) {
    json object = json::object();
    const auto put = [&object](const char* key, const auto& value) {
        if (value) {
            object[key] = *value;
        }
    };
    put("days", options.days);
    put("update", options.update);
    put("keepHtml", options.keepHtml);
    put("useKeptHtml", options.useKeptHtml);
    put("addedOnly", options.addedOnly);
    return object;
}

template <typename T>
void TakeOption(const json& object, const char* key, std::optional<T>& into) {
    const auto it = object.find(key);
    if (it == object.end()) {
        return;
    }
    if constexpr (std::is_same_v<T, bool>) {
        if (it->is_boolean()) {
            into = it->get<bool>();
        }
    } else if (it->is_number_unsigned() && it->get<std::uint64_t>() <= 100000) {
        into = static_cast<T>(it->get<std::uint64_t>());
    }
}

RunOptions OptionsFromJson(const json& record) {
    RunOptions options;
    const auto it = record.find("options");
    if (it == record.end() || !it->is_object()) {
        return options;
    }
    TakeOption(*it, "days", options.days);
    TakeOption(*it, "update", options.update);
    TakeOption(*it, "keepHtml", options.keepHtml);
    TakeOption(*it, "useKeptHtml", options.useKeptHtml);
    TakeOption(*it, "addedOnly", options.addedOnly);
    return options;
}

// The keys a record may hold: the outcome's and the run's own; any other is dropped unread, with
// whatever it holds.
bool IsRecordKey(std::string_view key) {
    static constexpr std::array<std::string_view, 8> kRunKeys{
        "endedAt", "retry", "options", "days", "update", "keepHtml", "useKeptHtml", "addedOnly"};
    return IsOutcomeKey(key) || std::find(kRunKeys.begin(), kRunKeys.end(), key) != kRunKeys.end();
}

// A line's record; nothing when the line is no whole record.
std::optional<RunRecord> RecordOf(std::string_view line) {
    JsonBounds bounds;
    bounds.textBytes = kRunHistoryTextBytes;
    bounds.keepKey = IsRecordKey;
    json object;
    if (!ParseBoundedJson(line, bounds, object)) {
        return std::nullopt;
    }
    RunRecord record;
    std::optional<JobOutcome> outcome = OutcomeFromJsonValue(object, &record.exitStatus);
    if (!outcome) {
        return std::nullopt;
    }
    record.outcome = std::move(*outcome);
    if (const auto it = object.find("endedAt"); it != object.end() && it->is_string()) {
        record.endedAt = it->get<std::string>();
    }
    if (const auto it = object.find("retry"); it != object.end() && it->is_boolean()) {
        record.retry = it->get<bool>();
    }
    record.options = OptionsFromJson(object);
    return record;
}

// The text of a string field at the start of a line, `{"job":"kdt","unit":"stocks",...`, as this
// version writes it: what a line cut short still tells. Empty when the field is not there whole.
std::string LeadingField(std::string_view line, std::string_view prefix) {
    if (!line.starts_with(prefix)) {
        return {};
    }
    line.remove_prefix(prefix.size());
    const std::size_t end = line.find('"');
    return end == std::string_view::npos || end > 32 ? std::string()
                                                     : std::string(line.substr(0, end));
}

UnreadRun UnreadRunOf(std::string_view line, std::size_t before) {
    UnreadRun unread;
    unread.before = before;
    unread.job = LeadingField(line, R"({"job":")");
    if (!unread.job.empty()) {
        const std::size_t after = std::string_view(R"({"job":"")").size() + unread.job.size();
        unread.unit = LeadingField(line.substr(after), R"(,"unit":")");
    }
    return unread;
}

bool IsBlank(std::string_view line) {
    return line.find_first_not_of(" \t\r") == std::string_view::npos;
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

// Whether the line that cannot be read may have been a run of job: unless its beginning names
// another job, nobody can tell.
bool MayBeRunOf(const UnreadRun& unread, RetryJob job) {
    if (unread.job.empty()) {
        return true;
    }
    switch (job) {
        case RetryJob::kKdtAll:
            return unread.job == "kdt" && (unread.unit.empty() || unread.unit == "stocks");
        case RetryJob::kProfiles:
            return unread.job == "profiles";
    }
    return true;
}

template <typename Test>
std::optional<RetryJob> AnyOf(std::span<const RetryJob> jobs, Test test) {
    for (const RetryJob job : jobs) {
        if (test(job)) {
            return job;
        }
    }
    return std::nullopt;
}

std::string Ordinal(std::size_t n) {
    const char* suffix = n % 100 / 10 == 1 ? "th"
                         : n % 10 == 1     ? "st"
                         : n % 10 == 2     ? "nd"
                         : n % 10 == 3     ? "rd"
                                           : "th";
    return std::to_string(n) + suffix;
}

}  // namespace

RunOptions OptionsOf(Job job, const JobOptions& options) {
    RunOptions run;
    if (job == Job::kKdt) {
        run.days = options.days;
        run.update = options.update;
    } else if (job == Job::kFetchList || job == Job::kProfiles) {
        run.keepHtml = options.keepHtml;
        run.useKeptHtml = options.useKeptHtml;
        run.addedOnly = options.addedOnly;
    }
    return run;
}

int AppendRunHistory(const JobOutcome& outcome, bool retry, const RunOptions& options,
                     const std::string& path) {
    // The job and its unit lead the line, so that even a line cut short tells whose run it was.
    json body = json::parse(OutcomeToJson(Trimmed(outcome)), nullptr, false);
    body.erase("job");
    body.erase("unit");
    nlohmann::ordered_json head;
    head["job"] = outcome.job;
    head["unit"] = outcome.unit;
    head["endedAt"] = LocalTimeNow();
    head["retry"] = retry;
    const std::string headText = head.dump(-1, ' ', false, json::error_handler_t::replace);
    body["options"] = OptionsJson(options);
    const std::string bodyText = body.dump(-1, ' ', false, json::error_handler_t::replace);
    const std::string line =
        headText.substr(0, headText.size() - 1) + "," + bodyText.substr(1) + "\n";
    // One write on an O_APPEND descriptor: two processes never interleave within a line, and a
    // disk that takes only a part of it gets the part taken back.
    return AppendRecord(path, line);
}

RunJournal ReadRunJournal(const std::string& path) {
    RunJournal journal;
    std::string bytes;
    journal.error = ReadFileTail(path, kRunHistoryTailBytes, bytes, journal.cut);
    std::string_view rest = bytes;
    if (journal.cut) {
        // The first line began before what was read: it is no line of its own.
        const std::size_t end = rest.find('\n');
        rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
    }
    while (!rest.empty()) {
        const std::size_t end = rest.find('\n');
        const std::string_view line = rest.substr(0, end);
        rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
        if (IsBlank(line)) {
            continue;
        }
        if (std::optional<RunRecord> record = RecordOf(line)) {
            journal.records.push_back(std::move(*record));
        } else {
            journal.unread.push_back(UnreadRunOf(line, journal.records.size()));
        }
    }
    return journal;
}

std::vector<RunRecord> ReadRunHistory(const std::string& path) {
    return ReadRunJournal(path).records;
}

LastRun FindLastRun(std::span<const RetryJob> jobs, const std::string& path) {
    const RunJournal journal = ReadRunJournal(path);
    LastRun last;
    const std::string where = AbsolutePath(path);
    if (journal.error != 0 && journal.error != ENOENT) {
        last.found = LastRun::Found::kUnreadable;
        last.why = where + " cannot be read: " + LocalFileErrorText(journal.error);
        return last;
    }
    std::size_t record = journal.records.size();
    std::size_t unread = journal.unread.size();
    std::size_t fromEnd = 0;
    while (record > 0 || unread > 0) {
        ++fromEnd;
        if (unread > 0 && journal.unread[unread - 1].before >= record) {
            const UnreadRun& line = journal.unread[--unread];
            if (AnyOf(jobs, [&line](RetryJob job) { return MayBeRunOf(line, job); })) {
                last.found = LastRun::Found::kUnreadable;
                last.why = "the " + Ordinal(fromEnd) + " line from the end of " + where +
                           " is cut short or damaged, and may be that run";
                return last;
            }
            continue;
        }
        const RunRecord& candidate = journal.records[--record];
        if (const std::optional<RetryJob> job =
                AnyOf(jobs, [&candidate](RetryJob j) { return IsRunOf(candidate.outcome, j); })) {
            last.found = LastRun::Found::kRun;
            last.job = *job;
            last.record = candidate;
            return last;
        }
    }
    last.why = journal.cut ? "the last " + std::to_string(kRunHistoryTailBytes / (1024 * 1024)) +
                                 " MiB of " + where
                           : where;
    return last;
}

std::optional<RunRecord> LastRunOf(RetryJob job, const std::string& path) {
    LastRun last = FindLastRun(std::span<const RetryJob>(&job, 1), path);
    if (last.found != LastRun::Found::kRun) {
        return std::nullopt;
    }
    return std::move(last.record);
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
