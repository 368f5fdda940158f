#include "catalog/stock_list.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

#include "catalog/clock.h"
#include "catalog/line_file.h"
#include "web/text_scan.h"

namespace tickora {
namespace {

constexpr int kLineBufferSize = 128;
constexpr int kNameCut = 30;
constexpr std::size_t kUrlLimit = sizeof(CQuoteBlock::m_szQuoteUrl) - 1;

struct ListLine {
    std::string symbol;
    int code = 0;
    std::string marketSymbol;
    std::string name;
};

// One line of the list as the pattern "%[^,] ,%d," and the comma positions read it. A line
// without a first column, without a code after the first comma or with fewer than three commas
// yields nothing: such a line is left out of the list, and the stocks after it move up.
std::optional<ListLine> ParseListLine(char* line) {
    const char* first = std::strchr(line, ',');
    if (first == nullptr || first == line) {
        return std::nullopt;
    }
    const char* second = std::strchr(first + 1, ',');
    const char* third = second != nullptr ? std::strchr(second + 1, ',') : nullptr;
    if (third == nullptr) {
        return std::nullopt;
    }
    char* end = nullptr;
    const long code = std::strtol(first + 1, &end, 10);
    if (end == first + 1 || end > second) {
        return std::nullopt;
    }
    ListLine out;
    out.symbol.assign(static_cast<const char*>(line), first);
    out.code = static_cast<int>(std::clamp<long>(code, INT_MIN, INT_MAX));
    out.marketSymbol.assign(second + 1, third);
    // The name ends in the CR that ReadLine puts at the end of every line.
    char* name = const_cast<char*>(third + 1);
    const std::size_t nameLength = std::strlen(name);
    if (nameLength > 0) {
        name[nameLength - 1] = '\0';
    }
    if (std::strlen(name) > static_cast<std::size_t>(kNameCut)) {
        CutAtCharBoundary(name, kNameCut);
    }
    out.name = name;
    return out;
}

}  // namespace

CQuoteBlock::CQuoteBlock(int index) : m_nIndex(index) {
    std::snprintf(m_szPagePath, sizeof m_szPagePath, "Webtemp/webtemp-%03d.html", index);
}

void CQuoteBlock::AddStock(int slot, const char* symbol, int code, const char* marketSymbol,
                           const char* name, const CMarketTable& markets) {
    if (slot < 0 || slot >= kStocksPerBlock) {
        return;
    }
    CStockRecord& stock = m_aStocks[slot];
    CopyWholeChars(stock.m_szSymbol, symbol, std::strlen(symbol), sizeof stock.m_szSymbol - 1);
    stock.m_nCode = code;
    CopyWholeChars(stock.m_szName, name, std::strlen(name), sizeof stock.m_szName - 1);
    stock.m_nMarket = markets.IndexOfSymbol(marketSymbol);
    if (slot + 1 > m_nStocks) {
        m_nStocks = slot + 1;
    }
}

namespace {

// A symbol as URL text. The list's symbols are digits and letters, which pass unchanged; a blank
// or a byte beyond ASCII from a hand-edited list would otherwise make the whole block's request
// malformed, so that no stock of the block, and no later block, were fetched.
std::string SymbolAsUrlText(const char* symbol) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string text;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(symbol); *p != 0; ++p) {
        const bool plain = (*p >= '0' && *p <= '9') || (*p >= 'A' && *p <= 'Z') ||
                           (*p >= 'a' && *p <= 'z') || *p == '-' || *p == '.' || *p == '_' ||
                           *p == '~';
        if (plain) {
            text += static_cast<char>(*p);
        } else {
            text += '%';
            text += kHex[*p >> 4];
            text += kHex[*p & 0x0F];
        }
    }
    return text;
}

}  // namespace

void CQuoteBlock::BuildUrls(const CMarketTable& markets, const char* quoteHost) {
    static constexpr const char* kQuoteEnd = "&d=v2";
    static constexpr const char* kFiguresEnd = "&d=v3";
    static_assert(sizeof("&d=v2") == sizeof("&d=v3"));
    const std::size_t endLength = std::strlen(kQuoteEnd);

    std::string query = std::string(quoteHost) + "/q?s=";
    // Items that would push the URL past its field are left out whole, so that the request still
    // ends in its view and asks for the stocks before them.
    bool anyItem = false;
    for (int i = 0; i < m_nStocks; ++i) {
        char market[sizeof(MarketEntry::m_szSymbol)];
        markets.GetSymbol(m_aStocks[i].m_nMarket, market);
        const char* suffix = market[0] == 'O' ? ".O" : market[0] == 'N' ? ".N" : "";
        std::string item =
            std::string(anyItem ? "+" : "") + SymbolAsUrlText(m_aStocks[i].m_szSymbol) + suffix;
        if (query.size() + item.size() + endLength > kUrlLimit) {
            break;
        }
        query += item;
        anyItem = true;
    }
    const std::string quote = (query + kQuoteEnd).substr(0, kUrlLimit);
    const std::string figures = (query + kFiguresEnd).substr(0, kUrlLimit);
    std::memcpy(m_szQuoteUrl, quote.c_str(), quote.size() + 1);
    std::memcpy(m_szFiguresUrl, figures.c_str(), figures.size() + 1);
}

int CQuoteBlock::IndexOfCode(int code) const {
    for (int i = 0; i < kStocksPerBlock; ++i) {
        if (m_aStocks[i].m_nCode == code) {
            return i;
        }
    }
    return -1;
}

void CQuoteBlock::GetQuoteDate(int* year, int* month, int* day) const {
    const LocalDate today = Today();
    *year = today.year;
    *month = (m_nMonth >= 1 && m_nMonth <= 12) ? m_nMonth : today.month;
    *day = (m_nDay >= 1 && m_nDay <= 31) ? m_nDay : today.day;
}

int CStockList::Load(const CMarketTable& markets, const char* quoteHost, const char* path) {
    m_nBlocks = 0;
    m_ppBlocks.clear();
    CLineFile file;
    if (!file.Open(path)) {
        return -1;
    }
    char line[kLineBufferSize];
    int stocks = 0;
    while (file.ReadLine(line, sizeof line) != nullptr) {
        if (ParseListLine(line)) {
            ++stocks;
        }
    }
    if (stocks == 0) {
        return -1;
    }
    file.SeekToStart();

    const int blockCount = (stocks + kStocksPerBlock - 1) / kStocksPerBlock;
    std::vector<std::unique_ptr<CQuoteBlock>> blocks;
    blocks.reserve(blockCount);
    int placed = 0;
    for (int b = 0; b < blockCount; ++b) {
        auto block = std::make_unique<CQuoteBlock>(b);
        for (int k = 0; k < kStocksPerBlock && placed < stocks;) {
            if (file.ReadLine(line, sizeof line) == nullptr) {
                break;
            }
            const std::optional<ListLine> stock = ParseListLine(line);
            if (!stock) {
                continue;
            }
            block->AddStock(k, stock->symbol.c_str(), stock->code, stock->marketSymbol.c_str(),
                            stock->name.c_str(), markets);
            ++k;
            ++placed;
        }
        block->BuildUrls(markets, quoteHost);
        blocks.push_back(std::move(block));
    }
    // The second pass must see what the first counted; anything else (a read error, a file
    // replaced meanwhile) would leave a half-filled list.
    if (placed != stocks) {
        return -1;
    }
    m_ppBlocks = std::move(blocks);
    m_nBlocks = blockCount;
    return 0;
}

CQuoteBlock* CStockList::GetBlock(int i) {
    return i >= 0 && i < m_nBlocks ? m_ppBlocks[i].get() : nullptr;
}

const CQuoteBlock* CStockList::GetBlock(int i) const {
    return i >= 0 && i < m_nBlocks ? m_ppBlocks[i].get() : nullptr;
}

const char* CStockList::GetQuoteUrl(int i) const {
    const CQuoteBlock* block = GetBlock(i);
    return block != nullptr ? block->m_szQuoteUrl : "";
}

const char* CStockList::GetFiguresUrl(int i) const {
    const CQuoteBlock* block = GetBlock(i);
    return block != nullptr ? block->m_szFiguresUrl : "";
}

const char* CStockList::GetPagePath(int i) const {
    const CQuoteBlock* block = GetBlock(i);
    return block != nullptr ? block->m_szPagePath : "";
}

int CStockList::MarketOfCode(int code) const {
    int market = 99;
    for (int b = 0; b < m_nBlocks; ++b) {
        const CQuoteBlock& block = *m_ppBlocks[b];
        for (int k = 0; k < block.m_nStocks; ++k) {
            if (block.m_aStocks[k].m_nCode == code) {
                market = block.m_aStocks[k].m_nMarket + 1;
                break;
            }
        }
    }
    return market;
}

void CStockList::SymbolOfCode(int code, char* out) const {
    out[0] = '\0';
    for (int b = 0; b < m_nBlocks; ++b) {
        const CQuoteBlock& block = *m_ppBlocks[b];
        for (int k = 0; k < block.m_nStocks; ++k) {
            if (block.m_aStocks[k].m_nCode == code) {
                std::memcpy(out, block.m_aStocks[k].m_szSymbol,
                            sizeof block.m_aStocks[k].m_szSymbol);
                break;
            }
        }
    }
}

}  // namespace tickora
