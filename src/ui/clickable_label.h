// SPDX-License-Identifier: GPL-3.0-or-later
// A static control that reports clicks: a text label ("Signal Level :") or a picture
// that shows an image by bitmap id (LEDs, COM plates, step buttons).
//
// A picture keeps an accessible description of what its image says (bitmapStateText),
// set together with the image and announced to assistive technology when it changes. A
// label that a handler listens to (setActivatable) takes the keyboard focus, is pressed
// with Space or Enter, and shows itself to assistive technology as a button.
#pragma once

#include <QLabel>

namespace kelvandor::ui {

class ClickableLabel : public QLabel {
    Q_OBJECT
  public:
    using QLabel::QLabel;

    // Shows the image of `bitmapId` (see bitmaps.h); 0 shows none. The accessible
    // description follows the image.
    void setBitmap(int bitmapId);
    int bitmap() const { return bitmap_; }

    // Makes the label a control of its own: reachable with Tab, pressed with Space or
    // Enter, a button with a press action for assistive technology.
    void setActivatable(bool on);
    bool isActivatable() const { return activatable_; }
    // What a click does: pressed(), then clicked().
    void activate();

  Q_SIGNALS:
    void pressed();
    void clicked();

  protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

  private:
    int bitmap_ = 0;
    bool activatable_ = false;
};

}  // namespace kelvandor::ui
