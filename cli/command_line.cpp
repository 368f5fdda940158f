// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/command_line.h"

#include <array>
#include <string_view>

#include "checks/check_finding.h"
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
            const options::ReadOption read = m_reader.Read(args, i, m_result.options.command);
            std::string error;
            switch (read.kind) {
                case options::ReadOption::Kind::kHelp:
                    return Finish(Command::kHelp);
                case options::ReadOption::Kind::kVersion:
                    return Finish(Command::kVersion);
                case options::ReadOption::Kind::kError:
                    error = read.error;
                    break;
                case options::ReadOption::Kind::kOption:
                    error = Apply(*read.entry, read.value);
                    break;
                case options::ReadOption::Kind::kNotOption:
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
        if (o.command == Command::kKdt && o.codeGiven == o.job.allStocks) {
            return Fail(o.codeGiven ? "kdt takes --code N or --all, not both"
                                    : "kdt needs --code N or --all");
        }
        if (o.command == Command::kKdt && o.retryFailed && !o.job.allStocks) {
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
                return options::ApplySharedOption(entry, value, o.workdir, o.connection,
                                                  &o.connectionCleared);
            case Opt::kCode: {
                auto code = options::ParseBounded(value, 0, kMaxCode);
                if (!code) {
                    return RangeError(entry.name, 0, kMaxCode, value);
                }
                o.job.code = *code;
                o.codeGiven = true;
                return {};
            }
            case Opt::kDays: {
                auto days = options::ParseBounded(value, kMinDays, kMaxDays);
                if (!days) {
                    return RangeError(entry.name, kMinDays, kMaxDays, value);
                }
                o.job.days = *days;
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
            const auto seconds = options::ParseBounded(value, 0, kMaxRetryPauseSeconds);
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
                return &o.job.keepHtml;
            case Opt::kAddedOnly:
                return &o.job.addedOnly;
            case Opt::kUseKeptHtml:
                return &o.job.useKeptHtml;
            case Opt::kAll:
                return &o.job.allStocks;
            case Opt::kUpdate:
                return &o.job.update;
            case Opt::kRetryFailed:
                return &o.retryFailed;
            default:
                return nullptr;
        }
    }

    static std::string SetNumber(std::optional<int>& target, const char* name,
                                 const std::string& value, int min, int max) {
        auto number =
            options::ParseBounded(value, static_cast<unsigned>(min), static_cast<unsigned>(max));
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
    options::OptionReader m_reader{Program::kCli};
};

}  // namespace

std::optional<Job> JobOf(Command command) {
    switch (command) {
        case Command::kFetch:
            return Job::kFetch;
        case Command::kFetchList:
            return Job::kFetchList;
        case Command::kKdt:
            return Job::kKdt;
        case Command::kProfiles:
            return Job::kProfiles;
        case Command::kPerformance:
            return Job::kPerformance;
        default:
            return std::nullopt;
    }
}

ParseResult ParseCommandLine(const std::vector<std::string>& args) {
    return Parser().Run(args);
}

}  // namespace tickora::cli
