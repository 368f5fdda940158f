// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Phrases with gaps: "page {n} of {w}" matches "page 2 of 1301" and gives "2" and "1301". The core
// lists the shapes of the texts it tells a person (jobs/cause_catalog.h) in this form, and the
// desktop program puts each shape into Japanese in it.
//
// The gaps: {n} a run of digits, {w} a run of non-blank bytes, {p} text without parentheses (it
// may be empty), {*} any text up to the last place where the template's next words stand, {f}
// any text up to the first such place (a file's name before ":3: ..."), {e} the system's words
// for an error (as {*}: a reader may put them in its own words), and {rest} whatever follows, not
// kept. A template is matched by a plain scan, never by a regular
// expression: the texts also come from the run history on disk, of any length, and a
// backtracking matcher runs out of stack on a long one.
#include <optional>
#include <string_view>
#include <vector>

namespace tickora {

// The gaps' texts when text is the template filled in, in the template's order; nothing otherwise.
[[nodiscard]] std::optional<std::vector<std::string_view>> MatchPhraseTemplate(
    std::string_view text, std::string_view pattern);

}  // namespace tickora
