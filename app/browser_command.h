// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Opening the user's guide in the user's web browser. The command comes from $BROWSER or from the
// desktop's default browser; the guide path is placed where the command asks for its argument.
#include <string>
#include <string_view>
#include <vector>

namespace tickora::gui {

// Walks the command from its start and stops at the first "%1" or "-nohome". "%1" is replaced
// by the guide path and nothing is appended; at "-nohome" the command is cut before the '-'.
// Unless "%1" placed the path, the result is the command, a space and the path in double quotes.
[[nodiscard]] std::string BuildBrowserCommand(std::string_view command, std::string_view guidePath);

// A $BROWSER value: its first ':'-separated entry, with "%s" turned into the argument marker.
[[nodiscard]] std::string BrowserFromEnvironmentValue(std::string_view value);

// The Exec line of a desktop entry: the URL and file field codes (%u %U %f %F) become the
// argument marker, quoted unless already inside quotes; %% becomes %; other codes are dropped.
[[nodiscard]] std::string DesktopExecToCommand(std::string_view exec);

// The Exec value of the [Desktop Entry] group of a desktop file's text; empty when none.
[[nodiscard]] std::string ExecOfDesktopEntry(std::string_view desktopFile);

// Splits a command line into arguments at blanks outside quotes; double and single quotes group
// and are removed, as a shell would without its expansions.
[[nodiscard]] std::vector<std::string> SplitCommandLine(std::string_view line);

// $BROWSER, else the desktop's default browser (xdg-settings), else "xdg-open".
[[nodiscard]] std::string DefaultBrowserCommand();

// The working folder's "Documents/index.html" when it is there (a folder laid out by hand keeps
// its own guide), else the installed guide, else the working folder's path all the same (the
// browser then says that it is missing).
[[nodiscard]] std::string UsersGuidePath();

// Starts the browser on the guide. Returns whether a process started; the caller tells the user
// when none did.
[[nodiscard]] bool LaunchUsersGuide();

}  // namespace tickora::gui
