// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the site tests share: fetching a target, the site's truth by symbol, and walking a page's
// rows and cells with the toolkit the program's page readers use.
#include <gtest/gtest.h>
#include <httplib.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "site/site_server.h"
#include "tests/support/site_options.h"
#include "tests/support/site_truth.h"
#include "tests/support/temp_dir.h"
#include "text/sjis.h"
#include "text/text_scan.h"

namespace tickora::site::test {

// A site of 200 stocks on a free port for the trading day 2026-12-04, a Friday.
inline SiteOptions FridaySite(std::uint64_t seed = SiteOptions{}.seed) {
    return tickora::test::LoopbackSite(200, seed);
}

struct Fetched {
    bool ok = false;  // a whole answer arrived
    int status = 0;
    std::string body;
    std::string retryAfter;
};

inline Fetched Get(const SiteServer& server, const std::string& target,
                   int readTimeoutSeconds = 10) {
    httplib::Client client("127.0.0.1", server.Port());
    client.set_read_timeout(readTimeoutSeconds, 0);
    client.set_decompress(false);
    client.set_url_encode(false);  // the target goes out exactly as written
    Fetched f;
    if (auto res = client.Get(target)) {
        f.ok = true;
        f.status = res->status;
        f.body = res->body;
        f.retryAfter = res->get_header_value("Retry-After");
    }
    return f;
}

using site::TruthRow;
using tickora::test::CsvFields;
using tickora::test::Lines;

// The truth rows keyed by symbol.
inline std::map<std::string, TruthRow> ReadTruth(const SiteServer& server) {
    std::map<std::string, TruthRow> rows;
    for (TruthRow& row : tickora::test::SiteTruth(server)) {
        rows[row.at("symbol")] = std::move(row);
    }
    return rows;
}

// A row as the readers cut it: from its "<tr" to the end of the next "</tr>", and its cells from
// "<td" to the end of "</td>", reduced by StripTags to at most 255 visible bytes.
struct PageRow {
    std::size_t start = 0;  // byte offset of "<tr"
    std::size_t end = 0;    // byte offset one past "</tr>"
    std::vector<std::string> cells;
};

inline std::vector<PageRow> RowsOf(const std::string& page, const char* rowMarker = "<tr") {
    std::vector<PageRow> rows;
    std::size_t pos = 0;
    while (pos < page.size()) {
        const int a = FindText(page.c_str() + pos, rowMarker);
        if (a == 0) {
            break;
        }
        PageRow row;
        row.start = pos + static_cast<std::size_t>(a) - 1;
        const int b = FindText(page.c_str() + row.start, "</tr>");
        if (b == 0) {
            break;
        }
        row.end = row.start + static_cast<std::size_t>(b) - 1 + 5;
        std::size_t q = row.start;
        while (q < row.end) {
            const int c = FindText(page.c_str() + q, "<td");
            if (c == 0 || q + static_cast<std::size_t>(c) - 1 >= row.end) {
                break;
            }
            const std::size_t cellStart = q + static_cast<std::size_t>(c) - 1;
            const int e = FindText(page.c_str() + cellStart, "</td>");
            if (e == 0) {
                break;
            }
            const std::size_t cellEnd = cellStart + static_cast<std::size_t>(e) - 1 + 5;
            char text[256];
            StripTags(page.c_str() + cellStart, static_cast<int>(cellEnd - cellStart), text,
                      sizeof text);
            row.cells.emplace_back(text);
            q = cellEnd;
        }
        pos = row.end;
        rows.push_back(std::move(row));
    }
    return rows;
}

// EUC-JP cell text as UTF-8, through the reader's own conversion.
inline std::string EucCellToUtf8(const std::string& euc) {
    std::string sjis(euc.size() + 1, '\0');
    EucToSjis(euc.c_str(), sjis.data());
    return SjisToUtf8(sjis.c_str());
}

inline double CellNumber(std::string text) {
    text.push_back('\0');
    StripCommas(text.data());
    return std::atof(text.c_str());
}

inline double FigureNumber(std::string text) {
    text.push_back('\0');
    KeepNumberChars(text.data());
    StripCommas(text.data());
    return std::atof(text.c_str());
}

inline double TruthNumber(const TruthRow& row, const std::string& column) {
    return std::atof(row.at(column).c_str());
}

// A history page is read with at most this many bytes.
inline constexpr std::size_t kHistoryLimit = 102399;

// One history row as the price-history reader takes it; false when it is no day row.
struct HistoryDay {
    int year = 0, month = 0, day = 0;
    int open = 0, high = 0, low = 0, close = 0, volume = 0;
};

inline bool ReadHistoryRow(const PageRow& row, HistoryDay& d) {
    if (row.cells.size() < 6) {
        return false;
    }
    std::string date(row.cells[0].size() + 1, '\0');
    EucToSjis(row.cells[0].c_str(), date.data());
    if (std::sscanf(date.c_str(), Utf8ToSjis("%d年").c_str(), &d.year) != 1 || d.year <= 1900) {
        return false;
    }
    std::sscanf(date.c_str() + 6, Utf8ToSjis("%d月").c_str(), &d.month);
    const int at = FindText(date.c_str(), Utf8ToSjis("月").c_str());
    if (at <= 7 ||
        std::sscanf(date.c_str() + at - 1 + 2, Utf8ToSjis("%d日").c_str(), &d.day) != 1) {
        return false;
    }
    d.open = static_cast<int>(CellNumber(row.cells[1]));
    d.high = static_cast<int>(CellNumber(row.cells[2]));
    d.low = static_cast<int>(CellNumber(row.cells[3]));
    d.close = static_cast<int>(CellNumber(row.cells[4]));
    d.volume = static_cast<int>(CellNumber(row.cells[5]));
    return d.month >= 1 && d.month <= 12 && d.day >= 1 && d.day <= 31 && d.open != 0;
}

// The days of one history page, newest first, of the table up to `to` ("d=M&e=D&f=YYYY").
inline std::vector<HistoryDay> HistoryPageDays(const SiteServer& server, const std::string& symbol,
                                               int offset, const char* to = "d=12&e=4&f=2026") {
    const Fetched f = Get(server, "/t?s=" + symbol + "&a=1&b=1&c=1983&" + to +
                                      "&g=d&q=t&y=" + std::to_string(offset) + "&x=.csv");
    EXPECT_EQ(f.status, 200);
    EXPECT_LT(f.body.size(), kHistoryLimit);
    std::vector<HistoryDay> days;
    for (const PageRow& row : RowsOf(f.body)) {
        HistoryDay d;
        if (ReadHistoryRow(row, d)) {
            days.push_back(d);
        }
    }
    return days;
}

inline int DayOf(const HistoryDay& d) {
    return DayNumber({d.year, d.month, d.day});
}

}  // namespace tickora::site::test
