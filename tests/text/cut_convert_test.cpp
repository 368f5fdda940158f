// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>
#include <iconv.h>

#include <cstring>
#include <memory>
#include <string>

#include "text/sjis.h"
#include "text/text_scan.h"

namespace tickora {
namespace {

// Twenty copies of あ (0x82 0xA0) after an optional prefix.
std::string DoubleBytes(const std::string& prefix, int count) {
    std::string s = prefix;
    for (int i = 0; i < count; ++i) s += "\x82\xA0";
    return s;
}

TEST(CutAtCharBoundary, CutsAfterTheLimitWithoutSplittingACharacter) {
    struct Case {
        std::string text;
        int n;
        int expectedResult;
        size_t expectedLength;
    } cases[] = {
        {DoubleBytes("", 20), 30, 31, 30},   // 40 bytes of double-byte text: 30 kept
        {DoubleBytes("A", 20), 30, 32, 31},  // the character at byte 29 stays whole
        {std::string(12, 'a'), 30, 12, 12},  // shorter than the limit: unchanged
        {std::string(30, 'a'), 30, 31, 30},  // exactly the limit: N + 1, unchanged
        {std::string(40, 'a'), 30, 31, 30},
        {"", 30, 0, 0},
        {"abc", 0, 2, 1},                    // N of 0 still keeps the first character
        {"\x82\xA0" "bc", -3, 3, 2},
        {"\xA1\xA2\xA3", 2, 3, 2},           // half-width katakana are single bytes
    };
    for (const auto& c : cases) {
        char buffer[64] = {};
        std::memcpy(buffer, c.text.data(), c.text.size());
        EXPECT_EQ(CutAtCharBoundary(buffer, c.n), c.expectedResult) << c.text;
        EXPECT_EQ(std::strlen(buffer), c.expectedLength) << c.text;
    }
}

TEST(CutAtCharBoundary, RecognisesEveryDoubleByteLeadRange) {
    EXPECT_TRUE(IsSjisPair(0x81, 0x95));  // ＆
    EXPECT_TRUE(IsSjisPair(0xE0, 0x80));
    EXPECT_TRUE(IsSjisPair(0xFC, 0xFC));
    EXPECT_FALSE(IsSjisPair(0x81, 0x7F));
    EXPECT_FALSE(IsSjisPair(0xA0, 0x40));
    EXPECT_FALSE(IsSjisPair(0xFD, 0x40));
    char text[] = "x\x81\x95y";
    EXPECT_EQ(CutAtCharBoundary(text, 2), 4);
    EXPECT_STREQ(text, "x\x81\x95");
}

std::string Euc(const std::string& src) {
    std::string dst(src.size() + 1, '\0');
    EucToSjis(src.c_str(), dst.data());
    return dst.c_str();
}

TEST(EucToSjis, ConvertsPairsAndPassesAscii) {
    EXPECT_EQ(Euc("\xA4\xA2"), "\x82\xA0");        // あ
    EXPECT_EQ(Euc("\xA5\xA2"), "\x83\x41");        // ア
    EXPECT_EQ(Euc("abc 123"), "abc 123");
    EXPECT_EQ(Euc("a\xA4\xA2z"), "a\x82\xA0z");
    EXPECT_EQ(Euc("ab\xA4"), "ab");                 // a lone lead byte at the end is dropped
    EXPECT_EQ(Euc("\x8E\xB1"), "\x78\xAF");         // half-width katakana by the same arithmetic
    EXPECT_EQ(Euc("\xA4\x41"), std::string("\x82\x3F"));  // any second byte is taken
}

struct IconvCloser {
    void operator()(void* cd) const { iconv_close(static_cast<iconv_t>(cd)); }
};

// glibc's EUC-JP to CP932 conversion is an independent oracle: on every pair of the JIS X 0208
// area that it converts, the arithmetic must give the same two bytes.
TEST(EucToSjis, AgreesWithIconvOnTheWholeJisX0208Area) {
    std::unique_ptr<void, IconvCloser> cd(iconv_open("CP932", "EUC-JP"));
    ASSERT_NE(cd.get(), reinterpret_cast<void*>(-1));
    int compared = 0;
    for (int c1 = 0xA1; c1 <= 0xFE; ++c1) {
        for (int c2 = 0xA1; c2 <= 0xFE; ++c2) {
            char in[2] = {static_cast<char>(c1), static_cast<char>(c2)};
            char out[8];
            char* inPtr = in;
            char* outPtr = out;
            size_t inLeft = 2;
            size_t outLeft = sizeof out;
            iconv(static_cast<iconv_t>(cd.get()), nullptr, nullptr, nullptr, nullptr);
            if (iconv(static_cast<iconv_t>(cd.get()), &inPtr, &inLeft, &outPtr, &outLeft) ==
                    static_cast<size_t>(-1) ||
                outPtr - out != 2) {
                continue;  // iconv has no CP932 form for this pair
            }
            unsigned char mine[2];
            EucPairToSjis(static_cast<unsigned char>(c1), static_cast<unsigned char>(c2), mine);
            ASSERT_EQ(mine[0], static_cast<unsigned char>(out[0])) << std::hex << c1 << " " << c2;
            ASSERT_EQ(mine[1], static_cast<unsigned char>(out[1])) << std::hex << c1 << " " << c2;
            ++compared;
        }
    }
    // JIS X 0208 defines 6,879 characters; iconv must have given us nearly all of them.
    EXPECT_GT(compared, 6800);
}

TEST(SjisText, RoundTripsThroughUtf8) {
    const std::string sjis = Utf8ToSjis("銘柄数");
    EXPECT_EQ(sjis, "\x96\xC1\x95\xBF\x90\x94");
    EXPECT_EQ(SjisToUtf8(sjis), "銘柄数");
    EXPECT_EQ(Utf8ToSjis("ﾚﾃﾞｨ"), "\xDA\xC3\xDE\xA8");
}

}  // namespace
}  // namespace tickora
