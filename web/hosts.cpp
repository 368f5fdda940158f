// SPDX-License-Identifier: GPL-3.0-or-later
#include "web/hosts.h"

#include <mutex>

namespace tickora {
namespace {

std::mutex g_hostsMutex;
SiteHosts g_hosts;

std::string Trimmed(std::string url) {
    while (!url.empty() && url.back() == '/') {
        url.pop_back();
    }
    return url;
}

}  // namespace

SiteHosts TrimmedHosts(const SiteHosts& hosts) {
    return {Trimmed(hosts.quote), Trimmed(hosts.table), Trimmed(hosts.profile)};
}

SiteHosts Hosts() {
    // A copy taken under the lock: a reference would be read after the lock is gone, while a
    // front-end may be setting the hosts again.
    std::lock_guard lock(g_hostsMutex);
    return g_hosts;
}

void SetHosts(const SiteHosts& hosts) {
    std::lock_guard lock(g_hostsMutex);
    g_hosts = TrimmedHosts(hosts);
}

void SetSite(const std::string& url) {
    SetHosts({url, url, url});
}

}  // namespace tickora
