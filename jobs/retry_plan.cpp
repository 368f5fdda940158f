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
        plan.code.allStocks = true;
        plan.code.days = named.days.value_or(run.days.value_or(plan.code.days));
        plan.code.update = named.update || run.update.value_or(false);
    } else {
        plan.optionsKept = run.keepHtml && run.useKeptHtml && run.addedOnly;
        plan.profile.keepHtml = named.keepHtml || run.keepHtml.value_or(false);
        plan.profile.useKeptHtml = named.useKeptHtml || run.useKeptHtml.value_or(false);
        plan.profile.addedOnly = named.addedOnly || run.addedOnly.value_or(false);
    }
    return plan;
}

std::string OptionsText(const RetryPlan& plan) {
    std::string text;
    const auto add = [&text](bool on, const char* option) {
        if (on) {
            text += (text.empty() ? "" : " ") + std::string(option);
        }
    };
    if (plan.last.job == RetryJob::kKdtAll) {
        text = "--days " + std::to_string(plan.code.days);
        add(plan.code.update, "--update");
    } else {
        add(plan.profile.keepHtml, "--keep-html");
        add(plan.profile.addedOnly, "--added-only");
        add(plan.profile.useKeptHtml, "--use-kept-html");
    }
    return text;
}

}  // namespace tickora
