// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/desktop_args.h"

#include <algorithm>
#include <array>
#include <optional>
#include <string_view>

#include "options/option_table.h"
#include "options/usage.h"

namespace tickora::gui {
namespace {

// The toolkit's options that take a value, in either spelling ("-style x" or "--style x").
constexpr std::array<std::string_view, 14> kToolkitValueOptions{
    "platform",    "platformpluginpath", "platformtheme", "plugin",     "qwindowgeometry",
    "qwindowicon", "qwindowtitle",       "style",         "stylesheet", "session",
    "display",     "geometry",           "title",         "name"};
// And the ones that take none.
constexpr std::array<std::string_view, 5> kToolkitFlags{"reverse", "widgetcount", "nograb",
                                                        "dograb", "sync"};

template <std::size_t N>
bool Holds(const std::array<std::string_view, N>& names, std::string_view name) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

// Hands a toolkit option on to Qt, with its value; false when args[i] is none.
bool TakeToolkitOption(const std::vector<std::string>& args, std::size_t& i,
                       std::vector<std::string>& toolkitArgs, std::string& error) {
    const std::string& arg = args[i];
    if (arg.size() < 2 || arg[0] != '-') {
        return false;
    }
    std::string name = arg.substr(arg.compare(0, 2, "--") == 0 ? 2 : 1);
    std::optional<std::string> value;
    if (const auto eq = name.find('='); eq != std::string::npos) {
        value = name.substr(eq + 1);
        name.resize(eq);
    }
    if (Holds(kToolkitFlags, name)) {
        toolkitArgs.push_back(arg);
        return true;
    }
    if (!Holds(kToolkitValueOptions, name)) {
        return false;
    }
    // The toolkit takes whatever follows as the value, as its own parser would.
    if (!value) {
        if (i + 1 >= args.size()) {
            error = arg + " needs a value";
            return true;
        }
        value = args[++i];
    }
    toolkitArgs.push_back("-" + name);
    toolkitArgs.push_back(*value);
    return true;
}

// Returns the reason a value is refused, or an empty text.
std::string Apply(const options::OptionEntry& entry, const std::string& value,
                  DesktopArgs& result) {
    switch (entry.opt) {
        case options::Opt::kChart: {
            const auto code = options::ParseBounded(value, 0, 9999);
            if (!code) {
                return "--chart needs a stock code from 0 to 9999 (got '" + value + "')";
            }
            result.chartCode = static_cast<int>(*code);
            return {};
        }
        case options::Opt::kScreenshot:
            result.screenshot = value;
            return {};
        case options::Opt::kQuitWhenShown:
            result.quitWhenShown = true;
            return {};
        default:
            // No empty connection value: removing a key is for tickora-cli settings.
            return options::ApplySharedOption(entry, value, result.workdir, result.connection,
                                              nullptr);
    }
}

// A word, or a dash and a name that is neither ours nor the toolkit's.
std::string NotAnOption(const std::string& arg) {
    if (arg.size() < 2 || arg[0] != '-') {
        return "unexpected argument '" + arg + "'";
    }
    return "unknown option '" + arg + "'";
}

}  // namespace

DesktopArgs ParseDesktopArgs(const std::vector<std::string>& args) {
    DesktopArgs result;
    if (!args.empty()) {
        result.toolkitArgs.push_back(args.front());
    }
    // tickora-cli's reader and table: an option twice, a following option as a value and a
    // one-dash "-site" are refused here as there.
    options::OptionReader reader(options::Program::kDesktop);
    for (std::size_t i = 1; i < args.size(); ++i) {
        if (TakeToolkitOption(args, i, result.toolkitArgs, result.error)) {
            if (!result.error.empty()) {
                return result;
            }
            continue;
        }
        const options::ReadOption read = reader.Read(args, i, options::Command::kNone);
        switch (read.kind) {
            case options::ReadOption::Kind::kHelp:
                result.help = true;
                result.ok = true;
                return result;
            case options::ReadOption::Kind::kVersion:
                result.version = true;
                result.ok = true;
                return result;
            case options::ReadOption::Kind::kError:
                result.error = read.error;
                break;
            case options::ReadOption::Kind::kOption:
                result.error = Apply(*read.entry, read.value, result);
                break;
            case options::ReadOption::Kind::kNotOption:
                result.error = NotAnOption(args[i]);
                break;
        }
        if (!result.error.empty()) {
            return result;
        }
    }
    result.ok = true;
    return result;
}

std::string DesktopUsageText() {
    return options::DesktopUsageText();
}

}  // namespace tickora::gui
