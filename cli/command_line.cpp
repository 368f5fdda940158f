// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/command_line.h"

#include <array>
#include <string_view>

#include "checks/check_finding.h"
#include "text/named_values.h"
#include "text/sjis.h"

namespace tickora::cli {
namespace {

std::string RangeError(const char* name, unsigned min, unsigned max, std::string_view got) {
    return "--" + std::string(name) + " must be a whole number from " + std::to_string(min) +
           " to " + std::to_string(max) + " (got '" + std::string(got) + "')";
}

class Parser {
  public:
    ParseResult Run(const std::vector<std::string>& args) {
        for (std::size_t i = 0; i < args.size(); ++i) {
            const ReadOption read = m_reader.Read(args, i, m_result.options.command);
            std::string error;
            switch (read.kind) {
                case ReadOption::Kind::kHelp:
                    return Finish(Command::kHelp);
                case ReadOption::Kind::kVersion:
                    return Finish(Command::kVersion);
                case ReadOption::Kind::kError:
                    error = read.error;
                    break;
                case ReadOption::Kind::kOption:
                    error = Apply(*read.entry, read.value);
                    break;
                case ReadOption::Kind::kNotOption:
                    error = TakeCommand(args[i]);
                    break;
            }
            if (!error.empty()) {
                return Fail(error);
            }
        }
        return Check();
    }

  private:
    std::string TakeCommand(const std::string& word) {
        if (m_result.options.command != Command::kNone) {
            return "unexpected argument '" + word + "'";
        }
        for (const auto& entry : kCommands) {
            if (word == entry.name) {
                m_result.options.command = entry.command;
                return {};
            }
        }
        return "unknown command '" + word + "'";
    }

    ParseResult Finish(Command command) {
        m_result.options.command = command;
        m_result.ok = true;
        return m_result;
    }

    ParseResult Fail(std::string error) {
        m_result.ok = false;
        m_result.error = std::move(error);
        return m_result;
    }

    ParseResult Check() {
        CliOptions& o = m_result.options;
        if (o.command == Command::kNone) {
            return Fail("no command given");
        }
        if (!o.connectionCleared.empty() && o.command != Command::kSettings) {
            const ConnectionKey key = o.connectionCleared.front();
            return Fail(std::string(InfoOf(key).option) + " needs a value (an empty one removes " +
                        "the key from connection.toml, and only with settings)");
        }
        if (o.command == Command::kKdt && o.codeGiven == o.code.allStocks) {
            return Fail(o.codeGiven ? "kdt takes --code N or --all, not both"
                                    : "kdt needs --code N or --all");
        }
        if (o.command == Command::kKdt && o.retryFailed && !o.code.allStocks) {
            return Fail("--retry-failed follows a run of all stocks: give kdt --all");
        }
        if (o.skip.size() == std::size(kDailyStages)) {
            return Fail("--skip leaves out every step of daily: nothing would run");
        }
        m_result.ok = true;
        return m_result;
    }

    // Returns an error text, or an empty one when the value was taken.
    std::string Apply(const OptionEntry& entry, const std::string& value) {
        if (bool* flag = FlagOf(entry.opt)) {
            *flag = true;
            return {};
        }
        CliOptions& o = m_result.options;
        switch (entry.opt) {
            case Opt::kWorkdir:
            case Opt::kConnection:
                return ApplySharedOption(entry, value, o.workdir, o.connection,
                                         &o.connectionCleared);
            case Opt::kCode: {
                auto code = ParseBounded(value, 0, kMaxCode);
                if (!code) {
                    return RangeError(entry.name, 0, kMaxCode, value);
                }
                o.code.code = *code;
                o.codeGiven = true;
                return {};
            }
            case Opt::kDays: {
                auto days = ParseBounded(value, kMinDays, kMaxDays);
                if (!days) {
                    return RangeError(entry.name, kMinDays, kMaxDays, value);
                }
                o.code.days = *days;
                o.daysGiven = true;
                return {};
            }
            case Opt::kSkip:
            case Opt::kRetryPause:
            case Opt::kDate:
                return ApplyRoutineOption(entry, value);
            case Opt::kFormat:
                return SetNumber(o.settings.outputFormat, entry.name, value, 0, kMaxOutputFormat);
            case Opt::kOutputDir:
                return SetOutputDir(value);
            case Opt::kAutoStart:
                return SetNumber(o.settings.autoStart, entry.name, value, 0, 1);
            case Opt::kExitAfterFetch:
                return SetNumber(o.settings.exitAfterFetch, entry.name, value, 0, 1);
            case Opt::kDecimals:
                return SetNumber(o.settings.averageDecimals, entry.name, value, 0, 1);
            default:
                return {};
        }
    }

    // The options of daily and check.
    std::string ApplyRoutineOption(const OptionEntry& entry, const std::string& value) {
        CliOptions& o = m_result.options;
        if (entry.opt == Opt::kRetryPause) {
            const auto seconds = ParseBounded(value, 0, kMaxRetryPauseSeconds);
            if (!seconds) {
                return RangeError(entry.name, 0, kMaxRetryPauseSeconds, value);
            }
            o.retryPauseSeconds = *seconds;
            return {};
        }
        if (entry.opt == Opt::kDate) {
            const std::optional<CalendarDate> date = DateOfIso(value);
            if (!date || !IsValidDate(*date) || value.size() != 10) {
                return "--date must be a day written YYYY-MM-DD (got '" + value + "')";
            }
            o.checkDate = *date;
            return {};
        }
        // "--skip performance --skip kdt" or "--skip performance,kdt".
        std::string_view rest = value;
        do {
            const std::size_t comma = rest.find(',');
            const std::string_view word = rest.substr(0, comma);
            const std::optional<DailyStage> stage = DailyStageNamed(word);
            if (!stage) {
                return "--skip takes fetch, performance, kdt, retry or check, alone or separated "
                       "by commas (got '" +
                       value + "')";
            }
            o.skip.insert(*stage);
            rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
            if (comma != std::string_view::npos && rest.empty()) {
                return "--skip ends with a comma (got '" + value + "')";
            }
        } while (!rest.empty());
        return {};
    }

    // The switch an option without a value turns on; nullptr for every other option.
    bool* FlagOf(Opt opt) {
        CliOptions& o = m_result.options;
        switch (opt) {
            case Opt::kJson:
                return &o.json;
            case Opt::kWait:
                return &o.wait;
            case Opt::kKeepHtml:
                return &o.list.keepHtml;
            case Opt::kAddedOnly:
                return &o.list.addedOnly;
            case Opt::kUseKeptHtml:
                return &o.list.useKeptHtml;
            case Opt::kAll:
                return &o.code.allStocks;
            case Opt::kUpdate:
                return &o.code.update;
            case Opt::kRetryFailed:
                return &o.retryFailed;
            default:
                return nullptr;
        }
    }

    static std::string SetNumber(std::optional<int>& target, const char* name,
                                 const std::string& value, int min, int max) {
        auto number = ParseBounded(value, static_cast<unsigned>(min), static_cast<unsigned>(max));
        if (!number) {
            return RangeError(name, static_cast<unsigned>(min), static_cast<unsigned>(max), value);
        }
        target = static_cast<int>(*number);
        return {};
    }

    std::string SetOutputDir(const std::string& utf8) {
        if (utf8.empty()) {
            return "--output-dir needs a folder";
        }
        // The record holds Shift-JIS; a character that has no Shift-JIS form would be stored as
        // '?' and name another folder, so it is refused rather than silently changed.
        std::string sjis = Utf8ToSjis(utf8);
        if (SjisToUtf8(sjis) != utf8) {
            return "--output-dir has characters that Shift-JIS cannot hold";
        }
        if (sjis.size() > static_cast<std::size_t>(kMaxOutputDirBytes)) {
            return "--output-dir is too long: " + std::to_string(sjis.size()) +
                   " bytes in Shift-JIS, at most " + std::to_string(kMaxOutputDirBytes);
        }
        m_result.options.settings.outputDirSjis = std::move(sjis);
        return {};
    }

    ParseResult m_result;
    OptionReader m_reader{Program::kCli};
};

}  // namespace

ParseResult ParseCommandLine(const std::vector<std::string>& args) {
    return Parser().Run(args);
}

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

namespace {

// The commands of the usage, each with its own options.
std::string CommandsUsage() {
    return "commands:\n"
           "  fetch                       daily quote fetch, then the daily quote file\n"
           "  fetchlist [--keep-html] [--added-only] [--use-kept-html]\n"
           "                              rebuild fetchlist.csv from the listing pages\n"
           "  kdt (--code N | --all [--retry-failed]) [--days N] [--update]\n"
           "                              price history to KDT files (code 0..9999,\n"
           "                              days 10..3000, default 200); --update asks for\n"
           "                              the first page only where it brings a stored\n"
           "                              file up to date exactly\n"
           "  profiles [--keep-html] [--added-only] [--use-kept-html] [--retry-failed]\n"
           "                              company profiles into VorlaneEx.DIC\n"
           "                              --retry-failed: only the stocks that failed or were\n"
           "                              never asked in the last run of the job (read from\n"
           "                              history.jsonl), with that run's options unless\n"
           "                              named again\n"
           "  performance                 performance figures file\n"
           "  daily [--skip STEP[,STEP]] [--retry-pause S]\n"
           "                              the day's routine under one lock: fetch,\n"
           "                              performance, kdt --all --update with the days of\n"
           "                              the stored histories, one retry round of what\n"
           "                              failed after S seconds (0..600, default 5), then\n"
           "                              check; --skip leaves out fetch, performance, kdt,\n"
           "                              retry or check. A failed step stops no other;\n"
           "                              Cancel stops the routine. Exit status: the worst\n"
           "                              step, a retried step counted by its retry\n"
           "  check [--date YYYY-MM-DD]   the day's check of the stored files against the\n"
           "                              exchange's rules and each other, reading only\n"
           "                              (default: the last trading day); findings never\n"
           "                              fail it, a file it cannot read is a failed item\n"
           "  settings [--format N] [--output-dir DIR] [--auto-start 0|1]\n"
           "           [--exit-after-fetch 0|1] [--decimals 0|1] [CONNECTION OPTIONS]\n"
           "                              print the settings, or change and save them:\n"
           "                              the first five into Tickora.ini (format 0..3; output\n"
           "                              dir at most 127 Shift-JIS bytes), the connection\n"
           "                              options into connection.toml (an empty value, as in\n"
           "                              --site=, removes the key)\n";
}

}  // namespace

std::string UsageText() {
    return "usage: tickora-cli [--workdir DIR] [CONNECTION OPTIONS] [--json] [--wait] COMMAND "
           "[OPTIONS]\n"
           "\n" +
           CommandsUsage() +
           "\n"
           "options:\n"
           "  --workdir DIR   working folder with Tickora.ini, market.csv, fetchlist.csv\n"
           "                  (default: TICKORA_HOME, else the current folder when it holds\n"
           "                  Tickora.ini or market.csv, else ~/.local/share/tickora)\n"
           "  --help, --version\n"
           "\n"
           "connection options (over TICKORA_* variables, over connection.toml):\n"
           "  --site URL           the finance site for all pages (default: the simulated\n"
           "                       site on loopback, " +
           std::string(kDefaultSite) +
           ")\n"
           "  --quote-host URL     quote and listing pages only\n"
           "  --table-host URL     price-history tables only\n"
           "  --profile-host URL   company profiles only\n"
           "  --retries N          retry a failed page download up to N times (0..10)\n"
           "  --pace MS            at least MS milliseconds between two requests (0..60000)\n"
           "  --page-timeout S     give up a page after S seconds (1..3600, default 300)\n"
           "  --connections N      connections to the site at once (1..16, default 1)\n"
           "  --streams N          requests at once on one HTTP/2 connection (1..100,\n"
           "                       default 16; the site's own limit caps it)\n"
           "  --http2 MODE         auto (HTTP/2 where TLS offers it, the default),\n"
           "                       prior-knowledge (HTTP/2 over plain HTTP too) or off\n"
           "  --ca-file FILE       PEM certificates trusted for the site besides the system's\n"
           "  --proxy URL          http://, https:// or socks5:// proxy for every request\n"
           "  --no-proxy HOSTS     hosts reached without the proxy, separated by commas\n"
           "\n"
           "other options:\n"
           "  --json               print the outcome as one JSON object instead of the summary\n"
           "                       (also when the job did not start: end \"not run\")\n"
           "  --wait               when another job uses the working folder, wait for it to\n"
           "                       end (Ctrl+C ends the wait) instead of refusing with status 5\n"
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

}  // namespace tickora::cli
