// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Byte-level scanning of downloaded pages and cells. Every function works on NUL-terminated byte
// strings in place or into a caller's buffer; none allocates and none fails.

#include <cstddef>
#include <optional>

namespace tickora {

// 1 + byte offset of the first occurrence of pattern in text, 0 when absent. An empty text gives
// 0 whatever the pattern; an empty pattern in a non-empty text gives 1.
[[nodiscard]] int FindText(const char* text, const char* pattern);

// The same search as FindText, as the byte offset of the match; nothing when it finds none.
[[nodiscard]] std::optional<int> FindOffset(const char* text, const char* pattern);

// The visible text of one table cell: markup from '<' to the next '>' removed, at most 1,024
// source bytes examined and at most dstSize - 1 bytes kept. Always returns true.
bool StripTags(const char* src, int srcLen, char* dst, int dstSize);

// Cuts text at byte limit n without dividing a Shift-JIS double-byte character: a character
// that starts at byte n - 1 stays whole, so the text may keep n + 1 bytes. Returns the new
// length + 1 when it cut (or the text was exactly n bytes), else the unchanged length.
int CutAtCharBoundary(char* text, int n);

// Copies at most limit of the length bytes of text into out (limit + 1 bytes), never leaving half
// of a Shift-JIS double-byte character at the end, and terminates it.
void CopyWholeChars(char* out, const char* text, std::size_t length, std::size_t limit);

// Remove every ',' in place. Texts of 256 bytes or more are left untouched.
void StripCommas(char* text);

// Keep only '0'-'9', '-' and '.' in place. Texts of 256 bytes or more are left untouched.
void KeepNumberChars(char* text);

// EUC-JP to Shift-JIS by arithmetic; dst needs as many bytes as src (the result is never longer).
void EucToSjis(const char* src, char* dst);
void EucPairToSjis(unsigned char c1, unsigned char c2, unsigned char* out);

// True when the two bytes form a Shift-JIS double-byte character.
[[nodiscard]] bool IsSjisPair(unsigned char first, unsigned char second);

}  // namespace tickora
