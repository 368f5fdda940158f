// SPDX-License-Identifier: GPL-3.0-or-later
// Both programs' --help against the option table they are made from: each names every option its
// program takes and documents, and nothing else, and the built programs print exactly that text.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <regex>
#include <set>
#include <string>

#include "options/option_table.h"
#include "options/usage.h"

namespace tickora::options {
namespace {

std::set<std::string> OptionsIn(const std::string& text) {
    static const std::regex kOption("(--[a-z][a-z0-9-]*[a-z0-9])");
    std::set<std::string> found;
    for (auto it = std::sregex_iterator(text.begin(), text.end(), kOption);
         it != std::sregex_iterator(); ++it) {
        found.insert((*it)[1].str());
    }
    return found;
}

std::set<std::string> DocumentedOptions(Program program) {
    std::set<std::string> names;
    for (const OptionEntry& entry : kOptions) {
        if (Documented(entry, program)) {
            names.insert("--" + std::string(entry.name));
        }
    }
    return names;
}

std::string StandardOutputOf(const std::string& command, int& status) {
    std::string out;
    std::FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        status = -1;
        return out;
    }
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
        out.append(buffer, n);
    }
    const int waited = pclose(pipe);
    status = WIFEXITED(waited) ? WEXITSTATUS(waited) : -1;
    return out;
}

struct ProgramCase {
    const char* name;
    Program program;
    std::string (*usage)();
    const char* binary;  // the built program, when the build has it
};

const char* const kNoBinary = nullptr;

#ifdef TICKORA_BINARY
const char* const kDesktopBinary = TICKORA_BINARY;
#else
const char* const kDesktopBinary = kNoBinary;
#endif
#ifdef TICKORA_CLI_BINARY
const char* const kCliBinary = TICKORA_CLI_BINARY;
#else
const char* const kCliBinary = kNoBinary;
#endif

const ProgramCase kPrograms[] = {
    {"tickora-cli", Program::kCli, &CliUsageText, kCliBinary},
    {"tickora", Program::kDesktop, &DesktopUsageText, kDesktopBinary},
};

TEST(UsageText, EachProgramsHelpNamesExactlyTheOptionsItTakesAndDocuments) {
    for (const ProgramCase& c : kPrograms) {
        SCOPED_TRACE(c.name);
        const std::string usage = c.usage();
        EXPECT_EQ(OptionsIn(usage), DocumentedOptions(c.program));
        EXPECT_EQ(usage.rfind(std::string("usage: ") + c.name + " ", 0), 0u) << usage;
    }
    // Both programs take every connection option the settings know, under one name each.
    for (const ConnectionKeyInfo& info : kConnectionKeys) {
        EXPECT_TRUE(OptionsIn(DesktopUsageText()).count(info.option)) << info.option;
        EXPECT_TRUE(OptionsIn(CliUsageText()).count(info.option)) << info.option;
    }
    EXPECT_FALSE(OptionsIn(DesktopUsageText()).count("--screenshot"));
    EXPECT_FALSE(OptionsIn(DesktopUsageText()).count("--json"));
}

// Every line of a help text but the synopsis, which is one line by custom, fits a terminal of
// 80 columns.
TEST(UsageText, NoLineIsWiderThanATerminal) {
    for (const ProgramCase& c : kPrograms) {
        const std::string usage = c.usage();
        std::size_t begin = usage.find('\n') + 1;
        for (std::size_t end; (end = usage.find('\n', begin)) != std::string::npos;
             begin = end + 1) {
            const std::string line = usage.substr(begin, end - begin);
            // Counted in a terminal's columns: a Japanese menu name's character takes two.
            std::size_t columns = 0;
            for (const unsigned char byte : line) {
                columns += byte < 0x80 ? 1 : (byte & 0xC0) == 0xC0 ? 2 : 0;
            }
            EXPECT_LE(columns, 80u) << c.name << ": " << line;
        }
        EXPECT_EQ(begin, usage.size()) << c.name << ": the last line is ended";
    }
}

TEST(UsageText, TheBuiltProgramsPrintTheTextMadeFromTheTable) {
    for (const ProgramCase& c : kPrograms) {
        if (c.binary == kNoBinary) {
            continue;
        }
        SCOPED_TRACE(c.name);
        int status = -1;
        // Without a display: the desktop program answers --help before it needs one.
        const std::string out = StandardOutputOf(
            std::string("env -u DISPLAY -u WAYLAND_DISPLAY ") + c.binary + " --help 2>/dev/null",
            status);
        EXPECT_EQ(status, 0);
        EXPECT_EQ(out, c.usage());
    }
}

}  // namespace
}  // namespace tickora::options
