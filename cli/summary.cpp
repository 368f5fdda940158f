// SPDX-License-Identifier: GPL-3.0-or-later
// The outcome as tickora-cli prints it on standard output: the summary, or one JSON object.
#include "cli/runner.h"
#include "jobs/job_steps.h"
#include "jobs/outcome_json.h"

namespace tickora::cli {
namespace {

constexpr std::size_t kMaxCodesShown = 20;

}  // namespace

std::string FormatSummary(const JobOutcome& outcome, const PathView& paths) {
    std::string text = SummaryLine(outcome, paths) + "\n";
    for (const std::string& line : FailureLines(outcome, paths)) {
        text += "  " + line + "\n";
    }
    if (!outcome.notExtractedCodes.empty()) {
        text += outcome.NotExtractedLogged() ? "  not extracted, logged to ERRORLOG.TXT:"
                                             : "  not extracted:";
        for (std::size_t i = 0; i < outcome.notExtractedCodes.size() && i < kMaxCodesShown; ++i) {
            text += " " + CodeText(outcome.notExtractedCodes[i]);
        }
        if (outcome.notExtractedCodes.size() > kMaxCodesShown) {
            text += " (+" + std::to_string(outcome.notExtractedCodes.size() - kMaxCodesShown) +
                    " more)";
        }
        text += "\n";
    }
    for (const std::string& warning : outcome.warnings) {
        if (warning != outcome.endCause) {
            text += "  warning: " + warning + "\n";
        }
    }
    return text;
}

std::string FormatJson(const JobOutcome& outcome) {
    return OutcomeToJson(outcome);
}

}  // namespace tickora::cli
