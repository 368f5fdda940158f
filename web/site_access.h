// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Everything a job needs to reach the finance site, as one value: the hosts, the retries and
// pacing, the download limits, the number of connections and the transport particulars. A
// front-end builds it from the layered settings and hands it to the document, which gives it to
// each job; the job hands it to its page pool and its URL builders.
#include "web/connections.h"
#include "web/download.h"
#include "web/hosts.h"
#include "web/retry.h"

namespace tickora {

struct SiteAccess {
    SiteHosts hosts;
    RetryPolicy retry;
    DownloadLimits limits;
    int connections = kMinConnections;
    Transport transport;

    [[nodiscard]] bool operator==(const SiteAccess&) const = default;
};

// access with its hosts trimmed and its numbers within their bounds.
[[nodiscard]] SiteAccess Normalized(SiteAccess access);

}  // namespace tickora
