// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/outcome_ja.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "app/causes_ja.h"
#include "exchange/holidays.h"
#include "jobs/outcome_text.h"
#include "text/phrase_template.h"
#include "text/sjis.h"

namespace tickora::gui {
namespace {

constexpr std::size_t kFilesShown = 5;

bool CountsExtracted(const std::string& job) {
    return job == "fetch" || job == "performance";
}

std::string UnitJa(const std::string& unit) {
    return unit == "pages" ? "ページ" : "銘柄";
}

std::string Code(int code) {
    char text[16];
    std::snprintf(text, sizeof text, "%04d", code);
    return text;
}

// A longer text is shown as it came: no phrase of the core is near this long, and one read from
// a damaged history file must cost no more than a short one.
constexpr std::size_t kPhraseLimit = 4096;
// Phrases inside phrases ("the page arrived only in part (... (...))") are turned this deep.
constexpr int kPhraseDepth = 6;

std::string PhraseAtDepth(const std::string& english, int depth);

// The kinds of the template's gaps, in order: "n", "w", "*", "e", ...
std::vector<std::string_view> GapKinds(std::string_view pattern) {
    std::vector<std::string_view> kinds;
    for (std::size_t open = pattern.find('{'); open != std::string_view::npos;
         open = pattern.find('{', open + 1)) {
        const std::size_t close = pattern.find('}', open);
        if (close == std::string_view::npos) {
            break;
        }
        kinds.push_back(pattern.substr(open + 1, close - open - 1));
    }
    return kinds;
}

// A gap's text in Japanese: the system's words when they are known, a phrase of the core when it
// is one, else as it came.
std::string GapJa(std::string_view kind, std::string_view part, const std::string& english,
                  int depth) {
    if (kind == "e") {
        return SystemWordsJa(part).value_or(std::string(part));
    }
    const std::string text(part);
    return text == english ? text : PhraseAtDepth(text, depth + 1);
}

std::string FillTemplate(const PhraseJaTemplate& phrase, const std::vector<std::string_view>& parts,
                         const std::string& english, int depth) {
    const std::vector<std::string_view> kinds = GapKinds(phrase.english);
    std::string out;
    const std::string_view ja = phrase.ja;
    for (std::size_t i = 0; i < ja.size(); ++i) {
        if (ja[i] == '$' && i + 1 < ja.size() && ja[i + 1] >= '1' && ja[i + 1] <= '9') {
            const std::size_t index = static_cast<std::size_t>(ja[i + 1] - '1');
            if (index < parts.size()) {
                out +=
                    GapJa(index < kinds.size() ? kinds[index] : "*", parts[index], english, depth);
            }
            ++i;
        } else {
            out += ja[i];
        }
    }
    return out;
}

// libcurl's words with its error number: a shape of the words this program knows, else the kind
// the number names with the words in brackets.
std::optional<std::string> LibcurlCauseJa(const std::vector<std::string_view>& parts, int depth) {
    const std::string words(parts[0]);
    const std::string known = PhraseAtDepth(words, depth + 1);
    if (known != words) {
        return known;
    }
    const std::string_view kind = CurlErrorJa(std::atoi(std::string(parts[1]).c_str()));
    if (kind.empty()) {
        return std::nullopt;
    }
    return std::string(kind) + " (" + words + ")";
}

std::string PhraseAtDepth(const std::string& english, int depth) {
    if (depth >= kPhraseDepth || english.size() > kPhraseLimit) {
        return english;
    }
    for (const PhraseJaTemplate& phrase : PhraseTemplatesJa()) {
        const auto parts = MatchPhraseTemplate(english, phrase.english);
        if (!parts) {
            continue;
        }
        if (phrase.english == kHttpStatus) {
            return HttpStatusJa(std::atol(std::string((*parts)[0]).c_str()));
        }
        if (phrase.english != kLibcurlCause) {
            return FillTemplate(phrase, *parts, english, depth);
        }
        if (std::optional<std::string> curl = LibcurlCauseJa(*parts, depth)) {
            return *curl;
        }
    }
    return english;
}

std::string FileList(const JobOutcome& outcome, FileState state) {
    return FileListOf(
        outcome, state, kFilesShown,
        [](const OutputFile& file) {
            return file.path + (file.reason.empty() ? "" : " (" + PhraseJa(file.reason) + ")");
        },
        [](std::size_t more) {
            return " (他 " + Thousands(static_cast<long long>(more)) + " 件)";
        });
}

std::string ExpectedJa(const CheckFinding& finding, const FindingFacts& f) {
    switch (finding.kind) {
        case FindingKind::kCloseDiffers:
            return "株価履歴の終値 " + f.expected;
        case FindingKind::kMissingDay:
            return "すべての取引日の行";
        case FindingKind::kClosedDayBar:
            return f.closure == Closure::kNoSuchDay
                       ? "行なし (存在しない日付)"
                       : "行なし (取引所の休業日: " + ClosureJa(f) + ")";
        case FindingKind::kBeyondLimit:
        case FindingKind::kWidenedLimit:
            return "前日終値 " + f.previousClose + " の値幅制限 ±" + f.limit + " の範囲 (" +
                   f.lowest + "〜" + f.highest + ") の終値";
        case FindingKind::kNoQuote:
            return "取引日の行";
        case FindingKind::kStaleHistory:
            return "検証した日 " + f.date + " までの株価履歴";
    }
    return {};
}

std::string FoundJa(const CheckFinding& finding, const FindingFacts& f) {
    switch (finding.kind) {
        case FindingKind::kCloseDiffers:
            return "当日の株価ファイルの終値 " + f.found;
        case FindingKind::kMissingDay:
            return f.missingDays == 1
                       ? f.date + " の行がない"
                       : f.date + " から " + f.otherDay + " までの行がない (取引日 " +
                             std::to_string(f.missingDays) + " 日分)";
        case FindingKind::kClosedDayBar:
            return "終値 " + f.found + " の行";
        case FindingKind::kBeyondLimit:
            return "終値 " + f.found + " (値幅制限の " + f.times + " 倍の変動)";
        case FindingKind::kWidenedLimit:
            return "終値 " + f.found + " (値幅制限の " + f.times +
                   " 倍の変動。制限値幅の拡大なら 4 倍まであり得ます)";
        case FindingKind::kNoQuote:
            if (f.volume > 0) {
                return "行がない (株価履歴ではこの日に出来高 " + Thousands(f.volume) +
                       " の売買あり)";
            }
            return f.volume < 0 ? "行がない (株価履歴にもこの日の行がない)"
                                : "行がない (株価履歴ではこの日の売買なし)";
        case FindingKind::kStaleHistory:
            return "最終日 " + f.otherDay +
                   (finding.reportedCurrent ? " (直前の更新では最新と報告)" : "");
    }
    return {};
}

std::string EndJa(const JobOutcome& outcome) {
    static constexpr EndWords kWords{"、", "で中断", "、中断: ", "、キャンセル",
                                     "、エラーで終了: "};
    return EndPart(outcome, kWords, PhraseJa);
}

}  // namespace

std::string SeverityJa(Severity severity) {
    return severity == Severity::kWarning ? "警告" : "注意";
}

std::string FindingKindJa(FindingKind kind) {
    switch (kind) {
        case FindingKind::kCloseDiffers:
            return "終値の不一致";
        case FindingKind::kMissingDay:
            return "取引日の欠落";
        case FindingKind::kClosedDayBar:
            return "休業日の行";
        case FindingKind::kBeyondLimit:
            return "値幅制限を超える変動";
        case FindingKind::kWidenedLimit:
            return "値幅制限を超える変動 (拡大値幅の範囲内)";
        case FindingKind::kNoQuote:
            return "株価がない";
        case FindingKind::kStaleHistory:
            return "古い株価履歴";
    }
    return {};
}

std::string ClosureJa(const FindingFacts& facts) {
    switch (facts.closure) {
        case Closure::kWeekend:
            return "土曜日・日曜日";
        case Closure::kHoliday:
            return "祝日 (" + SjisToUtf8(HolidayNameSjis(facts.holiday)) + ")";
        case Closure::kYearEnd:
            return "年末年始の休業";
        case Closure::kMarketHalt:
            return "終日売買が停止された日";
        case Closure::kNoSuchDay:
            return "存在しない日付";
        case Closure::kOpen:
            break;
    }
    return "取引日";
}

FindingRowJa FindingRowOf(const CheckFinding& finding, const std::string& name) {
    const FindingFacts facts = FactsOf(finding);
    FindingRowJa row;
    row.severity = SeverityJa(finding.severity);
    row.stock = facts.code + (name.empty() ? "" : " " + name);
    row.date = facts.date;
    row.kind = FindingKindJa(finding.kind);
    row.expected = ExpectedJa(finding, facts);
    row.found = FoundJa(finding, facts);
    return row;
}

std::string FindingLineJa(const CheckFinding& finding, const std::string& name) {
    const FindingRowJa row = FindingRowOf(finding, name);
    return row.severity + " " + row.stock + " " + row.date + " " + row.kind + ": 想定は" +
           row.expected + "、実際は" + row.found;
}

std::string FindingsCountJa(const JobOutcome& outcome) {
    if (outcome.findings.empty()) {
        return "指摘なし";
    }
    long long warnings = 0;
    for (const CheckFinding& finding : outcome.findings) {
        warnings += finding.severity == Severity::kWarning ? 1 : 0;
    }
    const auto all = static_cast<long long>(outcome.findings.size());
    return "指摘 " + Thousands(all) + " 件 (警告 " + Thousands(warnings) + " 件、注意 " +
           Thousands(all - warnings) + " 件)";
}

std::string Thousands(long long value) {
    std::string digits = std::to_string(value < 0 ? -value : value);
    for (int i = static_cast<int>(digits.size()) - 3; i > 0; i -= 3) {
        digits.insert(static_cast<std::size_t>(i), ",");
    }
    return (value < 0 ? "-" : "") + digits;
}

std::string PhraseJa(const std::string& english) {
    // Some texts of the core hold one phrase a line (every host whose URLs do not fit).
    if (english.find('\n') == std::string::npos || english.size() > kPhraseLimit) {
        return PhraseAtDepth(english, 0);
    }
    std::string out;
    std::size_t from = 0;
    while (from <= english.size()) {
        const std::size_t end = std::min(english.find('\n', from), english.size());
        out += (from == 0 ? "" : "\n") + PhraseAtDepth(english.substr(from, end - from), 0);
        from = end + 1;
    }
    return out;
}

std::string JobNameJa(const std::string& job) {
    if (job == "fetch") {
        return "株価取得";
    }
    if (job == "fetchlist") {
        return "fetchlist.csv生成";
    }
    if (job == "kdt") {
        return "株価履歴取得";
    }
    if (job == "profiles") {
        return "基本情報取得";
    }
    if (job == "performance") {
        return "業績情報取得";
    }
    if (job == "check") {
        return "データの検証";
    }
    return job;
}

std::string SummaryJa(const JobOutcome& outcome) {
    std::string line = JobNameJa(outcome.job) + ": ";
    if (outcome.end == JobEnd::kNotRun) {
        return line + "実行していません" +
               (outcome.endCause.empty() ? "" : " (" + PhraseJa(outcome.endCause) + ")");
    }
    line += Thousands(outcome.itemsDone) + "/" + Thousands(outcome.itemsTotal) + " " +
            UnitJa(outcome.unit);
    if (CountsExtracted(outcome.job)) {
        line += "、抽出 " + Thousands(outcome.extracted) + "、抽出できず " +
                Thousands(outcome.notExtracted);
    }
    if (outcome.stocksListed > 0) {
        line += "、一覧 " + Thousands(outcome.stocksListed) + " 銘柄";
    }
    if (outcome.historiesUpdated + outcome.historiesFetched > 0) {
        line += "、差分更新 " + Thousands(outcome.historiesUpdated) + " 銘柄、全期間取得 " +
                Thousands(outcome.historiesFetched) + " 銘柄";
    }
    if (!outcome.WritesFiles()) {
        // What was held against what, and what the check found: findings are no failures.
        line += "、株価 " + Thousands(outcome.quotesChecked) + " 銘柄と株価履歴 " +
                Thousands(outcome.historiesChecked) + " 銘柄を検証、" + FindingsCountJa(outcome);
    }
    if (!outcome.failures.empty()) {
        line += "、失敗 " + Thousands(static_cast<long long>(outcome.failures.size())) + " 件";
    }
    line += EndJa(outcome);
    if (!outcome.quoteDate.empty()) {
        line += "、" + outcome.quoteDate +
                (outcome.job == "performance" ? " の業績"
                 : outcome.WritesFiles()      ? " の株価"
                                              : " の取引日");
    }
    if (!outcome.WritesFiles() && outcome.files.empty()) {
        return line;
    }
    line += FilesPart({"。書いたファイル: ", "。残したファイル: ", "。書けなかったファイル: ",
                       "。ファイルは書いていません"},
                      [&outcome](FileState state) { return FileList(outcome, state); });
    return line;
}

std::string NeverAskedJa(const JobOutcome& outcome) {
    if (outcome.end == JobEnd::kCompleted || outcome.end == JobEnd::kNotRun ||
        outcome.itemsDone >= outcome.itemsTotal) {
        return {};
    }
    return Thousands(outcome.itemsTotal - outcome.itemsDone) + " " + UnitJa(outcome.unit) +
           "は未取得";
}

bool NeedsAttention(const JobOutcome& outcome) {
    return !outcome.failures.empty() || outcome.AnyFileFailed() ||
           outcome.end == JobEnd::kStopped || outcome.end == JobEnd::kCancelled ||
           outcome.end == JobEnd::kException;
}

std::vector<FailureGroupJa> FailureGroupsJa(const JobOutcome& outcome) {
    std::vector<FailureGroupJa> groups;
    for (const auto& [cause, members] : GroupByCause(outcome)) {
        FailureGroupJa& group = groups.emplace_back(FailureGroupJa{PhraseJa(cause), {}});
        for (const ItemFailure* failure : members) {
            FailureRowJa row;
            row.what = PhraseJa(failure->what);
            for (std::size_t i = 0; i < failure->codes.size(); ++i) {
                row.codes += (i == 0 ? "" : ", ") + Code(failure->codes[i]);
            }
            row.where = failure->where;
            row.action = PhraseJa(failure->action);
            group.rows.push_back(std::move(row));
        }
    }
    return groups;
}

}  // namespace tickora::gui
