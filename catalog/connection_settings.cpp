// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalog/connection_settings.h"

#include <curl/curl.h>
#include <sys/stat.h>
#include <toml++/toml.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <sstream>

#include "files/file_io.h"
#include "web/connections.h"
#include "web/download.h"
#include "web/retry.h"

namespace tickora {
namespace {

// The file holds a handful of keys; anything this large is not it.
constexpr std::size_t kMaxFileBytes = 64 * 1024;

std::optional<std::string> ConnectionLayer::*TextMember(ConnectionKey key) {
    return kConnectionKeys[static_cast<std::size_t>(key)].text;
}

std::optional<int> ConnectionLayer::*NumberMember(ConnectionKey key) {
    return kConnectionKeys[static_cast<std::size_t>(key)].number;
}

std::string NumberRule(const ConnectionKeyInfo& info) {
    return "must be a whole number from " + std::to_string(info.min) + " to " +
           std::to_string(info.max);
}

const char* kUrlRule = "must be an http:// or https:// URL with a host";
const char* kProxyRule = "must be an http://, https://, socks5:// or socks5h:// URL with a host";
const char* kHttp2Rule = "must be auto, prior-knowledge or off";
const char* kPathRule = "must be a file name without control characters";
const char* kHostListRule = "must be host names separated by commas, without blanks";

bool HasControl(std::string_view text) {
    for (char c : text) {
        if (static_cast<unsigned char>(c) < ' ' || c == 0x7f) {
            return true;
        }
    }
    return false;
}

bool IsBlankOrControl(char c) {
    return static_cast<unsigned char>(c) <= ' ' || c == 0x7f;
}

bool AllDigits(std::string_view text) {
    if (text.empty()) {
        return false;
    }
    for (char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
    }
    return true;
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) {
        text.remove_suffix(1);
    }
    return text;
}

// A value as the file has it, for messages: strings quoted, other types as TOML writes them.
std::string ShowNode(const toml::node& node) {
    std::ostringstream out;
    node.visit([&out](const auto& value) { out << value; });
    std::string text = out.str();
    constexpr std::size_t kShown = 60;
    if (text.size() > kShown) {
        text = text.substr(0, kShown) + "...";
    }
    return text;
}

std::string TomlString(const std::string& value) {
    std::ostringstream out;
    out << toml::value<std::string>(value);
    return out.str();
}

std::string PortRule() {
    return std::string(kUrlRule) + " (and a port from 1 to 65535 after ':')";
}

// What follows "http://" or "https://" (the scheme in any case); empty for any other scheme.
std::string_view AfterHttpScheme(std::string_view url) {
    for (std::string_view scheme : {"http://", "https://"}) {
        if (url.size() >= scheme.size() &&
            std::equal(scheme.begin(), scheme.end(), url.begin(), [](char a, char b) {
                return a == std::tolower(static_cast<unsigned char>(b));
            })) {
            return url.substr(scheme.size());
        }
    }
    return {};
}

struct CurlUrlCleanup {
    void operator()(CURLU* url) const { curl_url_cleanup(url); }
};

std::string ErrnoText(int error) {
    return std::strerror(error);
}

}  // namespace

const std::array<ConnectionKeyInfo, kConnectionKeyCount>& ConnectionKeys() {
    return kConnectionKeys;
}

const ConnectionKeyInfo& InfoOf(ConnectionKey key) {
    return kConnectionKeys[static_cast<std::size_t>(key)];
}

bool ConnectionLayer::Has(ConnectionKey key) const {
    if (auto text = TextMember(key)) {
        return (this->*text).has_value();
    }
    return (this->*NumberMember(key)).has_value();
}

void ConnectionLayer::Clear(ConnectionKey key) {
    if (auto text = TextMember(key)) {
        (this->*text).reset();
    } else {
        (this->*NumberMember(key)).reset();
    }
}

void ConnectionLayer::SetText(ConnectionKey key, std::string value) {
    if (auto text = TextMember(key)) {
        this->*text = std::move(value);
    }
}

void ConnectionLayer::SetNumber(ConnectionKey key, int value) {
    if (auto number = NumberMember(key)) {
        this->*number = value;
    }
}

void ConnectionLayer::Overlay(const ConnectionLayer& top) {
    for (const ConnectionKeyInfo& info : kConnectionKeys) {
        if (auto text = TextMember(info.key); text != nullptr && (top.*text)) {
            this->*text = top.*text;
        } else if (auto number = NumberMember(info.key); number != nullptr && (top.*number)) {
            this->*number = top.*number;
        }
    }
}

std::string CheckSiteUrl(std::string_view url) {
    const std::string_view rest = AfterHttpScheme(url);
    if (rest.empty()) {
        return kUrlRule;
    }
    for (char c : url) {
        if (IsBlankOrControl(c)) {
            return std::string(kUrlRule) + ", without blanks";
        }
        if (c == '?' || c == '#') {
            // The jobs append their own paths and queries to the site.
            return std::string(kUrlRule) + ", without a query or fragment";
        }
    }
    // libcurl reads "http:///path" as the host "path", and takes a port left empty after ':' for
    // the scheme's own: the site has to be named, and its port given, in full.
    const std::string_view authority = rest.substr(0, rest.find('/'));
    if (authority.empty()) {
        return kUrlRule;
    }
    if (authority.back() == ':') {
        return PortRule();
    }
    const std::unique_ptr<CURLU, CurlUrlCleanup> parsed(curl_url());
    const CURLUcode parse =
        parsed ? curl_url_set(parsed.get(), CURLUPART_URL, std::string(url).c_str(), 0)
               : CURLUE_OUT_OF_MEMORY;
    if (parse == CURLUE_BAD_PORT_NUMBER) {
        return PortRule();
    }
    if (parse != CURLUE_OK) {
        return kUrlRule;
    }
    char* port = nullptr;
    if (curl_url_get(parsed.get(), CURLUPART_PORT, &port, 0) == CURLUE_OK) {
        const bool zero = std::strcmp(port, "0") == 0;
        curl_free(port);
        if (zero) {
            return PortRule();
        }
    }
    return {};
}

std::string CheckProxyUrl(std::string_view url) {
    const std::size_t schemeEnd = url.find("://");
    if (schemeEnd == std::string_view::npos) {
        return kProxyRule;
    }
    std::string scheme(url.substr(0, schemeEnd));
    for (char& c : scheme) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    if (scheme != "http" && scheme != "https" && scheme != "socks5" && scheme != "socks5h") {
        return kProxyRule;
    }
    // The proxy's host and port are checked as a site's are, under a scheme that rule knows.
    std::string asSite = "http" + std::string(url.substr(schemeEnd));
    if (!asSite.empty() && asSite.back() == '/') {
        asSite.pop_back();
    }
    if (!CheckSiteUrl(asSite).empty() || asSite.find('/', 7) != std::string::npos) {
        return kProxyRule;
    }
    return {};
}

namespace {

const char* TextRule(ConnectionValue kind) {
    switch (kind) {
        case ConnectionValue::kProxyUrl:
            return kProxyRule;
        case ConnectionValue::kHttp2Mode:
            return kHttp2Rule;
        case ConnectionValue::kPath:
            return kPathRule;
        case ConnectionValue::kHostList:
            return kHostListRule;
        default:
            return kUrlRule;
    }
}

std::string CheckText(ConnectionValue kind, std::string_view text) {
    switch (kind) {
        case ConnectionValue::kSiteUrl:
            return CheckSiteUrl(text);
        case ConnectionValue::kProxyUrl:
            return CheckProxyUrl(text);
        case ConnectionValue::kHttp2Mode: {
            Http2Mode mode;
            return ParseHttp2Mode(text, mode) ? std::string() : kHttp2Rule;
        }
        case ConnectionValue::kPath:
            return text.empty() || HasControl(text) ? kPathRule : std::string();
        case ConnectionValue::kHostList:
            for (char c : text) {
                if (IsBlankOrControl(c)) {
                    return kHostListRule;
                }
            }
            return text.empty() ? kHostListRule : std::string();
        case ConnectionValue::kNumber:
            break;
    }
    return {};
}

}  // namespace

std::string SetFromText(ConnectionLayer& layer, ConnectionKey key, std::string_view text) {
    const ConnectionKeyInfo& info = InfoOf(key);
    if (info.IsText()) {
        std::string rule = CheckText(info.value, text);
        if (rule.empty()) {
            layer.SetText(key, std::string(text));
        }
        return rule;
    }
    // Nine digits cannot overflow an int, and every bound is far below that.
    if (!AllDigits(text) || text.size() > 9) {
        return NumberRule(info);
    }
    const int value = std::atoi(std::string(text).c_str());
    if (value < info.min || value > info.max) {
        return NumberRule(info);
    }
    layer.SetNumber(key, value);
    return {};
}

LayerLoad ParseConnectionFile(std::string_view text, const std::string& name) {
    LayerLoad load;
    load.exists = true;
    toml::table table;
    try {
        table = toml::parse(text, name);
    } catch (const toml::parse_error& error) {
        const toml::source_position at = error.source().begin;
        load.errors.push_back(name + ":" + std::to_string(at.line) + ":" +
                              std::to_string(at.column) + ": " + std::string(error.description()));
        return load;
    }
    for (auto&& [tomlKey, node] : table) {
        const std::string key(tomlKey.str());
        const ConnectionKeyInfo* info = nullptr;
        for (const ConnectionKeyInfo& candidate : kConnectionKeys) {
            if (key == candidate.fileKey) {
                info = &candidate;
            }
        }
        const std::string where = name + ":" + std::to_string(node.source().begin.line) + ": ";
        if (info == nullptr) {
            std::string known;
            for (const ConnectionKeyInfo& candidate : kConnectionKeys) {
                known += (known.empty() ? "" : ", ") + std::string(candidate.fileKey);
            }
            load.errors.push_back(where + "unknown key '" + key + "' (the keys are " + known + ")");
            continue;
        }
        std::string rule;
        if (info->IsText()) {
            if (const auto* value = node.as_string()) {
                rule = SetFromText(load.layer, info->key, value->get());
            } else {
                rule = TextRule(info->value);
            }
        } else if (const auto* value = node.as_integer()) {
            const std::int64_t number = value->get();
            if (number < info->min || number > info->max) {
                rule = NumberRule(*info);
            } else {
                load.layer.SetNumber(info->key, static_cast<int>(number));
            }
        } else {
            rule = NumberRule(*info);
        }
        if (!rule.empty()) {
            load.errors.push_back(where + key + " " + rule + " (got " + ShowNode(node) + ")");
            load.badKeys.push_back(info->key);
        }
    }
    return load;
}

LayerLoad LoadConnectionFile(const std::string& path) {
    LayerLoad load;
    // Never through a link, and never an open or a read that waits for ever (a FIFO).
    std::string text;
    const int error = ReadWholeFile(path, kMaxFileBytes, text);
    if (error == ENOENT) {
        return load;
    }
    load.exists = true;
    if (error == kFileTooLarge) {
        load.errors.push_back(path + ": larger than " + std::to_string(kMaxFileBytes / 1024) +
                              " KiB, not a connection settings file");
        return load;
    }
    if (error != 0) {
        load.errors.push_back(path + ": cannot be read: " + LocalFileErrorText(error));
        return load;
    }
    return ParseConnectionFile(text, path);
}

std::string FormatConnectionFile(const ConnectionLayer& layer) {
    std::string text =
        "# Tickora's connection settings, read at every start from the working folder.\n"
        "# The TICKORA_* environment variables and the command line override them; a key left\n"
        "# out keeps its default (the simulated site on loopback, " +
        std::string(kDefaultSite) + ").\n";
    for (const ConnectionKeyInfo& info : kConnectionKeys) {
        if (!layer.Has(info.key)) {
            continue;
        }
        text += info.fileKey;
        text += " = ";
        if (info.IsText()) {
            text += TomlString(*(layer.*TextMember(info.key)));
        } else {
            text += std::to_string(*(layer.*NumberMember(info.key)));
        }
        text += '\n';
    }
    return text;
}

std::string SaveConnectionFile(const ConnectionLayer& layer, const std::string& path) {
    // Written whole beside the old file and renamed over it, keeping its mode: a file of mode 600
    // that holds a proxy's password stays private.
    if (const int error = ReplaceFile(path, FormatConnectionFile(layer)); error != 0) {
        return path + " could not be written: " + ErrnoText(error);
    }
    return {};
}

LayerLoad ConnectionLayerFromEnvironment() {
    LayerLoad load;
    load.exists = true;
    for (const ConnectionKeyInfo& info : kConnectionKeys) {
        const char* value = std::getenv(info.envVar);
        if (value == nullptr || *value == '\0') {
            continue;
        }
        // A unit file's "Environment=TICKORA_RETRIES= 3" is still the number 3.
        const std::string_view text =
            info.value == ConnectionValue::kNumber ? Trim(value) : std::string_view(value);
        if (std::string rule = SetFromText(load.layer, info.key, text); !rule.empty()) {
            load.errors.push_back(std::string(info.envVar) + " " + rule + " (got '" + value + "')");
            load.badKeys.push_back(info.key);
        }
    }
    return load;
}

SiteHosts ConnectionSettings::HostSettings() const {
    return {quoteHost.value, tableHost.value, profileHost.value};
}

Transport ConnectionSettings::TransportSettings() const {
    Transport transport;
    transport.streams = streams.value;
    (void)ParseHttp2Mode(http2.value, transport.http2);
    transport.caFile = caFile.value;
    transport.proxy = proxy.value;
    transport.noProxy = noProxy.value;
    return transport;
}

ConnectionSettings MergeConnectionLayers(const ConnectionLayer& file,
                                         const ConnectionLayer& environment,
                                         const ConnectionLayer& commandLine,
                                         const std::string& fileName) {
    ConnectionSettings merged;
    struct Source {
        const ConnectionLayer& layer;
        int kind;  // 0 file, 1 environment, 2 command line
    };
    auto originOf = [&fileName](int kind, ConnectionKey key) -> std::string {
        const ConnectionKeyInfo& info = InfoOf(key);
        return kind == 0 ? fileName : kind == 1 ? info.envVar : info.option;
    };
    for (const Source source : {Source{file, 0}, Source{environment, 1}, Source{commandLine, 2}}) {
        const ConnectionLayer& layer = source.layer;
        auto take = [&](auto& target, const auto& value, ConnectionKey key) {
            if (value) {
                target.value = *value;
                target.origin = originOf(source.kind, key);
            }
        };
        take(merged.quoteHost, layer.site, ConnectionKey::kSite);
        take(merged.tableHost, layer.site, ConnectionKey::kSite);
        take(merged.profileHost, layer.site, ConnectionKey::kSite);
        take(merged.quoteHost, layer.quoteHost, ConnectionKey::kQuoteHost);
        take(merged.tableHost, layer.tableHost, ConnectionKey::kTableHost);
        take(merged.profileHost, layer.profileHost, ConnectionKey::kProfileHost);
        take(merged.retries, layer.retries, ConnectionKey::kRetries);
        take(merged.paceMs, layer.paceMs, ConnectionKey::kPaceMs);
        take(merged.pageTimeout, layer.pageTimeout, ConnectionKey::kPageTimeout);
        take(merged.connections, layer.connections, ConnectionKey::kConnections);
        take(merged.streams, layer.streams, ConnectionKey::kStreams);
        take(merged.http2, layer.http2, ConnectionKey::kHttp2);
        take(merged.caFile, layer.caFile, ConnectionKey::kCaFile);
        take(merged.proxy, layer.proxy, ConnectionKey::kProxy);
        take(merged.noProxy, layer.noProxy, ConnectionKey::kNoProxy);
    }
    return merged;
}

std::vector<std::string> ConnectionLoad::Errors() const {
    std::vector<std::string> all = file.errors;
    all.insert(all.end(), environment.errors.begin(), environment.errors.end());
    return all;
}

ConnectionLoad LoadConnectionSettings(const ConnectionLayer& commandLine, const std::string& path) {
    ConnectionLoad load;
    load.file = LoadConnectionFile(path);
    load.environment = ConnectionLayerFromEnvironment();
    load.settings = MergeConnectionLayers(load.file.layer, load.environment.layer, commandLine,
                                          kConnectionFileName);
    return load;
}

SiteAccess SiteAccessOf(const ConnectionSettings& settings, SiteAccess base) {
    base.hosts = settings.HostSettings();
    base.retry.retries = settings.retries.value;
    base.retry.paceMs = settings.paceMs.value;
    base.limits.pageTimeout = std::chrono::seconds(settings.pageTimeout.value);
    base.connections = settings.connections.value;
    base.transport = settings.TransportSettings();
    return Normalized(std::move(base));
}

std::string FormatConnectionSettings(const ConnectionSettings& settings) {
    auto origin = [](const std::string& from, bool isHost) {
        if (from != "default") {
            return " (" + from + ")";
        }
        return std::string(isHost ? " (default: the simulated site on loopback)" : " (default)");
    };
    std::string text;
    text +=
        "quote-host: " + settings.quoteHost.value + origin(settings.quoteHost.origin, true) + "\n";
    text +=
        "table-host: " + settings.tableHost.value + origin(settings.tableHost.origin, true) + "\n";
    text += "profile-host: " + settings.profileHost.value +
            origin(settings.profileHost.origin, true) + "\n";
    text += "retries: " + std::to_string(settings.retries.value) +
            origin(settings.retries.origin, false) + "\n";
    text += "pace: " + std::to_string(settings.paceMs.value) + " ms" +
            origin(settings.paceMs.origin, false) + "\n";
    text += "page-timeout: " + std::to_string(settings.pageTimeout.value) + " s" +
            origin(settings.pageTimeout.origin, false) + "\n";
    text += "connections: " + std::to_string(settings.connections.value) +
            origin(settings.connections.origin, false) + "\n";
    text += "streams: " + std::to_string(settings.streams.value) +
            origin(settings.streams.origin, false) + "\n";
    text += "http2: " + settings.http2.value + origin(settings.http2.origin, false) + "\n";
    auto orNone = [](const std::string& value, const char* none) {
        return value.empty() ? std::string(none) : value;
    };
    text += "ca-file: " + orNone(settings.caFile.value, "none, the system's CA store") +
            origin(settings.caFile.origin, false) + "\n";
    text += "proxy: " + orNone(settings.proxy.value, "none, or the proxy environment variables") +
            origin(settings.proxy.origin, false) + "\n";
    text += "no-proxy: " + orNone(settings.noProxy.value, "none") +
            origin(settings.noProxy.origin, false) + "\n";
    return text;
}

}  // namespace tickora
