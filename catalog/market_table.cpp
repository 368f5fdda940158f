#include "catalog/market_table.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>

#include "catalog/line_file.h"
#include "web/sjis.h"
#include "web/text_scan.h"

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

// The fields of one line as the pattern "%d, %[^,] ,%[^,]" reads them. A line that breaks off
// keeps the fields read so far; the others stay zero or empty, so the entry still holds its
// place in file order.
MarketEntry ScanLine(std::string line) {
    MarketEntry entry;
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
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

int CMarketTable::Load(const char* path) {
    m_nEntries = 0;
    m_pEntries.clear();
    CLineFile file;
    if (!file.Open(path)) {
        return 0;
    }
    char line[128];
    int count = 0;
    while (file.ReadLine(line, sizeof line) != nullptr) {
        ++count;
    }
    if (count == 0) {
        return 0;
    }
    file.SeekToStart();
    m_pEntries.resize(count);
    for (MarketEntry& entry : m_pEntries) {
        if (file.ReadLine(line, sizeof line) == nullptr) {
            break;
        }
        entry = ScanLine(line);
    }
    m_nEntries = count;
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
