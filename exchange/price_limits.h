// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The exchange's daily price limits: how far a stock's price may move in one day from the
// previous close, in bands of the previous close.
//
//   previous close (yen)        limit (±)
//   below 100                   30
//   100 up to below 200         50
//   200 up to below 500         80
//   500 up to below 700         100
//   700 up to below 1,000       150
//   from 1,000 on, for each power of ten P (1,000, 10,000, ...):
//     P up to below 1.5 P       0.3 P
//     1.5 P up to below 2 P     0.4 P
//     2 P up to below 3 P       0.5 P
//     3 P up to below 5 P       0.7 P
//     5 P up to below 7 P       P
//     7 P up to below 10 P      1.5 P
//
// A band's lower bound belongs to it: a previous close of exactly 100 has the limit 50. A close
// exactly at the limit is within it, as a stop-high close is. The exchange may widen a limit up to
// four times after days at the limit, so a move beyond the limit up to four times it is a notice,
// and only a move beyond that a warning. Indices have no limit: their callers do not ask.
#include <optional>

namespace tickora {

// The limit for a previous close in yen; nothing when previousClose is no price (not above 0,
// not finite).
[[nodiscard]] std::optional<double> DailyPriceLimit(double previousClose);

enum class MoveClass : unsigned char {
    kWithin,   // at most the limit
    kNotice,   // beyond the limit, up to four times it: a widened limit allows it
    kWarning,  // beyond four times the limit: no rule allows it
};

// How a day's move from previousClose to close stands to the limit; nothing when previousClose
// is no price or close is not finite. Prices may have tenths of a yen: differences within a
// thousandth of a yen of a bound count as on it.
[[nodiscard]] std::optional<MoveClass> ClassifyMove(double previousClose, double close);

// "within", "notice", "warning": for the terminal and JSON.
[[nodiscard]] const char* MoveClassWord(MoveClass move);

}  // namespace tickora
