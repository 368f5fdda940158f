// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One stock's stored price history as a chart: candlesticks of days, weeks or months over a volume
// pane, moving averages that can be switched on, the price axis marked at round prices, and the
// bar under the pointer read out in full. The whole history can be scrolled and zoomed with the
// wheel (Ctrl for zoom), the keys (← → PageUp PageDown Home End, + -) or a scroll bar. Drawn with
// QPainter: the two panes share one date axis to the pixel, and no chart library has to be
// carried for it.
#include <QWidget>
#include <array>
#include <vector>

#include "app/chart_data.h"
#include "formats/kdt_file.h"

class QPainter;

namespace tickora::gui {

class CChartView : public QWidget {
    Q_OBJECT

  public:
    explicit CChartView(QWidget* parent = nullptr);

    // A new history: drawn in the period chosen, its latest bars in view.
    void SetDays(std::vector<CKdtDay> days);
    [[nodiscard]] const std::vector<CKdtDay>& Days() const { return m_days; }
    void SetPeriod(BarPeriod period);
    [[nodiscard]] BarPeriod Period() const { return m_period; }
    [[nodiscard]] const std::vector<Bar>& Bars() const { return m_bars; }
    // The moving averages, shortest first (AverageLengths).
    void ShowAverage(int which, bool shown);
    [[nodiscard]] bool AverageShown(int which) const {
        return m_shown[static_cast<std::size_t>(which)];
    }
    [[nodiscard]] const std::vector<double>& Average(int which) const {
        return m_averages[static_cast<std::size_t>(which)];
    }

    // The bars in view: the first and how many; scrolling keeps them within the history.
    [[nodiscard]] int FirstVisible() const;
    [[nodiscard]] int VisibleCount() const;
    void ScrollTo(int first);
    void ScrollBy(int bars);
    // Widens (factor > 1) or narrows the bars, keeping the bar at x where it is (the last bar in
    // view when x < 0).
    void ZoomBy(double factor, int x = -1);
    [[nodiscard]] double BarWidth() const { return m_step; }

    // The bar drawn at x, or -1; and the line that reads it out ("2026/12/04 始値 ...").
    [[nodiscard]] int DayAt(int x) const;
    [[nodiscard]] QString Readout() const { return m_readout; }
    // The price the axis gives to the height y of the price pane, as the box at the pointer reads
    // it; NaN while no bar is drawn.
    [[nodiscard]] double PriceAt(int y) const;
    // The prices the axis is marked at now.
    [[nodiscard]] std::vector<double> PriceMarksShown() const;
    // The rectangles of the two panes, for the pictures the tests take.
    [[nodiscard]] QRect PricePane() const;
    [[nodiscard]] QRect VolumePane() const;

  signals:
    void readoutChanged(const QString& text);
    // The bars in view changed: for the scroll bar beside the chart.
    void viewChanged(int first, int visible, int total);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    struct Layout {
        int first = 0;    // index of the first bar drawn
        int count = 0;    // bars drawn
        double step = 0;  // pixels a bar
        double left = 0;  // where the first bar's slot starts: the bars end at the pane's right
    };
    // Where prices and volumes fall in the two panes for the bars of one layout.
    struct Scale {
        QRect price;
        QRect volume;
        double top = 0;     // the price at the pane's top edge
        double bottom = 0;  // and at its bottom edge
        double most = 1;    // the volume that fills the volume pane
        [[nodiscard]] double Y(double value) const;
        [[nodiscard]] double VolumeY(double value) const;
    };
    [[nodiscard]] Layout Fit() const;
    [[nodiscard]] Scale ScaleOf(const Layout& layout) const;
    [[nodiscard]] int MostMarks() const;
    void Rebuild();
    void ViewMoved();
    // The bar under the pointer, read out again when it changed under a still pointer.
    void PointAt(int x, int y);
    void DrawAxes(QPainter& p, const Layout& layout, const Scale& scale) const;
    void DrawDates(QPainter& p, const Layout& layout, const Scale& scale) const;
    void DrawCandles(QPainter& p, const Layout& layout, const Scale& scale) const;
    void DrawAverages(QPainter& p, const Layout& layout, const Scale& scale) const;
    void DrawPointer(QPainter& p, const Layout& layout, const Scale& scale) const;
    [[nodiscard]] QString ReadoutOf(int index) const;

    std::vector<CKdtDay> m_days;
    BarPeriod m_period = BarPeriod::kDay;
    std::vector<Bar> m_bars;
    std::array<std::vector<double>, 3> m_averages;
    std::array<bool, 3> m_shown{true, true, true};
    double m_step = 7;     // pixels a bar
    int m_first = 0;       // the first bar in view, unless the view follows the latest bar
    bool m_atEnd = true;   // the latest bar stays in view as the window is resized
    int m_nPointer = -1;   // the bar under the pointer
    int m_nPointerX = -1;  // and where the pointer is, while it is over the chart
    int m_nPointerY = -1;
    QString m_readout;
};

// The colours of the three moving averages, shortest first.
[[nodiscard]] QColor AverageColour(int which);

}  // namespace tickora::gui
