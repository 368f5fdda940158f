// SPDX-License-Identifier: GPL-3.0-or-later
// A split is told from a day's move by its ratio alone: within a day's move of every split's
// price ratio, of none between them, and not where the limit's edge lies nearer.
#include "exchange/splits.h"

#include <gtest/gtest.h>

#include <limits>
#include <optional>

namespace tickora {
namespace {

TEST(Splits, ACloseNearASplitsRatioIsThatSplitAndOnlyThat) {
    const struct {
        double previous;
        double close;
        std::optional<SplitRatio> expected;
    } cases[] = {
        {2000, 1000, SplitRatio{1, 2}},
        {2000, 1050, SplitRatio{1, 2}},  // and a 5% rise: the edge of a day's move
        {2000, 950, SplitRatio{1, 2}},
        {2000, 1051, std::nullopt},
        {2000, 949, std::nullopt},
        {3000, 2000, SplitRatio{2, 3}},
        {3000, 1000, SplitRatio{1, 3}},
        {4000, 1000, SplitRatio{1, 4}},
        {5000, 1000, SplitRatio{1, 5}},
        {5000, 500, SplitRatio{1, 10}},
        {400, 800, SplitRatio{2, 1}},
        {400, 1200, SplitRatio{3, 1}},
        {400, 1600, SplitRatio{4, 1}},
        {400, 2000, SplitRatio{5, 1}},
        {400, 4000, SplitRatio{10, 1}},
        // Between the ratios: no split makes these.
        {400, 1000, std::nullopt},
        {1000, 1600, std::nullopt},
        {1000, 400, std::nullopt},
        {1000, 3500, std::nullopt},
        {1000, 1000, std::nullopt},
        // A yen either way of a price too small for 5% of it to reach the next step.
        {10, 4, SplitRatio{1, 2}},
        {20, 11, SplitRatio{1, 2}},
        {20, 12, std::nullopt},
        // Where a split's band meets the limit's edge, the nearer of the two tells.
        {1000, 660, SplitRatio{2, 3}},
        {1000, 699, std::nullopt},
        {63, 32, SplitRatio{1, 2}},
        {63, 32.8, std::nullopt},
        // Prices that are none.
        {0, 100, std::nullopt},
        {100, 0, std::nullopt},
        {-200, -100, std::nullopt},
        {std::numeric_limits<double>::quiet_NaN(), 100, std::nullopt},
        {100, std::numeric_limits<double>::infinity(), std::nullopt},
    };
    for (const auto& c : cases) {
        const std::optional<SplitRatio> found = SplitExplaining(c.previous, c.close);
        EXPECT_EQ(found.has_value(), c.expected.has_value()) << c.previous << " -> " << c.close;
        if (found && c.expected) {
            EXPECT_EQ(*found, *c.expected) << c.previous << " -> " << c.close;
        }
    }
}

}  // namespace
}  // namespace tickora
