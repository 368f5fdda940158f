// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The chart window: a code to open, the period (日足, 週足, 月足), the moving averages to draw, the
// readout, the chart and a scroll bar through the whole history. Its title names the stock.
#include <QWidget>
#include <string>

#include "app/chart_view.h"

class QButtonGroup;
class QCheckBox;
class QLabel;
class QLineEdit;
class QScrollBar;

namespace tickora {
class CStockList;
}

namespace tickora::gui {

class CChartWindow : public QWidget {
    Q_OBJECT

  public:
    // stocks names the stocks and tells whether a code is in the fetch list; without one (or
    // with an empty one) a code is only looked for on disk.
    explicit CChartWindow(QWidget* parent = nullptr, const CStockList* stocks = nullptr);

    // Reads the stored history of code from the working folder ("DATA/1000/KD1301.KDT" or
    // "KD1301.KDT"); false with the reason in the window when there is none.
    bool OpenCode(int code);
    [[nodiscard]] CChartView* Chart() const { return m_pChart; }
    [[nodiscard]] QScrollBar* ScrollBar() const { return m_pScroll; }
    [[nodiscard]] QString Message() const;
    void SetPeriod(BarPeriod period);
    [[nodiscard]] QCheckBox* AverageBox(int which) const { return m_pAverages[which]; }

  private:
    void AddPeriodButtons(QLayout* row);
    void AddAverageBoxes(QLayout* row);
    void NameAverageBoxes();
    // The stock's name in the fetch list (UTF-8); empty when it is not listed.
    [[nodiscard]] std::string NameOf(int code) const;
    [[nodiscard]] bool ListKnown() const;

    const CStockList* m_pStocks;
    QLineEdit* m_pCode;
    QLabel* m_pReadout;
    QLabel* m_pMessage;
    CChartView* m_pChart;
    QScrollBar* m_pScroll;
    QButtonGroup* m_pPeriods;
    QCheckBox* m_pAverages[3] = {};
};

// The stored history file of code, or an empty string when there is none.
[[nodiscard]] std::string StoredHistoryPath(int code);

}  // namespace tickora::gui
