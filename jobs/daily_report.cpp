// SPDX-License-Identifier: GPL-3.0-or-later
// The day's routine in English words and as JSON: what the terminal and scripts read.
#include <nlohmann/json.hpp>

#include "jobs/daily_job.h"
#include "jobs/job_steps.h"
#include "jobs/outcome_json.h"
#include "text/named_values.h"

namespace tickora {
namespace {

using nlohmann::json;

constexpr std::size_t kCodesShown = 5;

constexpr NamedValue<SectionState> kStateWords[] = {
    {SectionState::kRan, "ran"},
    {SectionState::kLeftOut, "left out"},
    {SectionState::kNotReached, "not reached"},
    {SectionState::kNothingToRetry, "nothing to retry"}};

// Whether the section is a job the retry round ran again (or would have): not the round itself.
bool RetriedJob(const DailySection& section) {
    return section.stage == DailyStage::kRetry && section.outcome.job != "retry";
}

// "fetch, performance" of the sections in state, or nothing.
std::string StagesIn(const DailyOutcome& daily, SectionState state, bool retryRound) {
    std::string list;
    for (const DailySection& section : daily.sections) {
        if (section.state != state || RetriedJob(section) != retryRound) {
            continue;
        }
        list += (list.empty() ? "" : ", ") +
                (retryRound ? section.outcome.job : std::string(DailyStageWord(section.stage)));
        if (retryRound && !section.retriedCodes.empty()) {
            const std::size_t n = section.retriedCodes.size();
            list += " (" + std::to_string(n) + (n == 1 ? " stock)" : " stocks)");
        }
    }
    return list;
}

std::string CodesText(const std::vector<int>& codes) {
    std::string text;
    for (std::size_t i = 0; i < codes.size() && i < kCodesShown; ++i) {
        text += (i == 0 ? "" : ", ") + CodeText(codes[i]);
    }
    return text + (codes.size() > kCodesShown ? ", …" : "");
}

// "kdt again for the 2 stocks that failed or were not reached (1301, 1332)".
std::string RetriedText(const DailySection& section) {
    std::string text = section.outcome.job + " again";
    const std::size_t n = section.retriedCodes.size();
    if (n > 0) {
        text += " for the " + std::to_string(n) +
                (n == 1 ? " stock that failed or was not reached ("
                        : " stocks that failed or were not reached (") +
                CodesText(section.retriedCodes) + ")";
    }
    return text + ", after it ended with status " + std::to_string(section.firstStatus);
}

}  // namespace

const char* SectionStateWord(SectionState state) {
    return NameIn(kStateWords, state, "");
}

std::string DailySummaryLine(const DailyOutcome& daily) {
    std::string line = "daily: status " + std::to_string(daily.exitStatus);
    if (daily.cancelled) {
        line += ", cancelled";
    }
    const std::pair<const char*, std::string> parts[] = {
        {"; ran ", StagesIn(daily, SectionState::kRan, false)},
        {"; retried ", StagesIn(daily, SectionState::kRan, true)},
        {"; left out ", StagesIn(daily, SectionState::kLeftOut, false)},
        {"; not reached ", StagesIn(daily, SectionState::kNotReached, false)},
        {"; not retried ", StagesIn(daily, SectionState::kNotReached, true)},
    };
    for (const auto& [words, list] : parts) {
        if (!list.empty()) {
            line += words + list;
        }
    }
    for (const DailySection& section : daily.sections) {
        if (section.state == SectionState::kNothingToRetry) {
            line += "; nothing to retry";
        }
    }
    return line;
}

std::string DailySectionLine(const DailySection& section) {
    const bool retryRound = RetriedJob(section);
    switch (section.state) {
        case SectionState::kRan:
            return retryRound ? "retry: " + RetriedText(section) : std::string();
        case SectionState::kLeftOut:
            return std::string(DailyStageWord(section.stage)) + ": left out (--skip)";
        case SectionState::kNotReached:
            return (retryRound ? "retry: " + RetriedText(section)
                               : std::string(DailyStageWord(section.stage))) +
                   ": not run, the routine was cancelled before it";
        case SectionState::kNothingToRetry:
            return "retry: nothing to retry, every step ran to its end with every item done";
    }
    return {};
}

std::string DailyToJson(const DailyOutcome& daily) {
    json steps = json::array();
    for (const DailySection& section : daily.sections) {
        json step = OutcomeToJsonValue(section.outcome, SectionStatus(section));
        step["step"] = DailyStageWord(section.stage);
        step["state"] = SectionStateWord(section.state);
        if (section.state != SectionState::kRan) {
            step["exitStatus"] = nullptr;  // no job ran to end with one
        }
        if (RetriedJob(section)) {
            step["firstStatus"] = section.firstStatus;
            step["retriedCodes"] = section.retriedCodes;
        }
        steps.push_back(std::move(step));
    }
    const json object = {
        {"job", "daily"},
        {"exitStatus", daily.exitStatus},
        {"end", JobEndName(daily.cancelled ? JobEnd::kCancelled : JobEnd::kCompleted)},
        {"endCause", ""},
        {"steps", std::move(steps)}};
    return JsonText(object);
}

std::string DailyNotRunJson(int exitStatus, const std::string& cause) {
    const json object = {{"job", "daily"},
                         {"exitStatus", exitStatus},
                         {"end", JobEndName(JobEnd::kNotRun)},
                         {"endCause", cause},
                         {"steps", json::array()}};
    return JsonText(object);
}

}  // namespace tickora
