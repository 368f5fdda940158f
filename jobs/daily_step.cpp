// SPDX-License-Identifier: GPL-3.0-or-later
#include "jobs/daily_step.h"

namespace tickora {

Job JobOfStep(DailyJob job) {
    switch (job) {
        case DailyJob::kPerformance:
            return Job::kPerformance;
        case DailyJob::kKdt:
            return Job::kKdt;
        case DailyJob::kCheck:
            return Job::kCheck;
        case DailyJob::kFetch:
            break;
    }
    return Job::kFetch;
}

JobOutcome RunDailyStep(CTickoraDoc& doc, const DailyStep& step, const WorkLock& held,
                        const RunWatch& watch, FrontEnd from) {
    if (step.job == DailyJob::kCheck) {
        // The check of the routine's own day, and told whether the update said it was current:
        // inputs the document's own check job cannot know.
        CheckInputs inputs = step.check;
        inputs.outputFolder = doc.m_settings.m_szOutputDir;
        inputs.outputFormat = doc.m_settings.m_nOutputFormat;
        inputs.markets = &doc.m_markets;
        inputs.stocks = &doc.m_stocks;
        return RunCheckJob(inputs, true);
    }
    JobRequest request(JobOfStep(step.job), step.code);
    request.only = step.onlyStocks;
    request.from = from;
    const std::optional<JobOutcome> outcome = RunStep(doc, request, &held, watch);
    if (!outcome) {
        JobOutcome refused;
        refused.job = DailyJobName(step.job);
        refused.end = JobEnd::kNotRun;
        refused.endCause = doc.LastRefusal();
        return refused;
    }
    return *outcome;
}

}  // namespace tickora
