// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// KDT price-history files: headerless 26-byte little-endian records, oldest day first.
#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <vector>

namespace tickora {

inline constexpr int kKdtRecordSize = 26;
inline constexpr int kKdtDaysPerPage = 50;

struct CKdtDay {
    std::int32_t m_nYear = 0;
    std::int32_t m_nMonth = 0;
    std::int32_t m_nDay = 0;
    std::int32_t m_nOpen = 0;
    std::int32_t m_nHigh = 0;
    std::int32_t m_nLow = 0;
    std::int32_t m_nClose = 0;
    std::int32_t m_nVolume = 0;

    void Clear() { *this = CKdtDay{}; }
    // Only days with 1900 < year < 2100 are written.
    [[nodiscard]] bool IsValid() const { return m_nYear > 1900 && m_nYear < 2100; }
    void Pack(unsigned char (&record)[kKdtRecordSize]) const;
    // The inverse of Pack: every day Pack wrote comes back field for field.
    void Unpack(const unsigned char (&record)[kKdtRecordSize]);
    // Writes the packed record when the day is valid; false on a write error.
    bool Write(std::FILE* out) const;
};

// Slots 49 down to 0 of one page of days.
void WriteDays(const CKdtDay (&days)[kKdtDaysPerPage], std::FILE* out);

// "DATA/%04d/KD%04d.KDT" (thousands folder) or "KD%04d.KDT" in the working folder.
[[nodiscard]] std::string KdtFileName(int code, bool inDataFolder);

// "DATA" and "DATA/1000" .. "DATA/9000"; existing folders are fine.
void CreateKdtFolders();

// Writes the stock's file from its pages (in table order; written last page first). Nothing
// happens without pages, without a day, or when the file cannot be written; error, when given,
// then receives the system's error (errno), or 0 when there was nothing to write. Returns true
// when a file was written.
bool WriteKdtFile(int code, bool inDataFolder, std::span<const CKdtDay* const> pages,
                  int* error = nullptr);

// Writes days (oldest first) as the stock's file, replacing it whole; the days a history brought
// up to date holds. Nothing happens without a valid day; error as for WriteKdtFile. Returns true
// when a file was written.
bool WriteKdtDays(int code, bool inDataFolder, std::span<const CKdtDay> days, int* error = nullptr);

enum class KdtRead {
    kOk,
    kMissing,     // no such file
    kUnreadable,  // it exists but cannot be read
    // Not a history this program wrote: a size that is no whole number of records, no record at
    // all, a record that Pack would not write again byte for byte (a date that is no day, bytes
    // 4 and 5 set), days out of date order or repeated, or far more days than any request asks.
    kMalformed,
};

// Reads a KDT file back into its days, oldest first; days is empty unless kOk.
[[nodiscard]] KdtRead ReadKdtFile(const std::string& path, std::vector<CKdtDay>& days);

// True when a's date comes before b's.
[[nodiscard]] bool DateBefore(const CKdtDay& a, const CKdtDay& b);

}  // namespace tickora
