// SPDX-License-Identifier: GPL-3.0-or-later
#include "web/transfer_causes.h"

#include <cstring>
#include <string_view>

namespace tickora {
namespace {

constexpr long kProxyAuthenticationRequired = 407;

std::string ContentEncoding(CURL* curl) {
    curl_header* header = nullptr;
    if (curl_easy_header(curl, "Content-Encoding", 0, CURLH_HEADER, -1, &header) != CURLHE_OK ||
        header->value == nullptr || std::strcmp(header->value, "identity") == 0) {
        return {};
    }
    return header->value;
}

// The address libcurl is connected to, "127.0.0.1:3128"; empty before any connection.
std::string PeerOf(CURL* curl) {
    char* ip = nullptr;
    long port = 0;
    if (curl_easy_getinfo(curl, CURLINFO_PRIMARY_IP, &ip) != CURLE_OK || ip == nullptr ||
        *ip == '\0' || curl_easy_getinfo(curl, CURLINFO_PRIMARY_PORT, &port) != CURLE_OK) {
        return {};
    }
    const bool v6 = std::strchr(ip, ':') != nullptr;
    return (v6 ? "[" + std::string(ip) + "]" : std::string(ip)) + ":" + std::to_string(port);
}

// The host and port of the URL libcurl was asked for, as "host:port" with the scheme's port when
// it names none.
std::string SiteOf(CURL* curl) {
    char* url = nullptr;
    curl_easy_getinfo(curl, CURLINFO_EFFECTIVE_URL, &url);
    CURLU* parsed = curl_url();
    std::string site;
    char* host = nullptr;
    char* port = nullptr;
    if (parsed != nullptr && url != nullptr &&
        curl_url_set(parsed, CURLUPART_URL, url, 0) == CURLUE_OK &&
        curl_url_get(parsed, CURLUPART_HOST, &host, 0) == CURLUE_OK &&
        curl_url_get(parsed, CURLUPART_PORT, &port, CURLU_DEFAULT_PORT) == CURLUE_OK) {
        std::string_view name = host;
        if (name.size() > 2 && name.front() == '[' && name.back() == ']') {
            name = name.substr(1, name.size() - 2);  // as libcurl writes it in its message
        }
        site = std::string(name) + ":" + port;
    }
    curl_free(host);
    curl_free(port);
    curl_url_cleanup(parsed);
    return site;
}

// "host:port" of libcurl's "Failed to connect to host port N ..."; empty for other words.
std::string UnreachedOf(const char* words) {
    static constexpr std::string_view kLead = "Failed to connect to ";
    const std::string_view text = words != nullptr ? words : "";
    if (text.rfind(kLead, 0) != 0) {
        return {};
    }
    const std::size_t portAt = text.find(" port ", kLead.size());
    if (portAt == std::string_view::npos) {
        return {};
    }
    const std::size_t digits = portAt + std::strlen(" port ");
    std::size_t end = digits;
    while (end < text.size() && text[end] >= '0' && text[end] <= '9') {
        ++end;
    }
    if (end == digits) {
        return {};
    }
    return std::string(text.substr(kLead.size(), portAt - kLead.size())) + ":" +
           std::string(text.substr(digits, end - digits));
}

std::string Refusal(long status) {
    return HttpStatusCause(status) + (status == kProxyAuthenticationRequired
                                          ? " (it asks for a user name and password)"
                                          : "");
}

std::string ProxyNamed(const std::string& peer) {
    return peer.empty() ? "the proxy" : "the proxy " + peer;
}

}  // namespace

std::string LibcurlCause(CURLcode code, const std::string& words) {
    return words + " (curl error " + std::to_string(static_cast<int>(code)) + ")";
}

std::string HttpStatusCause(long status) {
    return "HTTP " + std::to_string(status);
}

std::optional<std::string> BadBodyCause(CURL* curl, CURLcode code, const char* words) {
    if (code != CURLE_BAD_CONTENT_ENCODING && code != CURLE_WRITE_ERROR) {
        return std::nullopt;
    }
    const std::string encoding = ContentEncoding(curl);
    if (encoding.empty() && code == CURLE_WRITE_ERROR) {
        return std::nullopt;
    }
    std::string cause = "bad " + (encoding.empty() ? std::string("encoded") : encoding) +
                        " body from the site: it does not decode";
    // libcurl's words for a failed decoding say where it failed; for bytes after the end of the
    // compressed data they speak of a write to disk, which is no help.
    if (code == CURLE_BAD_CONTENT_ENCODING && words != nullptr && *words != '\0') {
        cause += std::string(" (") + words + ")";
    }
    return cause;
}

std::optional<std::string> ProxyFailureCause(CURL* curl, CURLcode code, long status,
                                             const char* words) {
    long tunnel = 0;
    curl_easy_getinfo(curl, CURLINFO_HTTP_CONNECTCODE, &tunnel);
    if (tunnel >= 300) {
        return ProxyNamed(PeerOf(curl)) + " refused the tunnel to the site: " + Refusal(tunnel);
    }
    if (code == CURLE_OK && status == kProxyAuthenticationRequired) {
        return ProxyNamed(PeerOf(curl)) + " refused the request: " + Refusal(status);
    }
    if (code == CURLE_PROXY) {
        return ProxyNamed(PeerOf(curl)) + " failed: " + (words != nullptr ? words : "");
    }
    if (code != CURLE_COULDNT_CONNECT) {
        return std::nullopt;
    }
    // libcurl names the address it could not reach: the proxy's, when that is not the site's.
    const std::string unreached = UnreachedOf(words);
    if (unreached.empty() || unreached == SiteOf(curl)) {
        return std::nullopt;
    }
    long error = 0;
    curl_easy_getinfo(curl, CURLINFO_OS_ERRNO, &error);
    return "the proxy " + unreached + " cannot be reached: " +
           (error != 0 ? std::strerror(static_cast<int>(error)) : std::string(words));
}

}  // namespace tickora
