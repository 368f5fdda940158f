// SPDX-License-Identifier: GPL-3.0-or-later
#include "web/site_access.h"

#include <algorithm>

namespace tickora {

SiteAccess Normalized(SiteAccess access) {
    access.hosts = TrimmedHosts(access.hosts);
    access.retry = ClampedRetryPolicy(access.retry);
    access.connections = std::clamp(access.connections, kMinConnections, kMaxConnections);
    access.transport.streams = std::clamp(access.transport.streams, kMinStreams, kMaxStreams);
    return access;
}

}  // namespace tickora
