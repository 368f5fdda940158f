// SPDX-License-Identifier: GPL-3.0-or-later
// The usage, the manual pages and the bash completion name the same options: an option added to
// a program and forgotten in its page or its completion fails here.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "cli/command_line.h"
#include "options/option_table.h"
#include "tests/support/temp_dir.h"

namespace tickora {
namespace {

std::set<std::string> OptionsIn(const std::string& text, const std::regex& pattern) {
    std::set<std::string> options;
    for (auto it = std::sregex_iterator(text.begin(), text.end(), pattern);
         it != std::sregex_iterator(); ++it) {
        options.insert((*it)[1].str());
    }
    return options;
}

// "--name" as the usage writes it; "*--name*" as a manual page sets it in bold.
const std::regex kUsageOption("(--[a-z][a-z0-9-]*[a-z0-9])");
const std::regex kManOption("\\*(--[a-z][a-z0-9-]*[a-z0-9])");

struct ProgramOutput {
    int status = -1;
    std::string out;
};

ProgramOutput RunProgram(const std::string& command) {
    ProgramOutput result;
    std::FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return result;
    }
    char buffer[4096];
    std::size_t read = 0;
    while ((read = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        result.out.append(buffer, read);
    }
    const int status = pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

TEST(UsageDocs, EveryOptionOfTheCliUsageIsInItsManualPageAndItsCompletion) {
    const std::set<std::string> usage = OptionsIn(cli::UsageText(), kUsageOption);
    ASSERT_GT(usage.size(), 20u);
    ASSERT_TRUE(usage.count("--retry-failed"));
    const std::set<std::string> man =
        OptionsIn(test::ReadFileBytes(test::SourcePath("docs/man/tickora-cli.1.scd")), kManOption);
    const std::set<std::string> completion = OptionsIn(
        test::ReadFileBytes(test::SourcePath("res/completion/tickora-cli")), kUsageOption);
    for (const std::string& option : usage) {
        EXPECT_TRUE(man.count(option)) << option << " is not in tickora-cli(1)";
        EXPECT_TRUE(completion.count(option)) << option << " is not in the bash completion";
    }
}

std::set<std::string> TableOptions(options::Program program, options::Command command) {
    std::set<std::string> options;
    for (const options::OptionEntry& entry : options::kOptions) {
        const bool here = command == options::Command::kNone
                              ? entry.commands == options::kAnywhere
                              : entry.commands[0] == command || entry.commands[1] == command;
        if (options::Documented(entry, program) && here) {
            options.insert("--" + std::string(entry.name));
        }
    }
    return options;
}

std::set<std::string> AllTableOptions(options::Program program) {
    std::set<std::string> options = TableOptions(program, options::Command::kNone);
    for (const options::CommandEntry& command : options::kCommands) {
        options.merge(TableOptions(program, command.command));
    }
    return options;
}

struct PageCase {
    const char* page;
    options::Program program;
};

// Both ways: an option in the table and not in the page, and a page naming an option no program
// takes (a rename half done, a hidden option let out).
TEST(UsageDocs, EachManualPageNamesExactlyItsProgramsOptionsOfTheTable) {
    const PageCase cases[] = {{"docs/man/tickora-cli.1.scd", options::Program::kCli},
                              {"docs/man/tickora.1.scd", options::Program::kDesktop}};
    for (const PageCase& c : cases) {
        std::set<std::string> man =
            OptionsIn(test::ReadFileBytes(test::SourcePath(c.page)), kManOption);
        man.erase("--name");  // "*--name* _value_": how any option takes its value
        EXPECT_EQ(man, AllTableOptions(c.program)) << c.page;
    }
    EXPECT_FALSE(AllTableOptions(options::Program::kDesktop).count("--screenshot"));
}

// The words of `local NAME="..."` or of `PATTERN) options="..."` in the completion script.
std::set<std::string> CompletionWords(const std::string& script, const std::string& assignment) {
    const std::regex line(assignment + "=\"([^\"]*)\"");
    std::smatch match;
    std::set<std::string> words;
    if (std::regex_search(script, match, line)) {
        std::istringstream list(match[1].str());
        for (std::string word; list >> word;) {
            if (word[0] != '$') {  // another list, checked on its own
                words.insert(word);
            }
        }
    }
    return words;
}

// The completion offers each command's own options after it and the others anywhere, as the
// table places them, and nothing the program would refuse.
TEST(UsageDocs, TheCompletionOffersWhatTheTableTakesWhereItTakesIt) {
    const std::string script = test::ReadFileBytes(test::SourcePath("res/completion/tickora-cli"));
    std::set<std::string> anywhere = CompletionWords(script, "local connection");
    anywhere.merge(CompletionWords(script, "local global"));
    EXPECT_EQ(anywhere, TableOptions(options::Program::kCli, options::Command::kNone));
    std::set<std::string> commands;
    for (const options::CommandEntry& command : options::kCommands) {
        commands.insert(command.name);
        const std::set<std::string> own = TableOptions(options::Program::kCli, command.command);
        const std::set<std::string> offered =
            CompletionWords(script, "\\b" + std::string(command.name) + "\\) options");
        EXPECT_EQ(offered, own) << command.name;
    }
    EXPECT_EQ(CompletionWords(script, "local commands"), commands);

    // After an option that takes a value, the completion offers values, never the options.
    const std::size_t values = script.find("case $prev in");
    ASSERT_NE(values, std::string::npos);
    const std::string valueArms = script.substr(values, script.find("esac", values) - values);
    std::set<std::string> takingValues;
    for (const options::OptionEntry& entry : options::kOptions) {
        if (entry.TakesValue() && options::Documented(entry, options::Program::kCli)) {
            takingValues.insert("--" + std::string(entry.name));
        }
    }
    EXPECT_EQ(OptionsIn(valueArms, kUsageOption), takingValues);
}

#ifdef TICKORA_SITE_BINARY
TEST(UsageDocs, TickoraSiteHelpSucceedsAndItsManualPageNamesEveryOption) {
    const ProgramOutput help = RunProgram(std::string(TICKORA_SITE_BINARY) + " --help");
    EXPECT_EQ(help.status, 0);
    const std::set<std::string> usage = OptionsIn(help.out, kUsageOption);
    ASSERT_TRUE(usage.count("--latency")) << help.out;
    const std::set<std::string> man =
        OptionsIn(test::ReadFileBytes(test::SourcePath("docs/man/tickora-site.1.scd")), kManOption);
    for (const std::string& option : usage) {
        EXPECT_TRUE(man.count(option)) << option << " is not in tickora-site(1)";
    }
    EXPECT_EQ(RunProgram(std::string(TICKORA_SITE_BINARY) + " --no-such 2>/dev/null").status, 2);
}
#endif

}  // namespace
}  // namespace tickora
