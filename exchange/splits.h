// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Share splits as a history shows them. On the day a split takes effect the exchange counts the
// daily limit from the previous close adjusted for the split, so a history that keeps the days
// before it as they were (a site adjusts its table a day or more later) jumps by the split's
// ratio on that day, and no limit is broken.
//
// From the prices alone a split is told by its ratio: the close lies within 5% (and at least
// one yen) of the previous close times the price ratio of one of the splits companies make:
// 2:3, 1:2, 1:3, 1:4, 1:5 and 1:10 (one share becomes 1.5 ... 10), and the reverse splits 2:1,
// 3:1, 4:1, 5:1 and 10:1. 5% is an ordinary day's move from the adjusted close; the ratios' bands
// stay well apart, so a move near none of them (a close of 2.5 or 1.6 times the one before) is
// no split, whatever the day's volume says. Where a band meets the edge of the daily limit (2:3
// next to a fall of 30%, and the bands of prices below 100 yen, whose limit is a third of them or
// more), a close nearer the limit's edge than the split's price is a move beyond the limit.
#include <optional>

namespace tickora {

// Old shares to new ones: {1, 2} is a split of one share into two (prices halve), {2, 1} a
// reverse split of two shares into one (prices double).
struct SplitRatio {
    int before = 1;
    int after = 1;

    friend constexpr bool operator==(const SplitRatio&, const SplitRatio&) = default;
    // What a price becomes: before / after.
    [[nodiscard]] constexpr double PriceFactor() const {
        return static_cast<double>(before) / after;
    }
};

// The split whose ratio explains a day's move from previousClose to close; nothing when no split
// does, and for prices that are none (not above 0, not finite).
[[nodiscard]] std::optional<SplitRatio> SplitExplaining(double previousClose, double close);

}  // namespace tickora
