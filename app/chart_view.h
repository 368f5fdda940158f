// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One stock's stored price history as a chart: candlesticks over a volume pane, the latest days
// that fit the width, and the day under the pointer read out in full. Drawn with QPainter: the two
// panes share one date axis to the pixel, and no chart library has to be carried for it.
#include <QWidget>
#include <vector>

#include "formats/kdt_file.h"

class QLabel;
class QLineEdit;
class QPainter;

namespace tickora::gui {

class CChartView : public QWidget {
    Q_OBJECT

  public:
    explicit CChartView(QWidget* parent = nullptr);

    void SetDays(std::vector<CKdtDay> days);
    [[nodiscard]] const std::vector<CKdtDay>& Days() const { return m_days; }
    // The day drawn at x, or -1; and the line that reads it out ("2026/12/04 始値 ...").
    [[nodiscard]] int DayAt(int x) const;
    [[nodiscard]] QString Readout() const { return m_readout; }
    // The price the axis gives to the height y of the price pane, as the box at the pointer reads
    // it; NaN while no day is drawn.
    [[nodiscard]] double PriceAt(int y) const;
    // The rectangles of the two panes, for the pictures the tests take.
    [[nodiscard]] QRect PricePane() const;
    [[nodiscard]] QRect VolumePane() const;

  signals:
    void readoutChanged(const QString& text);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

  private:
    struct Layout {
        int first = 0;   // index of the first day drawn
        int count = 0;   // days drawn
        double step = 0; // pixels a day
    };
    // Where prices and volumes fall in the two panes for the days of one layout.
    struct Scale {
        QRect price;
        QRect volume;
        double top = 0;     // the price at the pane's top edge
        double bottom = 0;  // and at its bottom edge
        long long most = 1; // the volume that fills the volume pane
        [[nodiscard]] double Y(double value) const;
        [[nodiscard]] double VolumeY(double value) const;
    };
    [[nodiscard]] Layout Fit() const;
    [[nodiscard]] Scale ScaleOf(const Layout& layout) const;
    void DrawAxes(QPainter& p, const Layout& layout, const Scale& scale) const;
    void DrawCandles(QPainter& p, const Layout& layout, const Scale& scale) const;
    void DrawPointer(QPainter& p, const Layout& layout, const Scale& scale) const;
    [[nodiscard]] QString ReadoutOf(int index) const;

    std::vector<CKdtDay> m_days;
    int m_nPointer = -1;  // the day under the pointer
    int m_nPointerY = -1;
    QString m_readout;
};

// The chart window: a code to open, the readout and the chart. Its code field opens another stock.
class CChartWindow : public QWidget {
    Q_OBJECT

  public:
    explicit CChartWindow(QWidget* parent = nullptr);

    // Reads the stored history of code from the working folder ("DATA/1000/KD1301.KDT" or
    // "KD1301.KDT"); false with the reason in the window when there is none.
    bool OpenCode(int code);
    [[nodiscard]] CChartView* Chart() const { return m_pChart; }
    [[nodiscard]] QString Message() const;

  private:
    QLineEdit* m_pCode;
    QLabel* m_pReadout;
    QLabel* m_pMessage;
    CChartView* m_pChart;
};

// The stored history file of code, or an empty string when there is none.
[[nodiscard]] std::string StoredHistoryPath(int code);

}  // namespace tickora::gui
