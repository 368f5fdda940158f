// SPDX-License-Identifier: GPL-3.0-or-later
#include "checks/history_rules.h"

#include "exchange/price_limits.h"
#include "exchange/splits.h"
#include "exchange/trading_calendar.h"

namespace tickora {
namespace {

CalendarDate DateOf(const CKdtDay& day) {
    return {day.m_nYear, day.m_nMonth, day.m_nDay};
}

CheckFinding Finding(FindingKind kind, Severity severity, int code, const CalendarDate& date) {
    CheckFinding finding;
    finding.kind = kind;
    finding.severity = severity;
    finding.code = code;
    finding.date = date;
    return finding;
}

// The trading days after `before` and ahead of `day`, as one finding when there are any.
void NoteGap(const HistoryCheck& check, int before, int day, std::vector<CheckFinding>& findings) {
    const int first = NextTradingDay(before);
    if (first >= day) {
        return;
    }
    const int last = PreviousTradingDay(day);
    CheckFinding finding =
        Finding(FindingKind::kMissingDay, Severity::kWarning, check.code, DateOfDayNumber(first));
    finding.otherDay = DateOfDayNumber(last);
    finding.expected = TradingDaysBetween(first, last);
    findings.push_back(finding);
}

void NoteMove(const HistoryCheck& check, const CKdtDay& previous, const CKdtDay& day,
              std::vector<CheckFinding>& findings) {
    const double from = previous.m_nClose;
    const double to = day.m_nClose;
    const std::optional<MoveClass> move = ClassifyMove(from, to);
    if (!move || *move == MoveClass::kWithin || SplitExplaining(from, to)) {
        return;
    }
    const bool beyond = *move == MoveClass::kWarning;
    CheckFinding finding =
        Finding(beyond ? FindingKind::kBeyondLimit : FindingKind::kWidenedLimit,
                beyond ? Severity::kWarning : Severity::kNotice, check.code, DateOf(day));
    const double limit = DailyPriceLimit(from).value_or(0);
    finding.previousClose = from;
    finding.expected = to > from ? from + limit : from - limit;
    finding.found = to;
    findings.push_back(finding);
}

}  // namespace

void CheckHistory(const HistoryCheck& check, std::span<const CKdtDay> days,
                  std::vector<CheckFinding>& findings) {
    const CKdtDay* previous = nullptr;  // the newest row on a trading day
    int previousDay = 0;
    for (const CKdtDay& day : days) {
        const CalendarDate date = DateOf(day);
        if (!IsTradingDay(date)) {
            CheckFinding finding =
                Finding(FindingKind::kClosedDayBar, Severity::kWarning, check.code, date);
            finding.found = day.m_nClose;
            findings.push_back(finding);
            continue;
        }
        const int dayNumber = DayNumber(date);
        if (previous != nullptr) {
            if (NextTradingDay(previousDay) == dayNumber) {
                if (!check.index) {
                    NoteMove(check, *previous, day, findings);
                }
            } else {
                NoteGap(check, previousDay, dayNumber, findings);
            }
        }
        previous = &day;
        previousDay = dayNumber;
    }
    if (previous != nullptr && previousDay < check.checkedDay) {
        CheckFinding finding =
            Finding(FindingKind::kStaleHistory,
                    check.reportedCurrent ? Severity::kWarning : Severity::kNotice, check.code,
                    DateOfDayNumber(check.checkedDay));
        finding.otherDay = DateOf(*previous);
        finding.reportedCurrent = check.reportedCurrent;
        findings.push_back(finding);
    }
}

}  // namespace tickora
