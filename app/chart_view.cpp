// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/chart_view.h"

#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <filesystem>

#include "app/outcome_ja.h"
#include "app/qt_text.h"

namespace tickora::gui {
namespace {

constexpr int kMargin = 8;
constexpr int kAxisWidth = 64;    // price and volume labels on the right
constexpr int kDateHeight = 18;   // date labels under the volume pane
constexpr double kMinStep = 5.0;  // a candle narrower than this cannot be told apart
const QColor kUp(0xd0, 0x20, 0x20);    // a day that closed above its open
const QColor kDown(0x10, 0x60, 0xc0);  // and below
const QColor kGrid(0xe0, 0xe0, 0xe0);

QString Number(long long value) {
    return FromUtf8(Thousands(value));
}

QString DateText(const CKdtDay& day) {
    return QStringLiteral("%1/%2/%3")
        .arg(day.m_nYear)
        .arg(day.m_nMonth, 2, 10, QLatin1Char('0'))
        .arg(day.m_nDay, 2, 10, QLatin1Char('0'));
}

}  // namespace

CChartView::CChartView(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("chartView"));
    setMouseTracking(true);
    setMinimumSize(360, 240);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    setAutoFillBackground(true);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, Qt::white);
    setPalette(palette);
}

void CChartView::SetDays(std::vector<CKdtDay> days) {
    m_days = std::move(days);
    m_nPointer = -1;
    m_readout.clear();
    update();
}

QRect CChartView::PricePane() const {
    const int height = this->height() - 2 * kMargin - kDateHeight;
    return QRect(kMargin, kMargin, width() - 2 * kMargin - kAxisWidth, height * 3 / 4 - kMargin);
}

QRect CChartView::VolumePane() const {
    const QRect price = PricePane();
    const int bottom = height() - kMargin - kDateHeight;
    return QRect(price.left(), price.bottom() + kMargin, price.width(), bottom - price.bottom() - kMargin);
}

CChartView::Layout CChartView::Fit() const {
    Layout layout;
    const int pane = PricePane().width();
    const int fits = std::max(1, static_cast<int>(pane / kMinStep));
    layout.count = std::min(static_cast<int>(m_days.size()), fits);
    layout.first = static_cast<int>(m_days.size()) - layout.count;
    layout.step = layout.count > 0 ? static_cast<double>(pane) / layout.count : 0;
    return layout;
}

int CChartView::DayAt(int x) const {
    const Layout layout = Fit();
    const QRect pane = PricePane();
    if (layout.count == 0 || x < pane.left() || x > pane.right()) {
        return -1;
    }
    const int i = static_cast<int>((x - pane.left()) / layout.step);
    return layout.first + std::clamp(i, 0, layout.count - 1);
}

QString CChartView::ReadoutOf(int index) const {
    const CKdtDay& d = m_days[static_cast<std::size_t>(index)];
    return QStringLiteral("%1  始値 %2  高値 %3  安値 %4  終値 %5  出来高 %6")
        .arg(DateText(d), Number(d.m_nOpen), Number(d.m_nHigh), Number(d.m_nLow),
             Number(d.m_nClose), Number(d.m_nVolume));
}

void CChartView::mouseMoveEvent(QMouseEvent* event) {
    const int day = DayAt(static_cast<int>(event->position().x()));
    m_nPointerY = static_cast<int>(event->position().y());
    if (day != m_nPointer) {
        m_nPointer = day;
        m_readout = day >= 0 ? ReadoutOf(day) : QString();
        emit readoutChanged(m_readout);
    }
    update();
}

void CChartView::leaveEvent(QEvent* event) {
    m_nPointer = -1;
    m_readout.clear();
    emit readoutChanged(m_readout);
    update();
    QWidget::leaveEvent(event);
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
    DrawCandles(p, layout, scale);
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
    double low = m_days[static_cast<std::size_t>(layout.first)].m_nLow;
    double high = m_days[static_cast<std::size_t>(layout.first)].m_nHigh;
    long long most = 1;
    for (int i = layout.first; i < layout.first + layout.count; ++i) {
        const CKdtDay& d = m_days[static_cast<std::size_t>(i)];
        low = std::min({low, double{d.m_nLow}, double{d.m_nOpen}, double{d.m_nClose}});
        high = std::max({high, double{d.m_nHigh}, double{d.m_nOpen}, double{d.m_nClose}});
        most = std::max<long long>(most, d.m_nVolume);
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

// Five price lines with their labels, the volume's top, and a date label every so often.
void CChartView::DrawAxes(QPainter& p, const Layout& layout, const Scale& scale) const {
    const QRect& price = scale.price;
    const QRect& volume = scale.volume;
    const QFontMetrics metrics(font());
    for (int k = 0; k <= 4; ++k) {
        const double value = scale.bottom + (scale.top - scale.bottom) * k / 4;
        const int line = static_cast<int>(scale.Y(value));
        p.setPen(kGrid);
        p.drawLine(price.left(), line, price.right(), line);
        p.setPen(Qt::darkGray);
        p.drawText(price.right() + 4, line + metrics.ascent() / 2, Number(std::llround(value)));
    }
    p.drawText(volume.right() + 4, volume.top() + metrics.ascent(), Number(scale.most));
    const int labelEvery = std::max(1, static_cast<int>(metrics.horizontalAdvance(
                                                             QStringLiteral("0000/00/00  ")) /
                                                         layout.step));
    for (int i = 0; i < layout.count; i += labelEvery) {
        const CKdtDay& d = m_days[static_cast<std::size_t>(layout.first + i)];
        const int x = price.left() + static_cast<int>(i * layout.step);
        p.setPen(kGrid);
        p.drawLine(x, price.top(), x, volume.bottom());
        p.setPen(Qt::darkGray);
        p.drawText(x, volume.bottom() + metrics.ascent() + 2, DateText(d));
    }
}

void CChartView::DrawCandles(QPainter& p, const Layout& layout, const Scale& scale) const {
    const double body = std::max(1.0, layout.step * 0.7);
    p.setRenderHint(QPainter::Antialiasing, false);
    for (int i = 0; i < layout.count; ++i) {
        const CKdtDay& d = m_days[static_cast<std::size_t>(layout.first + i)];
        const double centre = scale.price.left() + (i + 0.5) * layout.step;
        const QColor colour = d.m_nClose >= d.m_nOpen ? kUp : kDown;
        p.setPen(colour);
        p.drawLine(QPointF(centre, scale.Y(d.m_nHigh)), QPointF(centre, scale.Y(d.m_nLow)));
        const double yOpen = scale.Y(d.m_nOpen);
        const double yClose = scale.Y(d.m_nClose);
        const QRectF candle(centre - body / 2, std::min(yOpen, yClose), body,
                            std::max(1.0, std::abs(yOpen - yClose)));
        p.fillRect(candle, colour);
        p.fillRect(QRectF(centre - body / 2, scale.VolumeY(d.m_nVolume), body,
                          scale.volume.bottom() - scale.VolumeY(d.m_nVolume)),
                   colour.lighter(150));
    }
}

// The dashed cross under the pointer, with the price at its height in a box on the axis.
void CChartView::DrawPointer(QPainter& p, const Layout& layout, const Scale& scale) const {
    if (m_nPointer < layout.first || m_nPointer >= layout.first + layout.count) {
        return;
    }
    const QRect& price = scale.price;
    const double centre = price.left() + (m_nPointer - layout.first + 0.5) * layout.step;
    p.setPen(QPen(Qt::black, 1, Qt::DashLine));
    p.drawLine(QPointF(centre, price.top()), QPointF(centre, scale.volume.bottom()));
    if (!price.contains(price.left(), m_nPointerY)) {
        return;
    }
    p.drawLine(price.left(), m_nPointerY, price.right(), m_nPointerY);
    const QString text = Number(std::llround(PriceAt(m_nPointerY)));
    const QFontMetrics metrics(font());
    const QRect box(price.right() + 1, m_nPointerY - metrics.height() / 2,
                    metrics.horizontalAdvance(text) + 6, metrics.height());
    p.fillRect(box, Qt::black);
    p.setPen(Qt::white);
    p.drawText(box, Qt::AlignCenter, text);
}

std::string StoredHistoryPath(int code) {
    for (const bool inDataFolder : {true, false}) {
        const std::string path = KdtFileName(code, inDataFolder);
        std::error_code error;
        if (std::filesystem::is_regular_file(path, error)) {
            return path;
        }
    }
    return {};
}

CChartWindow::CChartWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("chartWindow"));
    setAttribute(Qt::WA_DeleteOnClose, false);
    setWindowTitle(QStringLiteral("チャート - Tickora"));
    auto* layout = new QVBoxLayout(this);
    auto* row = new QHBoxLayout;
    row->addWidget(new QLabel(QStringLiteral("証券コード："), this));
    m_pCode = new QLineEdit(this);
    m_pCode->setObjectName(QStringLiteral("chartCode"));
    m_pCode->setValidator(new QIntValidator(0, 9999, m_pCode));
    m_pCode->setMaximumWidth(m_pCode->fontMetrics().horizontalAdvance(QStringLiteral("000000")) + 12);
    row->addWidget(m_pCode);
    auto* open = new QPushButton(QStringLiteral("表示"), this);
    row->addWidget(open);
    m_pMessage = new QLabel(this);
    m_pMessage->setObjectName(QStringLiteral("chartMessage"));
    row->addWidget(m_pMessage, 1);
    layout->addLayout(row);
    m_pReadout = new QLabel(this);
    m_pReadout->setObjectName(QStringLiteral("chartReadout"));
    m_pReadout->setMinimumHeight(m_pReadout->fontMetrics().height());
    layout->addWidget(m_pReadout);
    m_pChart = new CChartView(this);
    layout->addWidget(m_pChart, 1);
    connect(m_pChart, &CChartView::readoutChanged, m_pReadout, &QLabel::setText);
    auto openTyped = [this] {
        bool ok = false;
        const int code = m_pCode->text().toInt(&ok);
        if (ok) {
            (void)OpenCode(code);
        }
    };
    connect(open, &QPushButton::clicked, this, openTyped);
    connect(m_pCode, &QLineEdit::returnPressed, this, openTyped);
    resize(760, 480);
}

bool CChartWindow::OpenCode(int code) {
    m_pCode->setText(QStringLiteral("%1").arg(code, 4, 10, QLatin1Char('0')));
    const std::string path = StoredHistoryPath(code);
    std::vector<CKdtDay> days;
    const KdtRead read = path.empty() ? KdtRead::kMissing : ReadKdtFile(path, days);
    m_pChart->SetDays(read == KdtRead::kOk ? days : std::vector<CKdtDay>{});
    const QString shown = m_pCode->text();
    switch (read) {
        case KdtRead::kOk:
            m_pMessage->setText(QStringLiteral("%1 (%2 日分)")
                                    .arg(QString::fromStdString(AbsolutePath(path)))
                                    .arg(days.size()));
            setWindowTitle(QStringLiteral("チャート %1 - Tickora").arg(shown));
            return true;
        case KdtRead::kMissing:
            m_pMessage->setText(
                QStringLiteral("%1 の株価履歴はまだありません (株価履歴取得... で取得できます)")
                    .arg(shown));
            break;
        case KdtRead::kUnreadable:
            m_pMessage->setText(QStringLiteral("%1 を読めません").arg(QString::fromStdString(path)));
            break;
        case KdtRead::kMalformed:
            m_pMessage->setText(
                QStringLiteral("%1 は株価履歴ファイルとして読めません").arg(QString::fromStdString(path)));
            break;
    }
    setWindowTitle(QStringLiteral("チャート %1 - Tickora").arg(shown));
    return false;
}

QString CChartWindow::Message() const {
    return m_pMessage->text();
}

}  // namespace tickora::gui
