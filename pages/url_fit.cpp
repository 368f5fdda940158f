// SPDX-License-Identifier: GPL-3.0-or-later
#include "pages/url_fit.h"

#include <cstdio>
#include <cstring>

#include "pages/history_page.h"
#include "pages/list_pages.h"
#include "pages/profile_page.h"

namespace tickora {
namespace {

void TellMisfit(UrlFitResult& result, const std::string& what, std::size_t needed,
                std::size_t limit) {
    if (needed <= limit) {
        return;
    }
    result.fits = false;
    if (!result.message.empty()) {
        result.message += "\n";
    }
    result.message += what + " need " + std::to_string(needed) + " bytes, " +
                      std::to_string(needed - limit) + " more than the " + std::to_string(limit) +
                      " their field holds";
}

}  // namespace

UrlFitResult CheckUrlsFit(const SiteHosts& hosts, const CStockList& stocks,
                          const CMarketTable& markets, const LocalDate& today) {
    UrlFitResult result;

    // Quote and figures URLs differ only in their last byte; the longest block decides.
    std::size_t quoteNeeded = 0;
    int worstBlock = 0;
    std::string longestSymbol;
    int widestCode = 0;  // "0000", as wide as any code of four digits
    int widestCodeWidth = 4;
    for (int b = 0; b < stocks.m_nBlocks; ++b) {
        const CQuoteBlock& block = *stocks.GetBlock(b);
        const std::size_t needed = block.WholeQuoteUrlLength(markets, hosts.quote.c_str());
        if (needed > quoteNeeded) {
            quoteNeeded = needed;
            worstBlock = b;
        }
        for (int s = 0; s < block.m_nStocks; ++s) {
            const CStockRecord& stock = block.m_aStocks[s];
            const std::size_t length = strnlen(stock.m_szSymbol, sizeof stock.m_szSymbol);
            if (length > longestSymbol.size()) {
                longestSymbol.assign(stock.m_szSymbol, length);
            }
            const int width = std::snprintf(nullptr, 0, "%04d", stock.m_nCode);
            if (width > widestCodeWidth) {
                widestCodeWidth = width;
                widestCode = stock.m_nCode;
            }
        }
    }
    TellMisfit(result,
               "the quote and figures page URLs on the quote host (block " +
                   std::to_string(worstBlock + 1) + " of the fetch list)",
               quoteNeeded, kQuoteUrlLimit);

    TellMisfit(result, "the listing page URLs on the quote host",
               ListingPageUrl(hosts.quote, kListPageCount - 1).size(), kPageUrlLimit);

    // The deepest page of the longest history a job may ask for.
    const int lastPage = (kHistoryMaxDays + kKdtDaysPerPage - 1) / kKdtDaysPerPage - 1;
    TellMisfit(result, "the price-history URLs on the table host",
               HistoryPageUrl(hosts.table, longestSymbol.c_str(), today, lastPage).size(),
               kPageUrlLimit);

    TellMisfit(result, "the profile page URLs on the profile host",
               ProfileUrl(hosts.profile, widestCode).size(), kPageUrlLimit);
    return result;
}

}  // namespace tickora
