// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/chart_view.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

#include "app/outcome_ja.h"
#include "app/qt_text.h"

namespace tickora::gui {
namespace {

constexpr int kMargin = 8;
constexpr int kAxisWidth = 72;    // price and volume labels on the right
constexpr int kDateHeight = 18;   // date labels under the volume pane
constexpr double kMinStep = 2.0;  // the narrowest bar: a line a bar
constexpr double kMaxStep = 40.0;
constexpr double kFewStep = 24.0;      // a short history is not stretched wider than this
const QColor kUp(0xd0, 0x20, 0x20);    // a bar that closed above its open
const QColor kDown(0x10, 0x60, 0xc0);  // and below
const QColor kGrid(0xe6, 0xe6, 0xe6);

QString Number(double value) {
    return FromUtf8(Thousands(std::llround(value)));
}

QString DateText(const Bar& bar, BarPeriod period) {
    if (period == BarPeriod::kMonth) {
        return QStringLiteral("%1/%2").arg(bar.year).arg(bar.month, 2, 10, QLatin1Char('0'));
    }
    return QStringLiteral("%1/%2/%3")
        .arg(bar.year)
        .arg(bar.month, 2, 10, QLatin1Char('0'))
        .arg(bar.day, 2, 10, QLatin1Char('0'));
}

}  // namespace

QColor AverageColour(int which) {
    static const QColor kColours[] = {QColor(0xe0, 0x80, 0x00), QColor(0x20, 0x90, 0x30),
                                      QColor(0x80, 0x30, 0xc0)};
    return kColours[std::clamp(which, 0, 2)];
}

CChartView::CChartView(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("chartView"));
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setMinimumSize(360, 240);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    setAutoFillBackground(true);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, Qt::white);
    setPalette(palette);
}

void CChartView::SetDays(std::vector<CKdtDay> days) {
    m_days = std::move(days);
    m_atEnd = true;
    Rebuild();
}

void CChartView::SetPeriod(BarPeriod period) {
    if (period == m_period) {
        return;
    }
    m_period = period;
    m_atEnd = true;
    Rebuild();
}

void CChartView::ShowAverage(int which, bool shown) {
    m_shown[static_cast<std::size_t>(std::clamp(which, 0, 2))] = shown;
    update();
}

void CChartView::Rebuild() {
    m_bars = BarsOf(m_days, m_period);
    const std::array<int, 3> lengths = AverageLengths(m_period);
    for (std::size_t i = 0; i < lengths.size(); ++i) {
        m_averages[i] = MovingAverage(m_bars, lengths[i]);
    }
    m_nPointer = -1;
    m_readout.clear();
    emit readoutChanged(m_readout);
    ViewMoved();
}

void CChartView::ViewMoved() {
    const Layout layout = Fit();
    if (!m_atEnd) {
        m_first = layout.first;
    }
    emit viewChanged(layout.first, layout.count, static_cast<int>(m_bars.size()));
    if (m_nPointerX >= 0) {
        PointAt(m_nPointerX, m_nPointerY);
    }
    update();
}

void CChartView::PointAt(int x, int y) {
    const int bar = DayAt(x);
    m_nPointerX = x;
    m_nPointerY = y;
    if (bar != m_nPointer) {
        m_nPointer = bar;
        m_readout = bar >= 0 ? ReadoutOf(bar) : QString();
        emit readoutChanged(m_readout);
    }
}

QRect CChartView::PricePane() const {
    const int height = this->height() - 2 * kMargin - kDateHeight;
    return QRect(kMargin, kMargin, width() - 2 * kMargin - kAxisWidth, height * 3 / 4 - kMargin);
}

QRect CChartView::VolumePane() const {
    const QRect price = PricePane();
    const int bottom = height() - kMargin - kDateHeight;
    return QRect(price.left(), price.bottom() + kMargin, price.width(),
                 bottom - price.bottom() - kMargin);
}

CChartView::Layout CChartView::Fit() const {
    Layout layout;
    const QRect pane = PricePane();
    const int total = static_cast<int>(m_bars.size());
    const int fits = std::max(1, static_cast<int>(pane.width() / m_step));
    layout.count = std::min(total, fits);
    layout.step = m_step;
    if (layout.count > 0 && layout.count < fits) {
        // Fewer bars than room: wider bars, still never wider than a short history needs.
        layout.step =
            std::max(m_step, std::min(kFewStep, static_cast<double>(pane.width()) / layout.count));
    }
    const int last = total - layout.count;
    layout.first = m_atEnd ? last : std::clamp(m_first, 0, std::max(last, 0));
    layout.left = pane.left() + pane.width() - layout.count * layout.step;
    return layout;
}

int CChartView::FirstVisible() const {
    return Fit().first;
}

int CChartView::VisibleCount() const {
    return Fit().count;
}

void CChartView::ScrollTo(int first) {
    const Layout layout = Fit();
    const int last = static_cast<int>(m_bars.size()) - layout.count;
    m_first = std::clamp(first, 0, std::max(last, 0));
    m_atEnd = m_first >= last;
    ViewMoved();
}

void CChartView::ScrollBy(int bars) {
    ScrollTo(FirstVisible() + bars);
}

void CChartView::ZoomBy(double factor, int x) {
    const Layout before = Fit();
    const int anchor = x >= 0 ? DayAt(x) : -1;
    m_step = std::clamp(m_step * factor, kMinStep, kMaxStep);
    if (before.count == 0 || (anchor < 0 && m_atEnd)) {
        ViewMoved();
        return;
    }
    // The bar under x, or the last in view, keeps its distance from the right edge.
    const int kept = anchor >= 0 ? anchor : before.first + before.count - 1;
    const double fromRight = (before.first + before.count - kept - 0.5) * before.step;
    const Layout after = Fit();
    const int right = static_cast<int>(std::lround(fromRight / after.step - 0.5));
    ScrollTo(kept + right - after.count + 1);
}

int CChartView::DayAt(int x) const {
    const Layout layout = Fit();
    const QRect pane = PricePane();
    if (layout.count == 0 || x < layout.left || x > pane.right()) {
        return -1;
    }
    const int i = static_cast<int>((x - layout.left) / layout.step);
    return layout.first + std::clamp(i, 0, layout.count - 1);
}

QString CChartView::ReadoutOf(int index) const {
    const Bar& b = m_bars[static_cast<std::size_t>(index)];
    QString when = DateText(b, m_period);
    if (m_period == BarPeriod::kWeek) {
        when += QStringLiteral(" の週");
    }
    return QStringLiteral("%1  始値 %2  高値 %3  安値 %4  終値 %5  出来高 %6")
        .arg(when, Number(b.open), Number(b.high), Number(b.low), Number(b.close),
             FromUtf8(Thousands(b.volume)));
}

void CChartView::mouseMoveEvent(QMouseEvent* event) {
    PointAt(static_cast<int>(event->position().x()), static_cast<int>(event->position().y()));
    update();
}

void CChartView::leaveEvent(QEvent* event) {
    m_nPointer = -1;
    m_nPointerX = -1;
    m_readout.clear();
    emit readoutChanged(m_readout);
    update();
    QWidget::leaveEvent(event);
}

void CChartView::wheelEvent(QWheelEvent* event) {
    const QPoint turn = event->angleDelta();
    const int notches = (turn.y() != 0 ? turn.y() : turn.x()) / 120;
    if (notches == 0) {
        event->ignore();
        return;
    }
    if (event->modifiers() & Qt::ControlModifier) {
        ZoomBy(std::pow(1.25, notches), static_cast<int>(event->position().x()));
    } else {
        // Turning the wheel away from oneself goes back in time.
        ScrollBy(-notches * std::max(1, VisibleCount() / 10));
    }
    event->accept();
}

void CChartView::keyPressEvent(QKeyEvent* event) {
    const int page = std::max(1, VisibleCount() - 1);
    switch (event->key()) {
        case Qt::Key_Left:
            ScrollBy(-1);
            break;
        case Qt::Key_Right:
            ScrollBy(1);
            break;
        case Qt::Key_PageUp:
            ScrollBy(-page);
            break;
        case Qt::Key_PageDown:
            ScrollBy(page);
            break;
        case Qt::Key_Home:
            ScrollTo(0);
            break;
        case Qt::Key_End:
            ScrollTo(static_cast<int>(m_bars.size()));
            break;
        case Qt::Key_Plus:
        case Qt::Key_Up:
            ZoomBy(1.25);
            break;
        case Qt::Key_Minus:
        case Qt::Key_Down:
            ZoomBy(0.8);
            break;
        default:
            QWidget::keyPressEvent(event);
            return;
    }
    event->accept();
}

void CChartView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    ViewMoved();
}

void CChartView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const Layout layout = Fit();
    const QRect price = PricePane();
    const QRect volume = VolumePane();
    p.setPen(kGrid);
    p.drawRect(price);
    p.drawRect(volume);
    if (layout.count == 0) {
        p.setPen(Qt::darkGray);
        p.drawText(price, Qt::AlignCenter, QStringLiteral("株価履歴がありません"));
        return;
    }
    const Scale scale = ScaleOf(layout);
    DrawAxes(p, layout, scale);
    DrawDates(p, layout, scale);
    DrawCandles(p, layout, scale);
    DrawAverages(p, layout, scale);
    DrawPointer(p, layout, scale);
}

double CChartView::Scale::Y(double value) const {
    return price.top() + (top - value) / (top - bottom) * price.height();
}

double CChartView::Scale::VolumeY(double value) const {
    return volume.bottom() - value / most * (volume.height() - 2);
}

CChartView::Scale CChartView::ScaleOf(const Layout& layout) const {
    // In double: the prices are 32-bit fields that may hold anything up to 2^31 - 1, and the
    // range of such prices, with its margin, does not fit an int.
    const Bar& first = m_bars[static_cast<std::size_t>(layout.first)];
    double low = first.low;
    double high = first.high;
    double most = 1;
    for (int i = layout.first; i < layout.first + layout.count; ++i) {
        const Bar& b = m_bars[static_cast<std::size_t>(i)];
        low = std::min({low, b.low, b.open, b.close});
        high = std::max({high, b.high, b.open, b.close});
        most = std::max(most, static_cast<double>(b.volume));
    }
    if (high == low) {
        high += 1;
        low -= 1;
    }
    const double pad = (high - low) * 0.05;
    return Scale{PricePane(), VolumePane(), high + pad, low - pad, most};
}

double CChartView::PriceAt(int y) const {
    const Layout layout = Fit();
    if (layout.count == 0) {
        return std::nan("");
    }
    const Scale scale = ScaleOf(layout);
    return scale.top - (y - scale.price.top()) * (scale.top - scale.bottom) / scale.price.height();
}

int CChartView::MostMarks() const {
    // A mark every two lines of text at most.
    const int line = QFontMetrics(font()).height();
    return std::clamp(PricePane().height() / (2 * std::max(line, 1)), 2, 10);
}

std::vector<double> CChartView::PriceMarksShown() const {
    const Layout layout = Fit();
    if (layout.count == 0) {
        return {};
    }
    const Scale scale = ScaleOf(layout);
    return PriceMarks(scale.bottom, scale.top, MostMarks());
}

// The price lines at round prices with their labels, and the volume's top.
void CChartView::DrawAxes(QPainter& p, const Layout&, const Scale& scale) const {
    const QRect& price = scale.price;
    const QFontMetrics metrics(font());
    for (const double mark : PriceMarks(scale.bottom, scale.top, MostMarks())) {
        const int line = static_cast<int>(std::lround(scale.Y(mark)));
        p.setPen(kGrid);
        p.drawLine(price.left(), line, price.right(), line);
        p.setPen(Qt::darkGray);
        p.drawText(price.right() + 4, line + metrics.ascent() / 2, Number(mark));
    }
    p.drawText(scale.volume.right() + 4, scale.volume.top() + metrics.ascent(), Number(scale.most));
}

// A date label every so often, where it has room.
void CChartView::DrawDates(QPainter& p, const Layout& layout, const Scale& scale) const {
    const QFontMetrics metrics(font());
    const int labelEvery = std::max(
        1,
        static_cast<int>(metrics.horizontalAdvance(QStringLiteral("0000/00/00  ")) / layout.step) +
            1);
    for (int i = 0; i < layout.count; i += labelEvery) {
        const Bar& b = m_bars[static_cast<std::size_t>(layout.first + i)];
        const int x = static_cast<int>(layout.left + i * layout.step);
        p.setPen(kGrid);
        p.drawLine(x, scale.price.top(), x, scale.volume.bottom());
        p.setPen(Qt::darkGray);
        p.drawText(x, scale.volume.bottom() + metrics.ascent() + 2, DateText(b, m_period));
    }
}

void CChartView::DrawCandles(QPainter& p, const Layout& layout, const Scale& scale) const {
    const double body = std::max(1.0, layout.step * 0.7);
    p.setRenderHint(QPainter::Antialiasing, false);
    for (int i = 0; i < layout.count; ++i) {
        const Bar& b = m_bars[static_cast<std::size_t>(layout.first + i)];
        const double centre = layout.left + (i + 0.5) * layout.step;
        const QColor colour = b.close >= b.open ? kUp : kDown;
        p.setPen(colour);
        p.drawLine(QPointF(centre, scale.Y(b.high)), QPointF(centre, scale.Y(b.low)));
        const double yOpen = scale.Y(b.open);
        const double yClose = scale.Y(b.close);
        const QRectF candle(centre - body / 2, std::min(yOpen, yClose), body,
                            std::max(1.0, std::abs(yOpen - yClose)));
        p.fillRect(candle, colour);
        const double top = scale.VolumeY(static_cast<double>(b.volume));
        p.fillRect(QRectF(centre - body / 2, top, body, scale.volume.bottom() - top),
                   colour.lighter(150));
    }
}

void CChartView::DrawAverages(QPainter& p, const Layout& layout, const Scale& scale) const {
    p.save();
    p.setClipRect(scale.price);
    p.setRenderHint(QPainter::Antialiasing, true);
    for (int which = 0; which < 3; ++which) {
        if (!m_shown[static_cast<std::size_t>(which)]) {
            continue;
        }
        const std::vector<double>& average = m_averages[static_cast<std::size_t>(which)];
        QPainterPath path;
        bool drawing = false;
        for (int i = 0; i < layout.count; ++i) {
            const double value = average[static_cast<std::size_t>(layout.first + i)];
            if (std::isnan(value)) {
                drawing = false;
                continue;
            }
            const QPointF at(layout.left + (i + 0.5) * layout.step, scale.Y(value));
            drawing ? path.lineTo(at) : path.moveTo(at);
            drawing = true;
        }
        p.setPen(QPen(AverageColour(which), 1.5));
        p.drawPath(path);
    }
    p.restore();
}

// The dashed cross under the pointer, with the price at its height in a box on the axis.
void CChartView::DrawPointer(QPainter& p, const Layout& layout, const Scale& scale) const {
    if (m_nPointer < layout.first || m_nPointer >= layout.first + layout.count) {
        return;
    }
    const QRect& price = scale.price;
    const double centre = layout.left + (m_nPointer - layout.first + 0.5) * layout.step;
    p.setPen(QPen(Qt::black, 1, Qt::DashLine));
    p.drawLine(QPointF(centre, price.top()), QPointF(centre, scale.volume.bottom()));
    if (!price.contains(price.left(), m_nPointerY)) {
        return;
    }
    p.drawLine(price.left(), m_nPointerY, price.right(), m_nPointerY);
    const QString text = Number(PriceAt(m_nPointerY));
    const QFontMetrics metrics(font());
    const QRect box(price.right() + 1, m_nPointerY - metrics.height() / 2,
                    metrics.horizontalAdvance(text) + 6, metrics.height());
    p.fillRect(box, Qt::black);
    p.setPen(Qt::white);
    p.drawText(box, Qt::AlignCenter, text);
}

}  // namespace tickora::gui
