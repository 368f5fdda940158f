// SPDX-License-Identifier: GPL-3.0-or-later
#include "text/phrase_template.h"

namespace tickora {
namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

bool IsNotBlank(char c) {
    return c != ' ' && c != '\t' && c != '\n' && c != '\v' && c != '\f' && c != '\r';
}

bool IsNoParenthesis(char c) {
    return c != '(' && c != ')';
}

// The template's words from pos up to its next gap.
std::string_view WordsAt(std::string_view pattern, std::size_t pos) {
    const std::size_t brace = pattern.find('{', pos);
    return pattern.substr(pos, brace == std::string_view::npos ? brace : brace - pos);
}

// Where the gap of this kind, standing at `at` in text, ends; npos when it cannot stand there.
// next is the template's words after it.
std::size_t GapEnd(std::string_view kind, std::string_view text, std::size_t at,
                   std::string_view next) {
    if (kind == "*" || kind == "e" || kind == "f") {
        if (next.empty()) {
            return text.size();
        }
        if (kind == "f") {
            const std::size_t first = text.find(next, at + 1);
            return first == std::string_view::npos ? std::string_view::npos : first;
        }
        const std::size_t last = text.rfind(next);
        return last == std::string_view::npos || last < at ? std::string_view::npos : last;
    }
    bool (*in)(char) = kind == "n" ? IsDigit : kind == "w" ? IsNotBlank : IsNoParenthesis;
    std::size_t end = at;
    while (end < text.size() && in(text[end])) {
        ++end;
    }
    const bool mayBeEmpty = kind == "p";
    return end == at && !mayBeEmpty ? std::string_view::npos : end;
}

}  // namespace

std::optional<std::vector<std::string_view>> MatchPhraseTemplate(std::string_view text,
                                                                 std::string_view pattern) {
    std::vector<std::string_view> parts;
    std::size_t at = 0;
    std::size_t pos = 0;
    while (pos < pattern.size()) {
        if (pattern[pos] != '{') {
            const std::string_view words = WordsAt(pattern, pos);
            if (text.substr(at, words.size()) != words) {
                return std::nullopt;
            }
            at += words.size();
            pos += words.size();
            continue;
        }
        const std::size_t close = pattern.find('}', pos);
        if (close == std::string_view::npos) {
            return std::nullopt;
        }
        const std::string_view kind = pattern.substr(pos + 1, close - pos - 1);
        pos = close + 1;
        if (kind == "rest") {
            return parts;
        }
        const std::size_t end = GapEnd(kind, text, at, WordsAt(pattern, pos));
        if (end == std::string_view::npos) {
            return std::nullopt;
        }
        parts.push_back(text.substr(at, end - at));
        at = end;
    }
    if (at != text.size()) {
        return std::nullopt;
    }
    return parts;
}

}  // namespace tickora
