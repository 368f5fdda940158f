// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalog/market_table.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>

#include "catalog/line_file.h"
#include "text/sjis.h"
#include "text/text_scan.h"

namespace tickora {
namespace {

const std::string& OtherMarketName() {
    static const std::string kName = Utf8ToSjis("その他市場");
    return kName;
}

void CopyText(char* out, std::size_t outSize, const char* text) {
    const std::size_t n = std::min(std::strlen(text), outSize - 1);
    std::memcpy(out, text, n);
    out[n] = '\0';
}

bool IsBlank(char c) {
    return std::isspace(static_cast<unsigned char>(c)) != 0;
}

// The symbol field of a line as ScanLine finds it, uncut; empty when the line has none.
std::string SymbolField(const std::string& line) {
    const char* p = line.c_str();
    char* end = nullptr;
    (void)std::strtol(p, &end, 10);
    if (end == p || *end != ',') {
        return {};
    }
    p = end + 1;
    while (IsBlank(*p)) {
        ++p;
    }
    return std::string(p, std::strcspn(p, ","));
}

// The fields of one line as the pattern "%d, %[^,] ,%[^,]" reads them. A line that breaks off
// keeps the fields read so far; the others stay zero or empty, so the entry still holds its
// place in file order.
MarketEntry ScanLine(const std::string& line) {
    MarketEntry entry;
    const char* p = line.c_str();
    char* end = nullptr;
    const long number = std::strtol(p, &end, 10);
    if (end == p) {
        return entry;
    }
    entry.m_nNumber = static_cast<int>(std::clamp<long>(number, INT_MIN, INT_MAX));
    p = end;
    if (*p != ',') {
        return entry;
    }
    ++p;
    while (IsBlank(*p)) {
        ++p;
    }
    const std::size_t symbolLength = std::strcspn(p, ",");
    if (symbolLength == 0) {
        return entry;
    }
    CopyWholeChars(entry.m_szSymbol, p, symbolLength, sizeof entry.m_szSymbol - 1);
    p += symbolLength;
    if (*p != ',') {
        return entry;
    }
    ++p;
    CopyWholeChars(entry.m_szName, p, std::strcspn(p, ","), sizeof entry.m_szName - 1);
    return entry;
}

}  // namespace

int CMarketTable::Load(const char* path, std::vector<std::string>* notices) {
    m_nEntries = 0;
    m_pEntries.clear();
    CLineFile file;
    if (!file.Open(path)) {
        // Only a file too large to be a list has something to say; a missing one is told later.
        if (notices != nullptr) {
            notices->insert(notices->end(), file.Notices().begin(), file.Notices().end());
        }
        return 0;
    }
    std::vector<std::string> told;
    std::vector<MarketEntry> entries;
    std::string line;
    while (file.ReadLine(line)) {
        // A line the reader could not convert keeps its place as an empty entry, as a blank line
        // does: the entries after it keep their numbers' positions.
        entries.push_back(ScanLine(line));
        const std::string symbol = SymbolField(line);
        if (symbol.size() >= sizeof(MarketEntry::m_szSymbol)) {
            told.push_back(std::string(path) + " line " + std::to_string(file.LineNumber()) +
                           ": the market symbol \"" + SjisToUtf8(symbol) + "\" is longer than " +
                           std::to_string(sizeof(MarketEntry::m_szSymbol) - 1) +
                           " bytes; it is read as \"" + SjisToUtf8(entries.back().m_szSymbol) +
                           "\"");
        }
    }
    if (notices != nullptr) {
        notices->insert(notices->end(), file.Notices().begin(), file.Notices().end());
        notices->insert(notices->end(), told.begin(), told.end());
    }
    if (entries.empty()) {
        return 0;
    }
    m_pEntries = std::move(entries);
    m_nEntries = static_cast<int>(m_pEntries.size());
    return 1;
}

int CMarketTable::IndexOfSymbol(const char* symbol) const {
    for (int i = 0; i < m_nEntries; ++i) {
        if (std::strcmp(m_pEntries[i].m_szSymbol, symbol) == 0) {
            return i;
        }
    }
    return m_nEntries;
}

void CMarketTable::GetSymbol(int index, char* out) const {
    CopyText(out, sizeof(MarketEntry::m_szSymbol),
             index >= 0 && index < m_nEntries ? m_pEntries[index].m_szSymbol : "X");
}

void CMarketTable::GetName(int index, char* out) const {
    CopyText(
        out, sizeof(MarketEntry::m_szName),
        index >= 0 && index < m_nEntries ? m_pEntries[index].m_szName : OtherMarketName().c_str());
}

int CMarketTable::IndexOfName(const char* text) const {
    char work[64];
    CopyText(work, sizeof work, text);
    if (char* comma = std::strchr(work, ','); comma != nullptr) {
        *comma = '\0';
    }
    const std::size_t length = std::strlen(work);
    for (int i = 0; i < m_nEntries; ++i) {
        const char* name = m_pEntries[i].m_szName;
        // The first byte of a stored name is a filler; an empty name has nothing after it.
        const char* tail = name[0] != '\0' ? name + 1 : name;
        if (std::strncmp(tail, work, length) == 0) {
            return i;
        }
    }
    return m_nEntries;
}

int CMarketTable::GetNumber(int index) const {
    return index >= 0 && index < m_nEntries ? m_pEntries[index].m_nNumber : 0;
}

void CMarketTable::SymbolOfNumber(int number, char* out) const {
    for (int i = 0; i < m_nEntries; ++i) {
        if (m_pEntries[i].m_nNumber == number) {
            CopyText(out, sizeof(MarketEntry::m_szSymbol), m_pEntries[i].m_szSymbol);
            return;
        }
    }
    CopyText(out, sizeof(MarketEntry::m_szSymbol), "X");
}

}  // namespace tickora
