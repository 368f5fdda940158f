// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Profile pages brought to disk for the profile job and the fetch-list job: fetched one by one,
// or taken from those a PageAhead asked ahead, into the shared work file or beside the kept page.
#include <functional>
#include <string>
#include <vector>

#include "catalog/market_table.h"
#include "jobs/page_ahead.h"
#include "pages/list_pages.h"
#include "pages/profile_page.h"
#include "web/download.h"
#include "web/site_access.h"
#include "web/transfer_control.h"

namespace tickora {

// "Webtemp", "Webtemp/fundamental" and the nine folders 1000 to 9000; existing ones are fine.
void CreateProfileFolders();

// After the download of target (result as DownloadToFile returns it): a kept page is replaced only
// by a whole answer, and the part of a page a cut transfer left is removed.
void FinishProfilePage(const ProfilePageTarget& target, int result);

// Brings the profile page of code to disk, under control's pacing and Cancel, and returns the
// path to parse. The file at that path is either what this call downloaded or, with kept pages,
// the page kept for this same stock: a failed download never leaves another stock's page there.
// With useKeptHtml nothing is fetched. download, when given, says how the download went
// (untouched when nothing was fetched).
[[nodiscard]] std::string ObtainProfilePage(const SiteAccess& access,
                                            const TransferControl& control, int code, bool keepHtml,
                                            bool useKeptHtml, DownloadDetail* download = nullptr);

// Profile pages asked ahead: the job plans the stocks in the order it will read them, and obtains
// their pages from here instead of fetching each when it is needed.
class ProfilesAhead {
  public:
    ProfilesAhead(PageAhead& ahead, const SiteAccess& access, bool keepHtml, bool useKeptHtml)
        : m_ahead(ahead), m_access(access), m_keepHtml(keepHtml), m_useKeptHtml(useKeptHtml) {}

    // The stock whose page will be obtained after those planned before; kept pages that are
    // only read need no plan.
    void Plan(int code);
    // As ObtainProfilePage: the path to parse. A stock that was not planned, or not in its turn,
    // is fetched as if nothing was asked ahead, under the pacing and Cancel of the plan's pool.
    [[nodiscard]] std::string Obtain(int code, DownloadDetail* download);
    // Where the page of code is fetched from; empty when kept pages are read instead.
    [[nodiscard]] std::string UrlOf(int code) const;
    [[nodiscard]] bool KeepsHtml() const { return m_keepHtml; }

  private:
    PageAhead& m_ahead;
    const SiteAccess& m_access;
    const bool m_keepHtml;
    const bool m_useKeptHtml;
};

// What became of the profile page of one slot while its market was completed.
struct ProfileStep {
    int slot = 0;
    int code = 0;
    std::string url;   // empty when kept pages were read instead
    std::string path;  // the page file that was read
    DownloadDetail download;
    int parsed = 0;  // ParseProfilePage's result
};
// Told of every profile page in slot order; false stops the page's completion there.
using ProfileObserver = std::function<bool(const ProfileStep&)>;

// Sets the markets of the page's slots 0..49 (with addedOnly: of its added stocks) from their
// profile pages, obtained from pages; a slot whose page cannot be read, or is no profile page,
// keeps its market. One result per slot visited, in slot order; observe, when given, hears of
// every page and may stop the walk.
std::vector<ProfileSlotResult> FetchMarketsFromProfiles(CListPage& page, ProfilesAhead& pages,
                                                        bool addedOnly, const CMarketTable& markets,
                                                        const ProfileObserver& observe = {});

}  // namespace tickora
