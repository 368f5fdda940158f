// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/job_chain.h"

#include <utility>

#include "app/command_table.h"
#include "app/first_start.h"

namespace tickora::gui {

void CJobChain::JobEnded(const JobOutcome& outcome, const std::optional<JobOptions>& listAnswer,
                         bool listLoaded) {
    m_next.reset();
    m_interrupted.reset();
    const bool list = outcome.job == "fetchlist";
    const bool fetch = outcome.job == "fetch";
    if ((list || fetch) && SiteUnreachable(outcome)) {
        // The job is asked again as it was: the list job with the answer its dialog had.
        ChainedJob again{list ? kIdMakeFetchList : kIdFetch, std::nullopt};
        if (list && listAnswer) {
            again.list = listAnswer;
        }
        m_interrupted = again;
        return;
    }
    if (list && m_fetchAfterList && outcome.end == JobEnd::kCompleted && outcome.stocksListed > 0 &&
        listLoaded) {
        m_next = ChainedJob{kIdFetch, std::nullopt};
    }
    // A list that failed, a cancelled job, or any other job: what was asked ends here.
    m_fetchAfterList = false;
}

std::optional<ChainedJob> CJobChain::TakeNext() {
    return std::exchange(m_next, std::nullopt);
}

std::optional<ChainedJob> CJobChain::TakeInterrupted() {
    return std::exchange(m_interrupted, std::nullopt);
}

void CJobChain::Forget() {
    m_fetchAfterList = false;
    m_next.reset();
    m_interrupted.reset();
}

}  // namespace tickora::gui
