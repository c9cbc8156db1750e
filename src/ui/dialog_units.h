// SPDX-License-Identifier: GPL-3.0-or-later
// Dialog units: positions in the layout tables scale with the dialog font, so a window
// keeps its proportions whatever font the desktop gives it. x = du * average character
// width / 4, y = du * character height / 8.
#pragma once

#include <QFont>
#include <QRect>

namespace kelvandor::ui {

class DialogUnits {
  public:
    explicit DialogUnits(const QFont& font);

    int toPixelsX(int du) const { return (du * avgCharWidth_ + 2) / 4; }
    int toPixelsY(int du) const { return (du * charHeight_ + 4) / 8; }
    QRect toPixels(int x, int y, int w, int h) const;

    int avgCharWidth() const { return avgCharWidth_; }
    int charHeight() const { return charHeight_; }

  private:
    int avgCharWidth_;
    int charHeight_;
};

// The one font of every window of the program.
QFont dialogFont();

}  // namespace kelvandor::ui
