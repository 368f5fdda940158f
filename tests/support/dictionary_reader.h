// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Reads one record of "VorlaneEx.DIC" the way the chart program does: by offset, little-endian
// integers, zero-padded Shift-JIS fields.
#include <cstdint>
#include <string>

#include "formats/dictionary.h"
#include "tests/support/temp_dir.h"
#include "text/sjis.h"

namespace tickora::test {

struct Record {
    std::int32_t code = 0;
    std::int32_t market = 0;
    std::int32_t industry = 0;
    std::string symbol;
    std::string name;      // UTF-8
    std::string feature;   // UTF-8
    std::string business;  // UTF-8
    std::string sjisFeature;
    std::string sjisBusiness;
};

inline std::int32_t RecordI32(const std::string& bytes, size_t at) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data() + at);
    return static_cast<std::int32_t>(p[0] | (p[1] << 8) | (p[2] << 16) |
                                     (static_cast<std::uint32_t>(p[3]) << 24));
}

inline std::string RecordText(const std::string& bytes, size_t at, size_t size) {
    const std::string field = bytes.substr(at, size);
    return field.substr(0, field.find('\0'));
}

// The record of code in the dictionary bytes (all zero beyond the file's end).
inline Record RecordOf(const std::string& file, int code) {
    Record r;
    const size_t at = static_cast<size_t>(code) * kDictionaryRecordSize;
    if (file.size() < at + kDictionaryRecordSize) {
        return r;
    }
    const std::string rec = file.substr(at, kDictionaryRecordSize);
    r.code = RecordI32(rec, 0);
    r.market = RecordI32(rec, 4);
    r.industry = RecordI32(rec, 8);
    r.symbol = RecordText(rec, 16, 16);
    r.name = SjisToUtf8(RecordText(rec, 32, 32));
    r.sjisFeature = RecordText(rec, 80, 256);
    r.sjisBusiness = RecordText(rec, 336, 256);
    r.feature = SjisToUtf8(r.sjisFeature);
    r.business = SjisToUtf8(r.sjisBusiness);
    return r;
}

inline Record ReadRecord(int code) {
    return RecordOf(ReadFileBytes(kDictionaryPath), code);
}

}  // namespace tickora::test
