// SPDX-License-Identifier: GPL-3.0-or-later
#include "formats/quote_file_reader.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "files/file_io.h"
#include "formats/quote_file.h"

namespace tickora {
namespace {

constexpr std::size_t kNameBytes = sizeof(CStockRecord::m_szName) - 1;
constexpr std::size_t kFixedNameBytes = 12;

// The whole file, or the fault that keeps it from being read.
std::optional<std::string> ReadBounded(const std::string& path, StoredQuotes& out) {
    std::string bytes;
    const int error = ReadWholeFile(path, kQuoteFileReadLimit, bytes);
    if (error == kFileTooLarge) {
        out.fault = QuoteReadFault::kTooLarge;
        return std::nullopt;
    }
    if (error != 0) {
        out.fault = QuoteReadFault::kCannotOpen;
        out.error = error;
        return std::nullopt;
    }
    return bytes;
}

// "-"? digits, all of text; with fraction, also a "." and digits.
bool IsNumber(const std::string& text, bool fraction) {
    std::size_t at = text.size() > 1 && text[0] == '-' ? 1 : 0;
    const std::size_t digits = at;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9') {
        ++at;
    }
    if (at == digits) {
        return false;
    }
    if (fraction && at + 1 < text.size() && text[at] == '.') {
        const std::size_t decimals = ++at;
        while (at < text.size() && text[at] >= '0' && text[at] <= '9') {
            ++at;
        }
        return at > decimals && at == text.size();
    }
    return at == text.size();
}

// A number of a stock line: right-aligned in the fixed layout, so blanks may lead.
std::optional<double> NumberOf(std::string text, bool fraction) {
    text.erase(0, text.find_first_not_of(' '));
    if (!IsNumber(text, fraction)) {
        return std::nullopt;
    }
    return std::strtod(text.c_str(), nullptr);
}

std::optional<int> IntegerOf(const std::string& text) {
    const std::optional<double> value = NumberOf(text, false);
    if (!value || *value < -2147483648.0 || *value > 2147483647.0) {
        return std::nullopt;
    }
    return static_cast<int>(*value);
}

// A stock line cut into its code, what lies between (market and name, which may hold the
// separator itself) and its five numbers.
struct LineFields {
    std::string code;
    std::string middle;
    std::string numbers[5];
};

bool SplitLine(const std::string& line, char separator, LineFields& fields) {
    const std::size_t first = line.find(separator);
    if (first == std::string::npos) {
        return false;
    }
    fields.code = line.substr(0, first);
    std::size_t end = line.size();
    for (int i = 4; i >= 0; --i) {
        const std::size_t at = end == 0 ? std::string::npos : line.rfind(separator, end - 1);
        if (at == std::string::npos || at <= first) {
            return false;
        }
        fields.numbers[i] = line.substr(at + 1, end - at - 1);
        end = at;
    }
    fields.middle = line.substr(first + 1, end - first - 1);
    return true;
}

// The text between code and prices that the writer makes of a market and a name.
std::string MiddleOf(int layout, const CMarketTable& markets, int market, const char* name) {
    char whole[kNameBytes + 2] = {};
    std::memcpy(whole, name, kNameBytes + 1);
    whole[kNameBytes + 1] = '\0';
    if (layout == kFormat32) {
        char marketName[32] = {};
        markets.GetName(market, marketName);
        marketName[sizeof marketName - 1] = '\0';
        return std::string("\"") + marketName + "\"\t\"" + whole + "\"";
    }
    std::string shown = whole;
    if (layout == kFormatDos) {
        shown.resize(std::min(shown.size(), kFixedNameBytes));
        shown.resize(kFixedNameBytes, ' ');
    }
    return std::to_string(markets.GetNumber(market)) + "," + shown;
}

int MarketOfNumber(const CMarketTable& markets, int number, int& unknown) {
    for (int i = 0; i < markets.m_nEntries; ++i) {
        if (markets.GetNumber(i) == number) {
            return i;
        }
    }
    unknown += markets.GetNumber(markets.m_nEntries) == number ? 0 : 1;
    return markets.m_nEntries;
}

int MarketOfName(const CMarketTable& markets, const std::string& name, int& unknown) {
    char text[32] = {};
    for (int i = 0; i <= markets.m_nEntries; ++i) {
        markets.GetName(i, text);
        text[sizeof text - 1] = '\0';
        if (name == text) {
            return i;
        }
    }
    ++unknown;
    return markets.m_nEntries;
}

// Market and name from the line's own text alone.
bool ReadMiddle(int layout, const std::string& middle, const CMarketTable& markets,
                CStockRecord& stock, StoredQuotes& out) {
    std::string name;
    if (layout == kFormat32) {
        const std::size_t split = middle.find("\"\t\"");
        if (middle.size() < 5 || middle.front() != '"' || middle.back() != '"' ||
            split == std::string::npos || split + 3 > middle.size() - 1) {
            return false;
        }
        stock.m_nMarket = MarketOfName(markets, middle.substr(1, split - 1), out.marketsUnknown);
        name = middle.substr(split + 3, middle.size() - split - 4);
    } else {
        const std::size_t comma = middle.find(',');
        const std::optional<int> number =
            comma == std::string::npos ? std::nullopt : IntegerOf(middle.substr(0, comma));
        if (!number) {
            return false;
        }
        stock.m_nMarket = MarketOfNumber(markets, *number, out.marketsUnknown);
        name = middle.substr(comma + 1);
        if (layout == kFormatDos) {
            if (name.size() != kFixedNameBytes) {
                return false;
            }
            out.namesCut += name.back() != ' ' ? 1 : 0;
            name.erase(name.find_last_not_of(' ') + 1);
        }
    }
    if (name.size() > kNameBytes || name.find('\0') != std::string::npos) {
        return false;
    }
    std::memcpy(stock.m_szName, name.c_str(), name.size() + 1);
    return true;
}

using KnownStocks = std::multimap<int, const CStockRecord*>;

KnownStocks KnownByCode(const CStockList& known) {
    KnownStocks byCode;
    for (int i = 0; i < known.m_nBlocks; ++i) {
        const CQuoteBlock& block = *known.GetBlock(i);
        for (int s = 0; s < std::min(block.m_nStocks, kStocksPerBlock); ++s) {
            byCode.emplace(block.m_aStocks[s].m_nCode, &block.m_aStocks[s]);
        }
    }
    return byCode;
}

// The writer prints a line with two decimals when one of its prices has a fraction; a fraction
// that single precision rounded away, or one below half a hundredth, reads back as none. A
// fraction too small to print (but above the writer's 0.001) keeps such a line as it was.
void KeepDecimalNotation(const LineFields& fields, CStockRecord& stock) {
    const double prices[] = {stock.m_dOpen, stock.m_dHigh, stock.m_dLow, stock.m_dClose};
    for (const double price : prices) {
        if (price - std::trunc(price) > 0.001) {
            return;
        }
    }
    for (int i = 0; i < 4; ++i) {
        if (fields.numbers[i].find('.') != std::string::npos) {
            stock.m_dClose += 0.004;
            return;
        }
    }
}

bool ReadStockLine(const std::string& line, const CMarketTable& markets, const KnownStocks& known,
                   CStockRecord& stock, StoredQuotes& out) {
    LineFields fields;
    if (!SplitLine(line, out.layout == kFormat32 ? '\t' : ',', fields)) {
        return false;
    }
    const std::optional<int> code = IntegerOf(fields.code);
    std::optional<double> values[5];
    for (int i = 0; i < 5; ++i) {
        values[i] = NumberOf(fields.numbers[i], i < 4);
        if (!values[i]) {
            return false;
        }
    }
    // The writer leaves out a stock without a price: such a line is not one of its own.
    if (!code || !(*values[3] > 0)) {
        return false;
    }
    stock.m_nCode = *code;
    stock.m_dOpen = *values[0];
    stock.m_dHigh = *values[1];
    stock.m_dLow = *values[2];
    stock.m_dClose = *values[3];
    stock.m_dVolume = *values[4];
    KeepDecimalNotation(fields, stock);
    const auto [first, last] = known.equal_range(*code);
    for (auto it = first; it != last; ++it) {
        const CStockRecord& listed = *it->second;
        if (MiddleOf(out.layout, markets, listed.m_nMarket, listed.m_szName) == fields.middle) {
            stock.m_nMarket = listed.m_nMarket;
            std::memcpy(stock.m_szName, listed.m_szName, sizeof stock.m_szName);
            std::memcpy(stock.m_szSymbol, listed.m_szSymbol, sizeof stock.m_szSymbol);
            return true;
        }
    }
    return ReadMiddle(out.layout, fields.middle, markets, stock, out);
}

// The value of the n digits at offset at of text; -1 when they are not all digits.
int DigitsAt(const std::string& text, std::size_t at, std::size_t n) {
    int value = 0;
    for (std::size_t i = at; i < at + n; ++i) {
        if (i >= text.size() || text[i] < '0' || text[i] > '9') {
            return -1;
        }
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

// The layout and date of line 1 and the count of line 2; the header must then be, byte for
// byte, the one the writer makes of them.
bool ReadHeader(const std::string& bytes, StoredQuotes& out, std::size_t& body) {
    const std::size_t firstEnd = bytes.find("\r\n");
    if (firstEnd == std::string::npos) {
        return false;
    }
    if (bytes[0] == '"') {
        // "YYYY年"<tab>"MM月"<tab>"DD日": each character of the labels is two bytes.
        out.layout = kFormat32;
        out.day = {DigitsAt(bytes, 1, 4), DigitsAt(bytes, 10, 2), DigitsAt(bytes, 17, 2)};
    } else if (firstEnd == 8) {
        out.layout = kFormatDos;
        out.day = {DigitsAt(bytes, 0, 4), DigitsAt(bytes, 4, 2), DigitsAt(bytes, 6, 2)};
    } else if (firstEnd == 6) {
        out.layout = kFormatModoki;
        out.day = {2000 + DigitsAt(bytes, 0, 2), DigitsAt(bytes, 2, 2), DigitsAt(bytes, 4, 2)};
    } else {
        return false;
    }
    const std::size_t count = out.layout == kFormat32 ? bytes.find('\t', firstEnd) : firstEnd + 1;
    if (count == std::string::npos) {
        return false;
    }
    const long value = std::strtol(bytes.c_str() + count + 1, nullptr, 10);
    out.count = static_cast<int>(std::clamp(value, -2147483647L, 2147483647L));
    if (out.day.year < 0 || out.day.month < 1 || out.day.month > 12 || out.day.day < 1 ||
        out.day.day > 31) {
        return false;
    }
    const std::string header =
        QuoteFileHeader(out.layout, out.day.year, out.day.month, out.day.day, out.count);
    body = header.size();
    return bytes.compare(0, header.size(), header) == 0;
}

CStockRecord& NextRecord(CStockList& list) {
    CQuoteBlock* block = list.m_ppBlocks.back().get();
    if (block->m_nStocks == kStocksPerBlock) {
        list.m_ppBlocks.push_back(std::make_unique<CQuoteBlock>(list.m_nBlocks));
        list.m_nBlocks = static_cast<int>(list.m_ppBlocks.size());
        block = list.m_ppBlocks.back().get();
    }
    return block->m_aStocks[block->m_nStocks++];
}

}  // namespace

StoredQuotes ReadQuoteFile(const std::string& path, const CMarketTable& markets,
                           const CStockList& known) {
    StoredQuotes out;
    const std::optional<std::string> bytes = ReadBounded(path, out);
    if (!bytes) {
        return out;
    }
    std::size_t at = 0;
    if (!ReadHeader(*bytes, out, at)) {
        out.fault = QuoteReadFault::kNotQuoteFile;
        out.line = 1;
        return out;
    }
    out.records.m_ppBlocks.push_back(std::make_unique<CQuoteBlock>(0));
    out.records.m_nBlocks = 1;
    CQuoteBlock& first = *out.records.GetBlock(0);
    first.m_nExtracted = out.count;
    first.m_nMonth = out.day.month;
    first.m_nDay = out.day.day;
    const KnownStocks byCode = KnownByCode(known);
    int line = out.layout == kFormat32 ? 4 : 2;
    while (at < bytes->size()) {
        ++line;
        const std::size_t end = bytes->find("\r\n", at);
        CStockRecord stock;
        if (end == std::string::npos ||
            !ReadStockLine(bytes->substr(at, end - at), markets, byCode, stock, out)) {
            out.fault = QuoteReadFault::kBadLine;
            out.line = line;
            return out;
        }
        NextRecord(out.records) = stock;
        ++out.stocks;
        at = end + 2;
    }
    return out;
}

}  // namespace tickora
