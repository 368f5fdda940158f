// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/tool_icons.h"

#include <QFile>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <span>

#include "app/command_table.h"

namespace tickora::gui {
namespace {

struct Candle {
    double x, wickTop, wickBottom, bodyTop, bodyHeight;
    QColor color;
};

// The program icon and the history tool button draw their candles alike, at their own scale: the
// wick a line of `wickWidth`, the body a box of `bodyWidth` centred on it.
void DrawCandles(QPainter& p, std::span<const Candle> candles, double wickWidth,
                 double bodyWidth) {
    for (const Candle& c : candles) {
        p.setPen(QPen(c.color, wickWidth));
        p.drawLine(QPointF(c.x, c.wickTop), QPointF(c.x, c.wickBottom));
        p.setPen(Qt::NoPen);
        p.setBrush(c.color);
        p.drawRect(QRectF(c.x - bodyWidth / 2, c.bodyTop, bodyWidth, c.bodyHeight));
    }
}

}  // namespace

void DrawProgramIcon(QPainter& painter, int side) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(side / 64.0, side / 64.0);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x1f, 0x3a, 0x5f));
    painter.drawRoundedRect(QRectF(2, 2, 60, 60), 10, 10);

    painter.setPen(QPen(QColor(255, 255, 255, 150), 1.5));
    painter.drawLine(QPointF(8, 54), QPointF(56, 54));

    const Candle candles[] = {
        {16, 22, 46, 28, 12, QColor(0xe0, 0x5a, 0x47)},
        {32, 16, 40, 20, 14, QColor(0x3f, 0xbf, 0x7f)},
        {48, 8, 30, 12, 12, QColor(0x3f, 0xbf, 0x7f)},
    };
    DrawCandles(painter, candles, 2, 8);

    QPen trend(QColor(0xf5, 0xc5, 0x42), 3);
    trend.setCapStyle(Qt::RoundCap);
    trend.setJoinStyle(Qt::RoundJoin);
    painter.setPen(trend);
    painter.setBrush(Qt::NoBrush);
    const QPointF line[] = {{8, 50}, {24, 40}, {40, 34}, {56, 14}};
    painter.drawPolyline(line, 4);
    painter.restore();
}

QIcon ProgramIcon() {
    static const QIcon icon = [] {
        QIcon result;
        for (const char* name : {":/icons/tickora-32.png", ":/icons/tickora-128.png"}) {
            if (QFile::exists(QString::fromLatin1(name))) {
                result.addFile(QString::fromLatin1(name));
            }
        }
        if (result.isNull()) {
            QPixmap pixmap(64, 64);
            pixmap.fill(Qt::transparent);
            QPainter painter(&pixmap);
            DrawProgramIcon(painter, 64);
            painter.end();
            result.addPixmap(pixmap);
        }
        return result;
    }();
    return icon;
}

namespace {

void DrawFetch(QPainter& p) {
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x2e, 0x8b, 0x57));
    const QPointF arrow[] = {{6, 1}, {10, 1}, {10, 7}, {13, 7}, {8, 12}, {3, 7}, {6, 7}};
    p.drawPolygon(arrow, 7);
    p.setPen(QPen(QColor(0x40, 0x40, 0x40), 1.5));
    p.drawPolyline(QPolygonF({{1.5, 10}, {1.5, 14.5}, {14.5, 14.5}, {14.5, 10}}));
}

void DrawFetchList(QPainter& p) {
    p.setPen(QPen(QColor(0x50, 0x50, 0x50), 1));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(2.5, 0.5, 11, 14));
    p.setPen(QPen(QColor(0x1f, 0x5f, 0xaf), 1));
    for (int y = 4; y <= 12; y += 3) {
        p.drawLine(QPointF(4.5, y), QPointF(11.5, y));
    }
}

void DrawKdt(QPainter& p) {
    p.setPen(QPen(QColor(0x40, 0x40, 0x40), 1));
    p.drawLine(QPointF(1, 14.5), QPointF(15, 14.5));
    const Candle candles[] = {{4, 5, 13, 7, 4, QColor(0xc0, 0x39, 0x2b)},
                              {8, 3, 11, 4, 5, QColor(0x2e, 0x8b, 0x57)},
                              {12, 1, 8, 2, 4, QColor(0x2e, 0x8b, 0x57)}};
    DrawCandles(p, candles, 1, 3);
}

void DrawSave(QPainter& p) {
    p.setPen(QPen(QColor(0x20, 0x30, 0x60), 1));
    p.setBrush(QColor(0x3a, 0x5f, 0xa0));
    p.drawRect(QRectF(1.5, 1.5, 13, 13));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(4, 1.5, 8, 5));
    p.setBrush(QColor(0xd0, 0xd0, 0xd0));
    p.drawRect(QRectF(4, 9, 8, 5.5));
}

void DrawSettings(QPainter& p) {
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x60, 0x60, 0x68));
    p.translate(8, 8);
    for (int i = 0; i < 8; ++i) {
        p.drawRect(QRectF(-1.5, -7.5, 3, 4));
        p.rotate(45);
    }
    p.drawEllipse(QPointF(0, 0), 5, 5);
    p.setBrush(Qt::white);
    p.drawEllipse(QPointF(0, 0), 2, 2);
    p.resetTransform();
}

void DrawAbout(QPainter& p) {
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x1f, 0x5f, 0xaf));
    p.drawEllipse(QRectF(0.5, 0.5, 15, 15));
    p.setPen(Qt::white);
    QFont font = p.font();
    font.setBold(true);
    font.setPixelSize(12);
    p.setFont(font);
    p.drawText(QRectF(0, 0, 16, 16), Qt::AlignCenter, QStringLiteral("?"));
}

}  // namespace

QIcon ToolBarIcon(int commandId) {
    void (*draw)(QPainter&) = nullptr;
    switch (commandId) {
        case kIdFetch:
            draw = DrawFetch;
            break;
        case kIdMakeFetchList:
            draw = DrawFetchList;
            break;
        case kIdMakeKdtMenu:
            draw = DrawKdt;
            break;
        case kIdSaveQuoteFile:
            draw = DrawSave;
            break;
        case kIdSettings:
            draw = DrawSettings;
            break;
        case kIdAppAbout:
            draw = DrawAbout;
            break;
        default:
            return {};
    }
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    draw(painter);
    painter.end();
    return QIcon(pixmap);
}

}  // namespace tickora::gui
