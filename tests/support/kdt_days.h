// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// KDT days for the tests: one built from its fields, and its record packed as the writer packs it.
#include <string>

#include "formats/kdt_file.h"

namespace tickora::test {

inline CKdtDay Day(int y, int m, int d, int open, int high, int low, int close, int volume) {
    CKdtDay day;
    day.m_nYear = y;
    day.m_nMonth = m;
    day.m_nDay = d;
    day.m_nOpen = open;
    day.m_nHigh = high;
    day.m_nLow = low;
    day.m_nClose = close;
    day.m_nVolume = volume;
    return day;
}

inline std::string Packed(const CKdtDay& day) {
    unsigned char record[kKdtRecordSize];
    day.Pack(record);
    return std::string(reinterpret_cast<const char*>(record), sizeof record);
}

}  // namespace tickora::test
