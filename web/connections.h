// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// How the jobs reach the site: how many connections they may open to it at once, how many
// requests share one connection when the site speaks HTTP/2, and the TLS and proxy particulars.
// One connection by default: a request at a time is the polite choice for a site that has not
// said it welcomes more, and HTTP/2 lets one connection carry many without opening more.
#include <string>
#include <string_view>

namespace tickora {

inline constexpr int kMinConnections = 1;
inline constexpr int kMaxConnections = 16;
inline constexpr int kMinStreams = 1;
inline constexpr int kMaxStreams = 100;
inline constexpr int kDefaultStreams = 16;

enum class Http2Mode {
    kAuto,            // HTTP/2 where TLS negotiates it, HTTP/1.1 over plain HTTP
    kPriorKnowledge,  // HTTP/2 from the first byte, plain HTTP included
    kOff,             // HTTP/1.1 only
};
// "auto", "prior-knowledge", "off", as the settings spell them.
[[nodiscard]] const char* Http2ModeName(Http2Mode mode);
[[nodiscard]] bool ParseHttp2Mode(std::string_view text, Http2Mode& mode);

struct Transport {
    int streams = kDefaultStreams;  // requests in flight on one HTTP/2 connection
    Http2Mode http2 = Http2Mode::kAuto;
    std::string caFile;   // a PEM bundle trusted besides the system's; empty: none
    std::string proxy;    // http:// or socks5:// URL; empty: libcurl's environment variables
    std::string noProxy;  // hosts reached without the proxy, comma separated

    [[nodiscard]] bool operator==(const Transport&) const = default;
};

}  // namespace tickora
