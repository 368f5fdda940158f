// SPDX-License-Identifier: GPL-3.0-or-later
#include "web/hosts.h"

namespace tickora {
namespace {

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

}  // namespace tickora
