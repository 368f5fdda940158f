// SPDX-License-Identifier: GPL-3.0-or-later
#include "site/pages.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "site/company_words.h"
#include "text/sjis.h"

namespace tickora::site {
namespace {

constexpr int kRowsPerPage = 50;

constexpr const char* kHead =
    "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=EUC-JP\">";

// Symbols are echoed into the page; anything but plain ASCII is shown as '?' and markup
// characters are escaped, so a request can never inject cells.
std::string EscapeSymbol(std::string_view text) {
    std::string out;
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '<') {
            out += "&lt;";
        } else if (c == '>') {
            out += "&gt;";
        } else if (c == '&') {
            out += "&amp;";
        } else if (c == '"') {
            out += "&quot;";
        } else if (u < 0x20 || u >= 0x7F) {
            out += '?';
        } else {
            out += c;
        }
    }
    return out;
}

std::string DisplayName(const Stock& stock) {
    switch (stock.kabu) {
        case KabuMark::kBefore:
            return "(株)" + stock.name;
        case KabuMark::kAfter:
            return stock.name + "(株)";
        case KabuMark::kNone:
            break;
    }
    return stock.name;
}

std::string Fixed(double value, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

std::string Change(double now, double before, int decimals) {
    const double diff = now - before;
    if (diff == 0) {
        return "0";
    }
    const std::string magnitude = PriceText(std::fabs(diff), decimals);
    return (diff > 0 ? "+" : "-") + magnitude;
}

std::string ChangePercent(double now, double before) {
    if (before <= 0) {
        return "---";
    }
    const double pct = (now - before) / before * 100.0;
    return (pct > 0 ? "+" : "") + Fixed(pct, 2) + "%";
}

std::string DateText(int dayNumber) {
    const SiteDate d = DateOfDayNumber(dayNumber);
    return std::to_string(d.year) + "年" + std::to_string(d.month) + "月" + std::to_string(d.day) +
           "日";
}

void AppendCell(std::string& page, const std::string& text) {
    page += "<td nowrap>";
    page += text;
    page += "</td>";
}

// Both views answer a symbol nobody is listed under with the same row: the symbol, the site's
// "no matching stock" text and dashes to the tenth cell.
void AppendUnknownSymbolCells(std::string& page, const std::string& shown) {
    AppendCell(page, shown);
    AppendCell(page, "一致する銘柄はありません");
    for (int i = 2; i < 10; ++i) {
        AppendCell(page, "---");
    }
    page += "</tr>\n";
}

// The quote view's cells after the price: the day's change and prices, or dashes on a day the
// stock did not trade.
void AppendQuoteCells(std::string& page, const MarketModel& /*model*/, const Stock& /*stock*/,
                      const Quote& q, int decimals) {
    if (q.tradedToday) {
        AppendCell(page, Change(q.bar.close, q.previousClose, decimals));
        AppendCell(page, ChangePercent(q.bar.close, q.previousClose));
        AppendCell(page, Grouped(q.bar.volume));
        AppendCell(page, PriceText(q.bar.open, decimals));
        AppendCell(page, PriceText(q.bar.high, decimals));
        AppendCell(page, PriceText(q.bar.low, decimals));
    } else {
        AppendCell(page, "---");
        AppendCell(page, "---");
        AppendCell(page, "0");
        AppendCell(page, "---");
        AppendCell(page, "---");
        AppendCell(page, "---");
    }
}

// The figures view's cells after the price: the change and the company's figures.
void AppendFiguresCells(std::string& page, const MarketModel& model, const Stock& stock,
                        const Quote& q, int decimals) {
    const FigureTexts f = FigureTextsOf(model.FiguresOf(stock));
    AppendCell(page, q.tradedToday ? Change(q.bar.close, q.previousClose, decimals) : "---");
    AppendCell(page, f.marketCap == "---" ? f.marketCap : f.marketCap + "百万円");
    AppendCell(page, f.per == "---" ? f.per : f.per + "倍");
    AppendCell(page, f.growth == "---" ? f.growth : f.growth + "%");
    AppendCell(page, f.pbr == "---" ? f.pbr : f.pbr + "倍");
    AppendCell(page, f.yield == "---" ? f.yield : f.yield + "%");
}

using ViewCells = void (*)(std::string&, const MarketModel&, const Stock&, const Quote&, int);

// Both views open a listed stock's row alike (symbol, name, date, price); `viewCells` adds the
// rest. A stock without a quote gets the unknown symbol's row.
void StockRow(std::string& page, const MarketModel& model, std::string_view item,
              const Stock* stock, std::span<const DataFaultPlace> faults, ViewCells viewCells) {
    const std::string shown = EscapeSymbol(item);
    page += "<tr bgcolor=\"#ffffff\">";
    const std::optional<Quote> quote =
        stock != nullptr ? ShownQuote(model, *stock, faults) : std::nullopt;
    if (!quote) {
        AppendUnknownSymbolCells(page, shown);
        return;
    }
    const int decimals = model.Decimals(*stock);
    const Quote& q = *quote;
    AppendCell(page, "<a href=\"/q?s=" + shown + "&amp;d=t\">" + shown + "</a>");
    AppendCell(page, "<small>" + DisplayName(*stock) + "</small>");
    AppendCell(page, QuoteDateText(model, *stock));
    AppendCell(page, "<b>" + PriceText(q.bar.close, decimals) + "</b>");
    viewCells(page, model, *stock, q, decimals);
    page += "</tr>\n";
}

}  // namespace

std::string SjisToEuc(std::string_view sjis) {
    std::string out;
    out.reserve(sjis.size());
    for (std::size_t i = 0; i < sjis.size(); ++i) {
        const auto s1 = static_cast<unsigned char>(sjis[i]);
        if (s1 < 0x80) {
            out += static_cast<char>(s1);
            continue;
        }
        if (s1 >= 0xA1 && s1 <= 0xDF) {
            out += static_cast<char>(0x8E);
            out += static_cast<char>(s1);
            continue;
        }
        if (i + 1 >= sjis.size()) {
            break;
        }
        const auto s2 = static_cast<unsigned char>(sjis[++i]);
        // Row pairs: an odd EUC row for second bytes below 0x9F, the even row after it above.
        const bool evenRow = s2 >= 0x9F;
        int c1 = s1 <= 0x9F ? 0xA1 + (s1 - 0x81) * 2 : 0xDF + (s1 - 0xE0) * 2;
        int c2 = 0;
        if (evenRow) {
            c1 += 1;
            c2 = s2 + 2;
        } else {
            c2 = s2 < 0x7F ? s2 + 0x61 : s2 + 0x60;
        }
        out += static_cast<char>(c1);
        out += static_cast<char>(c2);
    }
    return out;
}

std::string Utf8ToEuc(std::string_view utf8) {
    return SjisToEuc(Utf8ToSjis(utf8));
}

std::string Grouped(long long value) {
    const bool negative = value < 0;
    std::string digits = std::to_string(negative ? -value : value);
    std::string out;
    const int n = static_cast<int>(digits.size());
    for (int i = 0; i < n; ++i) {
        out += digits[static_cast<std::size_t>(i)];
        const int left = n - 1 - i;
        if (left > 0 && left % 3 == 0) {
            out += ',';
        }
    }
    return negative ? "-" + out : out;
}

std::string PriceText(double value, int decimals) {
    if (decimals <= 0) {
        return Grouped(std::llround(value));
    }
    const long long cents = std::llround(value * 100.0);
    char fraction[8];
    std::snprintf(fraction, sizeof fraction, ".%02lld", std::llabs(cents) % 100);
    return Grouped(cents / 100) + fraction;
}

std::string QuoteDateText(const MarketModel& model, const Stock& stock) {
    const Quote q = model.QuoteOf(stock);
    if (stock.showsTime && q.tradedToday) {
        return "15:00";
    }
    const SiteDate d = DateOfDayNumber(q.bar.dayNumber);
    return std::to_string(d.month) + "/" + std::to_string(d.day);
}

FigureTexts FigureTextsOf(const Figures& f) {
    if (!f.valid) {
        return {"---", "---", "---", "---", "---"};
    }
    FigureTexts t;
    t.marketCap = Grouped(f.marketCap);
    t.per = f.hasPer ? Fixed(f.per, 2) : "---";
    t.growth = (f.growth > 0 ? "+" : "") + Fixed(f.growth, 1);
    t.pbr = Fixed(f.pbr, 2);
    t.yield = f.hasYield ? Fixed(f.yield, 2) : "---";
    return t;
}

std::string QuotePage(const MarketModel& model, std::string_view symbols, bool figuresView,
                      std::span<const DataFaultPlace> faults) {
    std::string page = kHead;
    page += "<title>株価検索 - 複数銘柄表示</title></head>\n<body>\n";
    page += "<div class=\"nav\"><a href=\"/\">トップ</a> &gt; <b>複数銘柄表示</b></div>\n";
    page += "<table border=\"0\" cellpadding=\"2\" cellspacing=\"1\" width=\"100%\">\n";
    page += "<tr bgcolor=\"#dcdcdc\">";
    const char* headers[10] = {"コード",   "銘柄名", "取引日時", "取引値", "前日比",
                               "前日比率", "出来高", "始値",     "高値",   "安値"};
    const char* figureHeaders[10] = {"コード",   "銘柄名", "取引日時",   "取引値", "前日比",
                                     "時価総額", "PER",    "経常増益率", "PBR",    "配当利回り"};
    for (int i = 0; i < 10; ++i) {
        AppendCell(page, figuresView ? figureHeaders[i] : headers[i]);
    }
    page += "</tr>\n";
    std::size_t start = 0;
    while (start <= symbols.size() && !symbols.empty()) {
        const std::size_t plus = symbols.find('+', start);
        const std::size_t end = plus == std::string_view::npos ? symbols.size() : plus;
        const std::string_view item = symbols.substr(start, end - start);
        if (!item.empty()) {
            // "1332.O": the market suffix names the exchange, the stock is found by what
            // stands before it.
            std::string_view code = item;
            if (code.size() > 2 && code[code.size() - 2] == '.') {
                code.remove_suffix(2);
            }
            const Stock* stock = model.FindSymbol(code);
            StockRow(page, model, item, stock, faults,
                     figuresView ? AppendFiguresCells : AppendQuoteCells);
        }
        if (plus == std::string_view::npos) {
            break;
        }
        start = plus + 1;
    }
    page += "</table>\n<div class=\"note\">株価は20分以上遅れて表示されています。</div>\n";
    page += "</body></html>\n";
    return Utf8ToEuc(page);
}

std::string ListingPage(const MarketModel& model, int first) {
    const auto& listing = model.Listing();
    std::string page = kHead;
    page += "<title>銘柄一覧</title></head>\n<body>\n<table border=\"0\">\n";
    page += "<tr><th>コード</th><th>銘柄名</th><th>市場</th></tr>\n";
    const int begin = std::max(first, 1) - 1;
    const int end = std::min(begin + kRowsPerPage, static_cast<int>(listing.size()));
    for (int i = begin; i < end; ++i) {
        const Stock& s = listing[static_cast<std::size_t>(i)];
        page += "<tr><td><a href=\"/q?s=" + s.symbol + "\">" + s.symbol + "</a></td><td>" +
                DisplayName(s) + "</td><td>" +
                (s.market >= 0 ? std::string(SiteMarkets()[static_cast<std::size_t>(s.market)].name)
                               : std::string("指数")) +
                "</td></tr>\n";
    }
    page += "</table>\n";
    if (end < static_cast<int>(listing.size())) {
        page += "<a href=\"/l?s=%2a&amp;m=" + std::to_string(end + 1) + "\">次の50件</a>\n";
    }
    page += "</body></html>\n";
    return Utf8ToEuc(page);
}

namespace {

// A day before a 1:2 split as the adjusted table shows it.
DayBar SplitAdjusted(DayBar bar, int decimals) {
    const double scale = decimals > 0 ? 100.0 : 1.0;
    for (double* price : {&bar.open, &bar.high, &bar.low, &bar.close}) {
        *price = std::max(1.0, std::round(*price / 2.0 * scale)) / scale;
    }
    bar.volume *= 2;
    return bar;
}

}  // namespace

std::string HistoryPage(const MarketModel& model, const HistoryRequest& request) {
    const Stock* stock = model.FindSymbol(request.symbol);
    std::string page = kHead;
    page += "<title>時系列</title></head>\n<body>\n";
    if (stock == nullptr) {
        page += "<p>該当するデータはありません。</p>\n</body></html>\n";
        return Utf8ToEuc(page);
    }
    page += "<b>" + DisplayName(*stock) + " (" + stock->symbol + ")</b>\n";
    page += "<table border=\"0\" cellpadding=\"2\">\n";
    page +=
        "<tr><th>日付</th><th>始値</th><th>高値</th><th>安値</th><th>終値</th><th>出来高</th>"
        "<th>調整後終値*</th></tr>\n";
    const int from = DayNumber(request.from);
    const int to = request.to.year == 0 ? model.TradingDay()
                                        : std::min(DayNumber(request.to), model.TradingDay());
    // The page shows nothing older than its skipped days and its own rows.
    const std::size_t newest =
        static_cast<std::size_t>(std::max(0, request.offset)) + std::size_t{kRowsPerPage};
    const std::vector<DayBar> bars = ShownHistory(model, *stock, from, to, newest, request.faults);
    const int decimals = model.Decimals(*stock);
    int skipped = 0;
    int shown = 0;
    for (auto it = bars.rbegin(); it != bars.rend() && shown < kRowsPerPage; ++it) {
        if (it->dayNumber > to) {
            continue;
        }
        if (it->dayNumber < from) {
            break;
        }
        if (skipped < request.offset) {
            ++skipped;
            continue;
        }
        const DayBar bar =
            it->dayNumber < request.splitDayNumber ? SplitAdjusted(*it, decimals) : *it;
        page += "<tr><td>" + DateText(bar.dayNumber) + "</td><td>" + PriceText(bar.open, decimals) +
                "</td><td>" + PriceText(bar.high, decimals) + "</td><td>" +
                PriceText(bar.low, decimals) + "</td><td>" + PriceText(bar.close, decimals) +
                "</td><td>" + Grouped(bar.volume) + "</td><td>" + PriceText(bar.close, decimals) +
                "</td></tr>\n";
        ++shown;
    }
    page += "</table>\n";
    if (shown == 0) {
        page += "<p>該当するデータはありません。</p>\n";
    }
    page += "</body></html>\n";
    return Utf8ToEuc(page);
}

std::string ProfileMarketText(const Stock& stock) {
    if (stock.isIndex) {
        return kIndexProfileText;
    }
    if (stock.market < 0) {
        return {};
    }
    std::string text(SiteMarkets()[static_cast<std::size_t>(stock.market)].name);
    if (stock.dualListed) {
        text += ",";
        text += SiteMarkets()[4].name;
    }
    return text;
}

std::optional<std::string> ProfilePage(const MarketModel& model, int code) {
    const Stock* stock = model.FindCode(code);
    if (stock == nullptr) {
        return std::nullopt;
    }
    const std::string industry =
        stock->isIndex
            ? std::string(kIndexProfileText)
            : std::string(IndustryNames()[static_cast<std::size_t>(stock->industry - 1)]);
    char codeText[8];
    std::snprintf(codeText, sizeof codeText, "%04d", stock->code);
    std::string page =
        "<HTML><HEAD><META http-equiv=\"Content-Type\" content=\"text/html; charset=EUC-JP\">";
    page += "<TITLE>" + DisplayName(*stock) + " - 企業情報</TITLE></HEAD>\n<BODY>\n";
    page += "<TABLE border=\"1\" cellpadding=\"3\">\n";
    page +=
        "<TR><TD colspan=\"2\"><B>" + DisplayName(*stock) + "</B> (" + codeText + ")</TD></TR>\n";
    page += "<TR><TD colspan=\"2\">【特色】" + stock->feature + "</TD></TR>\n";
    if (!stock->fundsMarker) {
        page += "<TR><TD colspan=\"2\">【連結事業】" + stock->business + "</TD></TR>\n";
    } else {
        if (stock->emptyBusiness) {
            page += "<TR><TD colspan=\"2\">【連結事業】</TD></TR>\n";
        }
        page += "<TR><TD colspan=\"2\">【資金】" + stock->business + "</TD></TR>\n";
    }
    page += "<TR><TD>【業種分類】" + industry + "</TD><TD>【市場名】" + ProfileMarketText(*stock) +
            "</TD></TR>\n";
    page += "<TR><TD>【決算】3月</TD><TD>【単元株数】" + std::to_string(stock->volumeUnit) +
            "株</TD></TR>\n";
    page += "</TABLE>\n</BODY></HTML>\n";
    return Utf8ToEuc(page);
}

std::string ProfileBusinessText(const Stock& stock) {
    return stock.business;
}

}  // namespace tickora::site
