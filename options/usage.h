// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Both programs' --help, made from the option table: an option added to the table is in the usage
// of each program that takes it, and one a program does not take is in none of its texts.
#include <string>

namespace tickora::options {

// tickora-cli's usage: in full for --help, and after a usage error.
[[nodiscard]] std::string CliUsageText();

// The desktop program's usage, answered without a display.
[[nodiscard]] std::string DesktopUsageText();

}  // namespace tickora::options
