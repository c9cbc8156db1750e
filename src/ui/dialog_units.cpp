// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/dialog_units.h"

#include <QApplication>
#include <QFontMetrics>

namespace kelvandor::ui {

namespace {
constexpr const char* AverageSample = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
constexpr int AverageSampleLength = 52;
constexpr int DialogPointSize = 9;
}  // namespace

DialogUnits::DialogUnits(const QFont& font) {
    const QFontMetrics metrics(font);
    const int sampleWidth = metrics.horizontalAdvance(QString::fromLatin1(AverageSample));
    avgCharWidth_ = (sampleWidth / (AverageSampleLength / 2) + 1) / 2;
    charHeight_ = metrics.height();
}

QRect DialogUnits::toPixels(int x, int y, int w, int h) const {
    const int left = toPixelsX(x);
    const int top = toPixelsY(y);
    return {left, top, toPixelsX(x + w) - left, toPixelsY(y + h) - top};
}

QFont dialogFont() {
    QFont font = QApplication::font();
    font.setPointSize(DialogPointSize);
    return font;
}

}  // namespace kelvandor::ui
