// SPDX-License-Identifier: GPL-3.0-or-later
// What the satellite information page and the two tracking pages share: the push-like
// buttons that show the antenna's state rather than the click, and the three DiSEqC mode
// buttons.
#pragma once

namespace kelvandor {

// A push-like button that only the antenna's reply may move. `state` is the button's
// state after the click has flipped it: a button that was out (now 1) goes back out and
// its command is to be sent; a button that was in (now 0) goes back in and nothing is
// sent. Returns whether to send.
bool pushToggle(int& state);

// The DiSEqC mode buttons (1040 "Not Use", 1041 "Change Band", 1042 "Change
// Satellite"), one state each, 1 while the button is in.
struct DiseqcModeButtons {
    static constexpr int NotUseId = 1040;
    static constexpr int ChangeBandId = 1041;
    static constexpr int ChangeSatelliteId = 1042;
    // In DiSEqC mode order: the button of mode k is ButtonIds[k].
    static constexpr int ButtonIds[3] = {NotUseId, ChangeBandId, ChangeSatelliteId};

    int notUse = 1;
    int changeBand = 0;
    int changeSatellite = 0;

    // Puts the button of DiSEqC mode `mode` (0, 1, 2) in and the other two out. A mode
    // without a button changes nothing and returns false.
    bool follow(int mode);
    // The button of `mode` has been clicked (its state already flipped): pushToggle on its
    // state. Returns whether SQ `mode` is to be sent; false for a mode without a button.
    bool clicked(int mode);
};

}  // namespace kelvandor
