// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/outcome_ja.h"

#include <cstdio>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

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
    {"it asks for a user name and password", "ユーザー名とパスワードが必要です"},
};

// The phrases that carry a number, a code or a path, as templates: {n} stands for digits, {w}
// for a run of non-blank bytes, {p} for text without parentheses, {*} for any text up to the
// last place where the template's next words stand, and {rest} for whatever follows, unused.
// $n in the Japanese are the placeholders' texts, each turned into Japanese in its turn when it
// is a phrase itself. A template is matched by a plain scan, never by a regular expression: the
// texts come from the run history on disk, of any length, and a backtracking matcher runs out of
// stack on a long one.
struct PhraseTemplate {
    const char* english;
    const char* ja;
};

constexpr PhraseTemplate kTemplates[] = {
    {"{n} stocks of block {n}", "ブロック $2 の $1 銘柄"},
    {"{n} stock of block {n}", "ブロック $2 の $1 銘柄"},
    {"page {n} of {n}", "$2 の $1 ページ目"},
    {"listing page {n}", "一覧ページ $1"},
    {"the profile of {n}", "$1 の基本情報"},
    {"the history of {n}", "$1 の履歴"},
    {"written from the {n} days before", "それまでの $1 日分で書いた"},
    {"another Tickora job (pid {n}) is using {*}",
     "別の Tickora の処理 (pid $1) が $2 を使っています"},
    {"another Tickora job is using {*}", "別の Tickora の処理が $1 を使っています"},
    {"cannot lock {*}: {*}", "$1 をロックできません: $2"},
    {"fetchlist.csv has no stocks{rest}",
     "fetchlist.csv に銘柄がないため、取得するものがありません"},
    {"code {n} is not in fetchlist.csv{rest}",
     "コード $1 は fetchlist.csv にないため、履歴を求められません"},
    {"the page arrived only in part ({*})", "ページが一部しか届きませんでした ($1)"},
    {"Failed to connect to {w} port {n}{rest}", "$1 のポート $2 に接続できません"},
    {"Could not resolve host: {w}{rest}", "ホスト $1 が見つかりません"},
    {"the proxy {w} cannot be reached: {*}", "プロキシ $1 に接続できません: $2"},
    {"the proxy {w} refused the tunnel to the site: {*}",
     "プロキシ $1 がサイトへの中継を拒否しました: $2"},
    {"the proxy {w} refused the request: {*}", "プロキシ $1 が要求を拒否しました: $2"},
    {"the proxy {w} failed: {*}", "プロキシ $1 でエラー: $2"},
    {"bad {w} body from the site: it does not decode",
     "サイトから届いた $1 圧縮の本文を展開できません"},
    {"Operation timed out{rest}", "時間切れ"},
    {"Connection timed out{rest}", "時間切れ"},
    {"{*} ({p})", "$1 ($2)"},
};

// A longer text is shown as it came: no phrase of the core is near this long, and one read from
// a damaged history file must cost no more than a short one.
constexpr std::size_t kPhraseLimit = 4096;
// Phrases inside phrases ("the page arrived only in part (... (...))") are turned this deep.
constexpr int kPhraseDepth = 6;

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

bool IsNotBlank(char c) {
    return c != ' ' && c != '\t' && c != '\n' && c != '\v' && c != '\f' && c != '\r';
}

bool IsNoParenthesis(char c) {
    return c != '(' && c != ')';
}

// The template's words from pos up to its next placeholder.
std::string_view WordsAt(std::string_view pattern, std::size_t pos) {
    const std::size_t brace = pattern.find('{', pos);
    return pattern.substr(pos, brace == std::string_view::npos ? brace : brace - pos);
}

// Where the placeholder kind, standing at at in text, ends; npos when it cannot stand there.
// next is the template's words after it.
std::size_t PlaceholderEnd(std::string_view kind, std::string_view text, std::size_t at,
                           std::string_view next) {
    bool (*in)(char) = kind == "n" ? IsDigit : kind == "w" ? IsNotBlank : IsNoParenthesis;
    if (kind == "*") {
        if (next.empty()) {
            return text.size();
        }
        const std::size_t last = text.rfind(next);
        return last == std::string_view::npos || last < at ? std::string_view::npos : last;
    }
    std::size_t end = at;
    while (end < text.size() && in(text[end])) {
        ++end;
    }
    const bool mayBeEmpty = kind == "p";
    return end == at && !mayBeEmpty ? std::string_view::npos : end;
}

// The placeholders' texts when text is the template filled in; nothing otherwise.
std::optional<std::vector<std::string_view>> MatchTemplate(std::string_view text,
                                                           std::string_view pattern) {
    std::vector<std::string_view> parts;
    std::size_t at = 0;
    std::size_t pos = 0;
    while (pos < pattern.size()) {
        if (pattern[pos] != '{') {
            const std::string_view words = WordsAt(pattern, pos);
            if (text.substr(at, words.size()) != words) {
                return std::nullopt;
            }
            at += words.size();
            pos += words.size();
            continue;
        }
        const std::size_t close = pattern.find('}', pos);
        const std::string_view kind = pattern.substr(pos + 1, close - pos - 1);
        pos = close + 1;
        if (kind == "rest") {
            return parts;
        }
        const std::size_t end = PlaceholderEnd(kind, text, at, WordsAt(pattern, pos));
        if (end == std::string_view::npos) {
            return std::nullopt;
        }
        parts.push_back(text.substr(at, end - at));
        at = end;
    }
    if (at != text.size()) {
        return std::nullopt;
    }
    return parts;
}

std::string PhraseAtDepth(const std::string& english, int depth);

std::string FillTemplate(const char* ja, const std::vector<std::string_view>& parts,
                         const std::string& english, int depth) {
    std::string out;
    for (const char* p = ja; *p != '\0'; ++p) {
        if (*p == '$' && p[1] >= '1' && p[1] <= '9') {
            const std::size_t index = static_cast<std::size_t>(p[1] - '1');
            const std::string part = index < parts.size() ? std::string(parts[index]) : "";
            out += part == english ? part : PhraseAtDepth(part, depth + 1);
            ++p;
        } else {
            out += *p;
        }
    }
    return out;
}

std::string PhraseAtDepth(const std::string& english, int depth) {
    for (const auto& [en, ja] : kPhrases) {
        if (english == en) {
            return ja;
        }
    }
    if (depth >= kPhraseDepth || english.size() > kPhraseLimit) {
        return english;
    }
    for (const PhraseTemplate& phrase : kTemplates) {
        if (const auto parts = MatchTemplate(english, phrase.english)) {
            return FillTemplate(phrase.ja, *parts, english, depth);
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
    return PhraseAtDepth(english, 0);
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
