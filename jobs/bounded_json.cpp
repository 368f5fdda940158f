// SPDX-License-Identifier: GPL-3.0-or-later
#include "jobs/bounded_json.h"

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace tickora {
namespace {

using nlohmann::json;

// Builds the value from the parser's events, holding only what the bounds let through. A
// container that is dropped stays on the stack as null, so that what it holds is dropped too.
class BoundedBuilder : public nlohmann::json_sax<json> {
  public:
    explicit BoundedBuilder(const JsonBounds& bounds) : m_bounds(bounds) {}

    bool null() override { return Take(json(nullptr)); }
    bool boolean(bool value) override { return Take(json(value)); }
    bool number_integer(number_integer_t value) override { return Take(json(value)); }
    bool number_unsigned(number_unsigned_t value) override { return Take(json(value)); }
    bool number_float(number_float_t value, const string_t& /*text*/) override {
        return Take(json(value));
    }
    bool string(string_t& value) override {
        return Take(json(CutText(std::move(value), m_bounds.textBytes)));
    }
    bool binary(binary_t& /*value*/) override { return Take(json(nullptr)); }
    bool start_object(std::size_t /*elements*/) override { return Open(json::object()); }
    bool start_array(std::size_t /*elements*/) override { return Open(json::array()); }
    bool end_object() override { return Close(); }
    bool end_array() override { return Close(); }
    bool key(string_t& key) override {
        m_keyKept = m_bounds.keepKey == nullptr || m_bounds.keepKey(key);
        m_key = CutText(std::move(key), m_bounds.textBytes);
        return true;
    }
    bool parse_error(std::size_t /*position*/, const std::string& /*token*/,
                     const nlohmann::detail::exception& /*error*/) override {
        return false;
    }

    json& Root() { return m_root; }

  private:
    // False, ending the parse, once the text holds more values than the bounds allow.
    bool Take(json&& value) {
        (void)Add(std::move(value));
        return m_values <= m_bounds.values;
    }

    // Where value went; nullptr when it was dropped.
    json* Add(json&& value) {
        if (++m_values > m_bounds.values) {
            return nullptr;
        }
        if (m_stack.empty()) {
            m_root = std::move(value);
            return &m_root;
        }
        json* parent = m_stack.back();
        if (parent == nullptr || m_stack.size() > m_bounds.depth) {
            return nullptr;
        }
        if (parent->is_array()) {
            if (parent->size() >= m_bounds.listItems) {
                return nullptr;
            }
            parent->push_back(std::move(value));
            return &parent->back();
        }
        if (!m_keyKept) {
            return nullptr;
        }
        json& slot = (*parent)[m_key];
        slot = std::move(value);
        return &slot;
    }

    bool Open(json&& container) {
        json* at = Add(std::move(container));
        if (m_values > m_bounds.values) {
            return false;
        }
        // A container as deep as the bounds allow keeps nothing inside it.
        m_stack.push_back(m_stack.size() >= m_bounds.depth ? nullptr : at);
        return true;
    }

    bool Close() {
        if (!m_stack.empty()) {
            m_stack.pop_back();
        }
        return true;
    }

    const JsonBounds& m_bounds;
    json m_root;
    std::vector<json*> m_stack;
    std::string m_key;
    bool m_keyKept = true;
    std::size_t m_values = 0;
};

}  // namespace

std::string CutText(std::string text, std::size_t bytes) {
    if (text.size() <= bytes) {
        return text;
    }
    std::size_t end = bytes;
    // Never inside a character: continuation bytes are 10xxxxxx.
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) {
        --end;
    }
    text.resize(end);
    text += "...";
    return text;
}

bool ParseBoundedJson(std::string_view text, const JsonBounds& bounds, nlohmann::json& value) {
    BoundedBuilder builder(bounds);
    const bool parsed = json::sax_parse(text.begin(), text.end(), &builder);
    value = parsed ? std::move(builder.Root()) : json(nullptr);
    return parsed;
}

}  // namespace tickora
