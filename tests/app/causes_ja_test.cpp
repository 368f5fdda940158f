// SPDX-License-Identifier: GPL-3.0-or-later
// Japanese to the last word: every text the core can hand a person (jobs/cause_catalog.h), every
// kind of failed transfer libcurl names, every HTTP status, every file error and every setting
// that cannot be taken reads in Japanese in the desktop program. libcurl's own words may follow
// in brackets; names (HTTP, TLS, fetchlist.csv, the values a setting takes) stay as they are.
#include "app/causes_ja.h"

#include <curl/curl.h>
#include <gtest/gtest.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <set>
#include <string>
#include <string_view>

#include "app/outcome_ja.h"
#include "catalog/connection_settings.h"
#include "files/file_io.h"
#include "files/local_file.h"
#include "jobs/cause_catalog.h"
#include "jobs/job_steps.h"
#include "jobs/outcome_text.h"
#include "text/sjis.h"
#include "web/transfer_causes.h"

namespace tickora::gui {
namespace {

// Words that are names in either language: protocols, units, files, the values of a setting.
const std::set<std::string> kNames = {"http", "https", "socks", "tls",   "url",       "urls",
                                      "mib",  "kib",   "nul",   "pid",   "tickora",   "fetchlist",
                                      "csv",  "utf",   "shift", "jis",   "errorlog",  "txt",
                                      "kdt",  "fifo",  "auto",  "prior", "knowledge", "off"};

// The words of a text, lower-cased: its runs of two or more Latin letters.
std::set<std::string> WordsOf(std::string_view text) {
    std::set<std::string> words;
    std::string word;
    for (std::size_t i = 0; i <= text.size(); ++i) {
        const char c = i < text.size() ? text[i] : ' ';
        if (std::isalpha(static_cast<unsigned char>(c)) != 0) {
            word += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        } else {
            if (word.size() >= 2) {
                words.insert(word);
            }
            word.clear();
        }
    }
    return words;
}

// The template's own words, outside its gaps, less the names.
std::set<std::string> EnglishWordsOf(std::string_view pattern) {
    std::string literal;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == '{') {
            i = pattern.find('}', i);
            literal += ' ';
        } else {
            literal += pattern[i];
        }
    }
    std::set<std::string> words;
    for (const std::string& word : WordsOf(literal)) {
        if (kNames.count(word) == 0) {
            words.insert(word);
        }
    }
    return words;
}

// The template filled in with texts that hold no word: only its own words can stay English.
std::string Sample(std::string_view pattern) {
    std::string text;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] != '{') {
            text += pattern[i];
            continue;
        }
        const std::size_t close = pattern.find('}', i);
        const std::string_view kind = pattern.substr(i + 1, close - i - 1);
        text += kind == "n"   ? "12"
                : kind == "w" ? "0.0"
                : kind == "f" ? "/0/0"
                : kind == "e" ? std::strerror(ENOSPC)
                              : "0";
        i = close;
    }
    return text;
}

bool HasJapanese(std::string_view text) {
    // Every Japanese character is three bytes in UTF-8, led by 0xE3 to 0xE9 (kana, kanji) or
    // 0xEF (full-width forms).
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte >= 0xE3 && byte <= 0xE9) || byte == 0xEF) {
            return true;
        }
    }
    return false;
}

void ExpectNoEnglishLeft(const std::string& english, const std::string& ja,
                         const std::set<std::string>& words) {
    if (!words.empty()) {
        EXPECT_TRUE(HasJapanese(ja)) << english << " -> " << ja;
    }
    const std::set<std::string> left = WordsOf(ja);
    for (const std::string& word : words) {
        EXPECT_EQ(left.count(word), 0u) << "'" << word << "' in " << english << " -> " << ja;
    }
}

TEST(CausesJa, EveryTextTheCoreListsReadsInJapanese) {
    ASSERT_GT(CauseTemplates().size(), 100u);
    for (const CauseTemplate& entry : CauseTemplates()) {
        const std::string sample = Sample(entry.text);
        ASSERT_TRUE(IsCatalogued(sample)) << sample;
        const std::string ja = PhraseJa(sample);
        std::set<std::string> words = EnglishWordsOf(entry.text);
        if (entry.text.find("{e}") != std::string_view::npos) {
            const std::set<std::string> system = WordsOf(std::strerror(ENOSPC));
            words.insert(system.begin(), system.end());
        }
        ExpectNoEnglishLeft(sample, ja, words);
    }
}

TEST(CausesJa, EveryKindOfFailedTransferIsNamedAndLibcurlsWordsFollowInBrackets) {
    int named = 0;
    for (int code = 1; code < CURL_LAST; ++code) {
        const auto curlCode = static_cast<CURLcode>(code);
        if (std::string_view(curl_easy_strerror(curlCode)) == "Unknown error") {
            continue;  // a number libcurl no longer gives
        }
        SCOPED_TRACE(code);
        const std::string_view kind = CurlErrorJa(code);
        ASSERT_TRUE(HasJapanese(kind));
        EXPECT_EQ(PhraseJa(LibcurlCause(curlCode, "xyzzy 42")), std::string(kind) + " (xyzzy 42)");
        // Within the core's own shapes too: a TLS failure, and a page that came in part.
        const std::string tls = "TLS with 127.0.0.1 failed: " + LibcurlCause(curlCode, "xyzzy");
        EXPECT_EQ(PhraseJa(tls),
                  "127.0.0.1 との TLS 接続に失敗しました: " + std::string(kind) + " (xyzzy)");
        ++named;
    }
    EXPECT_GT(named, 80);
    // libcurl's words that say more than the number keep what they say.
    EXPECT_EQ(PhraseJa(LibcurlCause(CURLE_COULDNT_CONNECT,
                                    "Failed to connect to 127.0.0.1 port 8053 after 0 ms: "
                                    "Couldn't connect to server")),
              "127.0.0.1 のポート 8053 に接続できません");
    EXPECT_EQ(PhraseJa("the page arrived only in part (" +
                       LibcurlCause(CURLE_PARTIAL_FILE,
                                    "transfer closed with 2865 bytes remaining to read") +
                       ")"),
              "ページが一部しか届きませんでした (ページの途中で接続が切れました)");
}

TEST(CausesJa, EveryHttpStatusIsSaidInWordsWithItsNumber) {
    for (long status = 100; status < 600; ++status) {
        const std::string ja = PhraseJa(HttpStatusCause(status));
        EXPECT_TRUE(HasJapanese(ja)) << status;
        EXPECT_TRUE(ja.ends_with(" (HTTP " + std::to_string(status) + ")")) << ja;
    }
    EXPECT_EQ(PhraseJa("HTTP 503"), "サイトが一時的に利用できません (HTTP 503)");
    EXPECT_EQ(PhraseJa("HTTP 404"), "ページがありません (HTTP 404)");
    EXPECT_EQ(PhraseJa("HTTP 418"), "サイトが要求を受け付けませんでした (HTTP 418)");
}

TEST(CausesJa, EveryFileErrorIsSaidInJapaneseAfterItsPath) {
    for (const int error : FileErrorNumbers()) {
        SCOPED_TRACE(std::strerror(error));
        const std::optional<std::string> words = SystemWordsJa(std::strerror(error));
        ASSERT_TRUE(words.has_value());
        EXPECT_TRUE(HasJapanese(*words));
        // A cause names the file with the file layer's words (its own for a link and for what
        // is no regular file); a file's reason gives the system's words alone.
        const std::optional<std::string> fileWords = SystemWordsJa(LocalFileErrorText(error));
        ASSERT_TRUE(fileWords.has_value());
        EXPECT_EQ(PhraseJa(FileCause("/w/DS261207.DAT", error)), "/w/DS261207.DAT: " + *fileWords);
        ExpectNoEnglishLeft(std::strerror(error), PhraseJa(std::strerror(error)),
                            WordsOf(std::strerror(error)));
    }
    // A reader's bound is named with the words.
    const std::optional<std::string> overBound =
        SystemWordsJa(LocalFileErrorText(kFileTooLarge, 4 * 1024 * 1024));
    ASSERT_TRUE(overBound.has_value());
    EXPECT_TRUE(overBound->starts_with("4 MiB を超えていて")) << *overBound;
    EXPECT_TRUE(IsCatalogued("/w/fetchlist.csv: " +
                             LocalFileErrorText(kFileTooLarge, 4 * 1024 * 1024)));
    // Words the system does not have for this program stay as they came.
    EXPECT_EQ(PhraseJa("/w/x: the disk is tired"), "/w/x: the disk is tired");
}

TEST(CausesJa, EverySettingThatCannotBeTakenIsSaidInJapanese) {
    int said = 0;
    for (const ConnectionKeyInfo& info : ConnectionKeys()) {
        for (const char* bad : {"x y", "\x01", "99999999999", "ftp://a"}) {
            ConnectionLayer layer;
            const std::string rule = SetFromText(layer, info.key, bad);
            if (rule.empty()) {
                continue;
            }
            const std::string message =
                std::string(info.fileKey) + " " + rule + " (got '" + bad + "')";
            std::set<std::string> words = EnglishWordsOf(rule);
            words.insert("got");
            // The key keeps its name, which may hold words of the rule ("quote_host").
            std::string ja = PhraseJa(message);
            ASSERT_EQ(ja.rfind(info.fileKey, 0), 0u) << ja;
            ExpectNoEnglishLeft(message, ja.substr(std::strlen(info.fileKey)), words);
            ++said;
        }
    }
    EXPECT_GT(said, 20);
    EXPECT_EQ(PhraseJa("site must be an http:// or https:// URL with a host (got 'x')"),
              "site は http:// か https:// で始まり、ホスト名を含む URL にしてください (値: 'x')");
}

// A finding of kind on date, with numbers every kind can phrase.
CheckFinding SampleFinding(int kind, Severity severity, CalendarDate date) {
    CheckFinding finding;
    finding.kind = static_cast<FindingKind>(kind);
    finding.severity = severity;
    finding.code = 1301;
    finding.date = date;
    finding.expected = 3;
    finding.found = 1533;
    finding.previousClose = 1000;
    finding.otherDay = {2026, 12, 8};
    finding.reportedCurrent = true;
    return finding;
}

// The day's check in Japanese: every kind of finding, each severity and every reason the exchange
// was closed. A kind added to the check without its Japanese fails here.
TEST(CausesJa, EveryFindingOfTheDaysCheckReadsInJapanese) {
    // A weekday, a weekend, a holiday, the year-end closure, the one market halt, no day at all.
    const CalendarDate days[] = {{2026, 12, 4},  {2026, 12, 5}, {2026, 11, 23},
                                 {2026, 12, 31}, {2020, 10, 1}, {2026, 2, 30}};
    std::set<Closure> closures;
    for (int kind = 0; kind < kFindingKinds; ++kind) {
        SCOPED_TRACE(FindingKindWord(static_cast<FindingKind>(kind)));
        ASSERT_TRUE(HasJapanese(FindingKindJa(static_cast<FindingKind>(kind))));
        for (const Severity severity : {Severity::kNotice, Severity::kWarning}) {
            for (const CalendarDate& day : days) {
                const CheckFinding finding = SampleFinding(kind, severity, day);
                const std::string ja = FindingLineJa(finding, "極洋");
                ExpectNoEnglishLeft(FindingLine(finding), ja, WordsOf(FindingLine(finding)));
                // The stock by code and name, the day, and both numbers the files disagree on.
                const FindingRowJa row = FindingRowOf(finding, "極洋");
                EXPECT_EQ(row.stock, "1301 極洋");
                EXPECT_EQ(row.date, IsoDate(day));
                EXPECT_EQ(row.severity, severity == Severity::kWarning ? "警告" : "注意");
                EXPECT_TRUE(HasJapanese(row.expected) && HasJapanese(row.found)) << ja;
                closures.insert(FactsOf(finding).closure);
            }
        }
    }
    EXPECT_EQ(closures.size(), 6u) << "every reason the exchange was closed, and a trading day";
    for (const Closure closure : closures) {
        FindingFacts facts;
        facts.closure = closure;
        facts.holiday = Holiday::kNewYearsDay;
        EXPECT_TRUE(HasJapanese(ClosureJa(facts)));
    }
    for (int holiday = static_cast<int>(Holiday::kNewYearsDay);
         holiday <= static_cast<int>(Holiday::kEnthronementDay); ++holiday) {
        FindingFacts facts;
        facts.closure = Closure::kHoliday;
        facts.holiday = static_cast<Holiday>(holiday);
        EXPECT_TRUE(HasJapanese(SjisToUtf8(HolidayNameSjis(facts.holiday)))) << holiday;
    }
    // A stock the list does not name is shown by its code alone.
    EXPECT_EQ(FindingRowOf(SampleFinding(0, Severity::kWarning, days[0]), "").stock, "1301");
}

}  // namespace
}  // namespace tickora::gui
