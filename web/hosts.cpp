// SPDX-License-Identifier: GPL-3.0-or-later
#include "web/hosts.h"

#include <cstdlib>
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

const SiteHosts& Hosts() {
    // Hosts are set by the front-end before any job starts; the lock only orders that first write.
    std::lock_guard lock(g_hostsMutex);
    return g_hosts;
}

void SetHosts(const SiteHosts& hosts) {
    std::lock_guard lock(g_hostsMutex);
    g_hosts = {Trimmed(hosts.quote), Trimmed(hosts.table), Trimmed(hosts.profile)};
}

void SetSite(const std::string& url) {
    SetHosts({url, url, url});
}

void LoadHostsFromEnvironment() {
    SiteHosts hosts;
    if (const char* site = std::getenv("TICKORA_SITE"); site != nullptr && *site != '\0') {
        hosts = {site, site, site};
    }
    if (const char* v = std::getenv("TICKORA_QUOTE_HOST"); v != nullptr && *v != '\0') {
        hosts.quote = v;
    }
    if (const char* v = std::getenv("TICKORA_TABLE_HOST"); v != nullptr && *v != '\0') {
        hosts.table = v;
    }
    if (const char* v = std::getenv("TICKORA_PROFILE_HOST"); v != nullptr && *v != '\0') {
        hosts.profile = v;
    }
    SetHosts(hosts);
}

}  // namespace tickora
