// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Causes of failed transfers that libcurl's own words name wrongly or not at all: a body the site
// encoded badly, which libcurl reports as a failed write to disk, and a failure at the proxy,
// which libcurl names by a bare host and port, or by an HTTP status the site never sent.
#include <curl/curl.h>

#include <optional>
#include <string>

namespace tickora {

// libcurl's words for a failed transfer, with the number of its error after them: "transfer
// closed with 2865 bytes remaining to read (curl error 18)". The words differ from one libcurl to
// the next and say more than the number, which names the kind of failure for a reader that
// puts the cause in other words.
[[nodiscard]] std::string LibcurlCause(CURLcode code, const std::string& words);

// "HTTP 503": a page that came back with another status than 200.
[[nodiscard]] std::string HttpStatusCause(long status);

// "bad gzip body from the site: ..." when code is libcurl's answer to a body it could not decode;
// nothing otherwise. Only for a transfer whose own writes to the page's file all succeeded.
[[nodiscard]] std::optional<std::string> BadBodyCause(CURL* curl, CURLcode code, const char* words);

// The proxy's failure, naming it by host and port (never by its credentials) and saying why: it
// could not be reached, or it refused the request or the tunnel (407: it asks for a user name and
// password). Nothing when the failure was not the proxy's. status is the HTTP status received,
// words libcurl's text for code.
[[nodiscard]] std::optional<std::string> ProxyFailureCause(CURL* curl, CURLcode code, long status,
                                                           const char* words);

}  // namespace tickora
