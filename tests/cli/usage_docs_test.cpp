// SPDX-License-Identifier: GPL-3.0-or-later
// The usage, the manual pages and the bash completion name the same options: an option added to
// a program and forgotten in its page or its completion fails here.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <regex>
#include <set>
#include <string>

#include "cli/command_line.h"
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
const std::regex kUsageOption("(--[a-z][a-z-]*[a-z])");
const std::regex kManOption("\\*(--[a-z][a-z-]*[a-z])");

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
    const std::set<std::string> man = OptionsIn(
        test::ReadFileBytes(test::SourcePath("docs/man/tickora-cli.1.scd")), kManOption);
    const std::set<std::string> completion = OptionsIn(
        test::ReadFileBytes(test::SourcePath("res/completion/tickora-cli")), kUsageOption);
    for (const std::string& option : usage) {
        EXPECT_TRUE(man.count(option)) << option << " is not in tickora-cli(1)";
        EXPECT_TRUE(completion.count(option)) << option << " is not in the bash completion";
    }
}

#ifdef TICKORA_SITE_BINARY
TEST(UsageDocs, TickoraSiteHelpSucceedsAndItsManualPageNamesEveryOption) {
    const ProgramOutput help = RunProgram(std::string(TICKORA_SITE_BINARY) + " --help");
    EXPECT_EQ(help.status, 0);
    const std::set<std::string> usage = OptionsIn(help.out, kUsageOption);
    ASSERT_TRUE(usage.count("--latency")) << help.out;
    const std::set<std::string> man = OptionsIn(
        test::ReadFileBytes(test::SourcePath("docs/man/tickora-site.1.scd")), kManOption);
    for (const std::string& option : usage) {
        EXPECT_TRUE(man.count(option)) << option << " is not in tickora-site(1)";
    }
    EXPECT_EQ(RunProgram(std::string(TICKORA_SITE_BINARY) + " --no-such 2>/dev/null").status, 2);
}
#endif

}  // namespace
}  // namespace tickora
