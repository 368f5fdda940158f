// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The functions the fuzz targets drive, one per reader of outside input. Kept in a header so that
// the regression tests replay saved inputs through exactly the same code under the normal build.
// Besides running the reader, each checks what the reader promises about its output (terminated
// fields, counts within their tables, results that agree with a plain oracle) and aborts when a
// promise is broken, so the fuzzer reports logic faults as well as memory faults.
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "catalog/app_settings.h"
#include "catalog/market_table.h"
#include "catalog/stock_list.h"
#include "formats/dictionary.h"
#include "pages/figures_page.h"
#include "pages/history_page.h"
#include "pages/list_pages.h"
#include "pages/page_buffer.h"
#include "pages/page_check.h"
#include "pages/profile_page.h"
#include "pages/quote_page.h"
#include "text/text_scan.h"
#include "web/hosts.h"

namespace tickora::fuzz {

// Under the fuzzer a broken promise must crash to be reported; the regression tests want a
// failure they can name instead.
inline void Require(bool promise, const char* what) {
    if (!promise) {
#ifdef TICKORA_FUZZ_ENTRY
        std::fprintf(stderr, "broken promise: %s\n", what);
        std::abort();
#else
        throw std::logic_error(std::string("broken promise: ") + what);
#endif
    }
}

template <std::size_t N>
bool Terminated(const char (&field)[N]) {
    return std::memchr(field, '\0', N) != nullptr;
}

// The loaders and page parsers read files: each input goes to one file of this process.
class InputFile {
  public:
    InputFile() {
        const char* tmp = std::getenv("TMPDIR");
        m_path = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/tickora-fuzz-" +
                 std::to_string(::getpid()) + ".in";
    }
    ~InputFile() { std::remove(m_path.c_str()); }
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    const char* Write(const std::uint8_t* data, std::size_t size) {
        std::FILE* f = std::fopen(m_path.c_str(), "wb");
        Require(f != nullptr, "the input file can be written");
        if (size > 0) {
            Require(std::fwrite(data, 1, size, f) == size, "the input is written whole");
        }
        std::fclose(f);
        return m_path.c_str();
    }

  private:
    std::string m_path;
};

inline InputFile& Input() {
    static InputFile file;
    return file;
}

// The market table the list and profile readers resolve against: Shift-JIS, as the site's users
// keep it.
inline const CMarketTable& FixedMarkets() {
    static const CMarketTable markets = [] {
        // 1,T, 東証1部 / 2,T2, 東証2部 / 3,O, 大証1部 / 4,N, 名証1部 / 5,J, ジャスダック
        static const unsigned char kText[] = {
            '1',  ',',  'T',  ',',  ' ',  0x93, 0x8C, 0x8F, 0xD8, '1',  0x95, 0x94, '\r',
            '\n', '2',  ',',  'T',  '2',  ',',  ' ',  0x93, 0x8C, 0x8F, 0xD8, '2',  0x95,
            0x94, '\r', '\n', '3',  ',',  'O',  ',',  ' ',  0x91, 0xE5, 0x8F, 0xD8, '1',
            0x95, 0x94, '\r', '\n', '4',  ',',  'N',  ',',  ' ',  0x96, 0xBC, 0x8F, 0xD8,
            '1',  0x95, 0x94, '\r', '\n', '5',  ',',  'J',  ',',  ' ',  0x83, 0x57, 0x83,
            0x83, 0x83, 0x58, 0x83, 0x5F, 0x83, 0x62, 0x83, 0x4E, '\r', '\n'};
        CMarketTable table;
        Require(table.Load(Input().Write(kText, sizeof kText)) == 1, "the fixed markets load");
        return table;
    }();
    return markets;
}

// A heap copy of exactly the text's bytes and its terminator, so that any read past it shows.
inline std::vector<char> Heap(std::string_view text) {
    std::vector<char> bytes(text.begin(), text.end());
    bytes.push_back('\0');
    return bytes;
}

inline bool OnlyNumberChars(const char* text) {
    for (const char* p = text; *p != '\0'; ++p) {
        if (!((*p >= '0' && *p <= '9') || *p == '-' || *p == '.')) {
            return false;
        }
    }
    return true;
}

// Input: byte 0 = the cut limit (signed), byte 1 = the pattern length (low nibble), then the
// pattern, then the text (up to its first NUL).
inline void Toolkit(const std::uint8_t* data, std::size_t size) {
    if (size < 2) {
        return;
    }
    const int limit = static_cast<signed char>(data[0]);
    std::size_t patternLength = data[1] & 0x0F;
    const char* rest = reinterpret_cast<const char*>(data + 2);
    const std::size_t restSize = size - 2;
    patternLength = std::min(patternLength, restSize);
    std::string_view pattern(rest, patternLength);
    pattern = pattern.substr(0, pattern.find('\0'));
    std::string_view text(rest + patternLength, restSize - patternLength);
    text = text.substr(0, text.find('\0'));
    const std::vector<char> heapText = Heap(text);
    const std::vector<char> heapPattern = Heap(pattern);

    const int found = FindText(heapText.data(), heapPattern.data());
    const std::size_t at = text.find(pattern);
    const int expected =
        text.empty() || at == std::string_view::npos ? 0 : static_cast<int>(at) + 1;
    Require(found == expected, "FindText finds the first occurrence");

    const int srcLen = static_cast<int>(text.size());
    char cell[256];
    StripTags(heapText.data(), srcLen, cell, sizeof cell);
    Require(Terminated(cell), "StripTags terminates its result");
    Require(std::strchr(cell, '<') == nullptr, "StripTags leaves no '<'");

    std::vector<char> cut = Heap(text);
    const int cutResult = CutAtCharBoundary(cut.data(), limit);
    const std::size_t cutLength = std::strlen(cut.data());
    Require(cutLength <= text.size(), "CutAtCharBoundary never lengthens");
    Require(
        cutResult == static_cast<int>(cutLength) ||
            (cutResult == static_cast<int>(cutLength) + 1 && static_cast<int>(cutLength) >= limit),
        "CutAtCharBoundary returns the length, or the cut length + 1 at the limit");
    Require(std::memcmp(cut.data(), text.data(), cutLength) == 0,
            "CutAtCharBoundary keeps a prefix");

    std::vector<char> commas = Heap(text);
    StripCommas(commas.data());
    Require(text.size() >= 256 || std::strchr(commas.data(), ',') == nullptr,
            "StripCommas removes every comma of a short text");

    std::vector<char> number = Heap(text);
    KeepNumberChars(number.data());
    Require(text.size() >= 256 || OnlyNumberChars(number.data()),
            "KeepNumberChars keeps only number characters");

    std::vector<char> sjis(text.size() + 1, '\x7f');
    EucToSjis(heapText.data(), sjis.data());
    Require(std::memchr(sjis.data(), '\0', sjis.size()) != nullptr,
            "EucToSjis stays within the source's size");
}

inline void MarketTableFile(const std::uint8_t* data, std::size_t size) {
    CMarketTable table;
    const int loaded = table.Load(Input().Write(data, size));
    Require(loaded == 0 || loaded == 1, "Load returns 0 or 1");
    Require(table.m_nEntries == static_cast<int>(table.m_pEntries.size()), "entry count agrees");
    for (int i = 0; i <= table.m_nEntries + 1; ++i) {
        char symbol[4];
        char name[32];
        table.GetSymbol(i, symbol);
        table.GetName(i, name);
        Require(Terminated(symbol) && Terminated(name), "lookups give terminated texts");
        const int byName = table.IndexOfName(name);
        Require(byName >= 0 && byName <= table.m_nEntries, "IndexOfName stays in the table");
        const int bySymbol = table.IndexOfSymbol(symbol);
        Require(bySymbol >= 0 && bySymbol <= table.m_nEntries, "IndexOfSymbol stays in the table");
        char again[4];
        table.SymbolOfNumber(table.GetNumber(i), again);
        Require(Terminated(again), "SymbolOfNumber gives a terminated text");
    }
    for (const MarketEntry& e : table.m_pEntries) {
        Require(Terminated(e.m_szSymbol) && Terminated(e.m_szName), "entries are terminated");
    }
}

inline void StockListFile(const std::uint8_t* data, std::size_t size) {
    const CMarketTable& markets = FixedMarkets();
    CStockList list;
    const int loaded = list.Load(markets, "http://127.0.0.1:8053", Input().Write(data, size));
    Require(loaded == 0 || loaded == -1, "Load returns 0 or -1");
    Require(list.m_nBlocks == static_cast<int>(list.m_ppBlocks.size()), "block count agrees");
    Require(loaded == 0 || list.m_nBlocks == 0, "a failed load leaves no list");
    for (int b = 0; b < list.m_nBlocks; ++b) {
        const CQuoteBlock* block = list.GetBlock(b);
        Require(block != nullptr, "every block exists");
        Require(block->m_nStocks >= 0 && block->m_nStocks <= kStocksPerBlock, "slots in range");
        Require(Terminated(block->m_szQuoteUrl) && Terminated(block->m_szFiguresUrl) &&
                    Terminated(block->m_szPagePath),
                "URLs and paths are terminated");
        for (int s = 0; s < block->m_nStocks; ++s) {
            const CStockRecord& stock = block->m_aStocks[s];
            Require(Terminated(stock.m_szSymbol) && Terminated(stock.m_szName),
                    "symbol and name are terminated");
            Require(stock.m_nMarket >= 0 && stock.m_nMarket <= markets.m_nEntries,
                    "the market index stays in the table");
            char symbol[16];
            list.SymbolOfCode(stock.m_nCode, symbol);
            Require(Terminated(symbol), "SymbolOfCode terminates");
            (void)list.MarketOfCode(stock.m_nCode);
        }
        int year = 0;
        int month = 0;
        int day = 0;
        block->GetQuoteDate(&year, &month, &day);
    }
    Require(list.GetBlock(list.m_nBlocks) == nullptr && list.GetBlock(-1) == nullptr,
            "blocks outside the list are null");
}

inline void AppSettingsFile(const std::uint8_t* data, std::size_t size) {
    CAppSettings settings;
    settings.Load(Input().Write(data, size));
    Require(Terminated(settings.m_szOutputDir), "the output folder is terminated");
    unsigned char record[kSettingsRecordSize];
    settings.ToRecord(record);
    CAppSettings again;
    again.FromRecord(record);
    Require(again.m_nVersion == settings.m_nVersion &&
                again.m_nOutputFormat == settings.m_nOutputFormat &&
                std::strcmp(again.m_szOutputDir, settings.m_szOutputDir) == 0 &&
                again.m_bAutoStart == settings.m_bAutoStart &&
                again.m_bExitAfterFetch == settings.m_bExitAfterFetch &&
                again.m_bAverageDecimals == settings.m_bAverageDecimals,
            "the record round-trips");
}

// A block whose stocks the seed pages show: the simulated site's first rows (its three index
// rows carry the list's codes 1001, 1002 and 1010) and the hand-made pages' symbols.
inline void FillFuzzBlock(CQuoteBlock& block) {
    struct Slot {
        const char* symbol;
        int code;
    };
    static const Slot kSlots[] = {
        {"998405", 1001}, {"23337", 1002}, {"998407", 1010}, {"1336", 1336}, {"1423", 1423},
        {"1648", 1648},   {"1301", 1301},  {"1332", 1332},   {"7203", 7203}, {"9984", 9984}};
    int i = 0;
    for (const Slot& slot : kSlots) {
        CStockRecord& stock = block.m_aStocks[i++];
        std::snprintf(stock.m_szSymbol, sizeof stock.m_szSymbol, "%s", slot.symbol);
        stock.m_nCode = slot.code;
        std::snprintf(stock.m_szName, sizeof stock.m_szName, "N%s", slot.symbol);
    }
    block.m_nStocks = i;
}

inline void QuotePage(const std::uint8_t* data, std::size_t size) {
    // As the fetch job reads a page, without its append to the error log.
    const int read = ReadPageIntoBuffer(Input().Write(data, size), kQuotePageLimit);
    Require(read >= 0 && read <= kQuotePageLimit, "the page read stays within its limit");
    CQuoteBlock block(0);
    FillFuzzBlock(block);
    QuotePageOutcome outcome;
    ParseQuoteText(g_PageBuffer, block, outcome);
    Require(block.m_nExtracted >= 0 && block.m_nExtracted <= block.m_nStocks,
            "extracted stocks are counted within the block");
    Require(outcome.failedCount >= 0 && outcome.failedCount <= kStocksPerBlock,
            "failed slots fit their table");
    // Rows are matched to the stocks they name, the slots in their order: each of the block's
    // stocks is taken or failed once at most, and no slot beyond them is either.
    for (int i = 0; i < outcome.failedCount; ++i) {
        Require(outcome.failedSlots[i] >= 0 && outcome.failedSlots[i] < block.m_nStocks,
                "failed slots are stocks of the block");
        Require(i == 0 || outcome.failedSlots[i] > outcome.failedSlots[i - 1],
                "failed slots are met in slot order, each once");
    }
    Require(block.m_nExtracted + outcome.failedCount <= block.m_nStocks,
            "a stock is extracted or failed, never both");
    for (const CStockRecord& stock : block.m_aStocks) {
        Require(Terminated(stock.m_szName) && Terminated(stock.m_szSymbol), "texts terminated");
    }
}

inline void FiguresPage(const std::uint8_t* data, std::size_t size) {
    CQuoteBlock block(0);
    FillFuzzBlock(block);
    const int counted = ParseFiguresPage(Input().Write(data, size), block);
    // A code that stands in several rows is counted once per row, so the count is bounded by the
    // rows of the page read, not by the block.
    const std::string_view head(reinterpret_cast<const char*>(data),
                                std::min<std::size_t>(size, kFiguresPageLimit));
    int rows = 0;
    for (std::size_t at = head.find("<tr"); at != std::string_view::npos;
         at = head.find("<tr", at + 1)) {
        ++rows;
    }
    Require(counted >= 0 && counted <= rows, "each counted row is a row of the page");
}

inline void ListPage(const std::uint8_t* data, std::size_t size) {
    CListPage page(0, "http://127.0.0.1:8053");
    const int result = ParseListPage(Input().Write(data, size), page);
    Require(result == 0 || result == -1 || result == -2, "ParseListPage returns 0, -1 or -2");
    for (const CListEntry& entry : page.m_aEntries) {
        Require(Terminated(entry.m_szSymbol) && Terminated(entry.m_szName), "slots terminated");
    }
    static std::FILE* const sink = std::fopen("/dev/null", "wb");
    if (sink != nullptr) {
        page.WriteEntries(sink, false, FixedMarkets());
    }
}

inline void HistoryPage(const std::uint8_t* data, std::size_t size) {
    CKdtPage page("1301", 0, kDefaultSite);
    const char* path = Input().Write(data, size);
    const int result = ParseHistoryPage(path, page);
    Require(result == 0 || result == -1, "ParseHistoryPage returns 0 or -1");
    // The judgement the job makes before the days count: a page that holds days but no table
    // end in what the parser reads is never taken (unless the page goes on past that).
    const std::string fault = HistoryPageFault(path, result);
    const std::string_view bytes(reinterpret_cast<const char*>(data),
                                 std::min<std::size_t>(size, kHistoryPageLimit));
    Require(bytes.find("</table>") != std::string_view::npos || !fault.empty() || result != 0 ||
                size > static_cast<std::size_t>(kHistoryPageLimit),
            "a history page without the table's end is a failed page");
}

inline void ProfilePage(const std::uint8_t* data, std::size_t size) {
    CompanyProfile profile;
    const int result = ParseProfilePage(Input().Write(data, size), profile);
    Require(result == kProfileRead || result == kProfileNotAProfile ||
                result == kProfileNotWhole || result == kProfileNulInside,
            "a readable page parses, as a profile page, a page that is not whole, or as none");
    Require(Terminated(profile.m_szFeature) && Terminated(profile.m_szBusiness) &&
                Terminated(profile.m_szIndustry) && Terminated(profile.m_szMarket),
            "the four texts are terminated");
    // What the profile job does next with the texts.
    (void)MarketNumberOfName(profile.m_szMarket, FixedMarkets());
    (void)IndustryNumberOfName(profile.m_szIndustry);
}

}  // namespace tickora::fuzz
