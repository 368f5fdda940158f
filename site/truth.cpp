// SPDX-License-Identifier: GPL-3.0-or-later
#include "site/truth.h"

#include <algorithm>
#include <cstdio>
#include <fstream>

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
    out << "code,symbol,market_symbol,market_number,name,list_name,industry,industry_name,"
           "date_cell,quote_month,quote_day,close,open,high,low,volume,fig1,fig2,fig3,fig4,fig5,"
           "history_days,first_day,profile_market,funds_marker,feature,business\r\n";
    for (const Stock& s : model.Listing()) {
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
        out << s.code << ',' << s.symbol << ',' << (hasMarket ? market->symbol : "X") << ','
            << (hasMarket ? market->number : 0) << ',' << CsvText(s.name) << ','
            << CsvText(s.listName) << ',' << s.industry << ','
            << CsvText(s.industry > 0
                           ? std::string(IndustryNames()[static_cast<std::size_t>(s.industry - 1)])
                           : std::string())
            << ',' << dateCell << ',' << month << ',' << day << ',' << Number(q.bar.close, decimals)
            << ',' << Number(q.tradedToday ? q.bar.open : 0, decimals) << ','
            << Number(q.tradedToday ? q.bar.high : 0, decimals) << ','
            << Number(q.tradedToday ? q.bar.low : 0, decimals) << ','
            << (q.tradedToday ? q.bar.volume : 0) << ',' << (f.valid ? f.marketCap : 0) << ','
            << Number(f.hasPer ? f.per : 0, 2) << ',' << Number(f.valid ? f.growth : 0, 1) << ','
            << Number(f.valid ? f.pbr : 0, 2) << ',' << Number(f.hasYield ? f.yield : 0, 2) << ','
            << historyDays << ',' << firstText << ',' << CsvText(ProfileMarketText(s)) << ','
            << (s.fundsMarker ? 1 : 0) << ',' << CsvText(s.feature) << ',' << CsvText(s.business)
            << "\r\n";
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
