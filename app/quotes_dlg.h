// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The day's quotes as the daily quote file is written from them: one row a stock of the list,
// sortable by any column, the stocks whose quote was not extracted marked. A double click opens
// the stock's chart.
#include <QDialog>

class QLabel;
class QTableWidget;

namespace tickora {
class CMarketTable;
class CStockList;
}  // namespace tickora

namespace tickora::gui {

class CQuotesDlg : public QDialog {
    Q_OBJECT

  public:
    CQuotesDlg(const CStockList& stocks, const CMarketTable& markets, QWidget* parent = nullptr);

    [[nodiscard]] QTableWidget* Table() const { return m_pTable; }
    [[nodiscard]] QLabel* Counts() const { return m_pCounts; }

  signals:
    void chartRequested(int code);

  private:
    QTableWidget* m_pTable;
    QLabel* m_pCounts;
};

// The column that holds the mark of a stock whose quote was not extracted, or that did not trade.
inline constexpr int kQuoteStateColumn = 9;

// "38,123.45", "1,234": a price as the table shows it, two decimals where it has a fraction.
[[nodiscard]] QString PriceText(double value);

}  // namespace tickora::gui
