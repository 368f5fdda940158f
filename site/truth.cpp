// SPDX-License-Identifier: GPL-3.0-or-later
#include "site/truth.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <set>

#include "site/company_words.h"
#include "site/pages.h"
#include "text/sjis.h"

namespace tickora::site {
namespace {

std::string CsvText(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"') {
            out += '"';
        }
        out += c;
    }
    return out + "\"";
}

std::string Number(double value, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

}  // namespace

TruthRow TruthOf(const MarketModel& model, const Stock& s) {
    const Quote q = model.QuoteOf(s);
    const Figures f = model.FiguresOf(s);
    const int decimals = model.Decimals(s);
    const std::string dateCell = QuoteDateText(model, s);
    int month = 0;
    int day = 0;
    if (dateCell.find('/') != std::string::npos) {
        std::sscanf(dateCell.c_str(), "%d/%d", &month, &day);
    }
    int firstDay = 0;
    const int historyDays = model.HistoryLength(s, &firstDay);
    const SiteDate first = DateOfDayNumber(firstDay);
    char firstText[16];
    std::snprintf(firstText, sizeof firstText, "%04d-%02d-%02d", first.year, first.month,
                  first.day);
    const bool hasMarket = s.market >= 0;
    const SiteMarket* market =
        hasMarket ? &SiteMarkets()[static_cast<std::size_t>(s.market)] : nullptr;
    const auto price = [&](double value) { return Number(q.tradedToday ? value : 0, decimals); };
    return {
        {"code", std::to_string(s.code)},
        {"symbol", s.symbol},
        {"market_symbol", std::string(hasMarket ? market->symbol : "X")},
        {"market_number", std::to_string(hasMarket ? market->number : 0)},
        {"name", s.name},
        {"list_name", s.listName},
        {"industry", std::to_string(s.industry)},
        {"industry_name",
         s.industry > 0 ? std::string(IndustryNames()[static_cast<std::size_t>(s.industry - 1)])
                        : std::string()},
        {"date_cell", dateCell},
        {"quote_month", std::to_string(month)},
        {"quote_day", std::to_string(day)},
        {"close", Number(q.bar.close, decimals)},
        {"open", price(q.bar.open)},
        {"high", price(q.bar.high)},
        {"low", price(q.bar.low)},
        {"volume", std::to_string(q.tradedToday ? q.bar.volume : 0)},
        {"fig1", std::to_string(f.valid ? f.marketCap : 0)},
        {"fig2", Number(f.hasPer ? f.per : 0, 2)},
        {"fig3", Number(f.valid ? f.growth : 0, 1)},
        {"fig4", Number(f.valid ? f.pbr : 0, 2)},
        {"fig5", Number(f.hasYield ? f.yield : 0, 2)},
        {"history_days", std::to_string(historyDays)},
        {"first_day", firstText},
        {"profile_market", ProfileMarketText(s)},
        {"funds_marker", s.fundsMarker ? "1" : "0"},
        {"feature", s.feature},
        {"business", s.business},
    };
}

const std::vector<std::string>& TruthColumns() {
    static const std::vector<std::string> columns = {
        "code",      "symbol",       "market_symbol", "market_number",  "name",
        "list_name", "industry",     "industry_name", "date_cell",      "quote_month",
        "quote_day", "close",        "open",          "high",           "low",
        "volume",    "fig1",         "fig2",          "fig3",           "fig4",
        "fig5",      "history_days", "first_day",     "profile_market", "funds_marker",
        "feature",   "business"};
    return columns;
}

std::vector<TruthRow> TruthRows(const MarketModel& model) {
    std::vector<TruthRow> rows;
    for (const Stock& s : model.Listing()) {
        rows.push_back(TruthOf(model, s));
    }
    return rows;
}

bool WriteTruthCsv(const MarketModel& model, const std::string& path) {
    // One line per listing row, in listing order, after a header line; UTF-8, CR LF, texts in
    // double quotes. The values are those the pages show:
    //   code            the code the fetch list gives the row (1001, 1002, 1010 for the indices)
    //   symbol          what the listing's first cell and the quote pages' first cell read
    //   market_symbol   the "market.csv" symbol of the market, "X" for the index rows
    //   market_number   its number in "market.csv", 0 for the index rows
    //   name            the company name without "(株)"
    //   list_name       name as a fetch list keeps it: cut at 30 Shift-JIS bytes, never
    //                   splitting a double-byte character
    //   industry        1 to 33 (0 for the index rows) and industry_name, its sector name
    //   date_cell       the quote page's date cell: "M/D", or "15:00" for stocks shown with a
    //                   time; quote_month and quote_day are its month and day, 0 for "15:00"
    //   close           the last price; open, high, low and volume: 0 where the page shows
    //                   "---" (no trade on the trading day) or "0"
    //   fig1 .. fig5    the "&d=v3" figures: market capital (millions of yen, integer), PER,
    //                   profit growth in percent, PBR, dividend yield; 0 where "---"
    //   history_days    rows of the price-history table; first_day its oldest date (Y-M-D)
    //   profile_market  the text after "【市場名】" ("" when there is no profile page)
    //   funds_marker    1 when the business text follows "資金】" instead of "事業】"
    //   feature, business  the texts after "【特色】" and after "事業】" / "資金】", whole
    //                   (a reader that keeps 254 bytes keeps their start)
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) {
        return false;
    }
    const std::vector<std::string>& columns = TruthColumns();
    const std::set<std::string> texts = {"name",           "list_name", "industry_name",
                                         "profile_market", "feature",   "business"};
    for (std::size_t i = 0; i < columns.size(); ++i) {
        out << (i > 0 ? "," : "") << columns[i];
    }
    out << "\r\n";
    for (const TruthRow& row : TruthRows(model)) {
        for (std::size_t i = 0; i < columns.size(); ++i) {
            const std::string& value = row.at(columns[i]);
            out << (i > 0 ? "," : "") << (texts.count(columns[i]) != 0 ? CsvText(value) : value);
        }
        out << "\r\n";
    }
    return static_cast<bool>(out.flush());
}

std::string FetchListOf(const MarketModel& model) {
    // The list a fetch-list run over this site writes: sorted by code, the index rows (whose
    // profile pages name no market) with the unknown market "X".
    std::vector<const Stock*> rows;
    for (const Stock& s : model.Listing()) {
        rows.push_back(&s);
    }
    std::stable_sort(rows.begin(), rows.end(),
                     [](const Stock* a, const Stock* b) { return a->code < b->code; });
    std::string csv;
    for (const Stock* s : rows) {
        char code[16];
        std::snprintf(code, sizeof code, "%04d", s->code);
        const std::string market =
            s->market >= 0 ? std::string(SiteMarkets()[static_cast<std::size_t>(s->market)].symbol)
                           : std::string("X");
        csv += s->symbol + "," + code + "," + market + "," + Utf8ToSjis(s->listName) + "\r\n";
    }
    return csv;
}

}  // namespace tickora::site
