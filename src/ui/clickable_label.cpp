// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/clickable_label.h"

#include <QMouseEvent>

#include "ui/bitmaps.h"

namespace kelvandor::ui {

void ClickableLabel::setBitmap(int bitmapId) {
    if (bitmapId == bitmap_) {
        return;
    }
    bitmap_ = bitmapId;
    if (bitmapId == 0) {
        clear();
    } else {
        setPixmap(bitmapById(bitmapId));
    }
}

void ClickableLabel::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        Q_EMIT pressed();
    }
    QLabel::mousePressEvent(event);
}

void ClickableLabel::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
        Q_EMIT clicked();
    }
    QLabel::mouseReleaseEvent(event);
}

}  // namespace kelvandor::ui
