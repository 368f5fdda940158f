// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// JSON text from a file the program did not write alone (the run history), read into a value of
// bounded size whatever the text holds: long strings are cut, long lists end, deep nesting and
// keys nobody asks for are dropped. The parse itself keeps no recursion, so a line of brackets
// costs no stack either.
#include <cstddef>
#include <nlohmann/json_fwd.hpp>
#include <string_view>

namespace tickora {

struct JsonBounds {
    std::size_t textBytes = 1024;   // a string longer than this is cut at a character boundary
    std::size_t listItems = 10000;  // an array keeps its first items
    std::size_t depth = 4;          // containers nested deeper are dropped
    std::size_t values = 200000;    // more values than this in all: the text is refused
    // Object keys kept (all when null); a key not listed is dropped with its value.
    bool (*keepKey)(std::string_view key) = nullptr;
};

// Parses text into value within bounds. False for text that is no JSON, or that holds more
// values than bounds.values (value is then null).
[[nodiscard]] bool ParseBoundedJson(std::string_view text, const JsonBounds& bounds,
                                    nlohmann::json& value);

// text cut to at most bytes at a UTF-8 character boundary, "..." marking the cut.
[[nodiscard]] std::string CutText(std::string text, std::size_t bytes);

}  // namespace tickora
