#include "pages/number_range.h"

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace tickora {
namespace {

bool FitsInt32(double value) {
    // A NaN fails both comparisons.
    return value >= static_cast<double>(INT_MIN) && value <= static_cast<double>(INT_MAX);
}

// The value as the page most likely wrote it: whole numbers in full while a double holds them
// exactly, the rest in short scientific form.
std::string ShowValue(double value) {
    char text[64];
    if (std::isfinite(value) && std::fabs(value) < 1e15) {
        std::snprintf(text, sizeof text, "%.15g", value);
    } else {
        std::snprintf(text, sizeof text, "%.6g", value);
    }
    return text;
}

std::string PricesImplausibility(double open, double high, double low, double close,
                                 double volume) {
    if (volume < 0) {
        return "a negative volume (" + ShowValue(volume) + ")";
    }
    if (open <= 0 || high <= 0 || low <= 0) {
        return {};
    }
    if (high < low) {
        return "the high " + ShowValue(high) + " below the low " + ShowValue(low);
    }
    if (close > high || close < low) {
        return "the close " + ShowValue(close) + " outside the low " + ShowValue(low) +
               " and the high " + ShowValue(high);
    }
    if (open > high || open < low) {
        return "the open " + ShowValue(open) + " outside the low " + ShowValue(low) +
               " and the high " + ShowValue(high);
    }
    return {};
}

}  // namespace

WholeCell ReadWholeCell(const char* text) {
    WholeCell cell;
    errno = 0;
    char* end = nullptr;
    cell.value = std::strtoll(text, &end, 10);
    const bool overflow = errno == ERANGE;
    cell.fits = !overflow && cell.value >= INT_MIN && cell.value <= INT_MAX;
    return cell;
}

std::string QuoteNumberFault(const CStockRecord& stock) {
    struct Field {
        const char* name;
        double value;
    };
    for (const Field field : {Field{"close", stock.m_dClose}, Field{"open", stock.m_dOpen},
                              Field{"high", stock.m_dHigh}, Field{"low", stock.m_dLow},
                              Field{"volume", stock.m_dVolume}}) {
        if (!FitsInt32(field.value)) {
            return std::string("the ") + field.name + " " + ShowValue(field.value) +
                   " does not fit the daily file's 32-bit field";
        }
    }
    return {};
}

std::string QuoteImplausibility(const CStockRecord& stock) {
    return PricesImplausibility(stock.m_dOpen, stock.m_dHigh, stock.m_dLow, stock.m_dClose,
                                stock.m_dVolume);
}

std::string DayImplausibility(const CKdtDay& day) {
    return PricesImplausibility(day.m_nOpen, day.m_nHigh, day.m_nLow, day.m_nClose, day.m_nVolume);
}

bool FigureFits(double value) {
    return std::isfinite(value) && std::fabs(value) < kFigureLimit;
}

std::string DayText(const CKdtDay& day) {
    char text[32];
    std::snprintf(text, sizeof text, "%d/%d/%d", day.m_nYear, day.m_nMonth, day.m_nDay);
    return text;
}

std::string HistoryImplausibility(std::span<const CKdtDay> days) {
    int count = 0;
    std::string first;
    for (const CKdtDay& day : days) {
        if (!day.IsValid()) {
            continue;
        }
        if (std::string why = DayImplausibility(day); !why.empty()) {
            if (count++ == 0) {
                first = DayText(day) + ": " + why;
            }
        }
    }
    if (count == 0) {
        return {};
    }
    return std::to_string(count) +
           (count == 1 ? " implausible day, " : " implausible days, the first ") + first;
}

}  // namespace tickora
