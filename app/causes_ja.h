// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The Japanese of the core's texts (jobs/cause_catalog.h): one Japanese template for each of the
// core's templates, the kinds of failed transfers by libcurl's error number, the HTTP statuses by
// their classes and the system's words for the errors of files and connections.
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace tickora::gui {

// english is a template of the core (text/phrase_template.h); ja says the same with $1, $2 ...
// for the gaps in their order. Each gap's text is put into Japanese in its turn when it is a
// phrase of the core itself, and {e}'s system words when they are known. Two templates have no ja:
// kLibcurlCause and kHttpStatus, which their own readers put into Japanese.
inline constexpr std::string_view kLibcurlCause = "{*} (curl error {n})";
inline constexpr std::string_view kHttpStatus = "HTTP {n}";
struct PhraseJaTemplate {
    std::string_view english;
    std::string_view ja;
};
[[nodiscard]] std::span<const PhraseJaTemplate> PhraseTemplatesJa();

// What kind of failure libcurl's error number names ("サーバーに接続できません"); empty for a
// number libcurl does not use.
[[nodiscard]] std::string_view CurlErrorJa(int code);

// "ページがありません (HTTP 404)": the status in words, by itself or by its class, and its number.
[[nodiscard]] std::string HttpStatusJa(long status);

// The system's words for an error number (strerror, in the language of the process) and the
// file layer's words for a link or a file that is no regular file, in Japanese; nothing for
// words it does not know.
[[nodiscard]] std::optional<std::string> SystemWordsJa(std::string_view words);

}  // namespace tickora::gui
