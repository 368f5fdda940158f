// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The program's binary files (day histories, the company dictionary, the settings record) store
// their numbers least significant byte first, whatever the machine's own order.
#include <cstdint>

namespace tickora {

// Stores the low 16 bits of value; the rest are dropped.
inline void PutU16(unsigned char* at, std::uint32_t value) {
    at[0] = static_cast<unsigned char>(value & 0xFF);
    at[1] = static_cast<unsigned char>((value >> 8) & 0xFF);
}

inline void PutU32(unsigned char* at, std::uint32_t value) {
    PutU16(at, value & 0xFFFF);
    PutU16(at + 2, value >> 16);
}

inline void PutI32(unsigned char* at, std::int32_t value) {
    PutU32(at, static_cast<std::uint32_t>(value));
}

[[nodiscard]] inline std::uint32_t GetU16(const unsigned char* at) {
    return static_cast<std::uint32_t>(at[0]) | (static_cast<std::uint32_t>(at[1]) << 8);
}

[[nodiscard]] inline std::uint32_t GetU32(const unsigned char* at) {
    return GetU16(at) | (GetU16(at + 2) << 16);
}

[[nodiscard]] inline std::int32_t GetI32(const unsigned char* at) {
    return static_cast<std::int32_t>(GetU32(at));
}

}  // namespace tickora
