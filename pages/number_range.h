#pragma once
// The numbers a page gives, held against the fields of the files they go to. A value that its
// field cannot hold is never written wrapped or cut to the field's limit: its stock is not
// extracted, and the reason names the value. A day whose values fit but cannot be true of a
// trading day (a negative volume, a close outside the low and the high) is written as the site
// gave it, since the data is the site's, and named as a warning.
#include <span>
#include <string>

#include "catalog/stock_list.h"
#include "formats/kdt_file.h"

namespace tickora {

// A history cell read as atoi reads it (blanks, a sign, digits up to the first other byte; no
// digits give 0), but wide enough to see a value that a KDT field, 32 bits, cannot hold.
struct WholeCell {
    long long value = 0;
    bool fits = true;  // within a signed 32-bit field
};
[[nodiscard]] WholeCell ReadWholeCell(const char* text);

// Why the daily file cannot hold the quote of stock, or empty when it can: every price and the
// volume are 32-bit whole numbers in its layouts ("the volume 9999999999 does not fit the daily
// file's 32-bit field").
[[nodiscard]] std::string QuoteNumberFault(const CStockRecord& stock);

// Why the quote of stock, which fits, is implausible, or empty: a negative volume, a high below
// the low, an open or a close outside the low and the high. Prices are only compared when the
// open, the high and the low are all given (above 0), as the daily file writes them only then.
[[nodiscard]] std::string QuoteImplausibility(const CStockRecord& stock);

// As QuoteImplausibility, for one day of a history.
[[nodiscard]] std::string DayImplausibility(const CKdtDay& day);

// A figure of the performance file fits when it is finite and below 10^15 in size: a double still
// holds every whole number there, and "%.2f" prints no digit the page did not give.
inline constexpr double kFigureLimit = 1e15;
[[nodiscard]] bool FigureFits(double value);

// "2026/12/4" of a day.
[[nodiscard]] std::string DayText(const CKdtDay& day);

// One warning for the implausible days of a history, naming how many there are and the first;
// empty when there is none.
[[nodiscard]] std::string HistoryImplausibility(std::span<const CKdtDay> days);

}  // namespace tickora
