// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A retry is the run it follows, narrowed: the same job with the same options, on the stocks that
// run failed or never reached. Both programs plan it here, from the run history.
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "jobs/job_request.h"
#include "jobs/run_history.h"
#include "jobs/tickora_view.h"

namespace tickora {

// The options a command line named itself, which take the place of the run's own.
struct NamedOptions {
    std::optional<unsigned> days;
    bool update = false;  // switches can only be named on
    bool keepHtml = false;
    bool useKeptHtml = false;
    bool addedOnly = false;
};

struct RetryPlan {
    LastRun last;            // the run it follows, or why there is none to follow
    std::vector<int> codes;  // the stocks to ask; empty after a run that failed none
    // That run's options, unless named: for kdt --all its days and update, for profiles its
    // three switches.
    JobOptions options;
    // The record kept the options of its run (records of earlier versions did not): without
    // them the retry has only the named options and the defaults.
    bool optionsKept = false;

    [[nodiscard]] bool Ready() const {
        return last.found == LastRun::Found::kRun && !codes.empty();
    }
    // The run again, narrowed to codes. A record without its options leaves them open to the
    // desktop's dialog, as a new run would; the terminal takes the named ones and the defaults.
    [[nodiscard]] JobRequest Request(FrontEnd from) const;
};

[[nodiscard]] RetryPlan PlanRetry(std::span<const RetryJob> jobs, const NamedOptions& named = {},
                                  const std::string& path = kRunHistoryName);

// "--days 400 --update", "--keep-html": the options a plan runs with, as the command line says
// them; empty for none.
[[nodiscard]] std::string OptionsText(const RetryPlan& plan);

}  // namespace tickora
