// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Page URLs are composed into fixed fields (511 bytes for the quote pages, 255 for the others),
// and a URL cut to fit asks for another page than the one meant: a history paging page 0 four
// times, a listing without its row number, a quote page short of stocks. A site URL too long for
// them is refused before any job starts.
#include <cstddef>
#include <string>

#include "catalog/clock.h"
#include "catalog/market_table.h"
#include "catalog/stock_list.h"
#include "web/hosts.h"

namespace tickora {

// The fields the composed URLs go into (their text, without the terminator).
inline constexpr std::size_t kQuoteUrlLimit = sizeof(CQuoteBlock::m_szQuoteUrl) - 1;
inline constexpr std::size_t kPageUrlLimit = 255;

struct UrlFitResult {
    bool fits = true;
    // UTF-8, one line for each kind of page whose URL does not fit: which host, how many bytes
    // the longest URL needs, and how many more than its field holds. Empty when all fit.
    std::string message;
};

// Whether every page URL the jobs compose from hosts fits its field: the quote and figures pages
// of every block of stocks, the 100 listing pages, the price-history pages of the list's longest
// symbol up to 3000 days back from today, and the profile pages of the list's codes.
[[nodiscard]] UrlFitResult CheckUrlsFit(const SiteHosts& hosts, const CStockList& stocks,
                                        const CMarketTable& markets, const LocalDate& today);

}  // namespace tickora
