// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Hand-built pages and tables for the listing and profile tests, in the encodings the site uses:
// listing and profile pages in EUC-JP, "market.csv" in Shift-JIS.
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "tests/support/euc_jp.h"
#include "tests/support/temp_dir.h"
#include "text/sjis.h"

namespace tickora::test {

// One listing row as the site writes it: the code cell links to the quote page, the name cell is
// EUC-JP, further cells follow.
inline std::string ListRow(const std::string& firstCell, const std::string& utf8Name) {
    return "<tr><td><a href=\"/q?s=" + firstCell + "\">" + firstCell + "</a></td><td>" +
           EucJp(utf8Name) + "</td><td align=right>1,234</td></tr>\n";
}

inline std::string ListPage(const std::vector<std::string>& rows) {
    std::string page = "<html><body><table>\n<tr><th>code</th><th>name</th><th>price</th></tr>\n";
    for (const std::string& row : rows) {
        page += row;
    }
    return page + "</table></body></html>\n";
}

// A profile page in EUC-JP with the four marked texts; an empty text leaves its marker out.
inline std::string ProfilePage(const std::string& industry, const std::string& market,
                               const std::string& feature, const std::string& business) {
    std::string utf8 = "<html><body><TABLE>\n";
    auto add = [&utf8](const char* marker, const std::string& text) {
        if (!text.empty()) {
            utf8 += "<TR><TD>" + std::string(marker) + text + "</TD></TR>\n";
        }
    };
    add("【特色】", feature);
    add("【連結事業】", business);
    add("【業種分類】", industry);
    add("【市場名】", market);
    utf8 += "</TABLE></body></html>\n";
    return EucJp(utf8);
}

// Five markets numbered 1..5 in file order; the names begin with the filler blank.
inline void WriteTestMarkets() {
    WriteFileBytes("market.csv", Utf8ToSjis("1,T, 東証1部\r\n2,T2, 東証2部\r\n3,O, 大証1部\r\n"
                                            "4,N, 名証1部\r\n5,J, ジャスダック\r\n"));
}

}  // namespace tickora::test
