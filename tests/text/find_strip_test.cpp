// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "text/text_scan.h"

namespace tickora {
namespace {

// The reference search: a byte-by-byte strncmp walk from every offset, as the scanner has always
// searched. FindText may use a faster search only while it agrees with this one.
int ReferenceFind(const char* text, const char* pattern) {
    const size_t len = std::strlen(text);
    const size_t plen = std::strlen(pattern);
    for (size_t i = 0; i < len; ++i) {
        if (std::strncmp(text + i, pattern, plen) == 0) {
            return static_cast<int>(i) + 1;
        }
    }
    return 0;
}

TEST(FindText, PositionsAreOneBasedAndZeroMeansAbsent) {
    struct Case {
        const char* text;
        const char* pattern;
        int expected;
    } cases[] = {
        {"abcabc", "ca", 3}, {"abc", "x", 0},   {"abc", "abc", 1}, {"", "a", 0},
        {"", "", 0},         {"ab", "", 1},     {"abc", "abcd", 0}, {"aab", "ab", 2},
        {"<tr><td>", "<td", 5},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FindText(c.text, c.pattern), c.expected) << c.text << " / " << c.pattern;
    }
}

TEST(FindText, MatchesMayStartInsideADoubleByteCharacter) {
    // 0x81 0x5B is one Shift-JIS character; the search is byte-wise all the same.
    EXPECT_EQ(FindText("A\x81\x5B", "\x5B"), 3);
}

TEST(FindText, AgreesWithTheByteWalkOnPseudoRandomTexts) {
    unsigned seed = 12345;
    auto next = [&seed] {
        seed = seed * 1103515245u + 12345u;
        return static_cast<char>('a' + (seed >> 16) % 3);
    };
    for (int round = 0; round < 2000; ++round) {
        std::string text(static_cast<size_t>(round % 40), ' ');
        for (auto& c : text) c = next();
        std::string pattern(static_cast<size_t>(round % 5), ' ');
        for (auto& c : pattern) c = next();
        ASSERT_EQ(FindText(text.c_str(), pattern.c_str()), ReferenceFind(text.c_str(), pattern.c_str()))
            << text << " / " << pattern;
    }
}

std::string Strip(const std::string& src, int dstSize = 256) {
    char dst[2048];
    EXPECT_TRUE(StripTags(src.c_str(), static_cast<int>(src.size()), dst, dstSize));
    return dst;
}

TEST(StripTags, KeepsTheVisibleTextOfACell) {
    EXPECT_EQ(Strip("<td align=right><b>1,234</b></td>"), "1,234");
    EXPECT_EQ(Strip("<td>a > b</td>"), "a > b");          // a '>' outside markup is text
    EXPECT_EQ(Strip("<td>&nbsp;x</td>"), "&nbsp;x");      // references are not decoded
    EXPECT_EQ(Strip("<td>abc<unclosed rest"), "abc");     // an unclosed '<' drops the rest
    EXPECT_EQ(Strip(std::string("ab\0cd", 5)), "ab");     // a NUL ends the source early
    EXPECT_EQ(Strip(""), "");
}

TEST(StripTags, HonoursTheSourceAndDestinationLimits) {
    // Only the first 1,024 source bytes are examined.
    const std::string longSource = std::string(1020, '<') + ">" + "abc" + std::string(976, 'x');
    EXPECT_EQ(Strip(longSource), "abc");
    const std::string plain(2000, 'y');
    EXPECT_EQ(Strip(plain), std::string(255, 'y'));
    EXPECT_EQ(Strip(std::string(300, 'z'), 256).size(), 255u);
    EXPECT_EQ(Strip("<b>hello</b>", 4), "hel");
    char one[1] = {'q'};
    StripTags("abc", 3, one, 1);  // no room for any text: an empty result, no overflow
    EXPECT_EQ(one[0], '\0');
    char dst[8] = "junk";
    StripTags("abc", 0, dst, 8);
    EXPECT_STREQ(dst, "");
    StripTags("abc", -5, dst, 8);
    EXPECT_STREQ(dst, "");
}

TEST(NumberFilters, RemoveCommasAndKeepNumberCharacters) {
    struct Case {
        std::string in;
        std::string commas;
        std::string numbers;
    } cases[] = {
        {"1,000", "1000", "1000"},
        {"-1,234.5\x89\x7E", "-1234.5\x89\x7E", "-1234.5"},  // 円: both bytes vanish
        {"+1.5%", "+1.5%", "1.5"},
        {"-", "-", "-"},
        {"1-2.3", "1-2.3", "1-2.3"},
        {"", "", ""},
        {"\x82\x4F\x82\x50", "\x82\x4F\x82\x50", ""},  // full-width digits are not digits
    };
    for (const auto& c : cases) {
        std::string a = c.in;
        StripCommas(a.data());
        EXPECT_EQ(std::string(a.c_str()), c.commas) << c.in;
        std::string b = c.in;
        KeepNumberChars(b.data());
        EXPECT_EQ(std::string(b.c_str()), c.numbers) << c.in;
    }
}

TEST(NumberFilters, LeaveTextsOf256BytesOrMoreUntouched) {
    std::string at255 = std::string(253, '1') + ",x";
    KeepNumberChars(at255.data());
    EXPECT_EQ(std::string(at255.c_str()), std::string(253, '1'));

    std::string at256 = std::string(254, '1') + ",x";
    const std::string before = at256;
    KeepNumberChars(at256.data());
    EXPECT_EQ(at256, before);
    StripCommas(at256.data());
    EXPECT_EQ(at256, before);

    std::string long300(300, ',');
    StripCommas(long300.data());
    EXPECT_EQ(long300, std::string(300, ','));
}

}  // namespace
}  // namespace tickora
