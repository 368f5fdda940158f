// SPDX-License-Identifier: GPL-3.0-or-later
#include "options/option_table.h"

#include "text/named_values.h"

namespace tickora::options {
namespace {

const OptionEntry* FindOption(std::string_view name, Program program) {
    for (const auto& entry : kOptions) {
        if (name == entry.name && TakenBy(entry, program)) {
            return &entry;
        }
    }
    return nullptr;
}

bool BelongsTo(const OptionEntry& entry, Command command) {
    if (entry.commands[0] == Command::kNone) {
        return true;
    }
    return entry.commands[0] == command || entry.commands[1] == command;
}

ReadOption Refused(std::string error) {
    ReadOption read;
    read.kind = ReadOption::Kind::kError;
    read.error = std::move(error);
    return read;
}

}  // namespace

const char* CommandName(Command command) {
    for (const auto& entry : kCommands) {
        if (entry.command == command) {
            return entry.name;
        }
    }
    // help and version start no job, so the table of commands leaves them out.
    static constexpr NamedValue<Command> kOthers[] = {{Command::kHelp, "help"},
                                                      {Command::kVersion, "version"}};
    return NameIn(kOthers, command, "");
}

bool TakenBy(const OptionEntry& entry, Program program) {
    switch (entry.program) {
        case Program::kBoth:
            return true;
        case Program::kDesktopHidden:
            return program == Program::kDesktop;
        default:
            return entry.program == program;
    }
}

bool Documented(const OptionEntry& entry, Program program) {
    return entry.program != Program::kDesktopHidden && TakenBy(entry, program);
}

ReadOption OptionReader::Read(const std::vector<std::string>& args, std::size_t& i,
                              Command command) {
    const std::string& arg = args[i];
    ReadOption read;
    if (arg == "-h") {
        read.kind = ReadOption::Kind::kHelp;
        return read;
    }
    if (arg.size() <= 2 || arg.compare(0, 2, "--") != 0) {
        return read;
    }
    std::string name = arg.substr(2);
    std::optional<std::string> value;
    if (auto eq = name.find('='); eq != std::string::npos) {
        value = name.substr(eq + 1);
        name.resize(eq);
    }
    const OptionEntry* entry = FindOption(name, m_program);
    if (entry == nullptr) {
        return Refused("unknown option '--" + name + "'");
    }
    if (entry->opt == Opt::kHelp || entry->opt == Opt::kVersion) {
        read.kind = entry->opt == Opt::kHelp ? ReadOption::Kind::kHelp : ReadOption::Kind::kVersion;
        return read;
    }
    if (!BelongsTo(*entry, command)) {
        if (command == Command::kNone) {
            return Refused("--" + name + " must follow its command");
        }
        return Refused("--" + name + " does not apply to " + CommandName(command));
    }
    if (entry->TakesValue() && !value) {
        // A following option is never taken as a value: "--site --workdir x" is a forgotten URL,
        // not a site named "--workdir".
        if (i + 1 >= args.size() || args[i + 1].compare(0, 2, "--") == 0) {
            return Refused("--" + name + " needs a value");
        }
        value = args[++i];
    }
    if (!entry->TakesValue() && value) {
        return Refused("--" + name + " takes no value");
    }
    const auto seen = static_cast<std::size_t>(entry - kOptions.data());
    if (m_seen[seen] && entry->opt != Opt::kSkip) {
        return Refused("--" + name + " is given twice");
    }
    m_seen[seen] = true;
    read.kind = ReadOption::Kind::kOption;
    read.entry = entry;
    read.value = value.value_or("");
    return read;
}

std::string ApplySharedOption(const OptionEntry& entry, const std::string& value,
                              std::string& workdir, ConnectionLayer& connection,
                              std::vector<ConnectionKey>* cleared) {
    if (entry.opt == Opt::kWorkdir) {
        if (value.empty()) {
            return "--workdir needs a folder";
        }
        workdir = value;
        return {};
    }
    if (value.empty()) {
        if (cleared == nullptr) {
            return "--" + std::string(entry.name) + " needs a value";
        }
        // Whether that may mean "remove it" depends on the command: checked last.
        cleared->push_back(entry.key);
        return {};
    }
    std::string rule = SetFromText(connection, entry.key, value);
    if (!rule.empty()) {
        return "--" + std::string(entry.name) + " " + rule + " (got '" + value + "')";
    }
    return {};
}

std::optional<unsigned> ParseBounded(std::string_view text, unsigned min, unsigned max) {
    if (text.empty() || text.size() > 9) {
        return std::nullopt;
    }
    unsigned value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    if (value < min || value > max) {
        return std::nullopt;
    }
    return value;
}

}  // namespace tickora::options
