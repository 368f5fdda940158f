// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The words the program prints for an enum's values, in one table a value is looked up in and a
// word read back from, so that the two directions cannot drift apart.

#include <cstddef>
#include <optional>
#include <string_view>

namespace tickora {

template <typename Enum>
struct NamedValue {
    Enum value;
    const char* name;
};

template <typename Enum, std::size_t N>
[[nodiscard]] constexpr const char* NameIn(const NamedValue<Enum> (&table)[N], Enum value,
                                           const char* unnamed) {
    for (const NamedValue<Enum>& row : table) {
        if (row.value == value) {
            return row.name;
        }
    }
    return unnamed;
}

template <typename Enum, std::size_t N>
[[nodiscard]] constexpr std::optional<Enum> ValueNamed(const NamedValue<Enum> (&table)[N],
                                                       std::string_view name) {
    for (const NamedValue<Enum>& row : table) {
        if (name == row.name) {
            return row.value;
        }
    }
    return std::nullopt;
}

}  // namespace tickora
