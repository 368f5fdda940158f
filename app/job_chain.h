// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What a user asked for at first start, carried across the jobs it takes: Fetch with no list
// becomes the list job and then the fetch, and a job that could not reach the simulated site runs
// again, with the answer its dialog had, once the program has started that site. The user is never
// asked the same thing twice nor left to press Fetch again.
#include <optional>

#include "jobs/job_outcome.h"
#include "jobs/tickora_view.h"

namespace tickora::gui {

// A job command to give on the user's behalf; list holds the list job's options, already asked.
struct ChainedJob {
    int command = 0;
    std::optional<JobOptions> list;
};

class CJobChain {
  public:
    // Fetch found no list and the user chose to build it: the fetch follows a list that loaded.
    void FetchAfterList() { m_fetchAfterList = true; }
    // Every job's end, on the GUI thread: listAnswer is what the list job's dialog was last
    // answered (the job runs with it), listLoaded whether the program now has a list to fetch.
    void JobEnded(const JobOutcome& outcome, const std::optional<JobOptions>& listAnswer,
                  bool listLoaded);
    // The job to give now that the last one ended; taken once.
    [[nodiscard]] std::optional<ChainedJob> TakeNext();
    // The job that could not reach the site, to give again once the site runs; taken once.
    [[nodiscard]] std::optional<ChainedJob> TakeInterrupted();
    // The user turned away (closed an offer, gave another command): nothing follows.
    void Forget();

    [[nodiscard]] bool FetchPending() const { return m_fetchAfterList; }

  private:
    bool m_fetchAfterList = false;
    std::optional<ChainedJob> m_next;
    std::optional<ChainedJob> m_interrupted;
};

}  // namespace tickora::gui
