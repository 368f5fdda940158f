// SPDX-License-Identifier: GPL-3.0-or-later
#include "pages/list_pages.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "catalog/clock.h"
#include "formats/atomic_file.h"
#include "formats/dictionary.h"
#include "formats/fetch_list_file.h"
#include "pages/page_buffer.h"
#include "pages/profile_page.h"
#include "text/sjis.h"
#include "text/text_scan.h"

namespace tickora {
namespace {

constexpr const char* kRowMarker = "<tr><td><a href=\"/q?s=";
constexpr const char* kRowEnd = "</tr>";
constexpr int kRowEndLength = 5;
constexpr const char* kCellStart = "<td";
constexpr const char* kCellEnd = "</td>";
constexpr int kCellEndLength = 5;
constexpr int kCellTextSize = 256;
constexpr int kNameLimit = 30;

// Copies at most size - 1 bytes and always terminates: a first cell longer than the field is cut.
void CopyField(char* dst, size_t size, const char* src) {
    const size_t n = std::min(std::strlen(src), size - 1);
    std::memcpy(dst, src, n);
    dst[n] = '\0';
}

// The company name as the list keeps it: Shift-JIS, without a leading "(株)" (or, when there is
// none, a trailing one), at most 30 bytes, or 31 when a double-byte character starts at the 30th.
void TakeName(const char* cellText, CListEntry& slot) {
    static const std::string kCorp = Utf8ToSjis("(株)");  // 4 bytes
    char name[kCellTextSize];
    EucToSjis(cellText, name);
    size_t len = std::strlen(name);
    if (len >= kCorp.size() && std::memcmp(name, kCorp.data(), kCorp.size()) == 0) {
        std::memmove(name, name + kCorp.size(), len - kCorp.size() + 1);
    } else if (len > kCorp.size() &&
               std::memcmp(name + len - kCorp.size(), kCorp.data(), kCorp.size()) == 0) {
        name[len - kCorp.size()] = '\0';
    }
    len = std::strlen(name);
    if (len > static_cast<size_t>(kNameLimit)) {
        (void)CutAtCharBoundary(name, kNameLimit);
    }
    CopyField(slot.m_szName, sizeof slot.m_szName, name);
}

// The leading decimal integer of a cell text (blanks and a sign allowed); 0 when there is none.
long LeadingNumber(const char* text) {
    return std::strtol(text, nullptr, 10);
}

}  // namespace

std::string ListField(const char* text) {
    std::string field(text);
    // The page's text must not become the list's structure: a comma would move the columns, and
    // a CR or LF would end the line, in the list that the next start reads.
    for (char& c : field) {
        if (c == ',' || c == '\r' || c == '\n') {
            c = ' ';
        }
    }
    return field;
}

void CListEntry::WriteLine(std::FILE* stream, const CMarketTable& markets) const {
    char market[32] = {};
    markets.SymbolOfNumber(m_nMarketNo, market);
    char symbol[sizeof m_szSymbol + 1] = {};
    std::memcpy(symbol, m_szSymbol, sizeof m_szSymbol);
    char name[sizeof m_szName + 1] = {};
    std::memcpy(name, m_szName, sizeof m_szName);
    std::fprintf(stream, "%s,%04d,%s,%s\r\n", ListField(symbol).c_str(), m_nCode,
                 ListField(market).c_str(), ListField(name).c_str());
}

CListPage::CListPage(int index, const std::string& quoteHost) : m_nIndex(index) {
    std::snprintf(m_szPagePath, sizeof m_szPagePath, "Webtemp/listtemp-%03d.html", index);
    std::snprintf(m_szUrl, sizeof m_szUrl, "%s", ListingPageUrl(quoteHost, index).c_str());
}

std::string ListingPageUrl(const std::string& quoteHost, int index) {
    // "%2a" is the asterisk, percent-encoded: the listing of every stock.
    return quoteHost + "/l?s=%2a&m=" + std::to_string(50 * index + 1);
}

int ParseListRow(const char* row, int length, CListEntry& slot) {
    int result = -1;
    bool endOfList = false;
    int q = 0;
    int k = 0;
    char text[kCellTextSize];
    while (q < length) {
        const char* from = row + q;
        const int start = FindText(from, kCellStart);
        if (start == 0) {
            break;
        }
        if (start > length) {
            return 1;
        }
        const int end = FindText(from, kCellEnd);
        if (end == 0) {
            break;  // an unclosed last cell has no text to take
        }
        const char* cell = from + start - 1;
        const char* cellEnd = from + end - 1 + kCellEndLength;
        (void)StripTags(cell, static_cast<int>(cellEnd - cell), text, kCellTextSize);
        q = static_cast<int>(cellEnd - row);

        if (k == 0) {
            const long v = LeadingNumber(text);
            int code = 0;
            if (v >= 1000 && v <= 9999) {
                code = static_cast<int>(v);
            } else if (v == kSpecialRow1002) {
                code = 1002;
            } else if (v == kSpecialRow1001) {
                code = 1001;
            } else if (v == kEndOfListRow) {
                code = 1010;
                endOfList = true;
            } else if (v == 0) {
                result = 1;
            } else {
                return -1;
            }
            if (code != 0) {
                slot.m_nCode = code;
                CopyField(slot.m_szSymbol, sizeof slot.m_szSymbol, text);
                slot.m_nMarketNo = kNoMarketNumber;
                result = 0;
            }
        } else if (k == 1) {
            TakeName(text, slot);
            if (endOfList) {
                return -2;
            }
        }
        ++k;
    }
    return result;
}

int ParseListPage(const char* path, CListPage& page) {
    const int read = ReadPageIntoBuffer(path, kListPageLimit);
    if (read < 0) {
        return -1;
    }
    const char* p = g_PageBuffer;
    int slot = 0;
    while (slot < kListSlots) {
        const int marker = FindText(p, kRowMarker);
        if (marker == 0) {
            return 0;
        }
        const int end = FindText(p, kRowEnd);
        if (end == 0) {
            p += 4;  // the marker lies at least 22 bytes ahead: this stays inside the text
            continue;
        }
        const char* row = p + marker - 1;
        const char* rowEnd = p + end - 1 + kRowEndLength;
        if (rowEnd > row) {
            const int r = ParseListRow(row, static_cast<int>(rowEnd - row), page.m_aEntries[slot]);
            if (r == 0) {
                ++slot;
            } else if (r == -1) {
                return -1;
            } else if (r == -2) {
                return -2;
            }
        }
        p = rowEnd;
    }
    // Every slot is taken; further rows have nowhere to go.
    return 0;
}

CListPages::CListPages(const std::string& quoteHost) {
    m_ppPages.reserve(kListPageCount);
    for (int i = 0; i < m_nPages; ++i) {
        m_ppPages.push_back(std::make_unique<CListPage>(i, quoteHost));
    }
}

const char* CListPages::GetPagePath(int i) const {
    return m_ppPages[i]->m_szPagePath;
}

const char* CListPages::GetPageUrl(int i) const {
    return m_ppPages[i]->m_szUrl;
}

CListPage* CListPages::GetPage(int i) {
    return i >= 0 && i < m_nPages ? m_ppPages[i].get() : nullptr;
}

void CListPages::MarkKnownStocks(int i, const CStockList& stocks) {
    CListPage& page = *m_ppPages[i];
    for (int s = 0; s < kListSlotsUsed; ++s) {
        CListEntry& entry = page.m_aEntries[s];
        entry.m_nMarketNo = stocks.MarketOfCode(entry.m_nCode);
        if (entry.m_nMarketNo == kNoMarketNumber) {
            entry.m_bAdded = 1;
        }
    }
}

std::vector<ProfileSlotResult> CListPages::CompletePage(int i, bool keepHtml, bool addedOnly,
                                                        bool useKeptHtml, const CStockList& stocks,
                                                        const CMarketTable& markets,
                                                        const ProfileObserver& observe,
                                                        ProfilePageSource* source) {
    if (i < 0 || i >= m_nPages) {
        return {};
    }
    MarkKnownStocks(i, stocks);
    return m_ppPages[i]->FetchMarketsFromProfiles(keepHtml, addedOnly, useKeptHtml, markets,
                                                  observe, source);
}

std::vector<ProfileSlotResult> CListPage::FetchMarketsFromProfiles(bool keepHtml, bool addedOnly,
                                                                   bool useKeptHtml,
                                                                   const CMarketTable& markets,
                                                                   const ProfileObserver& observe,
                                                                   ProfilePageSource* source) {
    ProfilePageSource oneByOne;
    if (source == nullptr) {
        source = &oneByOne;
    }
    if (keepHtml) {
        CreateProfileFolders();
    }
    std::vector<ProfileSlotResult> results;
    CompanyProfile profile{};
    for (int s = 0; s < kListSlotsUsed; ++s) {
        CListEntry& entry = m_aEntries[s];
        if (entry.m_nCode == 0 || (addedOnly && entry.m_bAdded == 0)) {
            continue;
        }
        ProfileStep step;
        step.slot = s;
        step.code = entry.m_nCode;
        step.url = useKeptHtml ? std::string() : source->Url(entry.m_nCode);
        step.path = source->Obtain(entry.m_nCode, keepHtml, useKeptHtml, &step.download);
        step.parsed = ParseProfilePage(step.path.c_str(), profile);
        // Only a page that is a profile page tells the market; any other keeps the one the
        // loaded list gave (a maintenance page would otherwise turn it into "no market").
        if (step.parsed == kProfileRead) {
            entry.m_nMarketNo = MarketNumberOfName(profile.m_szMarket, markets);
        }
        results.push_back({s, entry.m_nCode, step.parsed});
        if (observe && !observe(step)) {
            break;
        }
    }
    return results;
}

std::vector<int> CListPage::ProfileCodes(bool addedOnly) const {
    std::vector<int> codes;
    for (int s = 0; s < kListSlotsUsed; ++s) {
        const CListEntry& entry = m_aEntries[s];
        if (entry.m_nCode != 0 && (!addedOnly || entry.m_bAdded != 0)) {
            codes.push_back(entry.m_nCode);
        }
    }
    return codes;
}

void CListPage::WriteEntries(std::FILE* stream, bool addedOnly, const CMarketTable& markets) const {
    for (int s = 0; s < kListSlotsUsed; ++s) {
        const CListEntry& entry = m_aEntries[s];
        if (entry.m_nCode != 0 && (!addedOnly || entry.m_bAdded != 0)) {
            entry.WriteLine(stream, markets);
        }
    }
}

std::string AddListPath() {
    const LocalDate today = Today();
    char name[64];
    std::snprintf(name, sizeof name, "addlist-%02d%02d%02d.csv", (today.year - 2000) % 100,
                  today.month, today.day);
    return name;
}

namespace {

// The added stocks, in page order, to today's "addlist-YYMMDD.csv".
ListWriteResult WriteAddedList(const std::vector<std::unique_ptr<CListPage>>& pages,
                               const CMarketTable& markets) {
    ListWriteResult result;
    const std::string path = AddListPath();
    AtomicFile file;
    if (!file.Open(path)) {
        result.writeFailed = true;
        return result;
    }
    for (const auto& page : pages) {
        page->WriteEntries(file.Get(), true, markets);
        for (int s = 0; s < kListSlotsUsed; ++s) {
            const CListEntry& e = page->m_aEntries[s];
            result.stocksWritten += (e.m_nCode != 0 && e.m_bAdded != 0) ? 1 : 0;
        }
    }
    if (file.Commit()) {
        result.filesWritten.push_back(path);
    } else {
        result.writeFailed = true;
        result.stocksWritten = 0;
    }
    return result;
}

}  // namespace

ListWriteResult CListPages::WriteList(bool addedOnly, const CMarketTable& markets) const {
    ListWriteResult result;
    if (m_nPages <= 0) {
        return result;
    }
    if (addedOnly) {
        return WriteAddedList(m_ppPages, markets);
    }
    std::vector<CListSortKey> keys;
    keys.reserve(static_cast<size_t>(m_nPages) * kListSlotsUsed);
    for (int i = 0; i < m_nPages; ++i) {
        for (int s = 0; s < kListSlotsUsed; ++s) {
            const CListEntry& e = m_ppPages[i]->m_aEntries[s];
            CListSortKey key;
            key.m_nCode = e.m_nCode;
            CopyField(key.m_szSymbol, sizeof key.m_szSymbol, e.m_szSymbol);
            key.m_nPage = i;
            key.m_nSlot = s;
            keys.push_back(key);
        }
    }
    int stocks = 0;
    const FetchListWrite written = WriteFetchList(
        std::move(keys),
        [&](const CListSortKey& key, std::FILE* out) {
            m_ppPages[key.m_nPage]->m_aEntries[key.m_nSlot].WriteLine(out, markets);
        },
        stocks);
    if (written == FetchListWrite::kWritten) {
        result.stocksWritten = stocks;
        result.filesWritten.push_back(kFetchListPath);
    }
    result.writeFailed = written == FetchListWrite::kFailed;
    return result;
}

}  // namespace tickora
