// SPDX-License-Identifier: GPL-3.0-or-later
// The command line: which argvs run which command with which options, and which are refused with
// what reason. Every limit is probed on both sides.
#include "cli/command_line.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "text/sjis.h"

namespace tickora::cli {
namespace {

using Args = std::vector<std::string>;

ParseResult Parse(const Args& args) {
    return ParseCommandLine(args);
}

struct CommandCase {
    Args args;
    Command command;
};

class ParsesCommand : public ::testing::TestWithParam<CommandCase> {};

TEST_P(ParsesCommand, ToItsCommand) {
    const ParseResult result = Parse(GetParam().args);
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_EQ(result.options.command, GetParam().command);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ParsesCommand,
    ::testing::Values(
        CommandCase{{"fetch"}, Command::kFetch}, CommandCase{{"fetchlist"}, Command::kFetchList},
        CommandCase{{"kdt", "--all"}, Command::kKdt}, CommandCase{{"profiles"}, Command::kProfiles},
        CommandCase{{"performance"}, Command::kPerformance},
        CommandCase{{"settings"}, Command::kSettings}, CommandCase{{"--help"}, Command::kHelp},
        CommandCase{{"-h"}, Command::kHelp}, CommandCase{{"fetch", "--help"}, Command::kHelp},
        CommandCase{{"--version"}, Command::kVersion},
        // --help wins over what would otherwise be an incomplete line.
        CommandCase{{"kdt", "--help"}, Command::kHelp}));

struct RefusedCase {
    Args args;
    std::string errorPart;  // a piece of the message that names the fault
};

class RefusesLine : public ::testing::TestWithParam<RefusedCase> {};

TEST_P(RefusesLine, WithAReason) {
    const ParseResult result = Parse(GetParam().args);
    ASSERT_FALSE(result.ok);
    EXPECT_NE(result.error.find(GetParam().errorPart), std::string::npos) << result.error;
    EXPECT_EQ(result.error.find('\n'), std::string::npos) << "one line";
}

INSTANTIATE_TEST_SUITE_P(
    Table, RefusesLine,
    ::testing::Values(RefusedCase{{}, "no command"},
                      RefusedCase{{"--workdir", "/tmp"}, "no command"},
                      RefusedCase{{"fetchh"}, "unknown command 'fetchh'"},
                      RefusedCase{{"fetch", "fetch"}, "unexpected argument 'fetch'"},
                      RefusedCase{{"--bogus", "fetch"}, "unknown option '--bogus'"},
                      RefusedCase{{"fetch", "--keep-html"}, "does not apply to fetch"},
                      RefusedCase{{"performance", "--days", "20"}, "does not apply to performance"},
                      RefusedCase{{"kdt", "--all", "--format", "1"}, "does not apply to kdt"},
                      RefusedCase{{"--keep-html", "fetchlist"}, "must follow its command"},
                      RefusedCase{{"kdt"}, "needs --code N or --all"},
                      RefusedCase{{"kdt", "--days", "100"}, "needs --code N or --all"},
                      RefusedCase{{"kdt", "--code", "1301", "--all"}, "not both"},
                      RefusedCase{{"kdt", "--code"}, "--code needs a value"},
                      RefusedCase{{"kdt", "--code", "--all"}, "--code needs a value"},
                      RefusedCase{{"kdt", "--code", "10000"}, "from 0 to 9999"},
                      RefusedCase{{"kdt", "--code", "-1"}, "from 0 to 9999"},
                      RefusedCase{{"kdt", "--code", "+5"}, "from 0 to 9999"},
                      RefusedCase{{"kdt", "--code", "0x10"}, "from 0 to 9999"},
                      RefusedCase{{"kdt", "--code", "4294967297"}, "from 0 to 9999"},
                      RefusedCase{{"kdt", "--code="}, "from 0 to 9999"},
                      RefusedCase{{"kdt", "--all", "--days", "9"}, "from 10 to 3000"},
                      RefusedCase{{"kdt", "--all", "--days", "3001"}, "from 10 to 3000"},
                      RefusedCase{{"kdt", "--all", "--days", " 20"}, "from 10 to 3000"},
                      RefusedCase{{"kdt", "--all", "--all"}, "given twice"},
                      RefusedCase{{"fetchlist", "--keep-html=1"}, "takes no value"},
                      RefusedCase{{"settings", "--format", "4"}, "from 0 to 3"},
                      RefusedCase{{"settings", "--format", "-1"}, "from 0 to 3"},
                      RefusedCase{{"settings", "--auto-start", "2"}, "from 0 to 1"},
                      RefusedCase{{"settings", "--exit-after-fetch", "yes"}, "from 0 to 1"},
                      RefusedCase{{"settings", "--decimals", ""}, "from 0 to 1"},
                      RefusedCase{{"settings", "--output-dir", ""}, "needs a folder"},
                      RefusedCase{{"settings", "--output-dir", "/tmp/\xF0\x9F\x98\x80"},
                                  "Shift-JIS"},
                      RefusedCase{{"settings", "--output-dir", "/tmp/\xC3\x28"}, "Shift-JIS"},
                      RefusedCase{{"--site", "ftp://example", "fetch"}, "http://"},
                      RefusedCase{{"--site", "http://", "fetch"}, "http://"},
                      RefusedCase{{"--site", "--workdir", "x", "fetch"}, "--site needs a value"},
                      RefusedCase{{"--workdir=", "fetch"}, "needs a folder"},
                      RefusedCase{{"--retries", "11", "fetch"}, "from 0 to 10"},
                      RefusedCase{{"fetch", "--pace", "60001"}, "from 0 to 60000"},
                      RefusedCase{{"fetch", "--page-timeout", "0"}, "from 1 to 3600"},
                      RefusedCase{{"--connections", "17", "fetch"}, "from 1 to 16"},
                      RefusedCase{{"--table-host", "t.example", "kdt", "--all"}, "http://"},
                      RefusedCase{{"--site=", "fetch"}, "--site needs a value"},
                      RefusedCase{{"fetch", "--retries", ""}, "--retries needs a value"},
                      RefusedCase{{"--pace", "1", "--pace", "2", "fetch"}, "given twice"},
                      // The desktop program's options and a one-dash form are not ours.
                      RefusedCase{{"--chart", "1", "fetch"}, "unknown option '--chart'"},
                      RefusedCase{{"fetch", "--quit-when-shown"}, "unknown option"},
                      RefusedCase{{"-site", "http://s", "fetch"}, "unknown command '-site'"}));

TEST(ParseCommandLine, KdtOptionsStartAtTheDialogValuesAndTakeTheGivenOnes) {
    ParseResult result = Parse({"kdt", "--code", "1301"});
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_EQ(result.options.job.code, 1301u);
    EXPECT_EQ(result.options.job.days, 200u);
    EXPECT_FALSE(result.options.job.allStocks);

    for (const auto& [text, days] : {std::pair{"10", 10u}, std::pair{"3000", 3000u}}) {
        result = Parse({"kdt", "--all", "--days", text});
        ASSERT_TRUE(result.ok) << result.error;
        EXPECT_TRUE(result.options.job.allStocks);
        EXPECT_EQ(result.options.job.days, days);
    }
    for (const auto& [text, code] : {std::pair{"0", 0u}, std::pair{"9999", 9999u}}) {
        result = Parse({"kdt", "--code=" + std::string(text)});
        ASSERT_TRUE(result.ok) << result.error;
        EXPECT_EQ(result.options.job.code, code);
    }
}

TEST(ParseCommandLine, ListSwitchesBelongToFetchListAndProfiles) {
    for (const char* command : {"fetchlist", "profiles"}) {
        const ParseResult result =
            Parse({command, "--added-only", "--use-kept-html", "--keep-html"});
        ASSERT_TRUE(result.ok) << result.error;
        EXPECT_TRUE(result.options.job.keepHtml);
        EXPECT_TRUE(result.options.job.addedOnly);
        EXPECT_TRUE(result.options.job.useKeptHtml);
    }
    const ParseResult none = Parse({"fetchlist"});
    ASSERT_TRUE(none.ok);
    EXPECT_FALSE(none.options.job.keepHtml || none.options.job.addedOnly ||
                 none.options.job.useKeptHtml);
}

TEST(ParseCommandLine, GlobalOptionsStandBeforeOrAfterTheCommand) {
    const ParseResult before = Parse({"--workdir", "/srv/tickora", "--site=http://h:1/", "fetch"});
    ASSERT_TRUE(before.ok) << before.error;
    EXPECT_EQ(before.options.workdir, "/srv/tickora");
    EXPECT_EQ(before.options.connection.site, "http://h:1/");
    EXPECT_FALSE(before.options.connection.retries.has_value());
    EXPECT_FALSE(before.options.connection.paceMs.has_value());

    const ParseResult after = Parse({"fetch", "--retries", "3", "--pace=250", "--workdir=w"});
    ASSERT_TRUE(after.ok) << after.error;
    EXPECT_EQ(after.options.connection.retries, 3);
    EXPECT_EQ(after.options.connection.paceMs, 250);
    EXPECT_EQ(after.options.workdir, "w");

    const ParseResult zero = Parse({"--retries=0", "--pace", "0", "fetch"});
    ASSERT_TRUE(zero.ok) << zero.error;
    EXPECT_EQ(zero.options.connection.retries, 0);
    EXPECT_EQ(zero.options.connection.paceMs, 0);
}

TEST(ParseCommandLine, ConnectionOptionsFillTheCommandLineLayer) {
    const ParseResult all =
        Parse({"--site", "http://s", "--quote-host=http://q", "--table-host", "http://t",
               "--profile-host", "https://p", "fetch", "--retries", "1", "--pace", "2",
               "--page-timeout", "3", "--connections", "4"});
    ASSERT_TRUE(all.ok) << all.error;
    ConnectionLayer expected;
    expected.site = "http://s";
    expected.quoteHost = "http://q";
    expected.tableHost = "http://t";
    expected.profileHost = "https://p";
    expected.retries = 1;
    expected.paceMs = 2;
    expected.pageTimeout = 3;
    expected.connections = 4;
    EXPECT_EQ(all.options.connection, expected);

    // For settings an empty value removes the key from the file.
    const ParseResult cleared = Parse({"settings", "--site=", "--connections", ""});
    ASSERT_TRUE(cleared.ok) << cleared.error;
    EXPECT_EQ(cleared.options.connectionCleared,
              (std::vector{ConnectionKey::kSite, ConnectionKey::kConnections}));
}

TEST(ParseCommandLine, SettingsChangesOnlyWhatIsGiven) {
    ParseResult result = Parse({"settings"});
    ASSERT_TRUE(result.ok);
    EXPECT_FALSE(result.options.settings.Any());

    result = Parse({"settings", "--format", "0", "--decimals", "1"});
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_EQ(result.options.settings.outputFormat, 0);
    EXPECT_EQ(result.options.settings.averageDecimals, 1);
    EXPECT_FALSE(result.options.settings.outputDirSjis);
    EXPECT_FALSE(result.options.settings.autoStart);
    EXPECT_FALSE(result.options.settings.exitAfterFetch);
}

// The record holds 127 bytes of Shift-JIS and its terminator: the limit is counted in Shift-JIS
// bytes, not in the UTF-8 bytes typed on the terminal (a kanji is 3 there and 2 in the record).
TEST(ParseCommandLine, OutputDirLimitIsCountedInShiftJisBytes) {
    const std::string kanji = "株";  // 3 bytes of UTF-8, 2 of Shift-JIS
    struct Case {
        std::string utf8;
        bool ok;
    };
    const Case cases[] = {
        {std::string(127, 'a'), true},
        {std::string(128, 'a'), false},
        {"/" +
             [&] {
                 std::string s;
                 for (int i = 0; i < 63; ++i) s += kanji;
                 return s;
             }(),
         true},  // 1 + 126 = 127 bytes, though 190 bytes of UTF-8
        {"/a" +
             [&] {
                 std::string s;
                 for (int i = 0; i < 63; ++i) s += kanji;
                 return s;
             }(),
         false},  // 128 bytes
    };
    for (const Case& c : cases) {
        const ParseResult result = Parse({"settings", "--output-dir", c.utf8});
        EXPECT_EQ(result.ok, c.ok) << c.utf8.size() << " UTF-8 bytes: " << result.error;
        if (c.ok) {
            ASSERT_TRUE(result.options.settings.outputDirSjis);
            EXPECT_LE(result.options.settings.outputDirSjis->size(), 127u);
            EXPECT_EQ(*result.options.settings.outputDirSjis, Utf8ToSjis(c.utf8));
        } else {
            EXPECT_NE(result.error.find("too long"), std::string::npos) << result.error;
        }
    }
}

// The connection settings name their options; the table must take each under that name.
TEST(ParseCommandLine, TheTableTakesEveryConnectionSettingUnderItsOptionName) {
    for (const ConnectionKeyInfo& info : ConnectionKeys()) {
        const auto* entry = std::find_if(kOptions.begin(), kOptions.end(), [&](const auto& e) {
            return info.option == "--" + std::string(e.name);
        });
        ASSERT_NE(entry, kOptions.end()) << info.option;
        EXPECT_EQ(entry->opt, Opt::kConnection) << info.option;
        EXPECT_EQ(entry->key, info.key) << info.option;
        EXPECT_EQ(entry->program, Program::kBoth) << info.option;
    }
}

TEST(ParseCommandLine, CommandNamesMatchTheJobNamesOfTheReports) {
    EXPECT_STREQ(CommandName(Command::kFetch), "fetch");
    EXPECT_STREQ(CommandName(Command::kFetchList), "fetchlist");
    EXPECT_STREQ(CommandName(Command::kKdt), "kdt");
    EXPECT_STREQ(CommandName(Command::kProfiles), "profiles");
    EXPECT_STREQ(CommandName(Command::kPerformance), "performance");
}

}  // namespace
}  // namespace tickora::cli
