// SPDX-License-Identifier: GPL-3.0-or-later
#include "exchange/price_limits.h"

#include <cmath>

#include "text/named_values.h"

namespace tickora {
namespace {

struct Band {
    double below;  // the band ends before this previous close
    double limit;
};

// Below 1,000 the bands follow no pattern.
constexpr Band kLowBands[] = {{100, 30}, {200, 50}, {500, 80}, {700, 100}, {1000, 150}};
// From 1,000 on, one decade's bands in tenths of its power of ten, so that every bound and limit
// is a whole number of yen, exact in a double.
constexpr Band kDecadeBands[] = {{15, 3}, {20, 4}, {30, 5}, {50, 7}, {70, 10}, {100, 15}};

// Differences finer than any tick are rounding, not price.
constexpr double kTolerance = 0.001;
constexpr double kWidenedLimits = 4;

constexpr NamedValue<MoveClass> kMoveWords[] = {{MoveClass::kWithin, "within"},
                                                {MoveClass::kNotice, "notice"},
                                                {MoveClass::kWarning, "warning"}};

}  // namespace

std::optional<double> DailyPriceLimit(double previousClose) {
    if (!std::isfinite(previousClose) || previousClose <= 0) {
        return std::nullopt;
    }
    for (const Band& band : kLowBands) {
        if (previousClose < band.below) {
            return band.limit;
        }
    }
    double power = 1000;
    while (previousClose >= 10 * power) {
        power *= 10;
    }
    const double tenth = power / 10;
    for (const Band& band : kDecadeBands) {
        if (previousClose < band.below * tenth) {
            return band.limit * tenth;
        }
    }
    return kDecadeBands[std::size(kDecadeBands) - 1].limit * tenth;
}

std::optional<MoveClass> ClassifyMove(double previousClose, double close) {
    const std::optional<double> limit = DailyPriceLimit(previousClose);
    if (!limit || !std::isfinite(close)) {
        return std::nullopt;
    }
    const double move = std::fabs(close - previousClose);
    if (move <= *limit + kTolerance) {
        return MoveClass::kWithin;
    }
    return move <= kWidenedLimits * *limit + kTolerance ? MoveClass::kNotice : MoveClass::kWarning;
}

const char* MoveClassWord(MoveClass move) {
    return NameIn(kMoveWords, move, "");
}

}  // namespace tickora
