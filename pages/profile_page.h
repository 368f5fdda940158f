// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Company profile pages: where they are fetched from and kept, and the four texts cut out of them.
// The fetch-list job reads the market of new stocks from the same pages.
#include <string>
#include <utility>

#include "formats/dictionary.h"
#include "web/download.h"
#include "web/site_access.h"

namespace tickora {

// The one work file that profile pages share when they are not kept.
inline constexpr const char* kSharedProfilePath = "Webtemp/fundamental.html";

// "/biz/fundamental/%04d.html" on the profile host.
[[nodiscard]] std::string ProfileUrl(const std::string& profileHost, int code);
// "Webtemp/fundamental/%04d/%04d.html": the folder of the thousand, then the code.
[[nodiscard]] std::string KeptProfilePath(int code);

// "Webtemp", "Webtemp/fundamental" and the nine folders 1000 to 9000; existing ones are fine.
void CreateProfileFolders();

// Where the profile page of a stock is fetched from, where it is downloaded to, and the path to
// parse: the shared work file, or the kept page (downloaded beside it first). url is empty when
// kept pages are read and nothing is fetched.
struct ProfilePageTarget {
    int code = 0;
    std::string url;
    std::string download;
    std::string path;
};
[[nodiscard]] ProfilePageTarget TargetOfProfile(const std::string& profileHost, int code,
                                                bool keepHtml, bool useKeptHtml);
// After the download of target (result as DownloadToFile returns it): a kept page is replaced only
// by a whole answer, and the part of a page a cut transfer left is removed.
void FinishProfilePage(const ProfilePageTarget& target, int result);

// Brings the profile page of code to disk and returns the path to parse. The file at that path
// is either what this call downloaded or, with kept pages, the page kept for this same stock: a
// failed download never leaves another stock's page there. With useKeptHtml nothing is fetched.
// download, when given, says how the download went (untouched when nothing was fetched).
[[nodiscard]] std::string ObtainProfilePage(const SiteAccess& access, int code, bool keepHtml,
                                            bool useKeptHtml, DownloadDetail* download = nullptr);

// What ParseProfilePage made of a page. Anything but kProfileRead is a failed page: the caller
// leaves the stock's record (or market) as it was.
inline constexpr int kProfileRead = 0;
inline constexpr int kProfileNoFile = -1;       // no page file, or one that cannot be read
inline constexpr int kProfileNotAProfile = -2;  // none of the markers: a maintenance page, say
inline constexpr int kProfileTooLarge = -3;     // over kProfilePageLimit, and not read
inline constexpr int kProfileNotWhole = -4;     // markers, but the page ends inside its table
inline constexpr int kProfileNulInside = -5;    // a NUL byte in the page
// The most that a page may hold, the download limit: a larger file is not read into memory.
inline constexpr long kProfilePageLimit = 16L * 1024 * 1024;

// Where the jobs get profile pages from: by default each is fetched when it is needed; a job
// that asks them ahead on several connections hands its own.
class ProfilePageSource {
  public:
    explicit ProfilePageSource(SiteAccess access = {}) : m_siteAccess(std::move(access)) {}
    virtual ~ProfilePageSource() = default;
    // As ObtainProfilePage over the access given, which the default calls.
    [[nodiscard]] virtual std::string Obtain(int code, bool keepHtml, bool useKeptHtml,
                                             DownloadDetail* download);
    // Where the profile page of code is fetched from.
    [[nodiscard]] std::string Url(int code) const {
        return ProfileUrl(m_siteAccess.hosts.profile, code);
    }

  private:
    SiteAccess m_siteAccess;
};

// Reads the EUC-JP page at path into profile (cleared first). kProfileRead when the page carries
// at least one of the markers 【業種分類】, 【市場名】, 【特色】 and 事業】 or 資金】 (a page
// with only some of them gives the texts up to the first missing one); otherwise one of the
// failures above, with the profile left empty.
[[nodiscard]] int ParseProfilePage(const char* path, CompanyProfile& profile);

// A few words (UTF-8) for a ParseProfilePage result, for a job's report: "no page file", ...
[[nodiscard]] const char* ProfileResultText(int result);

// Copies the text between marker and the next endMarker into dst, cut after limit - 1 bytes with
// no regard to character boundaries. Returns the stored length; 0 when either marker is missing
// (dst then is left as it was) or the text is empty.
int ExtractAfterMarker(const char* text, const char* marker, const char* endMarker, char* dst,
                       int limit);

}  // namespace tickora
