#include "catalog/line_file.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "tests/support/temp_dir.h"

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
        {std::string(250, 'a') + "\n", CLineFile::kLf},  // however far the first one lies
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

TEST_F(LineFileTest, CrLfFilesDropTheByteAfterEachCr) {
    // The byte after a CR is taken as its LF, whatever it is.
    EXPECT_EQ(ReadAll("A\r\nB\rXC\r\n"), (std::vector<std::string>{"A\r", "B\r", "C\r"}));
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
