// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalog/line_file.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "catalog/market_table.h"
#include "catalog/stock_list.h"
#include "tests/support/temp_dir.h"
#include "text/sjis.h"

namespace tickora {
namespace {

// Every line the reader returns, with the CR it puts at the end of each.
std::vector<std::string> ReadAll(const std::string& bytes, int* lineEnd = nullptr,
                                 unsigned size = 128) {
    test::WriteFileBytes("lines.txt", bytes);
    CLineFile file;
    EXPECT_TRUE(file.Open("lines.txt"));
    if (lineEnd != nullptr) {
        *lineEnd = file.m_nLineEnd;
    }
    std::vector<std::string> lines;
    std::vector<char> buffer(size);
    while (const char* line = file.ReadLine(buffer.data(), size)) {
        lines.emplace_back(line);
    }
    return lines;
}

class LineFileTest : public ::testing::Test {
  protected:
    test::ScopedWorkDir dir_;
};

TEST_F(LineFileTest, DetectsTheFirstLineEnding) {
    struct Case {
        std::string bytes;
        int expected;
    } cases[] = {
        {"a,b\r\nc\r\n", CLineFile::kCrLf},
        {"a,b\nc\n", CLineFile::kLf},
        {"a,b\rc\r", CLineFile::kCr},
        {"a,b\nc\r\n", CLineFile::kLf},  // the first one found decides
        {"a,b\r\rc\r\n", CLineFile::kCr},
        {"no line end at all", CLineFile::kCrLf},
        {"", CLineFile::kCrLf},
        {std::string(250, 'a') + "\n", CLineFile::kLf},      // however far the first one lies
        {std::string(249, 'a') + "\r\n", CLineFile::kCrLf},  // its LF beyond byte 250
    };
    for (const Case& c : cases) {
        int lineEnd = -1;
        (void)ReadAll(c.bytes, &lineEnd);
        EXPECT_EQ(lineEnd, c.expected) << c.bytes.substr(0, 20);
    }
}

TEST_F(LineFileTest, ThreeLineEndingsGiveTheSameLines) {
    const std::vector<std::string> expected = {"1301,1301,T,A\r", "\r", "1332,1332,O,B\r"};
    EXPECT_EQ(ReadAll("1301,1301,T,A\r\n\r\n1332,1332,O,B\r\n"), expected);
    EXPECT_EQ(ReadAll("1301,1301,T,A\n\n1332,1332,O,B\n"), expected);
    EXPECT_EQ(ReadAll("1301,1301,T,A\r\r1332,1332,O,B\r"), expected);
}

TEST_F(LineFileTest, UnterminatedLastLineCountsOnlyInCrFiles) {
    EXPECT_EQ(ReadAll("A\r\nB"), std::vector<std::string>{"A\r"});
    EXPECT_EQ(ReadAll("A\nB"), std::vector<std::string>{"A\r"});
    EXPECT_EQ(ReadAll("A\rB"), (std::vector<std::string>{"A\r", "B\r"}));
    EXPECT_EQ(ReadAll("A\r"), std::vector<std::string>{"A\r"});
    EXPECT_TRUE(ReadAll("").empty());
}

// Hand edits mix line ends: every CR LF, LF and lone CR ends a line wherever it stands. (The
// reader once took the file's first line end for all lines: an LF line in a CR LF file glued onto
// the next, and the byte after every CR was dropped as its LF.)
TEST_F(LineFileTest, MixedLineEndsReadEveryLine) {
    struct Case {
        std::string bytes;
        std::vector<std::string> lines;
    } cases[] = {
        {"A\r\nB\rXC\r\n", {"A\r", "B\r", "XC\r"}},
        {"A\r\nB\nC\r\n", {"A\r", "B\r", "C\r"}},
        {"A\nB\r\nC\rD\n", {"A\r", "B\r", "C\r", "D\r"}},
        {"A\r\n\n\r\rB\r\n", {"A\r", "\r", "\r", "\r", "B\r"}},
        {"A\n\r\nB\n", {"A\r", "\r", "B\r"}},
        // The first line end still decides whether an unterminated last line counts.
        {"A\r\nB\nC", {"A\r", "B\r"}},
        {"A\rB\r\nC", {"A\r", "B\r", "C\r"}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ReadAll(c.bytes), c.lines) << c.bytes;
    }
}

// A list saved as UTF-8 is read as the Shift-JIS the program works in, with a notice; a
// Shift-JIS list reads exactly as before. A line with a character that Shift-JIS has no form for
// is no line of the list, and the notice names it.
TEST_F(LineFileTest, Utf8FilesAreReadAsShiftJis) {
    const std::string sjis = Utf8ToSjis("東証1部");
    const std::string halfWidth = Utf8ToSjis("ｿﾆｰ");
    struct Case {
        std::string bytes;
        bool utf8;
        std::vector<std::string> lines;  // as Shift-JIS
        std::vector<std::string> notices;
    } cases[] = {
        {"1,T, 東証1部\r\n2,O, Osaka\r\n",
         true,
         {"1,T, " + sjis, "2,O, Osaka"},
         {"lines.txt: UTF-8 text, read as Shift-JIS"}},
        {"\xEF\xBB\xBF"
         "1,T, Tokyo\n",
         true,
         {"1,T, Tokyo"},  // byte-order mark
         {"lines.txt: UTF-8 text, read as Shift-JIS"}},
        {"1,T, 東証1部\n2,X, 😀\n3,N, 名証\n",
         true,
         {"1,T, " + sjis, "", "3,N, " + Utf8ToSjis("名証")},
         {"lines.txt: UTF-8 text, read as Shift-JIS",
          "lines.txt line 2: a character has no Shift-JIS form; the line is not read"}},
        {"1,T, " + sjis + "\r\n", false, {"1,T, " + sjis}, {}},
        {"1,T," + halfWidth + "\r\n", false, {"1,T," + halfWidth}, {}},
        {"1,T, Tokyo\r\n", false, {"1,T, Tokyo"}, {}},  // plain ASCII: nothing to say
        {"1,T, caf\xC3\xA9\x81\r\n", false, {"1,T, caf\xC3\xA9\x81"}, {}},  // not UTF-8 whole
    };
    for (const Case& c : cases) {
        test::WriteFileBytes("lines.txt", c.bytes);
        CLineFile file;
        ASSERT_TRUE(file.Open("lines.txt"));
        EXPECT_EQ(file.IsUtf8(), c.utf8) << c.bytes;
        std::vector<std::string> lines;
        std::string line;
        for (int pass = 0; pass < 2; ++pass) {  // a second pass repeats no notice
            file.SeekToStart();
            lines.clear();
            while (file.ReadLine(line)) {
                EXPECT_EQ(file.LineUnreadable(), line.empty() && c.utf8) << c.bytes;
                lines.push_back(line);
            }
        }
        EXPECT_EQ(lines, c.lines) << c.bytes;
        EXPECT_EQ(file.Notices(), c.notices) << c.bytes;
    }
}

// An editor may put a byte-order mark in front of any list, Shift-JIS ones included. It is no part
// of the first line: kept, it made the first stock's symbol one the site does not know, and the
// quote rows of a whole block went to the wrong stocks. A mark further on is text like any other.
TEST_F(LineFileTest, AByteOrderMarkIsNoPartOfAnyList) {
    const std::string bom = "\xEF\xBB\xBF";
    const std::string sjis = Utf8ToSjis("東証株価指数");
    struct Case {
        const char* name;
        std::string bytes;
        bool utf8;
        int lineEnd;
        std::vector<std::string> lines;  // as Shift-JIS
    } cases[] = {
        {"Shift-JIS",
         bom + "998405,1001,X," + sjis + "\r\n1301,1301,O,A\r\n",
         false,
         CLineFile::kCrLf,
         {"998405,1001,X," + sjis, "1301,1301,O,A"}},
        {"UTF-8",
         bom + "998405,1001,X,東証株価指数\n",
         true,
         CLineFile::kLf,
         {"998405,1001,X," + sjis}},
        {"ASCII, CR line ends",
         bom + "1,T, Tokyo\r2,O, Osaka",
         true,
         CLineFile::kCr,
         {"1,T, Tokyo", "2,O, Osaka"}},
        {"the mark alone", bom, true, CLineFile::kCrLf, {}},
        {"a mark on the second line of Shift-JIS",
         "A," + sjis + "\r\n" + bom + "B\r\n",
         false,
         CLineFile::kCrLf,
         {"A," + sjis, bom + "B"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::WriteFileBytes("lines.txt", c.bytes);
        CLineFile file;
        ASSERT_TRUE(file.Open("lines.txt"));
        EXPECT_EQ(file.IsUtf8(), c.utf8);
        EXPECT_EQ(file.m_nLineEnd, c.lineEnd);
        std::vector<std::string> lines;
        std::string line;
        while (file.ReadLine(line)) {
            lines.push_back(line);
        }
        EXPECT_EQ(lines, c.lines);
    }

    // Both lists are read through it.
    test::WriteFileBytes("market.csv", bom + Utf8ToSjis("1,T, 東証1部\r\n5,O, 大証1部\r\n"));
    CMarketTable markets;
    ASSERT_EQ(markets.Load("market.csv"), 1);
    EXPECT_EQ(markets.GetNumber(0), 1);
    test::WriteFileBytes("fetchlist.csv", bom + "998405,1001,T," + sjis + "\r\n1301,1301,O,A\r\n");
    CStockList list;
    ASSERT_EQ(list.Load(markets, "http://127.0.0.1:8053", "fetchlist.csv"), 0);
    EXPECT_STREQ(list.GetBlock(0)->m_aStocks[0].m_szSymbol, "998405");
    EXPECT_STREQ(list.GetQuoteUrl(0), "http://127.0.0.1:8053/q?s=998405+1301.O&d=v2");
}

TEST_F(LineFileTest, LongLinesKeepTheirStartAndNeverOverrunTheBuffer) {
    const std::string fits(126, 'a');
    const std::string longer = std::string(126, 'b') + "TAIL";
    for (const char* end : {"\r\n", "\n", "\r"}) {
        const std::string bytes = fits + end + longer + end + "next" + end;
        test::WriteFileBytes("lines.txt", bytes);
        CLineFile file;
        ASSERT_TRUE(file.Open("lines.txt"));
        // The reader gets 128 bytes in the middle of a guarded area.
        char area[128 + 64];
        std::memset(area, '#', sizeof area);
        char* buffer = area + 32;
        ASSERT_NE(file.ReadLine(buffer, 128), nullptr);
        EXPECT_EQ(std::string(buffer), fits + "\r");
        ASSERT_NE(file.ReadLine(buffer, 128), nullptr);
        EXPECT_EQ(std::string(buffer), std::string(126, 'b') + "\r");
        ASSERT_NE(file.ReadLine(buffer, 128), nullptr);
        EXPECT_EQ(std::string(buffer), "next\r");
        EXPECT_EQ(file.ReadLine(buffer, 128), nullptr);
        EXPECT_EQ(std::string(area, 32), std::string(32, '#'));
        EXPECT_EQ(std::string(area + 32 + 128, 32), std::string(32, '#'));
    }
}

TEST_F(LineFileTest, TinyBuffersStillHoldTheCrAndNul) {
    EXPECT_EQ(ReadAll("abc\r\nde\r\n", nullptr, 3), (std::vector<std::string>{"a\r", "d\r"}));
    EXPECT_EQ(ReadAll("abc\r\n", nullptr, 2), std::vector<std::string>{"\r"});
    test::WriteFileBytes("lines.txt", "abc\r\n");
    CLineFile file;
    ASSERT_TRUE(file.Open("lines.txt"));
    char one[1] = {'#'};
    EXPECT_EQ(file.ReadLine(one, 1), nullptr);
    EXPECT_EQ(one[0], '#');
}

TEST_F(LineFileTest, SecondPassAfterSeekToStart) {
    test::WriteFileBytes("lines.txt", "A\nB\n");
    CLineFile file;
    ASSERT_TRUE(file.Open("lines.txt"));
    char buffer[128];
    while (file.ReadLine(buffer, sizeof buffer) != nullptr) {
    }
    file.SeekToStart();
    ASSERT_NE(file.ReadLine(buffer, sizeof buffer), nullptr);
    EXPECT_STREQ(buffer, "A\r");
}

TEST_F(LineFileTest, MissingFileDoesNotOpen) {
    CLineFile file;
    EXPECT_FALSE(file.Open("missing.csv"));
    char buffer[16];
    EXPECT_EQ(file.ReadLine(buffer, sizeof buffer), nullptr);
}

}  // namespace
}  // namespace tickora
