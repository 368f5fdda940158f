// SPDX-License-Identifier: GPL-3.0-or-later
#include "checks/check_finding.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "exchange/price_limits.h"
#include "text/named_values.h"

namespace tickora {
namespace {

using enum FindingKind;

constexpr NamedValue<FindingKind> kKindWords[] = {
    {kCloseDiffers, "close_differs"},  {kMissingDay, "missing_day"},
    {kClosedDayBar, "closed_day_bar"}, {kBeyondLimit, "beyond_limit"},
    {kWidenedLimit, "widened_limit"},  {kNoQuote, "no_quote"},
    {kStaleHistory, "stale_history"},
};

constexpr NamedValue<Severity> kSeverityWords[] = {{Severity::kNotice, "notice"},
                                                   {Severity::kWarning, "warning"}};

bool IsLimitKind(FindingKind kind) {
    return kind == kBeyondLimit || kind == kWidenedLimit;
}

void FillLimitFacts(const CheckFinding& finding, FindingFacts& facts) {
    const std::optional<double> limit = DailyPriceLimit(finding.previousClose);
    if (!limit) {
        return;
    }
    facts.previousClose = PriceWord(finding.previousClose);
    facts.limit = PriceWord(*limit);
    facts.lowest = PriceWord(std::max(0.0, finding.previousClose - *limit));
    facts.highest = PriceWord(finding.previousClose + *limit);
    char times[32];
    std::snprintf(times, sizeof times, "%.1f",
                  std::fabs(finding.found - finding.previousClose) / *limit);
    facts.times = times;
}

}  // namespace

const char* FindingKindWord(FindingKind kind) {
    return NameIn(kKindWords, kind, "");
}

std::optional<FindingKind> FindingKindNamed(std::string_view word) {
    return ValueNamed(kKindWords, word);
}

const char* SeverityWord(Severity severity) {
    return NameIn(kSeverityWords, severity, "");
}

std::optional<Severity> SeverityNamed(std::string_view word) {
    return ValueNamed(kSeverityWords, word);
}

std::string IsoDate(const CalendarDate& date) {
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", date.year, date.month, date.day);
    return text;
}

std::optional<CalendarDate> DateOfIso(std::string_view text) {
    if (text.size() != 10 || text[4] != '-' || text[7] != '-') {
        return std::nullopt;
    }
    int fields[3] = {};
    const std::size_t starts[3] = {0, 5, 8};
    const std::size_t ends[3] = {4, 7, 10};
    for (int i = 0; i < 3; ++i) {
        for (std::size_t at = starts[i]; at < ends[i]; ++at) {
            if (text[at] < '0' || text[at] > '9') {
                return std::nullopt;
            }
            fields[i] = fields[i] * 10 + (text[at] - '0');
        }
    }
    const CalendarDate date{fields[0], fields[1], fields[2]};
    if (date.month < 1 || date.month > 12 || date.day < 1 || date.day > 31) {
        return std::nullopt;
    }
    return date;
}

std::string PriceWord(double price) {
    char text[64];
    const double whole = std::round(price);
    if (std::fabs(price - whole) < 0.005) {
        std::snprintf(text, sizeof text, "%.0f", whole);
    } else {
        std::snprintf(text, sizeof text, "%.2f", price);
    }
    return text;
}

FindingFacts FactsOf(const CheckFinding& finding) {
    FindingFacts facts;
    char code[16];
    std::snprintf(code, sizeof code, "%04d", finding.code);
    facts.code = code;
    facts.date = IsoDate(finding.date);
    facts.expected = PriceWord(finding.expected);
    facts.found = PriceWord(finding.found);
    if (finding.otherDay.year != 0) {
        facts.otherDay = IsoDate(finding.otherDay);
    }
    switch (finding.kind) {
        case kMissingDay:
            facts.missingDays = static_cast<int>(finding.expected);
            break;
        case kClosedDayBar:
            facts.closure = ClosureOn(finding.date);
            facts.holiday = HolidayOn(finding.date);
            break;
        case kNoQuote:
            facts.volume = static_cast<long long>(finding.found);
            break;
        default:
            if (IsLimitKind(finding.kind)) {
                FillLimitFacts(finding, facts);
            }
            break;
    }
    return facts;
}

}  // namespace tickora
