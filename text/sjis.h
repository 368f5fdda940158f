// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Conversions at the edges of the program: its own texts are Shift-JIS (code page 932) bytes,
// while the source code, the terminal and the GUI speak UTF-8.
#include <optional>
#include <string>
#include <string_view>

namespace tickora {

// UTF-8 to Shift-JIS (CP932). Characters without a CP932 form become '?'.
[[nodiscard]] std::string Utf8ToSjis(std::string_view utf8);

// Shift-JIS (CP932) to UTF-8. Invalid bytes become U+FFFD.
[[nodiscard]] std::string SjisToUtf8(std::string_view sjis);

// The same conversions where a replaced character would change the meaning (a path, a line of a
// list): nothing when any character has no form on the other side.
[[nodiscard]] std::optional<std::string> Utf8ToSjisExact(std::string_view utf8);
[[nodiscard]] std::optional<std::string> SjisToUtf8Exact(std::string_view sjis);

// Well-formed UTF-8 (no overlong forms, no surrogates, nothing past U+10FFFF) that holds at least
// one multi-byte character. Shift-JIS text with double-byte characters almost never passes: its
// common lead bytes 0x81-0x9F cannot start a UTF-8 character.
[[nodiscard]] bool IsMultiByteUtf8(std::string_view text);

}  // namespace tickora
