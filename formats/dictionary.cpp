// SPDX-License-Identifier: GPL-3.0-or-later
#include "formats/dictionary.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "files/file_handle.h"
#include "files/little_endian.h"
#include "formats/atomic_file.h"
#include "files/local_file.h"
#include "text/sjis.h"

namespace tickora {
namespace {

constexpr int kCodeAt = 0;
constexpr int kMarketAt = 4;
constexpr int kIndustryAt = 8;
constexpr int kSymbolAt = 16;
constexpr int kSymbolSize = 16;
constexpr int kNameAt = 32;
constexpr int kNameSize = 32;
constexpr int kFeatureAt = 80;
constexpr int kBusinessAt = 336;
constexpr int kTextSize = 256;

static_assert(kBusinessAt + kTextSize <= kDictionaryRecordSize);
static_assert(sizeof(CompanyProfile::m_szFeature) == kTextSize);
static_assert(sizeof(CompanyProfile::m_szBusiness) == kTextSize);

using Record = unsigned char[kDictionaryRecordSize];

// Codes outside the file would seek before its start or grow it past its 10,000 records.
bool IsRecordCode(int code) {
    return code >= 0 && code < kDictionaryRecords;
}

long RecordOffset(int code) {
    return static_cast<long>(code) * kDictionaryRecordSize;
}

// strncpy into a fixed field: the rest of the field is zero, and a text that fills it has no
// terminator.
void PutText(unsigned char* field, int fieldSize, const char* text, int textCapacity) {
    std::memset(field, 0, fieldSize);
    const std::size_t length = strnlen(text, std::min(fieldSize, textCapacity));
    std::memcpy(field, text, length);
}

// Reads the record of code; the part of it that lies beyond the end of the file reads as zero.
bool ReadRecord(std::FILE* file, int code, Record& record) {
    std::memset(record, 0, sizeof record);
    if (std::fseek(file, RecordOffset(code), SEEK_SET) != 0) {
        return false;
    }
    (void)std::fread(record, 1, sizeof record, file);
    return std::ferror(file) == 0;
}

bool WriteRecord(std::FILE* file, int code, const Record& record) {
    return std::fseek(file, RecordOffset(code), SEEK_SET) == 0 &&
           std::fwrite(record, sizeof record, 1, file) == 1;
}

const std::vector<std::string>& IndustryNames() {
    // The 33 sectors of the Tokyo Stock Exchange in their customary order; the position + 1 is
    // the number stored in the file.
    static const std::vector<std::string> kNames = [] {
        static constexpr const char* kUtf8[] = {
            "水産・農林業",     "鉱業",       "建設業",     "食料品",           "繊維製品",
            "パルプ・紙",       "化学",       "医薬品",     "石油・石炭製品",   "ゴム製品",
            "ガラス・土石製品", "鉄鋼",       "非鉄金属",   "金属製品",         "機械",
            "電気機器",         "輸送用機器", "精密機器",   "その他製品",       "電気・ガス業",
            "陸運業",           "海運業",     "空運業",     "倉庫・運輸関連業", "情報・通信",
            "卸売業",           "小売業",     "銀行業",     "証券業",           "保険業",
            "その他金融業",     "不動産業",   "サービス業",
        };
        std::vector<std::string> names;
        for (const char* name : kUtf8) {
            names.push_back(Utf8ToSjis(name));
        }
        return names;
    }();
    return kNames;
}

}  // namespace

bool DictionaryExists() {
    return FileHandle(OpenLocalFile(kDictionaryPath, "rb")) != nullptr;
}

bool DictionaryHasEntry(int code) {
    if (!IsRecordCode(code)) {
        return false;
    }
    FileHandle file(OpenLocalFile(kDictionaryPath, "rb"));
    if (!file) {
        return false;
    }
    Record record;
    if (!ReadRecord(file.get(), code, record)) {
        return false;
    }
    return GetI32(record + kCodeAt) == code && record[kNameAt] != 0;
}

int CreateDictionaryIfMissing(const CStockList& list) {
    errno = 0;
    if (FileHandle(OpenLocalFile(kDictionaryPath, "rb+")) != nullptr) {
        return 0;
    }
    // A file that exists but refuses an update (read-only, a folder) is the user's: only a
    // missing file is built.
    if (errno != ENOENT) {
        return errno;
    }
    // The whole file is built in memory and put in place at once, so that a run cut short never
    // leaves a partial dictionary that the next run would take for a finished one.
    std::vector<unsigned char> image(static_cast<std::size_t>(kDictionaryRecords) *
                                     kDictionaryRecordSize);
    for (int b = 0; b < list.m_nBlocks; ++b) {
        const CQuoteBlock* block = list.GetBlock(b);
        if (block == nullptr) {
            continue;
        }
        const int used = std::min(block->m_nStocks, kStocksPerBlock);
        for (int k = 0; k < used; ++k) {
            const CStockRecord& stock = block->m_aStocks[k];
            if (!IsRecordCode(stock.m_nCode)) {
                continue;
            }
            unsigned char* record = image.data() + RecordOffset(stock.m_nCode);
            PutI32(record + kCodeAt, stock.m_nCode);
            PutText(record + kSymbolAt, kSymbolSize, stock.m_szSymbol, sizeof stock.m_szSymbol);
            PutText(record + kNameAt, kNameSize, stock.m_szName, sizeof stock.m_szName);
        }
    }
    AtomicFile file;
    if (!file.Open(kDictionaryPath)) {
        return file.Error();
    }
    if (std::fwrite(image.data(), 1, image.size(), file.Get()) != image.size()) {
        return errno != 0 ? errno : EIO;  // the destructor discards the temporary file
    }
    return file.Commit() ? 0 : file.Error();
}

int WriteProfileToDictionary(int code, const CompanyProfile& profile, const CMarketTable& markets) {
    if (!IsRecordCode(code)) {
        return EINVAL;
    }
    errno = 0;
    FileHandle file(OpenLocalFile(kDictionaryPath, "rb+"));
    if (!file) {
        return errno != 0 ? errno : EIO;
    }
    Record record;
    if (!ReadRecord(file.get(), code, record)) {
        return errno != 0 ? errno : EIO;
    }
    PutI32(record + kCodeAt, code);
    PutI32(record + kMarketAt, MarketNumberOfName(profile.m_szMarket, markets));
    PutI32(record + kIndustryAt, IndustryNumberOfName(profile.m_szIndustry));
    std::memcpy(record + kFeatureAt, profile.m_szFeature, kTextSize);
    std::memcpy(record + kBusinessAt, profile.m_szBusiness, kTextSize);
    // The record only counts as written once the stream has given it to the file: a full disk
    // shows at the flush or the close, not at fwrite.
    errno = 0;
    if (!WriteRecord(file.get(), code, record) || std::fflush(file.get()) != 0) {
        return errno != 0 ? errno : EIO;
    }
    if (std::fclose(file.release()) != 0) {
        return errno != 0 ? errno : EIO;
    }
    return 0;
}

int MarketNumberOfName(const char* text, const CMarketTable& markets) {
    // The profile field holds at most 63 bytes; a text without its terminator is cut there.
    char work[sizeof(CompanyProfile::m_szMarket)] = {};
    if (text != nullptr) {
        std::memcpy(work, text, strnlen(text, sizeof work - 1));
    }
    return markets.GetNumber(markets.IndexOfName(work));
}

int IndustryNumberOfName(const char* text) {
    if (text == nullptr) {
        return 0;
    }
    const std::vector<std::string>& names = IndustryNames();
    for (std::size_t i = 0; i < names.size(); ++i) {
        // The text may go on after the name; strncmp stops at the text's end, so a text shorter
        // than the name never matches.
        if (std::strncmp(text, names[i].c_str(), names[i].size()) == 0) {
            return static_cast<int>(i) + 1;
        }
    }
    return 0;
}

}  // namespace tickora
