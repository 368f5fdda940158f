// SPDX-License-Identifier: GPL-3.0-or-later
#include "pages/profile_page.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "files/file_io.h"
#include "pages/page_check.h"
#include "text/sjis.h"
#include "text/text_scan.h"

namespace tickora {
namespace {

// Reads the whole file into bytes: kProfileRead, or kProfileNoFile when it cannot be opened or
// read, or kProfileTooLarge when it holds more than the limit (then it is not read, whatever the
// size claims). A kept page may be a link to a page kept elsewhere, as long as that is a file.
int ReadWholeFile(const char* path, std::vector<char>& bytes) {
    std::string read;
    const int error = tickora::ReadWholeFile(path, static_cast<std::size_t>(kProfilePageLimit),
                                             read, Links::kFollowed);
    if (error == kFileTooLarge) {
        return kProfileTooLarge;
    }
    // A path that opens but cannot be read (a folder, an I/O error) is no page: parsed as an
    // empty one it would wipe the stock's dictionary record.
    if (error != 0) {
        return kProfileNoFile;
    }
    bytes.assign(read.begin(), read.end());
    return kProfileRead;
}

}  // namespace

std::string ProfileUrl(const std::string& profileHost, int code) {
    char path[64];
    std::snprintf(path, sizeof path, "/biz/fundamental/%04d.html", code);
    return profileHost + path;
}

std::string KeptProfilePath(int code) {
    char path[64];
    std::snprintf(path, sizeof path, "Webtemp/fundamental/%04d/%04d.html", code / 1000 * 1000,
                  code);
    return path;
}

ProfilePageTarget TargetOfProfile(const std::string& profileHost, int code, bool keepHtml,
                                  bool useKeptHtml) {
    ProfilePageTarget target;
    target.code = code;
    if (!keepHtml && !useKeptHtml) {
        target.url = ProfileUrl(profileHost, code);
        target.download = target.path = kSharedProfilePath;
        return target;
    }
    target.path = KeptProfilePath(code);
    if (!useKeptHtml) {
        // Downloaded beside the kept page, which only a whole answer replaces: a failed download
        // leaves the page an earlier run kept for this same stock.
        target.url = ProfileUrl(profileHost, code);
        target.download = target.path + ".part";
    }
    return target;
}

int ExtractAfterMarker(const char* text, const char* marker, const char* endMarker, char* dst,
                       int limit) {
    const int a = FindText(text, marker);
    if (a == 0) {
        return 0;
    }
    const char* p = text + a - 1 + std::strlen(marker);
    int n = FindText(p, endMarker);
    if (n == 0) {
        return 0;
    }
    if (n >= limit) {
        n = limit;
    }
    std::memcpy(dst, p, static_cast<size_t>(n));
    dst[n - 1] = '\0';
    return n - 1;
}

int ParseProfilePage(const char* path, CompanyProfile& profile) {
    static const std::string kIndustry = Utf8ToSjis("【業種分類】");
    static const std::string kMarket = Utf8ToSjis("【市場名】");
    static const std::string kFeature = Utf8ToSjis("【特色】");
    static const std::string kBusiness = Utf8ToSjis("事業】");
    static const std::string kFunds = Utf8ToSjis("資金】");
    static const char* const kEnd = "</TD>";

    std::memset(&profile, 0, sizeof profile);
    std::vector<char> raw;
    if (const int read = ReadWholeFile(path, raw); read != kProfileRead) {
        return read;
    }
    const std::string_view bytes(raw.data(), raw.size());
    const PageCheck check = CheckTablePage(bytes, kUpperCaseTable);
    // A page without a table of its own (a few marked cells) has no end to look for.
    const bool whole = check.shape == PageShape::kWhole ||
                       (check.shape == PageShape::kNoTable &&
                        bytes.find("<TABLE") == std::string_view::npos);
    raw.push_back('\0');
    std::vector<char> page(raw.size(), '\0');
    EucToSjis(raw.data(), page.data());
    raw = {};

    const char* text = page.data();
    // A page that carries none of the markers is something else that came back with status 200
    // (a maintenance notice, a compressed body nobody asked for): read as a profile, it would
    // empty the stock's record.
    const bool isProfile =
        FindText(text, kIndustry.c_str()) != 0 || FindText(text, kMarket.c_str()) != 0 ||
        FindText(text, kFeature.c_str()) != 0 || FindText(text, kBusiness.c_str()) != 0 ||
        FindText(text, kFunds.c_str()) != 0;
    if (!isProfile) {
        return kProfileNotAProfile;
    }
    // A page cut short, or without its end tags, gives its texts up to the break, or none: the
    // record would lose what it holds.
    if (!whole) {
        return check.shape == PageShape::kNulInside ? kProfileNulInside : kProfileNotWhole;
    }
    if (ExtractAfterMarker(text, kIndustry.c_str(), kEnd, profile.m_szIndustry, 63) == 0 ||
        ExtractAfterMarker(text, kMarket.c_str(), kEnd, profile.m_szMarket, 63) == 0 ||
        ExtractAfterMarker(text, kFeature.c_str(), kEnd, profile.m_szFeature, 255) == 0) {
        return kProfileRead;
    }
    if (ExtractAfterMarker(text, kBusiness.c_str(), kEnd, profile.m_szBusiness, 255) == 0) {
        (void)ExtractAfterMarker(text, kFunds.c_str(), kEnd, profile.m_szBusiness, 255);
    }
    return kProfileRead;
}

const char* ProfileResultText(int result) {
    switch (result) {
        case kProfileRead:
            return "read";
        case kProfileNoFile:
            return "no page file";
        case kProfileNotAProfile:
            return "not a profile page";
        case kProfileTooLarge:
            return "page over 16 MiB";
        case kProfileNotWhole:
            return "the page ends inside its table";
        case kProfileNulInside:
            return "the page holds a NUL byte";
        default:
            return "unknown result";
    }
}

}  // namespace tickora
