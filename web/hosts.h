// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The three hosts of the finance site. The jobs put these in front of the paths they build.
#include <string>

namespace tickora {

inline constexpr const char* kDefaultSite = "http://127.0.0.1:8053";

struct SiteHosts {
    std::string quote = kDefaultSite;    // quote pages and listing pages
    std::string table = kDefaultSite;    // price-history tables
    std::string profile = kDefaultSite;  // company profiles

    [[nodiscard]] bool operator==(const SiteHosts&) const = default;
};

// The hosts without the '/' that may end a site URL: the paths put after them begin with one.
[[nodiscard]] SiteHosts TrimmedHosts(const SiteHosts& hosts);

}  // namespace tickora
