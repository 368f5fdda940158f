// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A job's outcome in the desktop program's words (Japanese, UTF-8). Every fact is read from the
// same JobOutcome the command line prints in English, so the two can never disagree; only the
// phrasing differs. Texts the core leaves to others (libcurl's words, the system's error text)
// are shown as they came.
#include <string>
#include <vector>

#include "jobs/job_outcome.h"

namespace tickora::gui {

// The job's name as the menu calls it: "株価取得", "株価履歴取得", ...
[[nodiscard]] std::string JobNameJa(const std::string& job);

// One line: "株価取得: 123/123 銘柄、抽出 120、抽出できず 3、2026/12/4 の株価。書いたファイル:
// /home/u/DS261204.DAT". Paths are whole, so that the user can find them.
[[nodiscard]] std::string SummaryJa(const JobOutcome& outcome);

// What the job never asked for because it ended early: "3,232 銘柄は未取得"; empty when none.
[[nodiscard]] std::string NeverAskedJa(const JobOutcome& outcome);

// The job ended early, raised, or some of its items or files failed.
[[nodiscard]] bool NeedsAttention(const JobOutcome& outcome);

// Failures that share a cause, in the order the causes first occurred.
struct FailureRowJa {
    std::string what;    // "ブロック 3 の 50 銘柄", "1301 の 2 ページ目"
    std::string codes;   // "1301, 1332"
    std::string where;   // URL or whole path
    std::string action;  // "リストはそのまま"
};
struct FailureGroupJa {
    std::string cause;
    std::vector<FailureRowJa> rows;
};
[[nodiscard]] std::vector<FailureGroupJa> FailureGroupsJa(const JobOutcome& outcome);

// The day's check in words: what each finding is, the rule it breaks and the two files or numbers
// that disagree. Findings are warnings to look at, never failures of the run.
[[nodiscard]] std::string SeverityJa(Severity severity);  // "警告", "注意"
[[nodiscard]] std::string FindingKindJa(FindingKind kind);  // "終値の不一致", ...; empty if none
// Why the exchange was closed on the day of a closed_day_bar finding: "土曜日・日曜日", "祝日
// (春分の日)".
[[nodiscard]] std::string ClosureJa(const FindingFacts& facts);
struct FindingRowJa {
    std::string severity;  // "警告"
    std::string stock;     // "1301 極洋", or the code alone when the list does not name it
    std::string date;      // "2026-12-04"
    std::string kind;      // "終値の不一致"
    std::string expected;  // "株価履歴の終値 1523"
    std::string found;     // "当日の株価ファイルの終値 1533"
};
// name: the stock's name from the list (UTF-8), empty when unknown.
[[nodiscard]] FindingRowJa FindingRowOf(const CheckFinding& finding, const std::string& name);
// "警告 1301 極洋 2026-12-04 終値の不一致: 想定は株価履歴の終値
// 1523、実際は当日の株価ファイルの終値 1533".
[[nodiscard]] std::string FindingLineJa(const CheckFinding& finding, const std::string& name);
// "指摘 3 件 (警告 1 件、注意 2 件)", or "指摘なし".
[[nodiscard]] std::string FindingsCountJa(const JobOutcome& outcome);

// A phrase of the core (an action, an item, a cause, a refusal) in Japanese; unknown text, and
// text longer than any phrase of the core (it came from a damaged file), is returned unchanged.
// Time and stack stay in proportion to the text, whatever it holds.
[[nodiscard]] std::string PhraseJa(const std::string& english);

// "3232" -> "3,232".
[[nodiscard]] std::string Thousands(long long value);

}  // namespace tickora::gui
