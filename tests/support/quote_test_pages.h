// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Hand-built quote pages in the site's encoding, for the parser tests of both quote views.
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "catalog/stock_list.h"
#include "tests/support/euc_jp.h"

namespace tickora::test {

// A table row of the given cells, each as "<td>text</td>".
inline std::string Row(const std::vector<std::string>& cells, const std::string& open = "<tr>") {
    std::string row = open;
    for (const std::string& cell : cells) {
        row += "<td>" + cell + "</td>";
    }
    return row + "</tr>\n";
}

// An exact-size, terminated copy of text, so that a read past the terminator is a real fault
// under ASan.
inline std::vector<char> Terminated(const std::string& text) {
    std::vector<char> bytes(text.begin(), text.end());
    bytes.push_back('\0');
    return bytes;
}

// The ten cells of a "&d=v2" stock row: symbol, name, date, last, change, change %, volume,
// open, high, low.
struct QuoteCells {
    std::string symbol = "1301";
    std::string name = "ABC";
    std::string date = "12/28";
    std::string close = "1,234";
    std::string volume = "56,700";
    std::string open = "1,200";
    std::string high = "1,250";
    std::string low = "1,190";
};

inline std::string QuoteRow(const QuoteCells& c) {
    return Row({c.symbol, c.name, c.date, "<b>" + c.close + "</b>", "+12", "+0.98%", c.volume,
                c.open, c.high, c.low});
}

inline std::string QuotePage(const std::string& rows) {
    return "<html><head><title>q</title></head><body>\n<table border=1>\n"
           "<tr><th>code</th><th>name</th><th>date</th><th>last</th></tr>\n" +
           rows + "</table>\n</body></html>\n";
}

// A block of stocks with the given symbols (codes equal to the symbols' numbers).
inline void FillBlock(CQuoteBlock& block, const std::vector<std::string>& symbols) {
    for (size_t i = 0; i < symbols.size(); ++i) {
        CStockRecord& stock = block.m_aStocks[i];
        std::strncpy(stock.m_szSymbol, symbols[i].c_str(), sizeof stock.m_szSymbol - 1);
        stock.m_nCode = std::atoi(symbols[i].c_str());
        std::snprintf(stock.m_szName, sizeof stock.m_szName, "N%s", symbols[i].c_str());
    }
    block.m_nStocks = static_cast<int>(symbols.size());
}

}  // namespace tickora::test
