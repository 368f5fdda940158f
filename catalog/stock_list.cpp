// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalog/stock_list.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <optional>
#include <string>

#include "catalog/clock.h"
#include "catalog/line_file.h"
#include "text/sjis.h"
#include "text/text_scan.h"

namespace tickora {
namespace {

constexpr int kNameCut = 30;
constexpr std::size_t kSymbolLimit = sizeof(CStockRecord::m_szSymbol) - 1;
constexpr std::size_t kUrlLimit = sizeof(CQuoteBlock::m_szQuoteUrl) - 1;

struct ListLine {
    std::string symbol;
    int code = 0;
    std::string marketSymbol;
    std::string name;
};

bool IsBlankLine(const std::string& line) {
    return line.find_first_not_of(" \t") == std::string::npos;
}

// One line of the list as the pattern "%[^,] ,%d," and the comma positions read it. A line that
// is no stock (no first column, no code after the first comma, fewer than three commas), or one
// that the record could only hold changed (a symbol longer than its field, a code beyond int),
// yields nothing and, unless blank, a notice: it is left out, and the stocks after it move up.
std::optional<ListLine> ParseListLine(const std::string& line, const std::string& where,
                                      std::vector<std::string>& notices) {
    if (IsBlankLine(line)) {
        return std::nullopt;
    }
    const std::size_t first = line.find(',');
    const std::size_t second = first == std::string::npos ? first : line.find(',', first + 1);
    const std::size_t third = second == std::string::npos ? second : line.find(',', second + 1);
    const char* text = line.c_str();
    char* end = nullptr;
    errno = 0;
    const long code = first != std::string::npos ? std::strtol(text + first + 1, &end, 10) : 0;
    if (first == 0 || third == std::string::npos || end == text + first + 1 ||
        end > text + second) {
        notices.push_back(where + ": not a line of symbol, code, market and name; not read");
        return std::nullopt;
    }
    if (errno == ERANGE || code < INT_MIN || code > INT_MAX) {
        notices.push_back(where + ": the code " + line.substr(first + 1, second - first - 1) +
                          " is out of range; the line is not read");
        return std::nullopt;
    }
    ListLine out;
    out.symbol = line.substr(0, first);
    if (out.symbol.size() > kSymbolLimit) {
        // Cut to fit, it would name another stock, or none.
        notices.push_back(where + ": the symbol \"" + SjisToUtf8(out.symbol) +
                          "\" is longer than " + std::to_string(kSymbolLimit) +
                          " bytes; the line is not read");
        return std::nullopt;
    }
    out.code = static_cast<int>(code);
    out.marketSymbol = line.substr(second + 1, third - second - 1);
    std::string name = line.substr(third + 1);
    if (name.size() > static_cast<std::size_t>(kNameCut)) {
        (void)CutAtCharBoundary(name.data(), kNameCut);
        name.resize(std::strlen(name.c_str()));
    }
    out.name = std::move(name);
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

std::string CQuoteBlock::QuoteItem(int slot, const CMarketTable& markets) const {
    char market[sizeof(MarketEntry::m_szSymbol)];
    markets.GetSymbol(m_aStocks[slot].m_nMarket, market);
    const char* suffix = market[0] == 'O' ? ".O" : market[0] == 'N' ? ".N" : "";
    return SymbolAsUrlText(m_aStocks[slot].m_szSymbol) + suffix;
}

std::size_t CQuoteBlock::WholeQuoteUrlLength(const CMarketTable& markets,
                                             const char* quoteHost) const {
    std::size_t length = std::strlen(quoteHost) + std::strlen("/q?s=") + std::strlen("&d=v2");
    for (int i = 0; i < m_nStocks; ++i) {
        length += (i > 0 ? 1 : 0) + QuoteItem(i, markets).size();
    }
    return length;
}

bool CQuoteBlock::BuildUrls(const CMarketTable& markets, const char* quoteHost) {
    static constexpr const char* kQuoteEnd = "&d=v2";
    static constexpr const char* kFiguresEnd = "&d=v3";
    static_assert(sizeof("&d=v2") == sizeof("&d=v3"));
    const std::size_t endLength = std::strlen(kQuoteEnd);

    std::string query = std::string(quoteHost) + "/q?s=";
    // Items that would push the URL past its field are left out whole, so that the request still
    // ends in its view and asks for the stocks before them.
    bool whole = true;
    bool anyItem = false;
    for (int i = 0; i < m_nStocks; ++i) {
        const std::string item = std::string(anyItem ? "+" : "") + QuoteItem(i, markets);
        if (query.size() + item.size() + endLength > kUrlLimit) {
            whole = false;
            break;
        }
        query += item;
        anyItem = true;
    }
    whole = whole && query.size() + endLength <= kUrlLimit;
    const std::string quote = (query + kQuoteEnd).substr(0, kUrlLimit);
    const std::string figures = (query + kFiguresEnd).substr(0, kUrlLimit);
    std::memcpy(m_szQuoteUrl, quote.c_str(), quote.size() + 1);
    std::memcpy(m_szFiguresUrl, figures.c_str(), figures.size() + 1);
    return whole;
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

std::optional<QuoteDay> CStockList::QuoteDayOfList() const {
    const CQuoteBlock* block0 = GetBlock(0);
    if (block0 == nullptr) {
        return std::nullopt;
    }
    QuoteDay day;
    block0->GetQuoteDate(&day.year, &day.month, &day.day);
    return day;
}

int CStockList::Load(const CMarketTable& markets, const char* quoteHost, const char* path,
                     std::vector<std::string>* notices) {
    m_nBlocks = 0;
    m_ppBlocks.clear();
    CLineFile file;
    if (!file.Open(path)) {
        // Only a file too large to be a list has something to say; a missing one is told later.
        if (notices != nullptr) {
            notices->insert(notices->end(), file.Notices().begin(), file.Notices().end());
        }
        return -1;
    }
    std::vector<std::string> told;
    std::vector<ListLine> stocks;
    std::string line;
    while (file.ReadLine(line)) {
        if (file.LineUnreadable()) {
            continue;  // the reader has said why
        }
        const std::string where = std::string(path) + " line " + std::to_string(file.LineNumber());
        if (std::optional<ListLine> stock = ParseListLine(line, where, told)) {
            stocks.push_back(std::move(*stock));
        }
    }
    if (notices != nullptr) {
        // The reader's notices (the file's encoding, lines it could not convert) come first.
        notices->insert(notices->end(), file.Notices().begin(), file.Notices().end());
        notices->insert(notices->end(), told.begin(), told.end());
    }
    if (stocks.empty()) {
        return -1;
    }

    const int count = static_cast<int>(stocks.size());
    const int blockCount = (count + kStocksPerBlock - 1) / kStocksPerBlock;
    std::vector<std::unique_ptr<CQuoteBlock>> blocks;
    blocks.reserve(blockCount);
    for (int b = 0; b < blockCount; ++b) {
        auto block = std::make_unique<CQuoteBlock>(b);
        for (int k = 0; k < kStocksPerBlock && b * kStocksPerBlock + k < count; ++k) {
            const ListLine& stock = stocks[static_cast<std::size_t>(b * kStocksPerBlock + k)];
            block->AddStock(k, stock.symbol.c_str(), stock.code, stock.marketSymbol.c_str(),
                            stock.name.c_str(), markets);
        }
        (void)block->BuildUrls(markets, quoteHost);
        blocks.push_back(std::move(block));
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

void CStockList::ClearQuotes() {
    for (const std::unique_ptr<CQuoteBlock>& block : m_ppBlocks) {
        block->m_nExtracted = 0;
        block->m_nMonth = 0;
        block->m_nDay = 0;
        for (CStockRecord& stock : block->m_aStocks) {
            stock.m_bFound = false;
            stock.m_nMonth = 0;
            stock.m_nDay = 0;
            stock.m_dOpen = stock.m_dHigh = stock.m_dLow = stock.m_dClose = stock.m_dVolume = 0;
        }
    }
}

void CStockList::ClearFigures() {
    for (const std::unique_ptr<CQuoteBlock>& block : m_ppBlocks) {
        for (CStockRecord& stock : block->m_aStocks) {
            std::fill(std::begin(stock.m_adFigures), std::end(stock.m_adFigures), 0.0);
        }
    }
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
