// SPDX-License-Identifier: GPL-3.0-or-later
// 株価一覧: the day's quotes from the smallest code up, prices and indices grouped by thousands,
// and a stock that did not trade said to be so rather than shown at 0.
#include "app/quotes_dlg.h"

#include <gtest/gtest.h>

#include <QHeaderView>
#include <QTableWidget>
#include <filesystem>
#include <string>
#include <vector>

#include "catalog/market_table.h"
#include "catalog/stock_list.h"
#include "tests/support/temp_dir.h"

namespace tickora::gui {
namespace {

struct Quote {
    int code;
    bool found;
    double open, high, low, close, volume;
};

TEST(QuotesDlg, OpensByCodeGroupsPricesAndSaysWhenAStockDidNotTrade) {
    tickora::test::ScopedWorkDir dir;
    tickora::test::CopyShippedMarketTable();
    tickora::test::WriteFileBytes("fetchlist.csv",
                                  "7203,7203,T,a\r\n1301,1301,T,b\r\n998407,1001,X,c\r\n"
                                  "2914,2914,T,d\r\n");
    CMarketTable markets;
    ASSERT_NE(markets.Load("market.csv"), 0);
    CStockList stocks;
    (void)stocks.Load(markets, "http://s", "fetchlist.csv");
    ASSERT_EQ(stocks.m_nBlocks, 1);
    const Quote quotes[] = {
        {7203, true, 2800, 2850, 2790, 2840, 1234567},
        {1301, true, 0, 0, 0, 3120, 0},  // no trade: the last price only
        {1001, true, 38010.5, 38200.25, 37950, 38123.45, 0},
        {2914, false, 0, 0, 0, 0, 0},
    };
    CQuoteBlock& block = *stocks.GetBlock(0);
    for (int s = 0; s < block.m_nStocks; ++s) {
        CStockRecord& stock = block.m_aStocks[s];
        for (const Quote& q : quotes) {
            if (q.code == stock.m_nCode) {
                stock.m_bFound = q.found;
                stock.m_dOpen = q.open;
                stock.m_dHigh = q.high;
                stock.m_dLow = q.low;
                stock.m_dClose = q.close;
                stock.m_dVolume = q.volume;
                stock.m_nMonth = 12;
                stock.m_nDay = 7;
            }
        }
    }
    CQuotesDlg dlg(stocks, markets);
    QTableWidget* table = dlg.Table();
    ASSERT_EQ(table->rowCount(), 4);
    EXPECT_EQ(table->horizontalHeader()->sortIndicatorSection(), 0);
    EXPECT_EQ(table->horizontalHeader()->sortIndicatorOrder(), Qt::AscendingOrder);
    const std::vector<std::vector<std::string>> expected = {
        // コード, 始値, 高値, 安値, 終値, 出来高, 状態
        {"1001", "38,010.50", "38,200.25", "37,950", "38,123.45", "0", ""},
        {"1301", "－", "－", "－", "3,120", "0", "売買なし"},
        {"2914", "", "", "", "", "", "抽出できず"},
        {"7203", "2,800", "2,850", "2,790", "2,840", "1,234,567", ""},
    };
    const int columns[] = {0, 4, 5, 6, 7, 8, kQuoteStateColumn};
    for (int row = 0; row < 4; ++row) {
        for (int c = 0; c < 7; ++c) {
            EXPECT_EQ(table->item(row, columns[c])->text().toStdString(),
                      expected[static_cast<std::size_t>(row)][static_cast<std::size_t>(c)])
                << row << "," << columns[c];
        }
    }
    EXPECT_EQ(PriceText(-0.5).toStdString(), "-0.50");
    EXPECT_EQ(PriceText(1234567.999).toStdString(), "1,234,568");
}

}  // namespace
}  // namespace tickora::gui
