#pragma once
// Conversions at the edges of the program: its own texts are Shift-JIS (code page 932) bytes,
// while the source code, the terminal and the GUI speak UTF-8.
#include <string>
#include <string_view>

namespace tickora {

// UTF-8 to Shift-JIS (CP932). Characters without a CP932 form become '?'.
[[nodiscard]] std::string Utf8ToSjis(std::string_view utf8);

// Shift-JIS (CP932) to UTF-8. Invalid bytes become U+FFFD.
[[nodiscard]] std::string SjisToUtf8(std::string_view sjis);

}  // namespace tickora
