// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/outcome_ja.h"

#include <cstdio>
#include <regex>
#include <utility>

#include "jobs/outcome_text.h"

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

// The phrases the jobs use, whole.
const std::pair<const char*, const char*> kPhrases[] = {
    {"its stocks counted as not extracted", "抽出できなかった銘柄として数えた"},
    {"the list is kept", "リストはそのまま"},
    {"its market kept", "市場はそのまま"},
    {"its record kept", "記録はそのまま"},
    {"the stored history kept", "保存済みの履歴はそのまま"},
    {"no history file", "履歴ファイルなし"},
    {"no daily file written", "株取虫ファイルは書いていません"},
    {"the daily quote file", "株取虫ファイル"},
    {"the performance file", "業績ファイル"},
    {"a job is running", "処理の実行中です"},
    {"cancelled", "キャンセル"},
    {"cancelled during the transfer", "転送中にキャンセル"},
    {"a page failed", "ページの取得に失敗"},
    {"no day was read", "読めた日がありません"},
    {"no quote was fetched", "株価を1件も取得できませんでした"},
    {"no stock was listed", "一覧に銘柄がありません"},
    {"it could not be written", "書けませんでした"},
    {"the page holds no listing rows", "ページに銘柄の行がありません"},
    {"the list could not be written", "リストを書けませんでした"},
    {"transfer failed", "転送に失敗"},
    {"time-out", "時間切れ"},
    {"page too large", "ページが大きすぎます"},
    {"page not stored", "ページを保存できません"},
    {"HTTP status", "HTTP エラー"},
    {"Couldn't connect to server", "サーバーに接続できません"},
    {"Connection refused", "接続を拒否されました"},
    {"Timeout was reached", "時間切れ"},
};

// The phrases that carry a number, a code or a path; $n are the groups, each turned into
// Japanese in its turn when it is a phrase itself.
struct Pattern {
    std::regex re;
    const char* ja;
};

const std::vector<Pattern>& Patterns() {
    static const std::vector<Pattern> patterns = [] {
        const std::pair<const char*, const char*> table[] = {
            {R"(^(\d+) stocks? of block (\d+)$)", "ブロック $2 の $1 銘柄"},
            {R"(^page (\d+) of (\d+)$)", "$2 の $1 ページ目"},
            {R"(^listing page (\d+)$)", "一覧ページ $1"},
            {R"(^the profile of (\d+)$)", "$1 の基本情報"},
            {R"(^the history of (\d+)$)", "$1 の履歴"},
            {R"(^written from the (\d+) days before$)", "それまでの $1 日分で書いた"},
            {R"(^another Tickora job \(pid (\d+)\) is using (.*)$)",
             "別の Tickora の処理 (pid $1) が $2 を使っています"},
            {R"(^another Tickora job is using (.*)$)", "別の Tickora の処理が $1 を使っています"},
            {R"(^cannot lock (.*): (.*)$)", "$1 をロックできません: $2"},
            {R"(^fetchlist\.csv has no stocks.*$)",
             "fetchlist.csv に銘柄がないため、取得するものがありません"},
            {R"(^code (\d+) is not in fetchlist\.csv.*$)",
             "コード $1 は fetchlist.csv にないため、履歴を求められません"},
            {R"(^the page arrived only in part \((.*)\)$)",
             "ページが一部しか届きませんでした ($1)"},
            {R"(^Failed to connect to (\S+) port (\d+).*$)", "$1 のポート $2 に接続できません"},
            {R"(^Could not resolve host: (\S+).*$)", "ホスト $1 が見つかりません"},
            {R"(^Operation timed out.*$)", "時間切れ"},
            {R"(^Connection timed out.*$)", "時間切れ"},
            {R"(^(.*) \(([^()]*)\)$)", "$1 ($2)"},
        };
        std::vector<Pattern> list;
        for (const auto& [re, ja] : table) {
            list.push_back({std::regex(re), ja});
        }
        return list;
    }();
    return patterns;
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

std::string EndJa(const JobOutcome& outcome) {
    static constexpr EndWords kWords{"、", "で中断", "、中断: ", "、キャンセル",
                                     "、エラーで終了: "};
    return EndPart(outcome, kWords, PhraseJa);
}

}  // namespace

std::string Thousands(long long value) {
    std::string digits = std::to_string(value < 0 ? -value : value);
    for (int i = static_cast<int>(digits.size()) - 3; i > 0; i -= 3) {
        digits.insert(static_cast<std::size_t>(i), ",");
    }
    return (value < 0 ? "-" : "") + digits;
}

std::string PhraseJa(const std::string& english) {
    for (const auto& [en, ja] : kPhrases) {
        if (english == en) {
            return ja;
        }
    }
    for (const Pattern& pattern : Patterns()) {
        std::smatch match;
        if (!std::regex_match(english, match, pattern.re)) {
            continue;
        }
        std::string out;
        for (const char* p = pattern.ja; *p != '\0'; ++p) {
            if (*p == '$' && p[1] >= '1' && p[1] <= '9') {
                const std::size_t group = static_cast<std::size_t>(p[1] - '0');
                const std::string part = group < match.size() ? match[group].str() : "";
                // A group that is a phrase in its own right ("HTTP status (..)") is turned too;
                // the catch-all last pattern must not feed itself the same text again.
                out += part == english ? part : PhraseJa(part);
                ++p;
            } else {
                out += *p;
            }
        }
        return out;
    }
    return english;
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
    if (!outcome.failures.empty()) {
        line += "、失敗 " + Thousands(static_cast<long long>(outcome.failures.size())) + " 件";
    }
    line += EndJa(outcome);
    if (!outcome.quoteDate.empty()) {
        line += "、" + outcome.quoteDate + (outcome.job == "performance" ? " の業績" : " の株価");
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
