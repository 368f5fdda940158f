// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The options of tickora-cli and of the desktop program in one table, and the one reader that
// applies the same rules to both lines: "--name value" or "--name=value", a following option is
// never a value, an option may be given once, a switch takes no value. The manual pages and the
// bash completion are checked against this table.
#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "catalog/connection_settings.h"

namespace tickora::cli {

enum class Command {
    kNone,
    kHelp,
    kVersion,
    kFetch,
    kFetchList,
    kKdt,
    kProfiles,
    kPerformance,
    kSettings
};

struct CommandEntry {
    const char* name;
    Command command;
};

inline constexpr std::array kCommands{
    CommandEntry{"fetch", Command::kFetch},
    CommandEntry{"fetchlist", Command::kFetchList},
    CommandEntry{"kdt", Command::kKdt},
    CommandEntry{"profiles", Command::kProfiles},
    CommandEntry{"performance", Command::kPerformance},
    CommandEntry{"settings", Command::kSettings},
};

enum class Opt {
    kHelp,
    kVersion,
    kWorkdir,
    kConnection,
    kJson,
    kWait,
    kKeepHtml,
    kAddedOnly,
    kUseKeptHtml,
    kCode,
    kAll,
    kDays,
    kUpdate,
    kRetryFailed,
    kFormat,
    kOutputDir,
    kAutoStart,
    kExitAfterFetch,
    kDecimals,
    kChart,
    kScreenshot,
    kQuitWhenShown,
};

// Which program takes an option. The hidden ones serve the tests and the benchmarks and are named
// in no usage, manual page or completion.
enum class Program { kBoth, kCli, kDesktop, kDesktopHidden };

inline constexpr std::array<Command, 2> kAnywhere{Command::kNone, Command::kNone};
inline constexpr std::array<Command, 2> kListJobs{Command::kFetchList, Command::kProfiles};
inline constexpr std::array<Command, 2> kKdtOnly{Command::kKdt, Command::kNone};
inline constexpr std::array<Command, 2> kRetryJobs{Command::kKdt, Command::kProfiles};
inline constexpr std::array<Command, 2> kSettingsOnly{Command::kSettings, Command::kNone};

struct OptionEntry {
    const char* name;  // without its "--"
    Opt opt;
    bool takesValue;
    Program program = Program::kBoth;
    // The tickora-cli commands it belongs to; kAnywhere = any place on the line.
    std::array<Command, 2> commands = kAnywhere;
    ConnectionKey key = ConnectionKey::kSite;  // for kConnection
};

constexpr OptionEntry ConnectionOption(const char* name, ConnectionKey key) {
    return {name, Opt::kConnection, true, Program::kBoth, kAnywhere, key};
}

inline constexpr std::array kOptions{
    OptionEntry{"help", Opt::kHelp, false},
    OptionEntry{"version", Opt::kVersion, false},
    OptionEntry{"workdir", Opt::kWorkdir, true},
    ConnectionOption("site", ConnectionKey::kSite),
    ConnectionOption("quote-host", ConnectionKey::kQuoteHost),
    ConnectionOption("table-host", ConnectionKey::kTableHost),
    ConnectionOption("profile-host", ConnectionKey::kProfileHost),
    ConnectionOption("retries", ConnectionKey::kRetries),
    ConnectionOption("pace", ConnectionKey::kPaceMs),
    ConnectionOption("page-timeout", ConnectionKey::kPageTimeout),
    ConnectionOption("connections", ConnectionKey::kConnections),
    ConnectionOption("streams", ConnectionKey::kStreams),
    ConnectionOption("http2", ConnectionKey::kHttp2),
    ConnectionOption("ca-file", ConnectionKey::kCaFile),
    ConnectionOption("proxy", ConnectionKey::kProxy),
    ConnectionOption("no-proxy", ConnectionKey::kNoProxy),
    OptionEntry{"json", Opt::kJson, false, Program::kCli},
    OptionEntry{"wait", Opt::kWait, false, Program::kCli},
    OptionEntry{"keep-html", Opt::kKeepHtml, false, Program::kCli, kListJobs},
    OptionEntry{"added-only", Opt::kAddedOnly, false, Program::kCli, kListJobs},
    OptionEntry{"use-kept-html", Opt::kUseKeptHtml, false, Program::kCli, kListJobs},
    OptionEntry{"code", Opt::kCode, true, Program::kCli, kKdtOnly},
    OptionEntry{"all", Opt::kAll, false, Program::kCli, kKdtOnly},
    OptionEntry{"days", Opt::kDays, true, Program::kCli, kKdtOnly},
    OptionEntry{"update", Opt::kUpdate, false, Program::kCli, kKdtOnly},
    OptionEntry{"retry-failed", Opt::kRetryFailed, false, Program::kCli, kRetryJobs},
    OptionEntry{"format", Opt::kFormat, true, Program::kCli, kSettingsOnly},
    OptionEntry{"output-dir", Opt::kOutputDir, true, Program::kCli, kSettingsOnly},
    OptionEntry{"auto-start", Opt::kAutoStart, true, Program::kCli, kSettingsOnly},
    OptionEntry{"exit-after-fetch", Opt::kExitAfterFetch, true, Program::kCli, kSettingsOnly},
    OptionEntry{"decimals", Opt::kDecimals, true, Program::kCli, kSettingsOnly},
    OptionEntry{"chart", Opt::kChart, true, Program::kDesktop},
    OptionEntry{"screenshot", Opt::kScreenshot, true, Program::kDesktopHidden},
    OptionEntry{"quit-when-shown", Opt::kQuitWhenShown, false, Program::kDesktopHidden},
};

// Whether `program` (kCli or kDesktop) takes the option, and whether its usage, manual page and
// completion name it.
[[nodiscard]] bool TakenBy(const OptionEntry& entry, Program program);
[[nodiscard]] bool Documented(const OptionEntry& entry, Program program);

// One argument read off the line.
struct ReadOption {
    enum class Kind {
        kOption,     // entry and value hold it
        kHelp,       // --help or -h: the rest of the line does not matter
        kVersion,    // --version, likewise
        kNotOption,  // a word, or a dash and a name that is no option of ours
        kError,      // error holds the one-line reason
    };
    Kind kind = Kind::kNotOption;
    const OptionEntry* entry = nullptr;
    std::string value;
    std::string error;
};

class OptionReader {
  public:
    explicit OptionReader(Program program) : m_program(program) {}

    // Reads args[i] as an option of the program; a value given as the next argument moves i onto
    // it. `command` is tickora-cli's command so far (kNone before it, and always in the desktop
    // program), against which a command's own options are checked.
    [[nodiscard]] ReadOption Read(const std::vector<std::string>& args, std::size_t& i,
                                  Command command);

  private:
    Program m_program;
    std::array<bool, kOptions.size()> m_seen{};
};

// --workdir and the connection options, which both programs take alike. An empty connection
// value goes into `cleared` where the caller can use it (settings removes the key); without a
// `cleared` it is refused. Returns the reason a value is refused, or an empty text.
[[nodiscard]] std::string ApplySharedOption(const OptionEntry& entry, const std::string& value,
                                            std::string& workdir, ConnectionLayer& connection,
                                            std::vector<ConnectionKey>* cleared);

// Digits only: no sign, no blanks, no hexadecimal; nothing past max (which also bars overflow).
[[nodiscard]] std::optional<unsigned> ParseBounded(std::string_view text, unsigned min,
                                                   unsigned max);

}  // namespace tickora::cli
