// SPDX-License-Identifier: GPL-3.0-or-later
// The program's images, looked up by bitmap id and drawn once with QPainter: LED discs,
// the COM port plates, the step-button faces and the logo.
#pragma once

#include <QPixmap>

namespace kelvandor::ui {

namespace bitmap {
inline constexpr int Logo = 132;
inline constexpr int LedGrey = 136;
inline constexpr int LedBlue = 137;
inline constexpr int LedRed = 146;
inline constexpr int LedDiagGreen = 157;
inline constexpr int LedGreen = 162;
inline constexpr int LedYellow = 167;
inline constexpr int ComDisconnected = 142;
// Plates of COM1..COM8, in port order.
inline constexpr int ComPlates[8] = {138, 139, 140, 141, 144, 145, 147, 148};
// Step-button faces: up, down, left, right, minus, plus; normal and pressed.
inline constexpr int StepUp = 149, StepDown = 150, StepLeft = 151, StepRight = 152;
inline constexpr int StepMinus = 163, StepPlus = 165;
inline constexpr int StepUpPressed = 153, StepDownPressed = 154, StepLeftPressed = 155;
inline constexpr int StepRightPressed = 156, StepMinusPressed = 164, StepPlusPressed = 166;
}  // namespace bitmap

// The image of `id`; a null pixmap for an id the program does not have. Drawn on first
// use and kept.
const QPixmap& bitmapById(int id);

// What the image of `id` says, in words, for screen readers and desktop automation: an
// LED's state ("off", "on, blue", "failed, red"), a COM plate's ("COM 3, connected"), a
// step button's face ("pressed"). Empty for an image that says nothing (the logo).
QString bitmapStateText(int id);

}  // namespace kelvandor::ui
