// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The desktop program's command line, read before any window system is touched: --help and
// --version answer on a machine without a display, and a usage error is told on the terminal.
#include <string>
#include <vector>

#include "catalog/connection_settings.h"

namespace tickora::gui {

struct DesktopArgs {
    bool ok = false;
    std::string error;  // UTF-8, one line, when !ok
    bool help = false;
    bool version = false;
    std::string workdir;
    ConnectionLayer connection;  // --site, --retries, ... as tickora-cli takes them
    std::string screenshot;      // hidden: a picture of the window once it has settled
    int chartCode = -1;          // --chart CODE: only the chart window of that stock
    bool quitWhenShown = false;  // hidden: the start-up benchmark
    // What is left for Qt: the program name and the toolkit's own options (-platform, -style...).
    std::vector<std::string> toolkitArgs;
};

// args includes the program name. Our options are read from the table both programs share, by its
// rules (options/option_table.h); the toolkit's are handed on in toolkitArgs.
[[nodiscard]] DesktopArgs ParseDesktopArgs(const std::vector<std::string>& args);

[[nodiscard]] std::string DesktopUsageText();

}  // namespace tickora::gui
