// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/desktop_args.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <string_view>

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

}  // namespace

DesktopArgs ParseDesktopArgs(const std::vector<std::string>& args) {
    DesktopArgs result;
    if (!args.empty()) {
        result.toolkitArgs.push_back(args.front());
    }
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "-h" || arg == "--help") {
            result.help = true;
            continue;
        }
        if (arg == "--version") {
            result.version = true;
            continue;
        }
        if (arg.size() < 2 || arg[0] != '-') {
            result.error = "unexpected argument '" + arg + "'";
            return result;
        }
        std::string name = arg.substr(arg.compare(0, 2, "--") == 0 ? 2 : 1);
        std::string value;
        bool hasValue = false;
        if (const auto eq = name.find('='); eq != std::string::npos) {
            value = name.substr(eq + 1);
            name.resize(eq);
            hasValue = true;
        }
        if (Holds(kToolkitFlags, name)) {
            result.toolkitArgs.push_back(arg);
            continue;
        }
        const bool toolkit = Holds(kToolkitValueOptions, name);
        const ConnectionKeyInfo* key = nullptr;
        for (const ConnectionKeyInfo& info : ConnectionKeys()) {
            if ("--" + name == info.option) {
                key = &info;
            }
        }
        const bool ours =
            key != nullptr || name == "workdir" || name == "screenshot" || name == "chart";
        if (!toolkit && !ours) {
            if (name == "quit-when-shown" && !hasValue) {
                result.quitWhenShown = true;
                continue;
            }
            result.error = "unknown option '" + arg + "'";
            return result;
        }
        if (!hasValue) {
            if (i + 1 >= args.size()) {
                result.error = arg + " needs a value";
                return result;
            }
            value = args[++i];
        }
        if (toolkit) {
            result.toolkitArgs.push_back("-" + name);
            result.toolkitArgs.push_back(value);
        } else if (name == "workdir") {
            if (value.empty()) {
                result.error = "--workdir needs a folder";
                return result;
            }
            result.workdir = value;
        } else if (name == "chart") {
            char* end = nullptr;
            const long code = std::strtol(value.c_str(), &end, 10);
            if (value.empty() || *end != '\0' || code < 0 || code > 9999) {
                result.error = "--chart needs a stock code from 0 to 9999 (got '" + value + "')";
                return result;
            }
            result.chartCode = static_cast<int>(code);
        } else if (name == "screenshot") {
            result.screenshot = value;
        } else if (std::string rule = SetFromText(result.connection, key->key, value);
                   !rule.empty()) {
            result.error = std::string(key->option) + " " + rule + " (got '" + value + "')";
            return result;
        }
    }
    result.ok = true;
    return result;
}

std::string DesktopUsageText() {
    return "usage: tickora [--workdir DIR] [--site URL] [--quote-host URL] [--table-host URL]\n"
           "               [--profile-host URL] [--retries N] [--pace MS] [--page-timeout S]\n"
           "               [--connections N]\n"
           "       tickora [--workdir DIR] --chart CODE\n"
           "       tickora --help | --version\n"
           "\n"
           "The desktop program. Without --workdir it works in TICKORA_HOME, else in the\n"
           "current folder when that holds Tickora.ini or market.csv, else in\n"
           "~/.local/share/tickora, which it sets up with the installed market.csv.\n"
           "The connection options override the TICKORA_* variables, which override\n"
           "connection.toml in the working folder (edited with 編集 > 接続設定...).\n"
           "--chart opens only the chart of the stored price history of CODE.\n"
           "See tickora(1) and tickora-cli(1).\n";
}

}  // namespace tickora::gui
