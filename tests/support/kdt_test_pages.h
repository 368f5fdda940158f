// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Hand-built history pages in the site's encoding, for the parser and job tests.
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "formats/kdt_file.h"
#include "tests/support/euc_jp.h"
#include "tests/support/kdt_days.h"

namespace tickora::test {

inline std::string Cell(const std::string& text) {
    return "<td>" + text + "</td>";
}

inline std::string DateText(int year, int month, int day) {
    return std::to_string(year) + "年" + std::to_string(month) + "月" + std::to_string(day) + "日";
}

inline std::string WithCommas(long value) {
    std::string digits = std::to_string(value < 0 ? -value : value);
    for (int at = static_cast<int>(digits.size()) - 3; at > 0; at -= 3) {
        digits.insert(static_cast<size_t>(at), ",");
    }
    return (value < 0 ? "-" : "") + digits;
}

// One table row as the site writes it: the date, then open, high, low, close and volume.
inline std::string DayRow(const CKdtDay& d) {
    return "<tr align=right bgcolor=\"#ffffff\">" +
           Cell("<small>" + EucJp(DateText(d.m_nYear, d.m_nMonth, d.m_nDay)) + "</small>") +
           Cell("<small>" + WithCommas(d.m_nOpen) + "</small>") +
           Cell("<small>" + WithCommas(d.m_nHigh) + "</small>") +
           Cell("<small>" + WithCommas(d.m_nLow) + "</small>") +
           Cell("<small><b>" + WithCommas(d.m_nClose) + "</b></small>") +
           Cell("<small>" + WithCommas(d.m_nVolume) + "</small>") + "</tr>\n";
}

inline std::string HeaderRow() {
    return "<tr bgcolor=\"#dcdcdc\">" + Cell(EucJp("日付")) + Cell(EucJp("始値")) +
           Cell(EucJp("高値")) + Cell(EucJp("安値")) + Cell(EucJp("終値")) + Cell(EucJp("出来高")) +
           "</tr>\n";
}

inline std::string Page(const std::string& rows) {
    return "<html><head><title>" + EucJp("時系列") +
           "</title></head><body>\n<table border=0 cellpadding=2>\n" + HeaderRow() + rows +
           "</table>\n<p>" + EucJp("前のページ") + "</p></body></html>\n";
}

inline bool SameDay(const CKdtDay& a, const CKdtDay& b) {
    return a.m_nYear == b.m_nYear && a.m_nMonth == b.m_nMonth && a.m_nDay == b.m_nDay &&
           a.m_nOpen == b.m_nOpen && a.m_nHigh == b.m_nHigh && a.m_nLow == b.m_nLow &&
           a.m_nClose == b.m_nClose && a.m_nVolume == b.m_nVolume;
}

inline std::string Describe(const CKdtDay& d) {
    char text[160];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d o%d h%d l%d c%d v%d", d.m_nYear, d.m_nMonth,
                  d.m_nDay, d.m_nOpen, d.m_nHigh, d.m_nLow, d.m_nClose, d.m_nVolume);
    return text;
}

// Reads a KDT file back with the record layout written out by hand: little-endian, 26 bytes,
// price = low half + 65536 * signed high half.
inline std::vector<CKdtDay> ReadKdtRecords(const std::string& bytes) {
    auto u8 = [&](size_t at) {
        return static_cast<unsigned>(static_cast<unsigned char>(bytes[at]));
    };
    auto u16 = [&](size_t at) { return u8(at) | (u8(at + 1) << 8); };
    auto s16 = [&](size_t at) { return static_cast<int>(static_cast<std::int16_t>(u16(at))); };
    std::vector<CKdtDay> days;
    for (size_t at = 0; at + kKdtRecordSize <= bytes.size(); at += kKdtRecordSize) {
        CKdtDay d;
        d.m_nYear = static_cast<int>(u16(at));
        d.m_nMonth = static_cast<int>(u8(at + 2));
        d.m_nDay = static_cast<int>(u8(at + 3));
        d.m_nOpen = static_cast<int>(u16(at + 6)) + 65536 * s16(at + 18);
        d.m_nHigh = static_cast<int>(u16(at + 8)) + 65536 * s16(at + 20);
        d.m_nLow = static_cast<int>(u16(at + 10)) + 65536 * s16(at + 22);
        d.m_nClose = static_cast<int>(u16(at + 12)) + 65536 * s16(at + 24);
        d.m_nVolume = static_cast<int>(u16(at + 14) | (u16(at + 16) << 16));
        days.push_back(d);
    }
    return days;
}

}  // namespace tickora::test
