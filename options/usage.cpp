// SPDX-License-Identifier: GPL-3.0-or-later
#include "options/usage.h"

#include <algorithm>
#include <string_view>

#include "options/option_table.h"
#include "web/hosts.h"

namespace tickora::options {
namespace {

// Where the help texts begin, and where they end: the width of a terminal.
constexpr std::size_t kHelpColumn = 23;
constexpr std::size_t kWidth = 80;

std::string Named(const OptionEntry& entry) {
    std::string named = "--" + std::string(entry.name);
    if (entry.TakesValue()) {
        named += " " + std::string(entry.value);
    }
    return named;
}

// The help text under its heading, wrapped at the words to fit a terminal of kWidth columns from
// the help column on; a heading too long for that column gets a line of its own.
std::string Item(const std::string& heading, std::string_view help) {
    std::string text = heading;
    if (text.size() + 1 > kHelpColumn) {
        text += "\n" + std::string(kHelpColumn, ' ');
    } else {
        text += std::string(kHelpColumn - text.size(), ' ');
    }
    constexpr std::string_view kDefaultSiteGap = "<default site>";
    std::string body(help);
    if (const auto gap = body.find(kDefaultSiteGap); gap != std::string::npos) {
        body.replace(gap, kDefaultSiteGap.size(), kDefaultSite);
    }
    std::size_t line = 0;  // what the current line holds past the help column
    for (std::size_t at = 0; at < body.size();) {
        const std::size_t end = std::min(body.find(' ', at), body.size());
        const std::string word = body.substr(at, end - at);
        if (line != 0 && kHelpColumn + line + 1 + word.size() > kWidth) {
            text += "\n" + std::string(kHelpColumn, ' ');
            line = 0;
        }
        text += (line != 0 ? " " : "") + word;
        line += (line != 0 ? 1 : 0) + word.size();
        at = end + 1;
    }
    return text + "\n";
}

enum class Group { kProgram, kConnection, kCommand };

Group GroupOf(const OptionEntry& entry) {
    if (entry.opt == Opt::kConnection) {
        return Group::kConnection;
    }
    return entry.commands == kAnywhere ? Group::kProgram : Group::kCommand;
}

// Every option of the group that program names in its usage, --help and --version as one line.
std::string OptionList(Program program, Group group) {
    std::string text;
    for (const OptionEntry& entry : kOptions) {
        if (!Documented(entry, program) || GroupOf(entry) != group || entry.opt == Opt::kVersion) {
            continue;
        }
        if (entry.opt == Opt::kHelp) {
            text += Item("  --help, --version", "this text; the program's version");
        } else {
            text += Item("  " + Named(entry), entry.help);
        }
    }
    return text;
}

// "[--workdir DIR] [CONNECTION OPTIONS] [--json] [--wait] ": the options of the program that
// stand anywhere, the connection options named as one.
std::string ProgramSynopsis(Program program) {
    std::string text;
    bool connection = false;
    for (const OptionEntry& entry : kOptions) {
        if (!Documented(entry, program) || entry.opt == Opt::kHelp || entry.opt == Opt::kVersion ||
            entry.opt == Opt::kChart) {
            continue;
        }
        if (GroupOf(entry) == Group::kProgram) {
            text += "[" + Named(entry) + "] ";
        } else if (GroupOf(entry) == Group::kConnection && !connection) {
            connection = true;
            text += "[CONNECTION OPTIONS] ";
        }
    }
    return text;
}

// Each command with what it does, and under it its own options.
std::string CommandList() {
    std::string text;
    for (const CommandEntry& command : kCommands) {
        text += Item("  " + std::string(command.name), command.help);
        for (const OptionEntry& entry : kOptions) {
            if (entry.commands[0] == command.command || entry.commands[1] == command.command) {
                text += Item("    " + Named(entry), entry.help);
            }
        }
    }
    return text;
}

}  // namespace

std::string CliUsageText() {
    return "usage: tickora-cli " + ProgramSynopsis(Program::kCli) +
           "COMMAND [OPTIONS]\n"
           "\n"
           "commands, each with its own options:\n" +
           CommandList() +
           "\n"
           "options:\n" +
           OptionList(Program::kCli, Group::kProgram) +
           "\n"
           "connection options (over TICKORA_* variables, over connection.toml):\n" +
           OptionList(Program::kCli, Group::kConnection) +
           "\n"
           "exit status:\n"
           "  0  ran to its end, every item succeeded; or a retry found that the last run\n"
           "     failed nothing\n"
           "  1  ended early: a failed download ended it as its rules say, Cancel, an error,\n"
           "     or nothing could be written; or it did not start (no stocks in\n"
           "     fetchlist.csv, no earlier run to retry, or its line in history.jsonl\n"
           "     cannot be read)\n"
           "  2  usage error, a bad connection setting, or no such output folder\n"
           "  3  market.csv missing\n"
           "  4  ran to its end, but some items failed, each named in the summary\n"
           "  5  another job is using the working folder (see --wait)\n";
}

std::string DesktopUsageText() {
    std::string synopsis = ProgramSynopsis(Program::kDesktop);
    synopsis.pop_back();
    return "usage: tickora " + synopsis +
           "\n"
           "       tickora [--workdir DIR] --chart CODE\n"
           "       tickora --help | --version\n"
           "\n"
           "The desktop program. Without --workdir it works in TICKORA_HOME, else in the\n"
           "current folder when that holds Tickora.ini or market.csv, else in\n"
           "~/.local/share/tickora, which it sets up with the installed market.csv.\n"
           "\n"
           "options:\n" +
           OptionList(Program::kDesktop, Group::kProgram) +
           "\n"
           "connection options (over the TICKORA_* variables, over connection.toml in the\n"
           "working folder, which 編集 > 接続設定... edits):\n" +
           OptionList(Program::kDesktop, Group::kConnection) +
           "\n"
           "See tickora(1) and tickora-cli(1).\n";
}

}  // namespace tickora::options
