// SPDX-License-Identifier: GPL-3.0-or-later
#include "formats/figures_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "catalog/clock.h"
#include "tests/support/list_fixture.h"
#include "tests/support/temp_dir.h"
#include "text/sjis.h"

namespace tickora {
namespace {

using test::AddStock;

void SetFigures(CStockRecord& stock, double f1, double f2, double f3, double f4, double f5) {
    const double figures[5] = {f1, f2, f3, f4, f5};
    std::copy(figures, figures + 5, stock.m_adFigures);
}

class FiguresFileTest : public ::testing::Test {
  protected:
    void SetUp() override { SetTodayForTesting(LocalDate{2008, 2, 11}); }
    void TearDown() override { SetTodayForTesting(std::nullopt); }

    test::ScopedWorkDir dir_;
    CStockList list_;
};

TEST_F(FiguresFileTest, HeaderAndOneLinePerStockWithFigures) {
    const std::string name = Utf8ToSjis("極洋");
    SetFigures(AddStock(list_, 1301, 0, name), 1000, 12.5, -3, 0.8, 0);
    SetFigures(AddStock(list_, 1332, 0, "B"), 0, 0, 5, 0, 9);      // figures 3 and 5 do not count
    SetFigures(AddStock(list_, 1334, 0, "C"), 0, 0.01, 0, 0, 0);   // figure 2 alone counts
    SetFigures(AddStock(list_, 1352, 0, "D"), 0, 0, 0, 7.126, 0);  // figure 4 alone counts
    SetFigures(AddStock(list_, 5, 0, "E"), -1, -2, 3, -4, 5);
    EXPECT_EQ(WriteFiguresFile(list_, 7, "."), "./FN080211.DAT");
    EXPECT_EQ(test::ReadFileBytes("FN080211.DAT"),
              "080211\r\n7\r\n"
              "1301,0," +
                  name +
                  ",1000.00,12.50,-3.00,0.80,0.00\r\n"
                  "1334,0,C,0.00,0.01,0.00,0.00,0.00\r\n"
                  "1352,0,D,0.00,0.00,0.00,7.13,0.00\r\n");
}

TEST_F(FiguresFileTest, LinesFollowTheListAcrossBlocks) {
    for (int i = 0; i < 51; ++i) {
        AddStock(list_, 2000 + i, 0, "N" + std::to_string(i));
    }
    SetFigures(list_.m_ppBlocks[1]->m_aStocks[0], 1, 2, 3, 4, 5);
    SetFigures(list_.m_ppBlocks[0]->m_aStocks[3], 1.5, 0, 0, 0, 0);
    list_.m_ppBlocks[0]->m_nMonth = 12;
    list_.m_ppBlocks[0]->m_nDay = 30;
    EXPECT_EQ(WriteFiguresFile(list_, 0, "."), "./FN081230.DAT");
    EXPECT_EQ(test::ReadFileBytes("FN081230.DAT"),
              "081230\r\n0\r\n"
              "2003,0,N3,1.50,0.00,0.00,0.00,0.00\r\n"
              "2050,0,N50,1.00,2.00,3.00,4.00,5.00\r\n");
}

TEST_F(FiguresFileTest, ReplacesAnOlderFileOfTheDayAndKeepsItAsBackup) {
    SetFigures(AddStock(list_, 1301, 0, "A"), 1, 1, 1, 1, 1);
    std::filesystem::create_directory("out");
    test::WriteFileBytes("out/FN080211.DAT", "old contents that are longer than the new ones\r\n");
    EXPECT_EQ(WriteFiguresFile(list_, 1, "out"), "out/FN080211.DAT");
    EXPECT_EQ(test::ReadFileBytes("out/FN080211.DAT"),
              "080211\r\n1\r\n1301,0,A,1.00,1.00,1.00,1.00,1.00\r\n");
    EXPECT_EQ(test::ReadFileBytes("out/FN080211.DAT.bak"),
              "old contents that are longer than the new ones\r\n");
}

TEST_F(FiguresFileTest, AJapaneseOutputFolderIsUsedUnderItsRealName) {
    SetFigures(AddStock(list_, 1301, 0, "A"), 1, 1, 1, 1, 1);
    std::filesystem::create_directory("株価");
    const std::string stored = Utf8ToSjis("株価");
    EXPECT_EQ(FiguresFileName(list_, stored.c_str()), "株価/FN080211.DAT");
    EXPECT_EQ(WriteFiguresFile(list_, 1, stored.c_str()), "株価/FN080211.DAT");
    EXPECT_TRUE(std::filesystem::exists("株価/FN080211.DAT"));
    EXPECT_EQ(WriteFiguresFile(list_, 1, "\x8A"), "");
}

TEST_F(FiguresFileTest, NothingForAnEmptyListOrAMissingFolder) {
    EXPECT_EQ(WriteFiguresFile(list_, 0, "."), "");
    SetFigures(AddStock(list_, 1301, 0, "A"), 1, 1, 1, 1, 1);
    EXPECT_EQ(WriteFiguresFile(list_, 1, "missing"), "");
    EXPECT_TRUE(std::filesystem::is_empty("."));
}

}  // namespace
}  // namespace tickora
