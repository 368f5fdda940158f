// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// KDT days for the tests: one built from its fields, and its record packed as the writer packs it.
#include <string>

#include "formats/kdt_file.h"

namespace tickora::test {

inline CKdtDay Day(int y, int m, int d, int open, int high, int low, int close, int volume) {
    return CKdtDay{y, m, d, open, high, low, close, volume};
}

inline std::string Packed(const CKdtDay& day) {
    unsigned char record[kKdtRecordSize];
    day.Pack(record);
    return std::string(reinterpret_cast<const char*>(record), sizeof record);
}

}  // namespace tickora::test
