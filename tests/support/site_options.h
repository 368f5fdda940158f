// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The options of a simulated site that the tests start in-process.
#include <cstdint>

#include "site/market_model.h"
#include "site/site_server.h"

namespace tickora::test {

// The trading day most tests pin the site to, a Friday.
inline constexpr site::SiteDate kSiteFriday{2026, 12, 4};

// A site of `stocks` stocks on a free loopback port, its prices drawn from seed, on date (year 0:
// today in local time).
inline site::SiteOptions LoopbackSite(int stocks, std::uint64_t seed = site::SiteOptions{}.seed,
                                      site::SiteDate date = kSiteFriday) {
    site::SiteOptions options;
    options.port = 0;
    options.stocks = stocks;
    options.seed = seed;
    options.year = date.year;
    options.month = date.month;
    options.day = date.day;
    return options;
}

}  // namespace tickora::test
