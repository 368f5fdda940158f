// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The options of tickora-cli and of the desktop program in one table, and the one reader that
// applies the same rules to both lines: "--name value" or "--name=value", a following option is
// never a value, an option may be given once (but --skip, which names steps each time), a switch
// takes no value. Both programs' --help is
// made from this table (options/usage.h); the manual pages and the bash completion are checked
// against it. It lies below both programs, so that neither includes the other's folder.
#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "catalog/connection_settings.h"

namespace tickora::options {

enum class Command {
    kNone,
    kHelp,
    kVersion,
    kFetch,
    kFetchList,
    kKdt,
    kProfiles,
    kPerformance,
    kDaily,
    kCheck,
    kSettings
};

struct CommandEntry {
    const char* name;
    Command command;
    const char* help;  // what it does, for tickora-cli's usage, as one paragraph
};

inline constexpr std::array kCommands{
    CommandEntry{"fetch", Command::kFetch, "daily quote fetch, then the daily quote file"},
    CommandEntry{"fetchlist", Command::kFetchList, "rebuild fetchlist.csv from the listing pages"},
    CommandEntry{"kdt", Command::kKdt,
                 "price history to KDT files: of one stock (--code N) or of every stock of "
                 "fetchlist.csv (--all)"},
    CommandEntry{"profiles", Command::kProfiles, "company profiles into VorlaneEx.DIC"},
    CommandEntry{"performance", Command::kPerformance, "performance figures file"},
    CommandEntry{"daily", Command::kDaily,
                 "the day's routine under one lock: fetch, performance, kdt --all --update with "
                 "the days of the stored histories, one retry round of what failed, then check. A "
                 "failed step stops no other; Cancel stops the routine. Exit status: the worst "
                 "step, a retried step counted by its retry"},
    CommandEntry{"check", Command::kCheck,
                 "the day's check of the stored files against the exchange's rules and each "
                 "other, reading only; findings never fail it, a file it cannot read is a failed "
                 "item"},
    CommandEntry{
        "settings", Command::kSettings,
        "print the settings, or change and save them: its own options into Tickora.ini, the "
        "connection options into connection.toml (an empty value, as in --site=, removes the key)"},
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
    kSkip,
    kRetryPause,
    kDate,
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
inline constexpr std::array<Command, 2> kDailyOnly{Command::kDaily, Command::kNone};
inline constexpr std::array<Command, 2> kCheckOnly{Command::kCheck, Command::kNone};

struct OptionEntry {
    const char* name;  // without its "--"
    Opt opt;
    const char* value;  // the name of its value in a usage ("DIR"); nullptr for a switch
    const char* help;   // what it does, for the usages, as one paragraph
    Program program = Program::kBoth;
    // The tickora-cli commands it belongs to; kAnywhere = any place on the line.
    std::array<Command, 2> commands = kAnywhere;
    ConnectionKey key = ConnectionKey::kSite;  // for kConnection

    [[nodiscard]] constexpr bool TakesValue() const { return value != nullptr; }
};

// A connection option under the name the connection settings give its key (catalog/), which is
// the one place those names stand.
constexpr OptionEntry ConnectionOption(ConnectionKey key, const char* value, const char* help) {
    const char* option = kConnectionKeys[static_cast<std::size_t>(key)].option;
    return {option + 2, Opt::kConnection, value, help, Program::kBoth, kAnywhere, key};
}

constexpr OptionEntry CliOption(const char* name, Opt opt, const char* value, const char* help,
                                std::array<Command, 2> commands = kAnywhere) {
    return {name, opt, value, help, Program::kCli, commands};
}

inline constexpr std::array kOptions{
    OptionEntry{"help", Opt::kHelp, nullptr, "this text"},
    OptionEntry{"version", Opt::kVersion, nullptr, "the program's version"},
    OptionEntry{
        "workdir", Opt::kWorkdir, "DIR",
        "working folder with Tickora.ini, market.csv, fetchlist.csv (default: TICKORA_HOME, else "
        "the current folder when it holds Tickora.ini or market.csv, else ~/.local/share/tickora)"},
    ConnectionOption(
        ConnectionKey::kSite, "URL",
        "the finance site for all pages (default: the simulated site on loopback, <default site>)"),
    ConnectionOption(ConnectionKey::kQuoteHost, "URL", "quote and listing pages only"),
    ConnectionOption(ConnectionKey::kTableHost, "URL", "price-history tables only"),
    ConnectionOption(ConnectionKey::kProfileHost, "URL", "company profiles only"),
    ConnectionOption(ConnectionKey::kRetries, "N",
                     "retry a failed page download up to N times (0..10)"),
    ConnectionOption(ConnectionKey::kPaceMs, "MS",
                     "at least MS milliseconds between two requests (0..60000)"),
    ConnectionOption(ConnectionKey::kPageTimeout, "S",
                     "give up a page after S seconds (1..3600, default 300)"),
    ConnectionOption(ConnectionKey::kConnections, "N",
                     "connections to the site at once (1..16, default 1)"),
    ConnectionOption(ConnectionKey::kStreams, "N",
                     "requests at once on one HTTP/2 connection (1..100, default 16; the site's "
                     "own limit caps it)"),
    ConnectionOption(ConnectionKey::kHttp2, "MODE",
                     "auto (HTTP/2 where TLS offers it, the default), prior-knowledge (HTTP/2 over "
                     "plain HTTP too) or off"),
    ConnectionOption(ConnectionKey::kCaFile, "FILE",
                     "PEM certificates trusted for the site besides the system's"),
    ConnectionOption(ConnectionKey::kProxy, "URL",
                     "http://, https:// or socks5:// proxy for every request"),
    ConnectionOption(ConnectionKey::kNoProxy, "HOSTS",
                     "hosts reached without the proxy, separated by commas"),
    CliOption("json", Opt::kJson, nullptr,
              "print the outcome as one JSON object instead of the summary (also when the job did "
              "not start: end \"not run\")"),
    CliOption("wait", Opt::kWait, nullptr,
              "when another job uses the working folder, wait for it to end (Ctrl+C ends the wait) "
              "instead of refusing with status 5"),
    CliOption("keep-html", Opt::kKeepHtml, nullptr, "keep the downloaded pages in Webtemp",
              kListJobs),
    CliOption("added-only", Opt::kAddedOnly, nullptr, "only the stocks added to the list",
              kListJobs),
    CliOption("use-kept-html", Opt::kUseKeptHtml, nullptr,
              "read the pages an earlier --keep-html kept", kListJobs),
    CliOption("code", Opt::kCode, "N", "the one stock (0..9999)", kKdtOnly),
    CliOption("all", Opt::kAll, nullptr, "every stock of fetchlist.csv", kKdtOnly),
    CliOption("days", Opt::kDays, "N", "days of history (10..3000, default 200)", kKdtOnly),
    CliOption("update", Opt::kUpdate, nullptr,
              "ask for the first page only where it brings a stored file up to date exactly",
              kKdtOnly),
    CliOption("retry-failed", Opt::kRetryFailed, nullptr,
              "only the stocks that failed or were never asked in the last run of the job (read "
              "from history.jsonl), with that run's options unless named again (kdt: with --all)",
              kRetryJobs),
    CliOption("skip", Opt::kSkip, "STEP[,STEP]",
              "leave out steps of the routine: fetch, performance, kdt, retry or check (may be "
              "given more than once)",
              kDailyOnly),
    CliOption("retry-pause", Opt::kRetryPause, "S",
              "seconds before the retry round (0..600, default 5)", kDailyOnly),
    CliOption("date", Opt::kDate, "YYYY-MM-DD", "the day to check (default: the last trading day)",
              kCheckOnly),
    CliOption("format", Opt::kFormat, "N", "layout of the daily quote file (0..3)", kSettingsOnly),
    CliOption("output-dir", Opt::kOutputDir, "DIR", "output folder (at most 127 Shift-JIS bytes)",
              kSettingsOnly),
    CliOption("auto-start", Opt::kAutoStart, "0|1", "fetch when the desktop program starts",
              kSettingsOnly),
    CliOption("exit-after-fetch", Opt::kExitAfterFetch, "0|1",
              "the desktop program ends after that fetch", kSettingsOnly),
    CliOption("decimals", Opt::kDecimals, "0|1", "averages with decimals", kSettingsOnly),
    OptionEntry{"chart", Opt::kChart, "CODE",
                "opens only the chart of the stored price history of CODE", Program::kDesktop},
    OptionEntry{"screenshot", Opt::kScreenshot, "FILE", "", Program::kDesktopHidden},
    OptionEntry{"quit-when-shown", Opt::kQuitWhenShown, nullptr, "", Program::kDesktopHidden},
};

// Whether `program` (kCli or kDesktop) takes the option, and whether its usage, manual page and
// completion name it.
[[nodiscard]] bool TakenBy(const OptionEntry& entry, Program program);
[[nodiscard]] bool Documented(const OptionEntry& entry, Program program);

// "fetch", "kdt"...; "help" and "version" for those two, which start no job.
[[nodiscard]] const char* CommandName(Command command);

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

}  // namespace tickora::options
