// SPDX-License-Identifier: GPL-3.0-or-later
// The profile page parser: the marker extraction with its limits, the order in which a missing
// marker stops the page, the fallback of the business text, and where pages are kept.
#include "pages/profile_page.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "tests/support/page_builder.h"
#include "tests/support/temp_dir.h"
#include "text/sjis.h"

namespace tickora {
namespace {

namespace fs = std::filesystem;
using test::EucJp;
using test::WriteFileBytes;

struct ExtractCase {
    const char* text;
    int limit;
    int result;
    const char* stored;  // what dst holds afterwards ("~" = untouched)
};

TEST(ExtractAfterMarker, TakesTheTextUpToTheEndMarkerCutAtTheLimit) {
    const ExtractCase cases[] = {
        {"<TD>[m]abc</TD>", 63, 3, "abc"},
        {"[m]abc</TD>[m]xyz</TD>", 63, 3, "abc"},        // the first marker counts
        {"[m]<b>a b</b> </TD>", 63, 11, "<b>a b</b> "},  // markup and blanks kept
        {"[m]</TD>", 63, 0, ""},                         // empty text
        {"[m]abc</td>", 63, 0, "~"},                     // only upper case ends a text
        {"no marker</TD>", 63, 0, "~"},
        {"[m]abcdef</TD>", 4, 3, "abc"},  // limit - 1 bytes kept
        {"[m]abc</TD>", 4, 3, "abc"},     // exactly limit - 1: whole
        {"[m]abcd</TD>", 4, 3, "abc"},
        {"[m]abc</TD>", 5, 3, "abc"},
    };
    for (const ExtractCase& c : cases) {
        char dst[64];
        std::strcpy(dst, "~");
        EXPECT_EQ(ExtractAfterMarker(c.text, "[m]", "</TD>", dst, c.limit), c.result) << c.text;
        EXPECT_STREQ(dst, c.stored) << c.text;
    }
}

class ProfilePageTest : public ::testing::Test {
  protected:
    // Writes the page and parses it into a profile first filled with junk.
    int Parse(const std::string& bytes) {
        WriteFileBytes("page.html", bytes);
        std::memset(&profile, 'J', sizeof profile);
        return ParseProfilePage("page.html", profile);
    }
    [[nodiscard]] static std::string Utf8(const char* sjis) { return SjisToUtf8(sjis); }

    test::ScopedWorkDir dir;
    CompanyProfile profile{};
};

TEST_F(ProfilePageTest, CutsTheFourTextsOutOfAnEucPage) {
    ASSERT_EQ(Parse(test::ProfilePage("化学", "東証1部", "合成樹脂大手", "樹脂60、他40")), 0);
    EXPECT_EQ(Utf8(profile.m_szIndustry), "化学");
    EXPECT_EQ(Utf8(profile.m_szMarket), "東証1部");
    EXPECT_EQ(Utf8(profile.m_szFeature), "合成樹脂大手");
    EXPECT_EQ(Utf8(profile.m_szBusiness), "樹脂60、他40");
}

TEST_F(ProfilePageTest, AMissingMarkerLeavesItAndTheLaterTextsEmpty) {
    struct {
        std::string industry, market, feature;
        const char* expectIndustry;
        const char* expectMarket;
        const char* expectFeature;
        const char* expectBusiness;
    } cases[] = {
        {"", "東証1部", "特色", "", "", "", ""},
        {"化学", "", "特色", "化学", "", "", ""},
        {"化学", "東証1部", "", "化学", "東証1部", "", ""},
    };
    for (const auto& c : cases) {
        ASSERT_EQ(Parse(test::ProfilePage(c.industry, c.market, c.feature, "事業")), 0);
        EXPECT_EQ(Utf8(profile.m_szIndustry), c.expectIndustry);
        EXPECT_EQ(Utf8(profile.m_szMarket), c.expectMarket);
        EXPECT_EQ(Utf8(profile.m_szFeature), c.expectFeature);
        EXPECT_EQ(Utf8(profile.m_szBusiness), c.expectBusiness);
        // Cleared, not just terminated: the dictionary copies all 256 bytes.
        EXPECT_EQ(profile.m_szBusiness[255], '\0');
    }
}

TEST_F(ProfilePageTest, BusinessFallsBackToTheFundsMarker) {
    const std::string head =
        "<TD>【業種分類】化学</TD><TD>【市場名】東証1部</TD><TD>【特色】特</TD>";
    struct {
        std::string tail;
        const char* business;
    } cases[] = {
        {"<TD>【資金】資金の話</TD>", "資金の話"},
        {"<TD>【連結事業】</TD><TD>【資金】資金の話</TD>", "資金の話"},
        {"<TD>【連結事業】事業の話</TD><TD>【資金】資金の話</TD>", "事業の話"},
        {"", ""},
    };
    for (const auto& c : cases) {
        ASSERT_EQ(Parse(EucJp(head + c.tail)), 0);
        EXPECT_EQ(Utf8(profile.m_szBusiness), c.business) << c.tail;
    }
}

TEST_F(ProfilePageTest, LongTextsKeep254BytesEvenInsideACharacter) {
    std::string feature;
    for (int i = 0; i < 150; ++i) {
        feature += "あ";  // 300 bytes in Shift-JIS
    }
    ASSERT_EQ(Parse(test::ProfilePage(std::string(100, 'i'), "東証1部", feature, "b")), 0);
    EXPECT_EQ(std::strlen(profile.m_szFeature), 254u);
    EXPECT_EQ(std::strlen(profile.m_szIndustry), 62u);
    const std::string a = Utf8ToSjis("あ");
    EXPECT_EQ(std::string(profile.m_szFeature, 2), a);
}

TEST_F(ProfilePageTest, AMissingFileIsNoPageAndClearsTheProfile) {
    std::memset(&profile, 'J', sizeof profile);
    EXPECT_EQ(ParseProfilePage("missing.html", profile), -1);
    const CompanyProfile zero{};
    EXPECT_EQ(std::memcmp(&profile, &zero, sizeof profile), 0);
}

// A page answered with status 200 is still no profile page unless it carries one of the four
// markers: a maintenance page or a compressed body leaves the stock's record as it was. A page
// over the download limit is a failed page, and is not read into memory.
TEST_F(ProfilePageTest, OnlyAPageWithAMarkerIsAProfilePage) {
    const std::string gzip("\x1F\x8B\x08\x00\x00\x00\x00\x00\x00\x03\xAB\xAE\x05\x00", 14);
    struct Case {
        const char* name;
        std::string page;
        long sparseSize;  // > 0: the page is grown to this size with zeros
        int result;
        const char* market;
    } cases[] = {
        {"maintenance page", EucJp("<html>只今メンテナンス中です</html>"), 0, kProfileNotAProfile,
         ""},
        {"gzip bytes", gzip, 0, kProfileNotAProfile, ""},
        {"empty page", "", 0, kProfileNotAProfile, ""},
        {"only the funds marker", EucJp("<TD>【資金】増資</TD>"), 0, kProfileRead, ""},
        {"a whole page", test::ProfilePage("化学", "東証1部", "f", "b"), 0, kProfileRead,
         "東証1部"},
        {"at the limit", test::ProfilePage("化学", "東証1部", "f", "b"), kProfilePageLimit,
         kProfileRead, "東証1部"},
        {"over the limit", test::ProfilePage("化学", "東証1部", "f", "b"), kProfilePageLimit + 1,
         kProfileTooLarge, ""},
    };
    for (const Case& c : cases) {
        WriteFileBytes("page.html", c.page);
        if (c.sparseSize > 0) {
            fs::resize_file("page.html", static_cast<std::uintmax_t>(c.sparseSize));
        }
        std::memset(&profile, 'J', sizeof profile);
        EXPECT_EQ(ParseProfilePage("page.html", profile), c.result) << c.name;
        EXPECT_EQ(Utf8(profile.m_szMarket), c.market) << c.name;
        EXPECT_EQ(profile.m_szFeature[255], '\0') << c.name;
    }
    EXPECT_STREQ(ProfileResultText(kProfileNotAProfile), "not a profile page");
}

TEST(ProfileLocations, UrlsAndKeptPaths) {
    const std::string host = "http://profiles.test:8080";
    EXPECT_EQ(ProfileUrl(host, 1301), "http://profiles.test:8080/biz/fundamental/1301.html");
    EXPECT_EQ(ProfileUrl(host, 1001), "http://profiles.test:8080/biz/fundamental/1001.html");
    EXPECT_EQ(KeptProfilePath(1301), "Webtemp/fundamental/1000/1301.html");
    EXPECT_EQ(KeptProfilePath(9999), "Webtemp/fundamental/9000/9999.html");
    EXPECT_EQ(KeptProfilePath(2000), "Webtemp/fundamental/2000/2000.html");
}

}  // namespace
}  // namespace tickora
