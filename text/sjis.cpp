// SPDX-License-Identifier: GPL-3.0-or-later
#include "text/sjis.h"

#include <iconv.h>

#include <cerrno>
#include <memory>

namespace tickora {
namespace {

struct IconvCloser {
    void operator()(void* cd) const { iconv_close(static_cast<iconv_t>(cd)); }
};
using IconvHandle = std::unique_ptr<void, IconvCloser>;

// With bad == nullptr the conversion stops at the first unconvertible byte and yields nothing.
std::optional<std::string> Convert(const char* to, const char* from, std::string_view in,
                                   const char* bad) {
    IconvHandle cd(iconv_open(to, from));
    if (cd.get() == reinterpret_cast<void*>(-1)) {
        cd.release();
        if (bad == nullptr) {
            return std::nullopt;
        }
        return std::string(in);
    }
    std::string out;
    out.reserve(in.size() * 2);
    char buffer[1024];
    char* src = const_cast<char*>(in.data());
    size_t srcLeft = in.size();
    while (srcLeft > 0) {
        char* dst = buffer;
        size_t dstLeft = sizeof buffer;
        const size_t r = iconv(static_cast<iconv_t>(cd.get()), &src, &srcLeft, &dst, &dstLeft);
        out.append(buffer, dst);
        if (r == static_cast<size_t>(-1) && errno != E2BIG) {
            if (bad == nullptr) {
                return std::nullopt;
            }
            // Skip one unconvertible byte and mark it, rather than losing the rest of the text.
            out.append(bad);
            ++src;
            --srcLeft;
        }
    }
    return out;
}

}  // namespace

std::string Utf8ToSjis(std::string_view utf8) {
    return *Convert("CP932", "UTF-8", utf8, "?");
}

std::string SjisToUtf8(std::string_view sjis) {
    return *Convert("UTF-8", "CP932", sjis, "\xEF\xBF\xBD");
}

std::optional<std::string> Utf8ToSjisExact(std::string_view utf8) {
    return Convert("CP932", "UTF-8", utf8, nullptr);
}

std::optional<std::string> SjisToUtf8Exact(std::string_view sjis) {
    return Convert("UTF-8", "CP932", sjis, nullptr);
}

bool IsMultiByteUtf8(std::string_view text) {
    bool multiByte = false;
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const auto* end = p + text.size();
    while (p < end) {
        const unsigned char c = *p;
        if (c < 0x80) {
            ++p;
            continue;
        }
        int length = 0;
        unsigned low = 0x80;  // the second byte's range, narrowed where a lead byte needs it
        unsigned high = 0xBF;
        if (c >= 0xC2 && c <= 0xDF) {
            length = 2;
        } else if (c >= 0xE0 && c <= 0xEF) {
            length = 3;
            low = c == 0xE0 ? 0xA0 : 0x80;   // no overlong form
            high = c == 0xED ? 0x9F : 0xBF;  // no surrogate
        } else if (c >= 0xF0 && c <= 0xF4) {
            length = 4;
            low = c == 0xF0 ? 0x90 : 0x80;
            high = c == 0xF4 ? 0x8F : 0xBF;  // nothing past U+10FFFF
        } else {
            return false;
        }
        if (end - p < length || p[1] < low || p[1] > high) {
            return false;
        }
        for (int i = 2; i < length; ++i) {
            if (p[i] < 0x80 || p[i] > 0xBF) {
                return false;
            }
        }
        multiByte = true;
        p += length;
    }
    return multiByte;
}

}  // namespace tickora
