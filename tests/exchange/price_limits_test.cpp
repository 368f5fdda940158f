// SPDX-License-Identifier: GPL-3.0-or-later
// The daily price limits at both sides of every band boundary, and the class of a day's move at
// both sides of the limit and of four times it.
#include "exchange/price_limits.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace tickora {
namespace {

TEST(PriceLimits, EveryBandStartsAtItsBoundAndEndsJustBelowTheNext) {
    // {lowest previous close of the band, its limit}, band after band: the exchange's table to
    // 100,000, the bands it goes on with, and a run of them far above.
    struct Band {
        double from;
        double limit;
    };
    const std::vector<std::vector<Band>> runs = {
        {{0.1, 30},       {100, 50},        {200, 80},        {500, 100},        {700, 150},
         {1000, 300},     {1500, 400},      {2000, 500},      {3000, 700},       {5000, 1000},
         {7000, 1500},    {10000, 3000},    {15000, 4000},    {20000, 5000},     {30000, 7000},
         {50000, 10000},  {70000, 15000},   {100000, 30000},  {150000, 40000},   {200000, 50000},
         {300000, 70000}, {500000, 100000}, {700000, 150000}, {1000000, 300000}, {1500000, 400000}},
        {{30000000, 7000000}, {50000000, 10000000}, {70000000, 15000000}, {100000000, 30000000}},
    };
    for (const std::vector<Band>& bands : runs) {
        for (std::size_t i = 0; i < bands.size(); ++i) {
            EXPECT_EQ(DailyPriceLimit(bands[i].from), bands[i].limit) << bands[i].from;
            // The last yen and the last tenth of a yen below a bound belong to the band before.
            if (i > 0) {
                EXPECT_EQ(DailyPriceLimit(bands[i].from - 1), bands[i - 1].limit) << bands[i].from;
                EXPECT_EQ(DailyPriceLimit(bands[i].from - 0.1), bands[i - 1].limit)
                    << bands[i].from;
            }
        }
    }
    for (const double none : {0.0, -5.0, std::numeric_limits<double>::quiet_NaN(),
                              std::numeric_limits<double>::infinity()}) {
        EXPECT_FALSE(DailyPriceLimit(none).has_value()) << none;
    }
}

TEST(PriceLimits, AMoveIsWithinUpToTheLimitANoticeUpToFourTimesAWarningBeyond) {
    using enum MoveClass;
    const struct {
        double previous;
        double close;
        MoveClass expected;
    } cases[] = {
        {1000, 1300, kWithin},  // exactly at the limit: a stop-high close
        {1000, 700, kWithin},   // and a stop-low one
        {1000, 1301, kNotice},
        {1000, 699, kNotice},
        {1000, 2200, kNotice},  // four times the limit
        {1000, 2201, kWarning},
        {1000, 1000, kWithin},
        {999, 1149, kWithin},  // the band of the previous close, not of the new one
        {999, 1150, kNotice},
        {99.9, 129.9, kWithin},  // tenths of a yen whose difference a double cannot hold exactly
        {99.9, 130.0, kNotice},
        {120, 1, kNotice},  // a fall is measured as a rise is
        {400, 10, kWarning},
    };
    for (const auto& c : cases) {
        const std::optional<MoveClass> move = ClassifyMove(c.previous, c.close);
        ASSERT_TRUE(move.has_value()) << c.previous << " " << c.close;
        EXPECT_EQ(*move, c.expected) << c.previous << " -> " << c.close;
    }
    EXPECT_FALSE(ClassifyMove(0, 100).has_value());
    EXPECT_FALSE(ClassifyMove(100, std::numeric_limits<double>::quiet_NaN()).has_value());
    EXPECT_STREQ(MoveClassWord(kNotice), "notice");
}

}  // namespace
}  // namespace tickora
