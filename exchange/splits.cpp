// SPDX-License-Identifier: GPL-3.0-or-later
#include "exchange/splits.h"

#include <algorithm>
#include <cmath>

#include "exchange/price_limits.h"

namespace tickora {
namespace {

constexpr SplitRatio kSplits[] = {{2, 3}, {1, 2}, {1, 3}, {1, 4}, {1, 5}, {1, 10},
                                  {2, 1}, {3, 1}, {4, 1}, {5, 1}, {10, 1}};

constexpr double kDayMove = 0.05;
// Below twenty yen five per cent is less than the price step: a price one step off still fits.
constexpr double kLeastMove = 1;

}  // namespace

std::optional<SplitRatio> SplitExplaining(double previousClose, double close) {
    if (!std::isfinite(previousClose) || !std::isfinite(close) || previousClose <= 0 ||
        close <= 0) {
        return std::nullopt;
    }
    const double limit = DailyPriceLimit(previousClose).value_or(0);
    const double edge = close > previousClose ? previousClose + limit : previousClose - limit;
    for (const SplitRatio& split : kSplits) {
        const double adjusted = previousClose * split.PriceFactor();
        const double off = std::fabs(close - adjusted);
        if (off <= std::max(kDayMove * adjusted, kLeastMove) && off < std::fabs(close - edge)) {
            return split;
        }
    }
    return std::nullopt;
}

}  // namespace tickora
