// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The shapes of every text the core hands a person about a job or a setting: what failed, why
// (a page, a transfer, a status, a file, a setting), what was done about it, why a job ended or
// did not start, and what start-up noticed. They are written in the phrase templates of
// text/phrase_template.h, in the words the producers use.
//
// The front-end that puts them into other words (the desktop program's Japanese) is held to every
// template here; the producers are held to this list by their tests (IsCatalogued). A new text
// therefore has to be named here, and then the Japanese has to follow.
#include <span>
#include <string_view>

namespace tickora {

enum class CauseArea {
    kItem,      // what failed: "page {n} of {n}"
    kPage,      // a page that came back with status 200 but cannot be used
    kTransfer,  // a page that did not come back whole
    kFile,      // a file that could not be read, written or used
    kAction,    // what was done about a failure, or why a file was kept
    kEnd,       // why a job ended early, was refused or did not start
    kSettings,  // a connection setting that cannot be taken
    kNotice,    // what start-up noticed in the lists it read
};

struct CauseTemplate {
    CauseArea area;
    std::string_view text;
};

[[nodiscard]] std::span<const CauseTemplate> CauseTemplates();

// Whether text is one of the templates filled in. The system's words in it ({e}) must be those
// of an error FileErrorNumbers names; other text that stands for a gap ({*}: libcurl's words, a
// path, a cause within a cause) is not examined further.
[[nodiscard]] bool IsCatalogued(std::string_view text);

// Whether words are the system's (or the file layer's) words for one of FileErrorNumbers.
[[nodiscard]] bool IsSystemWords(std::string_view words);

// The file layer's words for a file over the bound its reader sets, as a template: the bound
// ("4 MiB") fills its gaps.
[[nodiscard]] std::string_view FileOverBoundWords();

// The errno values that an open, read, write, sync, rename or folder creation in the working
// folder or the output folder can end with, and a connection to the site or its proxy: the
// system's words for each may stand in a cause ("<path>: <words>").
[[nodiscard]] std::span<const int> FileErrorNumbers();

}  // namespace tickora
