// SPDX-License-Identifier: GPL-3.0-or-later
#include "jobs/job_request.h"

#include "text/named_values.h"

namespace tickora {

const char* JobName(Job job) {
    static constexpr NamedValue<Job> kNames[] = {{Job::kFetch, "fetch"},
                                                 {Job::kFetchList, "fetchlist"},
                                                 {Job::kKdt, "kdt"},
                                                 {Job::kProfiles, "profiles"},
                                                 {Job::kPerformance, "performance"},
                                                 {Job::kCheck, "check"}};
    return NameIn(kNames, job, "");
}

}  // namespace tickora
