// SPDX-License-Identifier: GPL-3.0-or-later
#include "formats/quote_file.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>

#include "catalog/app_settings.h"
#include "formats/atomic_file.h"
#include "text/sjis.h"

namespace tickora {
namespace {

// The settings list offers an empty item (0), and an unknown value may come from an old
// settings file: both get the plain comma layout.
int EffectiveFormat(int format) {
    return (format == kFormat32 || format == kFormatDos) ? format : kFormatModoki;
}

// Cut toward zero; a value outside int (only from a broken page) saturates instead of being
// undefined.
long CutToInt(double value) {
    if (std::isnan(value)) {
        return 0;
    }
    const double cut = std::trunc(value);
    if (cut >= static_cast<double>(INT_MAX)) {
        return INT_MAX;
    }
    if (cut <= static_cast<double>(INT_MIN)) {
        return INT_MIN;
    }
    return static_cast<long>(cut);
}

// Chart programs were fed single-precision prices; the printed decimals must stay those.
double SinglePrecision(double value) {
    return static_cast<double>(static_cast<float>(value));
}

bool HasFraction(double value) {
    return value - std::trunc(value) > 0.001;
}

}  // namespace

int QuoteLayoutOf(int format) {
    return EffectiveFormat(format);
}

std::string QuoteFileHeader(int format, int year, int month, int day, int count) {
    char text[256];
    format = EffectiveFormat(format);
    if (format == kFormat32) {
        static const std::string kYear = Utf8ToSjis("年");
        static const std::string kMonth = Utf8ToSjis("月");
        static const std::string kDay = Utf8ToSjis("日");
        static const std::string kStocks = Utf8ToSjis("銘柄数");
        static const std::string kErrors = Utf8ToSjis("エラー数");
        static const std::string kTitles = Utf8ToSjis(
            "\"銘柄コード\"\t\"市場\"\t\"銘柄名\"\t\"始値\"\t"
            "\"高値\"\t\"安値\"\t\"終値\"\t\"出来高\"\r\n");
        std::snprintf(text, sizeof text,
                      "\"%4ld%s\"\t\"%02ld%s\"\t\"%02ld%s\"\r\n\"%s\"\t%d\r\n\"%s\"\t%d\r\n",
                      static_cast<long>(year), kYear.c_str(), static_cast<long>(month),
                      kMonth.c_str(), static_cast<long>(day), kDay.c_str(), kStocks.c_str(), count,
                      kErrors.c_str(), 0);
        return text + kTitles;
    }
    if (format == kFormatDos) {
        std::snprintf(text, sizeof text, "%04d%02d%02d\r\n%d,0\r\n", year, month, day, count);
    } else {
        std::snprintf(text, sizeof text, "%02d%02d%02d\r\n%d,0\r\n", year - 2000, month, day,
                      count);
    }
    return text;
}

std::string QuoteFileName(const char* folder, int format, int year, int month, int day) {
    char name[64];
    if (EffectiveFormat(format) == kFormatDos) {
        std::snprintf(name, sizeof name, "DS%04d%02d.%02d", year, month, day);
    } else {
        std::snprintf(name, sizeof name, "DS%02d%02d%02d.DAT", year - 2000, month, day);
    }
    // The folder is stored in Shift-JIS; the file system names it in UTF-8. An empty folder means
    // the working folder, never the root of the file system.
    const std::string base = OutputFolderPath(folder);
    return base.empty() ? std::string() : base + "/" + name;
}

std::string WriteQuoteFile(const CStockList& list, int format, const char* folder,
                           const CMarketTable& markets, bool averageDecimals, int* error,
                           Whole whole, bool* unchanged) {
    const std::optional<QuoteDay> quoteDay = list.QuoteDayOfList();
    if (!quoteDay || folder == nullptr) {
        return {};
    }
    const auto [year, month, day] = *quoteDay;
    if (year <= 2000 || month < 1 || month > 12 || day < 1 || day > 31) {
        return {};
    }
    format = EffectiveFormat(format);
    const std::string path = QuoteFileName(folder, format, year, month, day);
    if (path.empty()) {
        return {};
    }

    int count = 0;
    for (int i = 0; i < list.m_nBlocks; ++i) {
        if (const CQuoteBlock* block = list.GetBlock(i)) {
            count += block->m_nExtracted;
        }
    }

    AtomicFile file;
    if (!file.Open(path)) {
        if (error != nullptr) {
            *error = file.Error();
        }
        return {};
    }
    std::fputs(QuoteFileHeader(format, year, month, day, count).c_str(), file.Get());
    for (int i = 0; i < list.m_nBlocks; ++i) {
        if (const CQuoteBlock* block = list.GetBlock(i)) {
            WriteQuoteLines(*block, file.Get(), format, markets, averageDecimals);
        }
    }
    // The day's file that this one replaces stays as its backup: a later run of the same day
    // that reads less can no longer cost the whole day.
    if (file.Commit(KeepOld::kAsBackup, whole)) {
        if (unchanged != nullptr) {
            *unchanged = file.Unchanged();
        }
        return path;
    }
    if (error != nullptr) {
        *error = file.Error();
    }
    return {};
}

void WriteQuoteLines(const CQuoteBlock& block, std::FILE* out, int format,
                     const CMarketTable& markets, bool averageDecimals) {
    const int used = std::min(block.m_nStocks, kStocksPerBlock);
    for (int slot = 0; slot < used; ++slot) {
        WriteQuoteLine(block.m_aStocks[slot], out, format, markets, averageDecimals);
    }
}

void WriteQuoteLine(const CStockRecord& stock, std::FILE* out, int format,
                    const CMarketTable& markets, bool averageDecimals) {
    if (!(stock.m_dClose > 0)) {
        return;
    }
    format = EffectiveFormat(format);
    const long market = markets.GetNumber(stock.m_nMarket);
    const bool decimals =
        averageDecimals && (HasFraction(stock.m_dOpen) || HasFraction(stock.m_dHigh) ||
                            HasFraction(stock.m_dLow) || HasFraction(stock.m_dClose));

    double prices[4] = {stock.m_dClose, stock.m_dClose, stock.m_dClose, stock.m_dClose};
    if (stock.m_dOpen > 0 && stock.m_dHigh > 0 && stock.m_dLow > 0) {
        prices[0] = stock.m_dOpen;
        prices[1] = stock.m_dHigh;
        prices[2] = stock.m_dLow;
    }

    // The record's name field is 32 bytes; never trust it to hold its terminator.
    char name[sizeof stock.m_szName + 1] = {};
    std::memcpy(name, stock.m_szName, sizeof stock.m_szName);

    if (format == kFormatDos) {
        // The DOS layout has a fixed 12-byte name column, even if that divides a character.
        char shortName[13] = {};
        std::memcpy(shortName, name, strnlen(name, 12));
        if (decimals) {
            std::fprintf(out, "%04ld,%01ld,%-12s,%7.2f,%7.2f,%7.2f,%7.2f,%10.f\r\n",
                         static_cast<long>(stock.m_nCode), market, shortName,
                         SinglePrecision(prices[0]), SinglePrecision(prices[1]),
                         SinglePrecision(prices[2]), SinglePrecision(prices[3]), stock.m_dVolume);
        } else {
            std::fprintf(out, "%04ld,%01ld,%-12s,%7ld,%7ld,%7ld,%7ld,%10.f\r\n",
                         static_cast<long>(stock.m_nCode), market, shortName, CutToInt(prices[0]),
                         CutToInt(prices[1]), CutToInt(prices[2]), CutToInt(prices[3]),
                         stock.m_dVolume);
        }
        return;
    }

    const int volume = static_cast<int>(CutToInt(stock.m_dVolume));
    if (format == kFormat32) {
        char marketName[32] = {};
        markets.GetName(stock.m_nMarket, marketName);
        marketName[sizeof marketName - 1] = '\0';
        if (decimals) {
            std::fprintf(out, "%04d\t\"%s\"\t\"%s\"\t%.2f\t%.2f\t%.2f\t%.2f\t%d\r\n", stock.m_nCode,
                         marketName, name, SinglePrecision(prices[0]), SinglePrecision(prices[1]),
                         SinglePrecision(prices[2]), SinglePrecision(prices[3]), volume);
        } else {
            std::fprintf(out, "%04d\t\"%s\"\t\"%s\"\t%d\t%d\t%d\t%d\t%d\r\n", stock.m_nCode,
                         marketName, name, static_cast<int>(CutToInt(prices[0])),
                         static_cast<int>(CutToInt(prices[1])),
                         static_cast<int>(CutToInt(prices[2])),
                         static_cast<int>(CutToInt(prices[3])), volume);
        }
        return;
    }

    if (decimals) {
        std::fprintf(out, "%04d,%d,%s,%.2f,%.2f,%.2f,%.2f,%d\r\n", stock.m_nCode,
                     static_cast<int>(market), name, SinglePrecision(prices[0]),
                     SinglePrecision(prices[1]), SinglePrecision(prices[2]),
                     SinglePrecision(prices[3]), volume);
    } else {
        std::fprintf(out, "%04d,%d,%s,%d,%d,%d,%d,%d\r\n", stock.m_nCode, static_cast<int>(market),
                     name, static_cast<int>(CutToInt(prices[0])),
                     static_cast<int>(CutToInt(prices[1])), static_cast<int>(CutToInt(prices[2])),
                     static_cast<int>(CutToInt(prices[3])), volume);
    }
}

}  // namespace tickora
