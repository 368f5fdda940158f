// SPDX-License-Identifier: GPL-3.0-or-later
// The day's check as a job's outcome: its findings in words and in JSON and back, an exit status
// that no finding changes, and the histories an update reported current.
#include "jobs/check_outcome.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "jobs/outcome_json.h"
#include "jobs/outcome_text.h"

namespace tickora {
namespace {

CheckFinding Finding(FindingKind kind, Severity severity, int code, CalendarDate date,
                     double expected = 0, double found = 0) {
    CheckFinding f;
    f.kind = kind;
    f.severity = severity;
    f.code = code;
    f.date = date;
    f.expected = expected;
    f.found = found;
    return f;
}

constexpr CalendarDate kFriday{2026, 12, 4};

// One finding of every kind, as the check makes them.
std::vector<CheckFinding> EveryKind() {
    using enum FindingKind;
    std::vector<CheckFinding> all;
    all.push_back(Finding(kCloseDiffers, Severity::kWarning, 1301, kFriday, 1523, 1533));
    CheckFinding missing = Finding(kMissingDay, Severity::kWarning, 1332, {2026, 11, 25}, 4);
    missing.otherDay = {2026, 11, 30};
    all.push_back(missing);
    all.push_back(Finding(kClosedDayBar, Severity::kWarning, 1333, {2026, 11, 23}, 0, 498));
    CheckFinding beyond = Finding(kBeyondLimit, Severity::kWarning, 1334, kFriday, 1300, 2500);
    beyond.previousClose = 1000;
    all.push_back(beyond);
    CheckFinding widened = Finding(kWidenedLimit, Severity::kNotice, 1001, kFriday, 129, 130.6);
    widened.previousClose = 99;
    all.push_back(widened);
    all.push_back(Finding(kNoQuote, Severity::kWarning, 1335, kFriday, 0, 12300));
    CheckFinding stale = Finding(kStaleHistory, Severity::kWarning, 1336, kFriday);
    stale.otherDay = {2026, 12, 3};
    stale.reportedCurrent = true;
    all.push_back(stale);
    return all;
}

TEST(CheckOutcome, EachFindingSaysWhatWasExpectedAndWhatWasFound) {
    const std::vector<std::string> expected = {
        "warning 1301 2026-12-04 close_differs: expected the history's close 1523, found 1533 in "
        "the day file",
        "warning 1332 2026-11-25 missing_day: expected a row for every trading day, found none "
        "from 2026-11-25 to 2026-11-30 (4 trading days)",
        "warning 1333 2026-11-23 closed_day_bar: expected no row: the exchange was closed (a "
        "holiday, Labour Thanksgiving Day), found a row with the close 498",
        "warning 1334 2026-12-04 beyond_limit: expected a close from 700 to 1300, the limit of 300 "
        "around the previous close 1000, found 2500, 5.0 times the limit",
        "notice 1001 2026-12-04 widened_limit: expected a close from 69 to 129, the limit of 30 "
        "around the previous close 99, found 130.60, 1.1 times the limit (a widened limit allows "
        "up to 4)",
        "warning 1335 2026-12-04 no_quote: expected a line for the trading day, found none, though "
        "the history shows a trade that day (volume 12300)",
        "warning 1336 2026-12-04 stale_history: expected a last day of 2026-12-04, the day "
        "checked, found the last day 2026-12-03, though the update reported it current",
    };
    const std::vector<CheckFinding> all = EveryKind();
    ASSERT_EQ(all.size(), expected.size());
    for (std::size_t i = 0; i < all.size(); ++i) {
        EXPECT_EQ(FindingLine(all[i]), expected[i]);
    }
    const struct {
        FindingKind kind;
        double found;
        CalendarDate otherDay;
        bool reportedCurrent;
        const char* text;
    } variants[] = {
        {FindingKind::kNoQuote, 0, {}, false, "none; the history shows no trade that day"},
        {FindingKind::kNoQuote, -1, {}, false, "none, nor a history row for the day"},
        {FindingKind::kMissingDay, 0, kFriday, false, "none for 2026-12-04"},
        {FindingKind::kStaleHistory, 0, {2026, 12, 3}, false, "the last day 2026-12-03"},
    };
    const CheckFinding noDay =
        Finding(FindingKind::kClosedDayBar, Severity::kWarning, 1301, {2026, 2, 30}, 0, 501);
    EXPECT_EQ(FindingLine(noDay),
              "warning 1301 2026-02-30 closed_day_bar: expected no row: the date names no day, "
              "found a row with the close 501");
    for (const auto& v : variants) {
        CheckFinding f = Finding(v.kind, Severity::kNotice, 1301, kFriday,
                                 v.kind == FindingKind::kMissingDay ? 1 : 0, v.found);
        f.otherDay = v.otherDay;
        f.reportedCurrent = v.reportedCurrent;
        EXPECT_EQ(FindingFoundText(f), v.text);
    }
}

TEST(CheckOutcome, FindingsLeaveTheExitStatusAloneAndUnreadFilesAreFailures) {
    CheckResult result;
    result.date = kFriday;
    result.stocks = 3;
    result.quotes = 3;
    result.histories = 2;
    result.withoutHistory = {1333};
    result.findings = EveryKind();
    JobOutcome outcome = CheckOutcome(result);
    EXPECT_EQ(outcome.job, "check");
    EXPECT_EQ(outcome.quoteDate, "2026/12/4");
    EXPECT_EQ(ExitStatusOf(outcome), kExitDone);
    EXPECT_EQ(SummaryLine(outcome, {}),
              "check: 3/3 stocks, 3 quotes, 2 histories, 7 findings (6 warnings, 1 notice), the "
              "day 2026/12/4");
    EXPECT_EQ(outcome.warnings,
              std::vector<std::string>{"1 stock has no history file: only its line in the day "
                                       "file was checked"});

    // Warnings first, then notices, as many as asked.
    const std::vector<std::string> lines = FindingLines(outcome, 6);
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(lines[5].rfind("warning 1336 ", 0), 0u) << lines[5];
    EXPECT_EQ(lines[6], "(+1 more finding)");
    EXPECT_EQ(FindingLines(outcome, 10).back().rfind("notice 1001 ", 0), 0u);

    result.unread = {
        {Unread::kHistory, "DATA/1000/KD1301.KDT", "not a price history this program writes", 1301},
        {Unread::kDayFile, "out/DS261204.DAT", "no day file of 2026-12-04"}};
    outcome = CheckOutcome(result);
    EXPECT_EQ(ExitStatusOf(outcome), kExitItemsFailed) << "ran to its end; some files unread";
    ASSERT_EQ(outcome.failures.size(), 2u);
    EXPECT_EQ(outcome.failures[0].what, "the history of 1301");
    EXPECT_EQ(outcome.failures[0].codes, std::vector<int>{1301});
    EXPECT_EQ(outcome.failures[1].what, "the day file");
    EXPECT_EQ(outcome.failures[1].action, "the histories checked alone");

    // Without a list there was nothing to check.
    CheckResult none;
    none.date = kFriday;
    none.unread = {{Unread::kList, "fetchlist.csv", "cannot be read or holds no stock"}};
    outcome = CheckOutcome(none);
    EXPECT_EQ(outcome.end, JobEnd::kStopped);
    EXPECT_EQ(ExitStatusOf(outcome), kExitEndedEarly);
    EXPECT_EQ(
        SummaryLine(outcome, {}),
        "check: 0/0 stocks, 0 quotes, 0 histories, no finding, 1 failure, stopped early at the "
        "list, the day 2026/12/4");
}

TEST(CheckOutcome, FindingsReadBackFromTheirJson) {
    CheckResult result;
    result.date = kFriday;
    result.stocks = 8;
    result.findings = EveryKind();
    // A history may hold a row dated as no day is; its finding names that date.
    result.findings.push_back(
        Finding(FindingKind::kClosedDayBar, Severity::kWarning, 1337, {2026, 2, 30}, 0, 501));
    const JobOutcome outcome = CheckOutcome(result);
    const std::string json = OutcomeToJson(outcome);
    EXPECT_NE(json.find("\"expected\":\"the history's close 1523\""), std::string::npos) << json;
    EXPECT_NE(json.find("\"otherDate\":\"2026-11-30\""), std::string::npos) << json;
    int status = -1;
    std::optional<JobOutcome> back = OutcomeFromJson(json, &status);
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(status, kExitDone);
    EXPECT_EQ(OutcomeToJson(*back), json);
    ASSERT_EQ(back->findings.size(), outcome.findings.size());
    EXPECT_EQ(back->findings.back().date, (CalendarDate{2026, 2, 30}));
    EXPECT_EQ(back->findings[4].previousClose, 99);
    EXPECT_EQ(back->findings[4].found, 130.6);

    // A finding of a kind, severity or day this version does not know is left out; the rest read.
    std::string other = json;
    other.replace(other.find("close_differs"), 13, "split_unseen!");
    back = OutcomeFromJson(other);
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(back->findings.size(), outcome.findings.size() - 1);
}

TEST(CheckOutcome, AnUpdateReportsCurrentTheHistoriesItWrote) {
    JobOutcome kdt;
    kdt.job = "kdt";
    kdt.AddFile("/w/DATA/1000/KD1301.KDT", FileState::kWritten);
    kdt.AddFile("/w/DATA/1000/KD1332.KDT", FileState::kKept, "a page failed");
    kdt.AddFile("/w/DATA/7000/KD7203.KDT", FileState::kWritten);
    kdt.AddFile("/w/KD0005.KDT", FileState::kWritten);
    kdt.AddFile("/w/DATA/1000/KD13O1.KDT", FileState::kWritten);
    kdt.AddFile("/w/DATA/1000/KD1301.KDT.bak", FileState::kWritten);
    kdt.AddFile("/w/DATA/1000/XD1301.KDT", FileState::kWritten);
    EXPECT_EQ(HistoriesReportedCurrent(kdt), (std::set<int>{5, 1301, 7203}));
}

}  // namespace
}  // namespace tickora
