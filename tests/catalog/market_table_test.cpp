// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalog/market_table.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/temp_dir.h"
#include "text/sjis.h"

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

// A UTF-8 table is read as Shift-JIS (its names then match the profile pages' market names); a
// line that cannot be converted, and a symbol cut to its field, are told, and every entry keeps
// its place in file order.
TEST_F(MarketTableTest, Utf8TablesAndCutSymbolsAreTold) {
    struct Case {
        std::string bytes;
        std::vector<std::string> names;  // UTF-8 of the stored Shift-JIS
        std::vector<std::string> notices;
    } cases[] = {
        {"1,T, 東証1部\n2,X, 😀\n3,O, 大証1部\n",
         {" 東証1部", "", " 大証1部"},
         {"market.csv: UTF-8 text, read as Shift-JIS",
          "market.csv line 2: a character has no Shift-JIS form; the line is not read"}},
        {"1,T, Tokyo\r\n2,LONG, Long\r\n",
         {" Tokyo", " Long"},
         {"market.csv line 2: the market symbol \"LONG\" is longer than 3 bytes; it is read as "
          "\"LON\""}},
    };
    for (const Case& c : cases) {
        test::WriteFileBytes("market.csv", c.bytes);
        std::vector<std::string> notices;
        ASSERT_EQ(table_.Load("market.csv", &notices), 1);
        std::vector<std::string> names;
        for (const MarketEntry& entry : table_.m_pEntries) {
            names.push_back(SjisToUtf8(entry.m_szName));
        }
        EXPECT_EQ(names, c.names) << c.bytes;
        EXPECT_EQ(notices, c.notices) << c.bytes;
    }
    // Profile pages name markets in Shift-JIS: the converted table finds them.
    ASSERT_EQ(Load(cases[0].bytes), 1);
    EXPECT_EQ(table_.IndexOfName(Utf8ToSjis("大証").c_str()), 2);
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
