// SPDX-License-Identifier: GPL-3.0-or-later
#include "text/text_scan.h"

#include <cstring>

namespace tickora {

int FindText(const char* text, const char* pattern) {
    if (text[0] == '\0') {
        return 0;
    }
    if (pattern[0] == '\0') {
        return 1;
    }
    // strstr finds exactly the first offset a byte-by-byte strncmp walk would find, and it stops
    // there: the parsers search a 150 KB page thousands of times for a marker a few bytes ahead,
    // so measuring the rest of the page first (as memmem needs) would cost more than the search.
    const char* hit = std::strstr(text, pattern);
    if (hit == nullptr) {
        return 0;
    }
    return static_cast<int>(hit - text) + 1;
}

std::optional<int> FindOffset(const char* text, const char* pattern) {
    const int found = FindText(text, pattern);
    if (found == 0) {
        return std::nullopt;
    }
    return found - 1;
}

bool StripTags(const char* src, int srcLen, char* dst, int dstSize) {
    dst[0] = '\0';
    int n = srcLen > 1024 ? 1024 : srcLen;
    if (n <= 0 || dstSize <= 1) {
        return true;
    }
    bool inMarkup = false;
    int out = 0;
    for (int i = 0; i < n; ++i) {
        const char c = src[i];
        if (c == '\0') {
            break;
        }
        if (c == '<') {
            inMarkup = true;
        } else if (!inMarkup) {
            dst[out++] = c;
            if (out >= dstSize - 1) {
                break;
            }
        }
        if (c == '>') {
            inMarkup = false;
        }
    }
    dst[out] = '\0';
    return true;
}

bool IsSjisPair(unsigned char first, unsigned char second) {
    const bool leadOk = (first >= 0x81 && first <= 0x9F) || (first >= 0xE0 && first <= 0xFC);
    const bool trailOk = (second >= 0x40 && second <= 0x7E) || (second >= 0x80 && second <= 0xFC);
    return leadOk && trailOk;
}

int CutAtCharBoundary(char* text, int n) {
    const int len = static_cast<int>(std::strlen(text));
    if (len == 0) {
        return 0;
    }
    int p = 0;
    for (;;) {
        const auto c1 = static_cast<unsigned char>(text[p]);
        const auto c2 = static_cast<unsigned char>(text[p + 1]);
        p += (c1 >= 0x80 && IsSjisPair(c1, c2)) ? 2 : 1;
        if (p >= n) {
            text[p] = '\0';
            return p + 1;
        }
        if (p >= len) {
            return len;
        }
    }
}

namespace {

// Both filters share the 256-byte limit of the original stack work buffer: longer texts are
// deliberately left as they are.
template <typename Keep>
void FilterInPlace(char* text, Keep keep) {
    if (std::strlen(text) >= 256) {
        return;
    }
    char* out = text;
    for (const char* in = text; *in != '\0'; ++in) {
        if (keep(static_cast<unsigned char>(*in))) {
            *out++ = *in;
        }
    }
    *out = '\0';
}

}  // namespace

void StripCommas(char* text) {
    FilterInPlace(text, [](unsigned char c) { return c != ','; });
}

void KeepNumberChars(char* text) {
    FilterInPlace(text,
                  [](unsigned char c) { return (c >= '0' && c <= '9') || c == '-' || c == '.'; });
}

void EucPairToSjis(unsigned char c1, unsigned char c2, unsigned char* out) {
    // Byte arithmetic modulo 256 with truncating division, as the conversion has always been done.
    if (c1 < 0xDF) {
        out[0] = static_cast<unsigned char>(0x81 + (static_cast<int>(c1) - 0xA1) / 2);
    } else {
        out[0] = static_cast<unsigned char>(0xE0 + (static_cast<int>(c1) - 0xDF) / 2);
    }
    if (c1 & 1) {
        out[1] = static_cast<unsigned char>(c2 < 0xE0 ? c2 - 0x61 : c2 - 0x60);
    } else {
        out[1] = static_cast<unsigned char>(c2 - 2);
    }
}

void EucToSjis(const char* src, char* dst) {
    const auto* in = reinterpret_cast<const unsigned char*>(src);
    auto* out = reinterpret_cast<unsigned char*>(dst);
    while (*in != 0) {
        if (*in < 0x80) {
            *out++ = *in++;
            continue;
        }
        if (in[1] == 0) {
            break;  // a lead byte with nothing after it is dropped
        }
        EucPairToSjis(in[0], in[1], out);
        out += 2;
        in += 2;
    }
    *out = 0;
}

void CopyWholeChars(char* out, const char* text, std::size_t length, std::size_t limit) {
    std::size_t p = 0;
    while (p < length) {
        const auto c1 = static_cast<unsigned char>(text[p]);
        const auto c2 = p + 1 < length ? static_cast<unsigned char>(text[p + 1]) : 0;
        const std::size_t step = (c1 >= 0x80 && IsSjisPair(c1, c2)) ? 2 : 1;
        if (p + step > limit) {
            break;
        }
        p += step;
    }
    std::memcpy(out, text, p);
    out[p] = '\0';
}

}  // namespace tickora
