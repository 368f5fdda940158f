// SPDX-License-Identifier: GPL-3.0-or-later
#include "jobs/job_context.h"

namespace tickora {

namespace {

PagePool& PoolOf(const JobContext& context, std::optional<PagePool>& own) {
    if (context.sharedPages != nullptr) {
        return *context.sharedPages;
    }
    return own.emplace(context.access, context.Transfers());
}

}  // namespace

JobPages::JobPages(const JobContext& context) : m_pool(PoolOf(context, m_own)) {}

JobPages::~JobPages() {
    if (!m_own) {
        m_pool.Release();
    }
}

JobOutcome& BeginOutcome(JobContext& context, const char* job, const char* unit) {
    context.outcome = JobOutcome{};
    context.outcome.job = job;
    context.outcome.unit = unit;
    return context.outcome;
}

}  // namespace tickora
