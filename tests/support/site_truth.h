// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The expected values of the tests that run against the simulated site, read from the site's
// model itself (as the columns of its listing rows, or typed by stock), and the lines and fields
// of the CSV texts the program and the site write.
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "site/site_server.h"
#include "site/truth.h"

namespace tickora::test {

// What each listing row of the site shows, by column name, in listing order.
inline std::vector<site::TruthRow> SiteTruth(const site::SiteServer& server) {
    return site::TruthRows(server.Model());
}

// One stock as the site's truth gives it.
struct TruthRow {
    int code = 0;
    std::string symbol;
    int marketNumber = 0;
    std::string listName;  // UTF-8
    int quoteMonth = 0;
    int quoteDay = 0;
    double close = 0;
    double open = 0;
    double high = 0;
    double low = 0;
    double volume = 0;
    double figures[5] = {};
};

// The truth by code, from the site's model.
inline std::map<int, TruthRow> ReadTruth(const site::SiteServer& server) {
    std::map<int, TruthRow> rows;
    for (const site::TruthRow& f : SiteTruth(server)) {
        auto text = [&](const char* name) { return f.at(name); };
        auto number = [&](const char* name) { return std::atof(text(name).c_str()); };
        TruthRow row;
        row.code = std::atoi(text("code").c_str());
        row.symbol = text("symbol");
        row.marketNumber = std::atoi(text("market_number").c_str());
        row.listName = text("list_name");
        row.quoteMonth = std::atoi(text("quote_month").c_str());
        row.quoteDay = std::atoi(text("quote_day").c_str());
        row.close = number("close");
        row.open = number("open");
        row.high = number("high");
        row.low = number("low");
        row.volume = number("volume");
        const char* figures[5] = {"fig1", "fig2", "fig3", "fig4", "fig5"};
        for (int i = 0; i < 5; ++i) {
            row.figures[i] = number(figures[i]);
        }
        rows[row.code] = row;
    }
    return rows;
}

// Lines of a CR LF text, without their line ends.
inline std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find("\r\n", start);
        if (end == std::string::npos) {
            end = text.size();
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

// The fields of one CSV line; a field in double quotes may hold commas, and "" inside it stands
// for one quote.
inline std::vector<std::string> CsvFields(const std::string& line) {
    std::vector<std::string> fields(1);
    bool quoted = false;
    for (size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (c == '"' && quoted && i + 1 < line.size() && line[i + 1] == '"') {
            fields.back() += '"';
            ++i;
        } else if (c == '"') {
            quoted = !quoted;
        } else if (c == ',' && !quoted) {
            fields.emplace_back();
        } else {
            fields.back() += c;
        }
    }
    return fields;
}

}  // namespace tickora::test
