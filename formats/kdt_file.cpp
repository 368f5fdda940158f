#include "formats/kdt_file.h"

#include <cstring>

#include "formats/atomic_file.h"
#include "web/work_folder.h"

namespace tickora {
namespace {

void PutU16(unsigned char* at, std::uint32_t value) {
    at[0] = static_cast<unsigned char>(value & 0xFF);
    at[1] = static_cast<unsigned char>((value >> 8) & 0xFF);
}

void PutU32(unsigned char* at, std::uint32_t value) {
    PutU16(at, value & 0xFFFF);
    PutU16(at + 2, value >> 16);
}

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
