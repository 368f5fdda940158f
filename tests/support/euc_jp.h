// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Pages in the site's encoding for hand-built test pages: UTF-8 to EUC-JP through the system's
// iconv, independent of the program's own conversions.
#include <iconv.h>

#include <stdexcept>
#include <string>
#include <string_view>

namespace tickora::test {

inline std::string EucJp(std::string_view utf8) {
    iconv_t cd = iconv_open("EUC-JP", "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        throw std::runtime_error("no EUC-JP converter");
    }
    std::string in(utf8);
    std::string out(in.size() * 3 + 4, '\0');
    char* src = in.data();
    size_t srcLeft = in.size();
    char* dst = out.data();
    size_t dstLeft = out.size();
    const size_t rc = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
    iconv_close(cd);
    if (rc == static_cast<size_t>(-1)) {
        throw std::runtime_error("not convertible to EUC-JP: " + in);
    }
    out.resize(out.size() - dstLeft);
    return out;
}

}  // namespace tickora::test
