// SPDX-License-Identifier: GPL-3.0-or-later
#include "formats/kdt_file.h"

#include <cerrno>
#include <cstring>
#include <memory>
#include <tuple>

#include "files/file_io.h"
#include "files/little_endian.h"
#include "formats/atomic_file.h"
#include "files/work_folder.h"

namespace tickora {
namespace {

std::int32_t Price(const unsigned char* low, const unsigned char* high) {
    const auto highHalf = static_cast<std::int16_t>(GetU16(high));
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(highHalf) << 16 | GetU16(low));
}

// 3,000 days asked for make 60 pages of 50; a file far beyond that is no history of ours.
constexpr long kMaxKdtDays = 100000;

// The reader rebuilds a price as low + 65536 * high, so the high half keeps the sign.
std::uint32_t LowHalf(std::int32_t price) {
    return static_cast<std::uint32_t>(price) & 0xFFFF;
}
std::uint32_t HighHalf(std::int32_t price) {
    return static_cast<std::uint32_t>(price >> 16) & 0xFFFF;
}

// The table lists the newest day first; the file runs from the oldest.
void WriteSlotsNewestLast(const CKdtDay* days, std::FILE* out) {
    for (int slot = kKdtDaysPerPage - 1; slot >= 0; --slot) {
        (void)days[slot].Write(out);
    }
}

}  // namespace

void CKdtDay::Pack(unsigned char (&record)[kKdtRecordSize]) const {
    std::memset(record, 0, sizeof record);
    PutU16(record + 0, static_cast<std::uint32_t>(m_nYear));
    record[2] = static_cast<unsigned char>(m_nMonth);
    record[3] = static_cast<unsigned char>(m_nDay);
    PutU16(record + 6, LowHalf(m_nOpen));
    PutU16(record + 8, LowHalf(m_nHigh));
    PutU16(record + 10, LowHalf(m_nLow));
    PutU16(record + 12, LowHalf(m_nClose));
    PutU32(record + 14, static_cast<std::uint32_t>(m_nVolume));
    PutU16(record + 18, HighHalf(m_nOpen));
    PutU16(record + 20, HighHalf(m_nHigh));
    PutU16(record + 22, HighHalf(m_nLow));
    PutU16(record + 24, HighHalf(m_nClose));
}

void CKdtDay::Unpack(const unsigned char (&record)[kKdtRecordSize]) {
    m_nYear = static_cast<std::int32_t>(GetU16(record + 0));
    m_nMonth = record[2];
    m_nDay = record[3];
    m_nOpen = Price(record + 6, record + 18);
    m_nHigh = Price(record + 8, record + 20);
    m_nLow = Price(record + 10, record + 22);
    m_nClose = Price(record + 12, record + 24);
    m_nVolume = static_cast<std::int32_t>(GetU32(record + 14));
}

bool CKdtDay::Write(std::FILE* out) const {
    if (!IsValid()) {
        return true;
    }
    unsigned char record[kKdtRecordSize];
    Pack(record);
    return std::fwrite(record, sizeof record, 1, out) == 1;
}

void WriteDays(const CKdtDay (&days)[kKdtDaysPerPage], std::FILE* out) {
    WriteSlotsNewestLast(days, out);
}

std::string KdtFileName(int code, bool inDataFolder) {
    char name[64];
    if (inDataFolder) {
        std::snprintf(name, sizeof name, "DATA/%04d/KD%04d.KDT", code / 1000 * 1000, code);
    } else {
        std::snprintf(name, sizeof name, "KD%04d.KDT", code);
    }
    return name;
}

void CreateKdtFolders() {
    (void)MakeFolder("DATA");
    for (int thousands = 1000; thousands <= 9000; thousands += 1000) {
        char folder[32];
        std::snprintf(folder, sizeof folder, "DATA/%04d", thousands);
        (void)MakeFolder(folder);
    }
}

bool WriteKdtFile(int code, bool inDataFolder, std::span<const CKdtDay* const> pages, int* error) {
    if (error != nullptr) {
        *error = 0;
    }
    if (pages.empty()) {
        return false;
    }
    // A stock of which no day could be read (site down, symbol unknown) keeps the history it
    // already has instead of losing it to an empty file.
    bool anyDay = false;
    for (const CKdtDay* page : pages) {
        for (int slot = 0; page != nullptr && slot < kKdtDaysPerPage && !anyDay; ++slot) {
            anyDay = page[slot].IsValid();
        }
    }
    if (!anyDay) {
        return false;
    }
    AtomicFile file;
    bool ok = file.Open(KdtFileName(code, inDataFolder));
    for (auto page = pages.rbegin(); ok && page != pages.rend(); ++page) {
        if (*page != nullptr) {
            WriteSlotsNewestLast(*page, file.Get());
        }
    }
    ok = ok && file.Commit();
    if (!ok && error != nullptr) {
        *error = file.Error();
    }
    return ok;
}

}  // namespace tickora

namespace tickora {

bool DateBefore(const CKdtDay& a, const CKdtDay& b) {
    return std::tie(a.m_nYear, a.m_nMonth, a.m_nDay) < std::tie(b.m_nYear, b.m_nMonth, b.m_nDay);
}

bool WriteKdtDays(int code, bool inDataFolder, std::span<const CKdtDay> days, int* error) {
    if (error != nullptr) {
        *error = 0;
    }
    bool anyDay = false;
    for (const CKdtDay& day : days) {
        anyDay = anyDay || day.IsValid();
    }
    if (!anyDay) {
        return false;
    }
    AtomicFile file;
    bool ok = file.Open(KdtFileName(code, inDataFolder));
    for (auto day = days.begin(); ok && day != days.end(); ++day) {
        (void)day->Write(file.Get());
    }
    ok = ok && file.Commit();
    if (!ok && error != nullptr) {
        *error = file.Error();
    }
    return ok;
}

KdtRead ReadKdtFile(const std::string& path, std::vector<CKdtDay>& days) {
    days.clear();
    std::string bytes;
    const int error =
        ReadWholeFile(path, static_cast<std::size_t>(kMaxKdtDays) * kKdtRecordSize, bytes);
    if (error != 0) {
        return error == ENOENT          ? KdtRead::kMissing
               : error == kFileTooLarge ? KdtRead::kMalformed
                                        : KdtRead::kUnreadable;
    }
    if (bytes.empty() || bytes.size() % kKdtRecordSize != 0) {
        return KdtRead::kMalformed;
    }
    std::vector<CKdtDay> read;
    for (std::size_t at = 0; at < bytes.size(); at += kKdtRecordSize) {
        unsigned char record[kKdtRecordSize];
        std::memcpy(record, bytes.data() + at, sizeof record);
        CKdtDay day;
        day.Unpack(record);
        unsigned char again[kKdtRecordSize];
        day.Pack(again);
        if (!day.IsValid() || day.m_nMonth < 1 || day.m_nMonth > 12 || day.m_nDay < 1 ||
            day.m_nDay > 31 || std::memcmp(record, again, sizeof record) != 0 ||
            (!read.empty() && !DateBefore(read.back(), day))) {
            return KdtRead::kMalformed;
        }
        read.push_back(day);
    }
    days = std::move(read);
    return KdtRead::kOk;
}

}  // namespace tickora
