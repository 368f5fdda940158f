// SPDX-License-Identifier: GPL-3.0-or-later
#include "jobs/retry_plan.h"

namespace tickora {

RetryPlan PlanRetry(std::span<const RetryJob> jobs, const NamedOptions& named,
                    const std::string& path) {
    RetryPlan plan;
    plan.last = FindLastRun(jobs, path);
    if (plan.last.found != LastRun::Found::kRun) {
        return plan;
    }
    plan.codes = StocksToRetry(plan.last.record.outcome);
    const RunOptions& run = plan.last.record.options;
    if (plan.last.job == RetryJob::kKdtAll) {
        plan.optionsKept = run.days.has_value() && run.update.has_value();
        plan.options.allStocks = true;
        plan.options.days = named.days.value_or(run.days.value_or(plan.options.days));
        plan.options.update = named.update || run.update.value_or(false);
    } else {
        plan.optionsKept = run.keepHtml && run.useKeptHtml && run.addedOnly;
        plan.options.keepHtml = named.keepHtml || run.keepHtml.value_or(false);
        plan.options.useKeptHtml = named.useKeptHtml || run.useKeptHtml.value_or(false);
        plan.options.addedOnly = named.addedOnly || run.addedOnly.value_or(false);
    }
    return plan;
}

JobRequest RetryPlan::Request(FrontEnd from) const {
    JobRequest request;
    request.job = last.job == RetryJob::kKdtAll ? Job::kKdt : Job::kProfiles;
    if (optionsKept || from == FrontEnd::kTerminal) {
        request.options = options;
    }
    request.only = codes;
    request.from = from;
    return request;
}

std::string OptionsText(const RetryPlan& plan) {
    std::string text;
    const auto add = [&text](bool on, const char* option) {
        if (on) {
            text += (text.empty() ? "" : " ") + std::string(option);
        }
    };
    if (plan.last.job == RetryJob::kKdtAll) {
        text = "--days " + std::to_string(plan.options.days);
        add(plan.options.update, "--update");
    } else {
        add(plan.options.keepHtml, "--keep-html");
        add(plan.options.addedOnly, "--added-only");
        add(plan.options.useKeptHtml, "--use-kept-html");
    }
    return text;
}

}  // namespace tickora
