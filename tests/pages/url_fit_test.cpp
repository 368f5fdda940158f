// SPDX-License-Identifier: GPL-3.0-or-later
// Page URLs that would not fit their fields are refused before any job, with what does not fit
// and by how much; a site URL of some 250 bytes is the case that cut every request.
#include "pages/url_fit.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/temp_dir.h"

namespace tickora {
namespace {

std::string Host(std::size_t length) {
    return "http://" + std::string(length - 7, 'h');
}

TEST(UrlFit, EveryComposedUrlMustFitItsField) {
    test::ScopedWorkDir dir;
    test::WriteFileBytes("market.csv", "1,T, Tokyo\r\n2,O, Osaka\r\n3,N, Nagoya\r\n");
    CMarketTable markets;
    ASSERT_EQ(markets.Load(), 1);
    std::string fifty;
    for (int i = 0; i < 50; ++i) {
        fifty += std::to_string(2000 + i) + "," + std::to_string(2000 + i) + ",T,N\r\n";
    }
    const LocalDate today{2026, 12, 4};  // "&d=12&e=4&f=2026"

    struct Case {
        const char* name;
        SiteHosts hosts;
        std::string list;
        std::string message;
    } cases[] = {
        {"the default site", SiteHosts{}, fifty, ""},
        {"a site URL of 250 bytes",
         {Host(250), Host(250), Host(250)},
         "1301,1301,T,A\r\n1332,1332,O,B\r\n1334,1334,N,C\r\n",
         "the listing page URLs on the quote host need 265 bytes, 10 more than the 255 their "
         "field holds\n"
         "the price-history URLs on the table host need 312 bytes, 57 more than the 255 their "
         "field holds\n"
         "the profile page URLs on the profile host need 276 bytes, 21 more than the 255 their "
         "field holds"},
        {"a quote host too long for a whole block",
         {Host(300), kDefaultSite, kDefaultSite},
         fifty + "1301,1301,O,A\r\n",
         "the quote and figures page URLs on the quote host (block 1 of the fetch list) need "
         "559 bytes, 48 more than the 511 their field holds\n"
         "the listing page URLs on the quote host need 315 bytes, 60 more than the 255 their "
         "field holds"},
        {"a symbol of 15 bytes on a long table host",
         {kDefaultSite, Host(190), kDefaultSite},
         "ABCDEFGHIJK1301,1301,T,A\r\n",
         "the price-history URLs on the table host need 263 bytes, 8 more than the 255 their "
         "field holds"},
    };
    for (const Case& c : cases) {
        test::WriteFileBytes("fetchlist.csv", c.list);
        CStockList stocks;
        ASSERT_EQ(stocks.Load(markets, c.hosts.quote.c_str()), 0) << c.name;
        const UrlFitResult fit = CheckUrlsFit(c.hosts, stocks, markets, today);
        EXPECT_EQ(fit.fits, c.message.empty()) << c.name;
        EXPECT_EQ(fit.message, c.message) << c.name;
    }
}

}  // namespace
}  // namespace tickora
