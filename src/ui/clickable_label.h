// SPDX-License-Identifier: GPL-3.0-or-later
// A static control that reports clicks: a text label ("Signal Level :") or a picture
// that shows an image by bitmap id (LEDs, COM plates, step buttons).
#pragma once

#include <QLabel>

namespace kelvandor::ui {

class ClickableLabel : public QLabel {
    Q_OBJECT
  public:
    using QLabel::QLabel;

    // Shows the image of `bitmapId` (see bitmaps.h); 0 shows none.
    void setBitmap(int bitmapId);
    int bitmap() const { return bitmap_; }

  Q_SIGNALS:
    void pressed();
    void clicked();

  protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    int bitmap_ = 0;
};

}  // namespace kelvandor::ui
