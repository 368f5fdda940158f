// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the Save command did, in the desktop program's words (Japanese, UTF-8), for the status
// bar: the file and its stocks, where the day's whole file is when fewer stocks replaced more,
// or why nothing was written.
#include <string>

#include "jobs/save_quotes.h"

namespace tickora::gui {

[[nodiscard]] std::string SaveNoteJa(const SaveResult& result);

// The layout's name as the settings dialog shows it: "株取虫32", "株取虫DOS", "株取虫もどき".
[[nodiscard]] std::string LayoutNameJa(int layout);

}  // namespace tickora::gui
