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

SiteAccess CurrentSiteAccess() {
    SiteAccess access;
    access.hosts = Hosts();
    access.retry = GetRetryPolicy();
    access.limits = GetDownloadLimits();
    access.connections = GetConnectionCount();
    access.transport = GetTransport();
    return access;
}

void InstallSiteAccess(const SiteAccess& access) {
    SetHosts(access.hosts);
    SetRetryPolicy(access.retry);
    SetDownloadLimits(access.limits);
    SetConnectionCount(access.connections);
    SetTransport(access.transport);
}

}  // namespace tickora
