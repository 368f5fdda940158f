// SPDX-License-Identifier: GPL-3.0-or-later
#include "jobs/job_context.h"

namespace tickora {

JobOutcome& BeginOutcome(JobContext& context, const char* job, const char* unit) {
    context.outcome = JobOutcome{};
    context.outcome.job = job;
    context.outcome.unit = unit;
    return context.outcome;
}

}  // namespace tickora
