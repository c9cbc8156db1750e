// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/bitmaps.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <iterator>
#include <map>

namespace kelvandor::ui {

namespace {

constexpr int LedSize = 17;
constexpr QSize ComPlateSize(44, 28);
constexpr QSize StepSize(31, 28);
constexpr QSize LogoSize(174, 31);

struct LedColour {
    int id;
    QRgb colour;
};
constexpr LedColour LedColours[] = {
    {bitmap::LedGrey, qRgb(192, 192, 192)}, {bitmap::LedBlue, qRgb(0, 0, 255)},
    {bitmap::LedRed, qRgb(255, 0, 0)},      {bitmap::LedDiagGreen, qRgb(0, 176, 0)},
    {bitmap::LedGreen, qRgb(0, 255, 0)},    {bitmap::LedYellow, qRgb(255, 255, 0)},
};

enum class StepSymbol { Up, Down, Left, Right, Minus, Plus };
struct StepFace {
    int id;
    StepSymbol symbol;
    bool pressed;
};
constexpr StepFace StepFaces[] = {
    {bitmap::StepUp, StepSymbol::Up, false},
    {bitmap::StepDown, StepSymbol::Down, false},
    {bitmap::StepLeft, StepSymbol::Left, false},
    {bitmap::StepRight, StepSymbol::Right, false},
    {bitmap::StepMinus, StepSymbol::Minus, false},
    {bitmap::StepPlus, StepSymbol::Plus, false},
    {bitmap::StepUpPressed, StepSymbol::Up, true},
    {bitmap::StepDownPressed, StepSymbol::Down, true},
    {bitmap::StepLeftPressed, StepSymbol::Left, true},
    {bitmap::StepRightPressed, StepSymbol::Right, true},
    {bitmap::StepMinusPressed, StepSymbol::Minus, true},
    {bitmap::StepPlusPressed, StepSymbol::Plus, true},
};

QPixmap blank(QSize size) {
    QPixmap pixmap(size);
    pixmap.fill(Qt::white);
    return pixmap;
}

QPixmap drawLed(QRgb colour) {
    QPixmap pixmap = blank(QSize(LedSize, LedSize));
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(colour).darker(160), 1));
    p.setBrush(QColor(colour));
    p.drawEllipse(QRectF(1.5, 1.5, LedSize - 3, LedSize - 3));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 110));
    p.drawEllipse(QRectF(4.5, 4, 5, 4));
    return pixmap;
}

// "COM" and the port number, white on blue; the disconnected plate is grey "COM" on grey.
QPixmap drawComPlate(int number) {
    QPixmap pixmap = blank(ComPlateSize);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const bool connected = number > 0;
    p.setPen(Qt::NoPen);
    p.setBrush(connected ? QColor(0, 64, 192) : QColor(200, 200, 200));
    p.drawRoundedRect(QRectF(0.5, 0.5, ComPlateSize.width() - 1, ComPlateSize.height() - 1), 4, 4);
    QFont font;
    font.setPixelSize(13);
    font.setBold(true);
    p.setFont(font);
    p.setPen(connected ? Qt::white : QColor(140, 140, 140));
    const QString text = connected ? QStringLiteral("COM%1").arg(number) : QStringLiteral("COM");
    p.drawText(QRect(QPoint(0, 0), ComPlateSize), Qt::AlignCenter, text);
    return pixmap;
}

QPixmap drawStepFace(StepSymbol symbol, bool pressed) {
    QPixmap pixmap = blank(StepSize);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF face(0.5, 0.5, StepSize.width() - 1, StepSize.height() - 1);
    p.setPen(QColor(128, 128, 128));
    p.setBrush(pressed ? QColor(200, 200, 200) : QColor(224, 224, 224));
    p.drawRoundedRect(face, 3, 3);
    p.setPen(Qt::NoPen);
    p.setBrush(pressed ? Qt::black : QColor(110, 110, 110));
    const QPointF c = face.center();
    QPainterPath path;
    switch (symbol) {
        case StepSymbol::Up:
            path.addPolygon(QPolygonF({c + QPointF(0, -7), c + QPointF(8, 6), c + QPointF(-8, 6)}));
            break;
        case StepSymbol::Down:
            path.addPolygon(
                QPolygonF({c + QPointF(0, 7), c + QPointF(8, -6), c + QPointF(-8, -6)}));
            break;
        case StepSymbol::Left:
            path.addPolygon(QPolygonF({c + QPointF(-8, 0), c + QPointF(6, -7), c + QPointF(6, 7)}));
            break;
        case StepSymbol::Right:
            path.addPolygon(
                QPolygonF({c + QPointF(8, 0), c + QPointF(-6, -7), c + QPointF(-6, 7)}));
            break;
        case StepSymbol::Minus:
            path.addRect(QRectF(c.x() - 8, c.y() - 2, 16, 4));
            break;
        case StepSymbol::Plus:
            path.addRect(QRectF(c.x() - 8, c.y() - 2, 16, 4));
            path.addRect(QRectF(c.x() - 2, c.y() - 8, 4, 16));
            path.setFillRule(Qt::WindingFill);
            break;
    }
    p.drawPath(path);
    return pixmap;
}

QPixmap drawLogo() {
    QPixmap pixmap = blank(LogoSize);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    // A dish with its feed arm, then the name.
    p.setPen(QPen(QColor(0, 64, 160), 2.5));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(4, 3, 26, 26), 200 * 16, 150 * 16);
    p.drawLine(QPointF(9, 18), QPointF(24, 8));
    p.setBrush(QColor(0, 64, 160));
    p.drawEllipse(QPointF(25, 7.5), 2.5, 2.5);
    QFont font;
    font.setPixelSize(17);
    font.setBold(true);
    font.setLetterSpacing(QFont::AbsoluteSpacing, 1);
    p.setFont(font);
    p.setPen(QColor(0, 64, 160));
    p.drawText(QRect(36, 0, LogoSize.width() - 36, LogoSize.height()), Qt::AlignVCenter,
               QStringLiteral("KELVANDOR"));
    return pixmap;
}

QPixmap draw(int id) {
    for (const LedColour& led : LedColours) {
        if (led.id == id) {
            return drawLed(led.colour);
        }
    }
    for (int k = 0; k < 8; ++k) {
        if (bitmap::ComPlates[k] == id) {
            return drawComPlate(k + 1);
        }
    }
    if (id == bitmap::ComDisconnected) {
        return drawComPlate(0);
    }
    for (const StepFace& face : StepFaces) {
        if (face.id == id) {
            return drawStepFace(face.symbol, face.pressed);
        }
    }
    if (id == bitmap::Logo) {
        return drawLogo();
    }
    return {};
}

}  // namespace

const QPixmap& bitmapById(int id) {
    static std::map<int, QPixmap> cache;
    auto it = cache.find(id);
    if (it == cache.end()) {
        it = cache.emplace(id, draw(id)).first;
    }
    return it->second;
}

QString bitmapStateText(int id) {
    struct StateText {
        int id;
        const char* text;
    };
    static constexpr StateText Texts[] = {
        {bitmap::LedGrey, "off"},
        {bitmap::LedBlue, "on, blue"},
        {bitmap::LedRed, "failed, red"},
        {bitmap::LedDiagGreen, "good, green"},
        {bitmap::LedGreen, "on, green"},
        {bitmap::LedYellow, "warning, yellow"},
        {bitmap::ComDisconnected, "disconnected"},
        {bitmap::StepUp, "released"},
        {bitmap::StepDown, "released"},
        {bitmap::StepLeft, "released"},
        {bitmap::StepRight, "released"},
        {bitmap::StepMinus, "released"},
        {bitmap::StepPlus, "released"},
        {bitmap::StepUpPressed, "pressed"},
        {bitmap::StepDownPressed, "pressed"},
        {bitmap::StepLeftPressed, "pressed"},
        {bitmap::StepRightPressed, "pressed"},
        {bitmap::StepMinusPressed, "pressed"},
        {bitmap::StepPlusPressed, "pressed"},
    };
    for (const StateText& t : Texts) {
        if (t.id == id) {
            return QString::fromLatin1(t.text);
        }
    }
    for (int port = 0; port < static_cast<int>(std::size(bitmap::ComPlates)); ++port) {
        if (bitmap::ComPlates[port] == id) {
            return QStringLiteral("COM %1, connected").arg(port + 1);
        }
    }
    return {};
}

}  // namespace kelvandor::ui
