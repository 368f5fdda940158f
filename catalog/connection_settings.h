// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// How the program reaches the finance site: the hosts, retries and pacing, the page time-out, the
// number of connections and of HTTP/2 streams on each, the HTTP/2 mode, a CA file and a proxy.
// Three sources can say it: "connection.toml" in the working folder, the TICKORA_* environment
// variables and the command line. Each is a layer of optional values; the command line wins over
// the environment, the environment over the file, the file over the defaults. Texts here are UTF-8
// (URLs, messages): they never reach a Shift-JIS file.
#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "web/connections.h"
#include "web/download.h"
#include "web/hosts.h"
#include "web/retry.h"
#include "web/site_access.h"

namespace tickora {

inline constexpr const char* kConnectionFileName = "connection.toml";
inline constexpr int kDefaultPageTimeoutSeconds = 300;

enum class ConnectionKey {
    kSite,
    kQuoteHost,
    kTableHost,
    kProfileHost,
    kRetries,
    kPaceMs,
    kPageTimeout,
    kConnections,
    kStreams,
    kHttp2,
    kCaFile,
    kProxy,
    kNoProxy,
};
inline constexpr std::size_t kConnectionKeyCount = 13;

// What a key's value is, and so how it is checked and written.
enum class ConnectionValue {
    kNumber,
    kSiteUrl,    // CheckSiteUrl
    kHttp2Mode,  // "auto", "prior-knowledge" or "off"
    kPath,       // a file name
    kProxyUrl,   // CheckProxyUrl
    kHostList,   // host names separated by commas
};

struct ConnectionLayer;

// One key's names in the three sources, its bounds when it is a number, and where a layer holds
// its value (a text or a number; the other is null).
struct ConnectionKeyInfo {
    ConnectionKey key;
    const char* fileKey;  // "retries"
    const char* envVar;   // "TICKORA_RETRIES"
    const char* option;   // "--retries"
    ConnectionValue value;
    int min;
    int max;
    std::optional<std::string> ConnectionLayer::*text = nullptr;
    std::optional<int> ConnectionLayer::*number = nullptr;

    [[nodiscard]] bool IsText() const { return value != ConnectionValue::kNumber; }
};
[[nodiscard]] const std::array<ConnectionKeyInfo, kConnectionKeyCount>& ConnectionKeys();
[[nodiscard]] const ConnectionKeyInfo& InfoOf(ConnectionKey key);

// What one source says; an empty optional leaves the value to the sources below it.
struct ConnectionLayer {
    std::optional<std::string> site;  // all three hosts
    std::optional<std::string> quoteHost;
    std::optional<std::string> tableHost;
    std::optional<std::string> profileHost;
    std::optional<int> retries;
    std::optional<int> paceMs;
    std::optional<int> pageTimeout;  // seconds
    std::optional<int> connections;
    std::optional<int> streams;
    std::optional<std::string> http2;
    std::optional<std::string> caFile;
    std::optional<std::string> proxy;
    std::optional<std::string> noProxy;

    [[nodiscard]] bool Has(ConnectionKey key) const;
    void Clear(ConnectionKey key);
    // Sets a key from its already checked value.
    void SetText(ConnectionKey key, std::string value);
    void SetNumber(ConnectionKey key, int value);
    // Takes every value that top sets.
    void Overlay(const ConnectionLayer& top);
    [[nodiscard]] bool operator==(const ConnectionLayer&) const = default;
};

// The one place the keys are named: the option table of both programs takes its connection options
// from here.
inline constexpr std::array<ConnectionKeyInfo, kConnectionKeyCount> kConnectionKeys{{
    {ConnectionKey::kSite, "site", "TICKORA_SITE", "--site", ConnectionValue::kSiteUrl, 0, 0,
     &ConnectionLayer::site},
    {ConnectionKey::kQuoteHost, "quote_host", "TICKORA_QUOTE_HOST", "--quote-host",
     ConnectionValue::kSiteUrl, 0, 0, &ConnectionLayer::quoteHost},
    {ConnectionKey::kTableHost, "table_host", "TICKORA_TABLE_HOST", "--table-host",
     ConnectionValue::kSiteUrl, 0, 0, &ConnectionLayer::tableHost},
    {ConnectionKey::kProfileHost, "profile_host", "TICKORA_PROFILE_HOST", "--profile-host",
     ConnectionValue::kSiteUrl, 0, 0, &ConnectionLayer::profileHost},
    {ConnectionKey::kRetries, "retries", "TICKORA_RETRIES", "--retries", ConnectionValue::kNumber,
     0, kMaxRetries, nullptr, &ConnectionLayer::retries},
    {ConnectionKey::kPaceMs, "pace_ms", "TICKORA_PACE_MS", "--pace", ConnectionValue::kNumber, 0,
     kMaxPaceMs, nullptr, &ConnectionLayer::paceMs},
    {ConnectionKey::kPageTimeout, "page_timeout", "TICKORA_PAGE_TIMEOUT", "--page-timeout",
     ConnectionValue::kNumber, kMinPageTimeoutSeconds, kMaxPageTimeoutSeconds, nullptr,
     &ConnectionLayer::pageTimeout},
    {ConnectionKey::kConnections, "connections", "TICKORA_CONNECTIONS", "--connections",
     ConnectionValue::kNumber, kMinConnections, kMaxConnections, nullptr,
     &ConnectionLayer::connections},
    {ConnectionKey::kStreams, "streams", "TICKORA_STREAMS", "--streams", ConnectionValue::kNumber,
     kMinStreams, kMaxStreams, nullptr, &ConnectionLayer::streams},
    {ConnectionKey::kHttp2, "http2", "TICKORA_HTTP2", "--http2", ConnectionValue::kHttp2Mode, 0, 0,
     &ConnectionLayer::http2},
    {ConnectionKey::kCaFile, "ca_file", "TICKORA_CA_FILE", "--ca-file", ConnectionValue::kPath, 0,
     0, &ConnectionLayer::caFile},
    {ConnectionKey::kProxy, "proxy", "TICKORA_PROXY", "--proxy", ConnectionValue::kProxyUrl, 0, 0,
     &ConnectionLayer::proxy},
    {ConnectionKey::kNoProxy, "no_proxy", "TICKORA_NO_PROXY", "--no-proxy",
     ConnectionValue::kHostList, 0, 0, &ConnectionLayer::noProxy},
}};

// Empty when url can name a site: an http:// or https:// URL with a host (and maybe a port and a
// path), without blanks, query or fragment. Otherwise what is wrong, as "must be ..." text.
[[nodiscard]] std::string CheckSiteUrl(std::string_view url);

// Empty when url can name a proxy: an http://, https://, socks5:// or socks5h:// URL with a host
// and nothing after it but a '/'. Otherwise what is wrong, as "must be ..." text.
[[nodiscard]] std::string CheckProxyUrl(std::string_view url);

// Reads text (digits only) as key's value within its bounds, or checks the text of a text key,
// into layer. Empty on success, else "must be ..." text that the caller prefixes with the key's
// name.
[[nodiscard]] std::string SetFromText(ConnectionLayer& layer, ConnectionKey key,
                                      std::string_view text);

// What a source gave: the values that were good, and one message per bad value (UTF-8, naming
// the file and key, or the variable).
struct LayerLoad {
    ConnectionLayer layer;
    std::vector<std::string> errors;
    std::vector<ConnectionKey> badKeys;  // the keys that errors are about, where one is known
    bool exists = false;                 // the file was there (always true for the environment)
};

// Parses a connection file's text; name is the file as messages give it. Unknown keys, values
// of the wrong type or out of bounds are errors; the good keys are kept.
[[nodiscard]] LayerLoad ParseConnectionFile(std::string_view text, const std::string& name);
// Reads and parses the file; a missing file is an empty layer without error.
[[nodiscard]] LayerLoad LoadConnectionFile(const std::string& path);
// The file's text for a layer: a comment, then the keys that are set, in a fixed order.
[[nodiscard]] std::string FormatConnectionFile(const ConnectionLayer& layer);
// Writes the file beside itself and renames it over the old one. Empty on success, else why.
[[nodiscard]] std::string SaveConnectionFile(const ConnectionLayer& layer, const std::string& path);

// TICKORA_SITE, TICKORA_QUOTE_HOST, ... as a layer. An empty variable counts as not set.
[[nodiscard]] LayerLoad ConnectionLayerFromEnvironment();

// A value in force and where it came from: "default", the file's name, a variable or an option.
template <class T>
struct Sourced {
    T value;
    std::string origin = "default";
};

struct ConnectionSettings {
    Sourced<std::string> quoteHost{kDefaultSite};
    Sourced<std::string> tableHost{kDefaultSite};
    Sourced<std::string> profileHost{kDefaultSite};
    Sourced<int> retries{0};
    Sourced<int> paceMs{0};
    Sourced<int> pageTimeout{kDefaultPageTimeoutSeconds};
    Sourced<int> connections{1};
    Sourced<int> streams{kDefaultStreams};
    Sourced<std::string> http2{Http2ModeName(Http2Mode::kAuto)};
    Sourced<std::string> caFile{""};
    Sourced<std::string> proxy{""};
    Sourced<std::string> noProxy{""};

    [[nodiscard]] SiteHosts HostSettings() const;
    [[nodiscard]] Transport TransportSettings() const;
};

// Lays file, environment and command line over the defaults, in that order. Within one layer
// the site sets all three hosts and a host key then overrides its own; a higher layer's site
// replaces every host of the layers below. fileName is the origin of the file's values.
[[nodiscard]] ConnectionSettings MergeConnectionLayers(
    const ConnectionLayer& file, const ConnectionLayer& environment,
    const ConnectionLayer& commandLine, const std::string& fileName = kConnectionFileName);

// The merged settings of the working folder's file, the environment and commandLine, with every
// message of the file and the environment. The caller decides whether an error stops it.
struct ConnectionLoad {
    ConnectionSettings settings;
    LayerLoad file;
    LayerLoad environment;
    [[nodiscard]] std::vector<std::string> Errors() const;
};
[[nodiscard]] ConnectionLoad LoadConnectionSettings(const ConnectionLayer& commandLine,
                                                    const std::string& path = kConnectionFileName);

// The site access the settings give: hosts, retries and pacing, the page time-out, the
// connection count and the transport, over base, whose backoff base and other limits are kept;
// the hosts trimmed and the numbers within their bounds.
[[nodiscard]] SiteAccess SiteAccessOf(const ConnectionSettings& settings, SiteAccess base = {});

// One "name: value (origin)" line a setting, as `tickora-cli settings` prints them.
[[nodiscard]] std::string FormatConnectionSettings(const ConnectionSettings& settings);

}  // namespace tickora
