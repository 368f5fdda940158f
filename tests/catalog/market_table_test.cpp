#include "catalog/market_table.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/temp_dir.h"
#include "web/sjis.h"

namespace tickora {
namespace {

class MarketTableTest : public ::testing::Test {
  protected:
    int Load(const std::string& bytes) {
        test::WriteFileBytes("market.csv", bytes);
        return table_.Load();
    }
    std::string Symbol(int index) const {
        char out[4] = {'#', '#', '#', '#'};
        table_.GetSymbol(index, out);
        return out;
    }
    std::string Name(int index) const {
        char out[32];
        table_.GetName(index, out);
        return out;
    }
    std::string SymbolOf(int number) const {
        char out[4];
        table_.SymbolOfNumber(number, out);
        return out;
    }

    test::ScopedWorkDir dir_;
    CMarketTable table_;
};

TEST_F(MarketTableTest, OneLineKeepsTheBlanksThePatternKeeps) {
    ASSERT_EQ(Load("1, A , Abcd\r\n"), 1);
    ASSERT_EQ(table_.m_nEntries, 1);
    EXPECT_EQ(table_.m_pEntries[0].m_nNumber, 1);
    EXPECT_STREQ(table_.m_pEntries[0].m_szSymbol, "A ");
    EXPECT_STREQ(table_.m_pEntries[0].m_szName, " Abcd");
    EXPECT_EQ(table_.IndexOfName("Abcd"), 0);
    EXPECT_EQ(table_.IndexOfName("Ab"), 0);
    EXPECT_EQ(table_.IndexOfName("Ab,cd"), 0);
    EXPECT_EQ(table_.IndexOfName("Abcde"), 1);
    EXPECT_EQ(table_.IndexOfName(" Abcd"), 1);
    EXPECT_EQ(table_.IndexOfSymbol("A"), 1);
    EXPECT_EQ(table_.IndexOfSymbol("A "), 0);
}

TEST_F(MarketTableTest, LineEndingsLoadTheSameEntries) {
    const std::string sjisName = Utf8ToSjis(" 東証1部");
    for (const char* end : {"\r\n", "\n", "\r"}) {
        const std::string bytes = "1,T," + sjisName + end + " 2,O, Osaka" + end + "3,Q,Q" + end;
        ASSERT_EQ(Load(bytes), 1) << end;
        ASSERT_EQ(table_.m_nEntries, 3);
        EXPECT_STREQ(table_.m_pEntries[0].m_szName, sjisName.c_str());
        EXPECT_EQ(table_.m_pEntries[1].m_nNumber, 2);
        EXPECT_STREQ(table_.m_pEntries[1].m_szSymbol, "O");
        EXPECT_STREQ(table_.m_pEntries[1].m_szName, " Osaka");
        EXPECT_STREQ(table_.m_pEntries[2].m_szName, "Q");
        EXPECT_EQ(table_.IndexOfName(Utf8ToSjis("東証").c_str()), 0);
    }
}

TEST_F(MarketTableTest, FallbacksOutsideTheTable) {
    ASSERT_EQ(Load("1,T, Tokyo\n2,O, Osaka\n"), 1);
    const std::string other = Utf8ToSjis("その他市場");
    for (int index : {-1, 2, 100}) {
        EXPECT_EQ(Symbol(index), "X") << index;
        EXPECT_EQ(Name(index), other) << index;
        EXPECT_EQ(table_.GetNumber(index), 0) << index;
    }
    EXPECT_EQ(Symbol(1), "O");
    EXPECT_EQ(Name(1), " Osaka");
    EXPECT_EQ(table_.GetNumber(1), 2);
    EXPECT_EQ(SymbolOf(2), "O");
    EXPECT_EQ(SymbolOf(99), "X");
    EXPECT_EQ(table_.IndexOfSymbol("N"), 2);
    EXPECT_EQ(table_.IndexOfName("Nagoya"), 2);
}

TEST_F(MarketTableTest, FirstMatchWins) {
    ASSERT_EQ(Load("1,T, Tokyo\n5,T, Tokyo2\n5,N, Nagoya\n"), 1);
    EXPECT_EQ(table_.IndexOfSymbol("T"), 0);
    EXPECT_EQ(table_.IndexOfName("Tokyo"), 0);
    EXPECT_EQ(table_.IndexOfName("Tokyo2"), 1);
    EXPECT_EQ(SymbolOf(5), "T");
    EXPECT_EQ(table_.IndexOfName(""), 0);  // an empty text matches the first entry
}

TEST_F(MarketTableTest, MissingOrEmptyFileDoesNotLoad) {
    EXPECT_EQ(table_.Load("missing.csv"), 0);
    EXPECT_EQ(table_.m_nEntries, 0);
    EXPECT_EQ(Load(""), 0);
    EXPECT_EQ(table_.m_nEntries, 0);
    EXPECT_EQ(Symbol(0), "X");
    EXPECT_EQ(table_.IndexOfName(""), 0);  // one past the last of no entries
    EXPECT_EQ(Load("1,T, Tokyo"), 0);      // an unterminated line is no line
}

TEST_F(MarketTableTest, OddLinesKeepTheirPlaceInFileOrder) {
    const std::string longName = " " + std::string(40, 'n');
    const std::string kanjiName = " " + Utf8ToSjis("東京証券取引所市場第一部ABCD");  // 29 bytes
    ASSERT_EQ(
        Load("\n"               // blank line
             "x,T, NoNumber\n"  // no number
             "3,LONG, Long\n"   // symbol of four bytes
             "4,L," +
             longName + "\n" + "5,K," + kanjiName + "XYZ\n" +  // 32 bytes: cut before the limit
             "6,N, Nagoya,extra\n" + "7,B, " + std::string(29, 'a') + Utf8ToSjis("東") + "\n"),
        1);
    ASSERT_EQ(table_.m_nEntries, 7);
    EXPECT_EQ(table_.IndexOfSymbol("LON"), 2);
    EXPECT_EQ(std::string(table_.m_pEntries[3].m_szName), longName.substr(0, 31));
    EXPECT_EQ(std::string(table_.m_pEntries[4].m_szName), kanjiName + "XY");
    EXPECT_EQ(table_.IndexOfSymbol("N"), 5);
    EXPECT_STREQ(table_.m_pEntries[5].m_szName, " Nagoya");
    EXPECT_EQ(table_.GetNumber(5), 6);
    // A double-byte character across the limit is left out whole.
    EXPECT_EQ(std::string(table_.m_pEntries[6].m_szName), " " + std::string(29, 'a'));
}

}  // namespace
}  // namespace tickora
