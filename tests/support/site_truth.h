// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The expected values of the tests that run against the simulated site, read from the site's
// model itself, and the lines and fields of the CSV texts the program and the site write.
#include <string>
#include <vector>

#include "site/site_server.h"
#include "site/truth.h"

namespace tickora::test {

// What each listing row of the site shows, by column name, in listing order.
inline std::vector<site::TruthRow> SiteTruth(const site::SiteServer& server) {
    return site::TruthRows(server.Model());
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
