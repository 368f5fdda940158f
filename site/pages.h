// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The pages of the simulated site, rendered from the market model as EUC-JP bytes in the shapes
// the program's page readers look for.
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "site/data_faults.h"
#include "site/market_model.h"

namespace tickora::site {

// Shift-JIS to EUC-JP: JIS X 0208 pairs by the inverse of the reader's arithmetic, half-width
// katakana behind 0x8E, ASCII unchanged.
[[nodiscard]] std::string SjisToEuc(std::string_view sjis);
// UTF-8 to EUC-JP through Shift-JIS.
[[nodiscard]] std::string Utf8ToEuc(std::string_view utf8);

// "1,234,567"; prices with two decimals for the index rows ("1,523.45").
[[nodiscard]] std::string Grouped(long long value);
[[nodiscard]] std::string PriceText(double value, int decimals);

// The quote date cell: "M/D" of the quote's day, or "15:00" for the stocks shown with a time.
[[nodiscard]] std::string QuoteDateText(const MarketModel& model, const Stock& stock);
// The five figure cells of the "&d=v3" view as the page shows them ("---" when there is none).
struct FigureTexts {
    std::string marketCap, per, growth, pbr, yield;
};
[[nodiscard]] FigureTexts FigureTextsOf(const Figures& figures);

// "/q?s=1301+1332.O&d=v2" and "&d=v3": symbols is the raw text after "s=" (items joined by '+'),
// shown with faults.
[[nodiscard]] std::string QuotePage(const MarketModel& model, std::string_view symbols,
                                    bool figuresView, std::span<const DataFaultPlace> faults = {});
// "/l?s=%2a&m=N": the 50 listing rows from row number first (1-based).
[[nodiscard]] std::string ListingPage(const MarketModel& model, int first);

struct HistoryRequest {
    std::string symbol;
    SiteDate from{1983, 1, 1};
    SiteDate to;  // year 0: the site's date
    int offset = 0;
    // Days before this day number show the prices of a 1:2 split made then; 0: no split.
    int splitDayNumber = 0;
    std::span<const DataFaultPlace> faults{};
};
// "/t?s=...&y=OFFSET": 50 trading days from offset, newest first.
[[nodiscard]] std::string HistoryPage(const MarketModel& model, const HistoryRequest& request);
// "/biz/fundamental/NNNN.html"; nullopt for a code nobody is listed under.
[[nodiscard]] std::optional<std::string> ProfilePage(const MarketModel& model, int code);

// The market text a profile page shows after "【市場名】" (UTF-8).
[[nodiscard]] std::string ProfileMarketText(const Stock& stock);

// The sector and market texts of an index's profile page (UTF-8): they name neither.
inline constexpr const char* kIndexProfileText = "指数";
// The business text after "事業】" or, for the pages that have none, after "資金】" (UTF-8).
[[nodiscard]] std::string ProfileBusinessText(const Stock& stock);

}  // namespace tickora::site
