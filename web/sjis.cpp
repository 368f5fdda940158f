#include "web/sjis.h"

#include <iconv.h>

#include <cerrno>
#include <memory>

namespace tickora {
namespace {

struct IconvCloser {
    void operator()(void* cd) const { iconv_close(static_cast<iconv_t>(cd)); }
};
using IconvHandle = std::unique_ptr<void, IconvCloser>;

std::string Convert(const char* to, const char* from, std::string_view in, std::string_view bad) {
    IconvHandle cd(iconv_open(to, from));
    if (cd.get() == reinterpret_cast<void*>(-1)) {
        cd.release();
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
    return Convert("CP932", "UTF-8", utf8, "?");
}

std::string SjisToUtf8(std::string_view sjis) {
    return Convert("UTF-8", "CP932", sjis, "\xEF\xBF\xBD");
}

}  // namespace tickora
